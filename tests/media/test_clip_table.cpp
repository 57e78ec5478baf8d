#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "media_fixture.h"

using namespace mediatest;

namespace {

const TDB k30{0, 30, 1};
const TDB k60{0, 60, 1};
const TDB k25{0, 25, 1};
const TDB kNtsc{0, 2997, 100};
const TDB k44k{0, 44100, 1};

class Clips : public MediaTest {
  protected:
    // A ten-second movie with sound.
    int16_t movie(const std::string& name = "movie.avi") {
        int16_t id = add(path(name));
        FmFileRecord* r = rec(id);
        r->info.mediaFlags = kClipVideo | kClipAudio;
        r->info.video = {300, 30, 1};
        r->info.audio = {441000, 44100, 1};
        return id;
    }
    static int32_t clip(int16_t file, int32_t in, int32_t out, const TDB& tb = k30,
                        int32_t flags = kClipVideo) {
        int32_t times[12];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = in;
        times[1] = out;
        return AddClip(file, times, &tb, flags);
    }
    static FmClipRecord* crec(int32_t id) { return rc::media::findClipRec(id); }
};

TEST_F(Clips, ClipIDsStartAtOneGrowBy1001AndAreReused) {
    int16_t f = movie();
    EXPECT_EQ(GetAGlobal(kSlotNextClipID), 1);
    EXPECT_EQ(GetAGlobal(kSlotClipCount), 1001);
    for (int i = 1; i <= 1000; ++i) ASSERT_EQ(clip(f, 0, 9), i);
    EXPECT_EQ(GetAGlobal(kSlotClipCount), 1001);
    ClipCancel(400);
    ClipCancel(300);
    EXPECT_FALSE(IsValidClipID(300));
    EXPECT_EQ(clip(f, 0, 9), 300);  // slot 17 is at the end: lowest free first
    EXPECT_EQ(clip(f, 0, 9), 400);
    EXPECT_EQ(clip(f, 0, 9), 1001);
    EXPECT_EQ(GetAGlobal(kSlotClipCount), 2002);
    EXPECT_EQ(clip(f, 0, 9), 1002);
    EXPECT_EQ(rec(f)->subscriptions, 1002);

    // A slot 17 pointing at a used slot never overwrites a clip.
    SetAGlobal(kSlotNextClipID, 5);
    int32_t fresh = clip(f, 0, 9);
    EXPECT_EQ(fresh, 1003);
    EXPECT_EQ(crec(5)->clipID, 5);

    EXPECT_EQ(FindClip(0), nullptr);
    EXPECT_EQ(FindClip(-1), nullptr);
    EXPECT_EQ(FindClip(5000), nullptr);
    EXPECT_EQ(FmClipExists(7), FindClip(7));
    EXPECT_EQ(AddClip(999, crec(1)->markers, &k30, 1), -1);  // no such file

    FmClipIterator it{-1};
    Handle h = nullptr;
    int seen = 0;
    int32_t last = 0;
    while (GetNextUsedClipID(&it, &h)) {
        EXPECT_GT(it.index, last);
        EXPECT_EQ(h, FindClip(it.index));
        last = it.index;
        ++seen;
    }
    EXPECT_EQ(seen, 1003);
    EXPECT_EQ(GetFileMasterClip(f), 1);
    SetMaxRev(f, 77);
    EXPECT_EQ(GetMaxRev(f), 77);
    EXPECT_EQ(crec(1003)->maxRevision, 77);
}

TEST_F(Clips, InAndOutAcrossTimeBases) {
    int16_t f = movie();
    int32_t c = clip(f, 0, 29);
    EXPECT_EQ(ClipWidth(c, nullptr), 30);
    EXPECT_EQ(ClipWidth(c, &k60), 60);
    EXPECT_EQ(ClipWidth(c, &k25), 25);
    EXPECT_EQ(ClipWidth(c, &kNtsc), 3000);  // 30 frames of 100 ticks
    EXPECT_EQ(ClipWidth(c, &k44k), 44100);
    EXPECT_EQ(GetClipOut(c, &k25), 24);
    EXPECT_EQ(GetClipOut(c, &kNtsc), 2900);  // frame 29, on a frame boundary
    EXPECT_EQ(GetClipOut(c, &k44k), 42630);  // 29/30 s, rounded to nearest
    TDB tb{};
    GetClipTimeBase(c, &tb);
    EXPECT_EQ(tb.value, 30);
    EXPECT_EQ(tb.scale, 30);

    SetClipIn(c, 44100, &k44k);  // one second
    EXPECT_EQ(GetClipIn(c, nullptr), 30);
    EXPECT_EQ(ClipStart(c, &kNtsc), 3000);
    SetClipOut(c, 5994, &kNtsc);  // frame 59.94 rounds to 60
    EXPECT_EQ(GetClipOut(c, nullptr), 60);

    // Mark pairs fall back to in and out; -1 is stored as given.
    EXPECT_EQ(GetClipMarkIn(c, nullptr, 1), 30);
    SetClipMarkIn(c, 40, nullptr, 2);
    SetClipMarkOut(c, 49, nullptr, 2);
    EXPECT_EQ(GetClipMarkIn(c, nullptr, 1), 30);
    EXPECT_EQ(GetClipMarkIn(c, nullptr, 2), 40);
    EXPECT_EQ(ClipMarkWidth(c, &k60, 2), 20);
    SetClipMarkIn(c, -1, &k60, 2);
    EXPECT_EQ(crec(c)->markIn2, -1);

    // Extreme times saturate instead of wrapping.
    SetClipOut(c, 2147483000, nullptr);
    EXPECT_EQ(GetClipOut(c, &k44k), INT32_MAX);
    EXPECT_EQ(ClipWidth(c, &k44k), INT32_MAX);
    SetClipIn(c, -2147483000, nullptr);
    EXPECT_EQ(GetClipIn(c, &k44k), INT32_MIN);

    // Accessors without a record.
    EXPECT_EQ(GetClipIn(4321, &k30), 0);
    EXPECT_EQ(ClipFile(4321), -1);
    EXPECT_EQ(ClipFile(c), f);
}

TEST_F(Clips, RatesRescaleTimesAndSizes) {
    int16_t f = movie();
    int32_t c = clip(f, 0, 99);
    FmSetClipMarker(c, 3, 40, nullptr);
    SetClipMarkIn(c, 10, nullptr, 1);
    SetClipRate(c, 0.0f);
    SetClipRate(c, 100.0f);
    EXPECT_EQ(GetClipOut(c, nullptr), 99);
    SetClipRate(c, 200.0f);
    EXPECT_FLOAT_EQ(ClipRate(c), 200.0f);
    EXPECT_EQ(GetClipIn(c, nullptr), 0);
    EXPECT_EQ(GetClipOut(c, nullptr), 49);
    EXPECT_EQ(FmGetClipMarker(c, 3, nullptr), 20);
    EXPECT_EQ(GetClipMarkIn(c, nullptr, 1), 5);
    SetClipRate(c, 100000.0f);  // out would not be after in
    EXPECT_EQ(GetClipOut(c, nullptr), GetClipIn(c, nullptr) + 1);

    // The media size follows the rate; below 1 percent it is 0.
    int32_t whole = clip(f, 0, 299);
    EXPECT_EQ(ClipSize(whole, nullptr), 300);
    EXPECT_EQ(ClipSize(whole, &k60), 600);
    SetClipRate(whole, 50.0f);
    EXPECT_EQ(ClipSize(whole, nullptr), 600);
    SetClipRate(whole, 0.5f);
    EXPECT_EQ(ClipSize(whole, nullptr), 0);
    int32_t sound = clip(f, 0, 44099, k44k, kClipAudio);
    EXPECT_EQ(ClipSize(sound, nullptr), 441000);
    EXPECT_EQ(FindClipType(sound), 1);
    EXPECT_EQ(FindClipType(whole), 0);
    rec(f)->info.audio = {2000000000, 44100, 1};  // a very long sound
    const TDB k96k{0, 96000, 1};
    EXPECT_EQ(ClipSize(sound, &k96k), INT32_MAX);

    SetClipBackwards(sound, 1);
    EXPECT_EQ(GetClipBackwards(sound), 1);
    SetClipAspect(sound, 3);
    SetClipAspectColor(sound, 0x00FF00);
    EXPECT_EQ(ClipAspect(sound), 3);
    EXPECT_EQ(ClipAspectColor(sound), 0x00FF00);
    crec(sound)->flags = 0x12345;
    EXPECT_EQ(FmClipFlags(sound), 0x2345);
}

TEST_F(Clips, MarkersInsertFindAndClear) {
    int16_t f = movie();
    int32_t c = clip(f, 0, 299);
    EXPECT_EQ(FmCountClipMarkers(c), 12);
    EXPECT_EQ(FmGetClipMarker(c, 5, nullptr), -1);
    FmSetClipMarker(c, 255, 50, nullptr);
    FmSetClipMarker(c, 255, 20, nullptr);
    FmSetClipMarker(c, 255, 35, nullptr);
    EXPECT_EQ(FmCountClipMarkers(c), 15);
    EXPECT_EQ(FmGetClipMarker(c, 12, nullptr), 20);
    EXPECT_EQ(FmGetClipMarker(c, 13, nullptr), 35);
    EXPECT_EQ(FmGetClipMarker(c, 14, nullptr), 50);
    EXPECT_EQ(FmGetClipMarker(c, 15, nullptr), -1);
    FmSetClipMarker(c, 4, 100, nullptr);
    FmSetClipPosterFrame(c, 10, &k60);
    EXPECT_EQ(FmGetClipPosterFrame(c, nullptr), 5);

    EXPECT_EQ(FmFindClipMarker(c, 35, nullptr), 13);
    EXPECT_EQ(FmFindClipMarker(c, 200, &k60), 4);
    EXPECT_EQ(FmFindClipMarker(c, 36, nullptr), -1);
    EXPECT_EQ(FmPreviousClipMarker(c, 35, nullptr), 12);
    EXPECT_EQ(FmPreviousClipMarker(c, 5, nullptr), -1);
    EXPECT_EQ(FmNextClipMarker(c, 35, nullptr), 14);
    EXPECT_EQ(FmNextClipMarker(c, 50, nullptr), 4);
    EXPECT_EQ(FmNextClipMarker(c, 100, nullptr), -1);
    EXPECT_EQ(FmLastClipMarker(c, nullptr), 4);
    // In and out never count.
    EXPECT_EQ(FmFindClipMarker(c, 0, nullptr), -1);

    // Overwriting and deleting extra markers.
    FmSetClipMarker(c, 13, 36, nullptr);
    EXPECT_EQ(FmGetClipMarker(c, 13, nullptr), 36);
    FmSetClipMarker(c, 13, -1, nullptr);
    EXPECT_EQ(FmCountClipMarkers(c), 14);
    EXPECT_EQ(FmGetClipMarker(c, 13, nullptr), 50);
    FmSetClipMarker(c, 20, 7, nullptr);  // no such marker: nothing
    EXPECT_EQ(FmCountClipMarkers(c), 14);

    // The current clip's variants.
    SetAGlobal(kSlotCurrentClip, c);
    EXPECT_EQ(CountClipMarkers(), 14);
    EXPECT_EQ(GetClipMarker(12, 60), 40);
    EXPECT_EQ(FindClipMarker(100, 30), 4);
    EXPECT_EQ(NextClipMarker(20, 30), 13);
    EXPECT_EQ(PreviousClipMarker(20, 30), 2);
    EXPECT_EQ(ClipFlags(), kClipVideo);

    // Clearing with the link partner tells the main window.
    int32_t partner = clip(f, 0, 299);
    FmSetClipMarker(partner, 255, 5, nullptr);
    AddClipLink(c, partner);
    sent().clear();
    FmClearClipMarkers(c, 1);
    EXPECT_EQ(FmCountClipMarkers(c), 12);
    EXPECT_EQ(FmCountClipMarkers(partner), 12);
    EXPECT_EQ(FmGetClipMarker(c, 4, nullptr), -1);
    EXPECT_EQ(FmGetClipMarker(c, 1, nullptr), 299);
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[0].code, 258);
    EXPECT_EQ(sent()[0].p1, c);
    EXPECT_EQ(sent()[1].code, 72);
    EXPECT_EQ(sent()[1].p2, 4);
    EXPECT_EQ(sent()[2].p1, partner);
    FmClearClipMarkers(c, 1);  // nothing set: nothing sent
    EXPECT_EQ(sent().size(), 3u);
}

TEST_F(Clips, TheLastMarkerIsBoundedByOneHourOfTicks) {
    int16_t f = movie();
    int32_t c = clip(f, 0, 2997 * 3600, kNtsc);
    // Half an hour and two hours in, in 29.97 fps ticks.
    FmSetClipMarker(c, 5, 2997 * 1800, nullptr);
    FmSetClipMarker(c, 6, 2997 * 7200, nullptr);
    EXPECT_EQ(FmLastClipMarker(c, nullptr), 5);
    EXPECT_EQ(FmNextClipMarker(c, 2997 * 1800, nullptr), 6);
}

TEST_F(Clips, SubclipTreesAndTheirLifetimes) {
    int16_t f = movie();
    FileSubscribe(f);
    int32_t master = NewClip(f, &k30, kClipVideo);
    EXPECT_EQ(GetClipOut(master, nullptr), 299);
    SetClipMarkIn(master, 30, nullptr, 1);
    SetClipMarkOut(master, 59, nullptr, 1);
    SetClipTitle(master, "Scene one");
    FmSetClipMarker(master, 255, 45, nullptr);
    int32_t sub = MakeSubClip(master, &k60, kClipVideo);
    ASSERT_GT(sub, 0);
    EXPECT_EQ(GetClipParent(sub), master);
    EXPECT_EQ(GetClipParent(master), 0);
    EXPECT_EQ(GetClipChild(master), sub);
    EXPECT_EQ(GetClipIn(sub, nullptr), 60);
    EXPECT_EQ(GetClipOut(sub, nullptr), 118);
    EXPECT_EQ(FmGetClipMarker(sub, 12, nullptr), 90);
    char title[32];
    int16_t isTitle = 0;
    GetClipTitle(sub, title, &isTitle);
    EXPECT_STREQ(title, "Scene one");
    EXPECT_EQ(isTitle, 1);
    EXPECT_EQ(crec(master)->subscriptions, 2);

    // A subclip of a subclip hangs under the root master.
    int32_t sub2 = MakeSubClip(sub, nullptr, kClipVideo);
    EXPECT_EQ(GetClipParent(sub2), master);
    int32_t copy = CopyClip(sub);
    EXPECT_EQ(GetClipParent(copy), master);
    EXPECT_EQ(crec(sub2)->nextSibling, copy);
    EXPECT_EQ(crec(master)->subscriptions, 4);
    int32_t child = CopyNewClip(sub, nullptr, kClipVideo);
    EXPECT_EQ(GetClipParent(child), sub);
    ClipCancel(child);
    EXPECT_EQ(GetClipChild(sub), 0);

    // Detaching: the clip keeps its times' meaning in its parent's base.
    MakeMasterClip(sub);
    EXPECT_EQ(GetClipParent(sub), 0);
    EXPECT_EQ(GetClipIn(sub, nullptr), 30);
    TDB tb{};
    GetClipTimeBase(sub, &tb);
    EXPECT_EQ(tb.scale, 30);
    EXPECT_EQ(GetClipChild(master), sub2);
    EXPECT_EQ(crec(master)->subscriptions, 3);
    EXPECT_EQ(GetFileMasterClip(f), master);

    // The last holders go: the master follows its last subclip, and the
    // file loses every clip's subscription.
    ClipCancel(sub);
    ClipCancel(master);
    EXPECT_TRUE(IsValidClipID(master));
    ClipCancel(sub2);
    EXPECT_TRUE(IsValidClipID(master));
    ClipCancel(copy);
    EXPECT_FALSE(IsValidClipID(master));
    EXPECT_EQ(rec(f)->subscriptions, 1);
    FileCancel(f);
    EXPECT_EQ(FindFile(f), nullptr);
}

TEST_F(Clips, RefreshingAFileRedrawsItsClips) {
    int16_t a = movie("a.avi"), b = movie("b.avi");
    int32_t c1 = clip(a, 0, 9), other = clip(b, 0, 9), c2 = clip(a, 5, 9);
    sent().clear();
    RefreshFile(a, 1);
    std::vector<intptr_t> redrawn;
    for (const Sent& m : sent())
        if (m.type == cc("HIDE") && m.code == 72) {
            EXPECT_EQ(m.p2, 5);
            redrawn.push_back(m.p1);
        }
    EXPECT_EQ(redrawn, (std::vector<intptr_t>{c1, c2}));
    EXPECT_NE(other, c1);
    sent().clear();
    RefreshFile(a, 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Clips, ChangingParentsMovesFileSubscriptionsAndKeepsLinks) {
    int16_t a = movie("a.avi"), b = movie("b.avi");
    int32_t ma = clip(a, 0, 299), mb = clip(b, 0, 299);
    int32_t sa = MakeSubClip(ma, nullptr, kClipVideo);
    int32_t partner = clip(a, 0, 299, k44k, kClipAudio);
    AddClipLink(sa, partner);
    EXPECT_EQ(GetClipLink(sa), partner);
    EXPECT_EQ(GetClipLink(partner), sa);
    EXPECT_EQ(ChangeClipParent(sa, mb), noErr);
    EXPECT_EQ(GetClipParent(sa), mb);
    EXPECT_EQ(ClipFile(sa), b);
    EXPECT_EQ(rec(a)->subscriptions, 2);  // ma and the partner
    EXPECT_EQ(rec(b)->subscriptions, 2);
    EXPECT_EQ(crec(ma)->subscriptions, 1);
    EXPECT_EQ(crec(mb)->subscriptions, 2);
    EXPECT_EQ(GetClipLink(sa), partner);
    EXPECT_EQ(crec(sa)->subscriptions, 2);
    EXPECT_EQ(ChangeClipParent(mb, sa), kClipBadParam);  // under itself
    EXPECT_EQ(ChangeClipParent(sa, 9999), kClipBadParam);

    // Linked clips that only hold each other go together.
    RemoveClipLink(sa);
    EXPECT_EQ(GetClipLink(partner), 0);
    EXPECT_EQ(crec(sa)->subscriptions, 1);
    AddClipLink(sa, partner);
    ClipCancel(partner);  // the link's subscription was the other holder
    EXPECT_FALSE(IsValidClipID(partner));
    EXPECT_EQ(GetClipLink(sa), 0);
    EXPECT_EQ(crec(sa)->subscriptions, 1);

    // Saving drops and restores subscriptions without disposing anything.
    ClipCancelForSave(sa);
    EXPECT_EQ(crec(sa)->subscriptions, 0);
    EXPECT_EQ(crec(mb)->subscriptions, 1);
    ClipCancel(sa);  // nothing to cancel
    EXPECT_TRUE(IsValidClipID(sa));
    ClipSubscribeAfterSave(sa);
    EXPECT_EQ(crec(sa)->subscriptions, 1);
    EXPECT_EQ(crec(mb)->subscriptions, 2);

    int32_t other = clip(b, 0, 9);
    SetClipMarkIn(ma, 30, nullptr, 1);
    SetClipMarkOut(ma, 60, nullptr, 1);
    SetClipMarkIn(ma, 90, nullptr, 2);
    crec(other)->timeBase = k60;
    SyncMasterMarkers(other, ma);
    EXPECT_EQ(crec(other)->markIn, 60);
    EXPECT_EQ(crec(other)->markOut, 120);
    EXPECT_EQ(crec(other)->markIn2, 180);
    EXPECT_EQ(crec(other)->markOut2, -1);
}

TEST_F(Clips, NewClipsOfStillsAndTitles) {
    int16_t still = add(path("a-very-long-name-of-a-still-picture-file.tga"));
    rec(still)->still = 1;
    rec(still)->info.mediaFlags = kClipVideo;
    rec(still)->info.video = {0, 30, 1};
    SetAGlobal(kSlotDefaultStillLen, 150);
    SetAGlobal(kSlotStillAspectDefault, 2);
    int32_t c = NewClip(still, &k25, kClipVideo);
    EXPECT_EQ(GetClipIn(c, nullptr), 6990 * 25);
    EXPECT_EQ(GetClipOut(c, nullptr), 6990 * 25 + 149);
    EXPECT_EQ(ClipAspect(c), 2);
    EXPECT_EQ(StillDefaultIn(still, nullptr), 6990 * 30);
    EXPECT_EQ(StillDefaultOut(still, &kNtsc, 10), 6990 * 2997 + 900);
    EXPECT_EQ(StillDefaultIn(777, nullptr), 0);

    int16_t gen = add(path("bars.gen"));
    rec(gen)->info.noDuration = 1;
    rec(gen)->info.defaultStillLength = 20;
    int32_t g = NewClip(gen, &k30, kClipVideo);
    EXPECT_EQ(ClipWidth(g, nullptr), 20);

    char title[32];
    int16_t isTitle = 7;
    GetClipTitle(c, title, &isTitle);
    EXPECT_EQ(isTitle, 0);
    EXPECT_EQ(std::string(title), std::string("a-very-long-name-of-a-still-pic"));
    SetClipTitle(c, "0123456789012345678901234567890123456789");
    GetClipTitle(c, title, &isTitle);
    EXPECT_EQ(isTitle, 1);
    EXPECT_EQ(std::strlen(title), 31u);
    std::string upper = path("A-VERY-LONG-NAME-OF-A-STILL-PICTURE-FILE.TGA");
    for (size_t i = 0; i < dir.size(); ++i) upper[i] = dir[i];
    SetClipTitle(c, upper.c_str());
    GetClipTitle(c, title, &isTitle);
    EXPECT_EQ(isTitle, 0);
}

// Random sequences against a model of who holds whom.
TEST_F(Clips, RandomSequencesMatchAReferenceModel) {
    struct M {
        int ext = 0;
        int32_t parent = 0;
        int children = 0;
        int32_t link = 0;
        int16_t file = 0;
    };
    std::map<int32_t, M> model;
    std::vector<int16_t> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(movie("m" + std::to_string(i) + ".avi"));
        FileSubscribe(files.back());
    }
    auto subs = [&](int32_t id) {
        const M& m = model[id];
        return m.ext + m.children + (m.link ? 1 : 0);
    };
    std::function<void(int32_t)> settle = [&](int32_t id) {
        if (!model.count(id)) return;
        int s = subs(id);
        if (s == 0) {
            int32_t parent = model[id].parent;
            model.erase(id);
            if (parent) {
                --model[parent].children;
                settle(parent);
            }
        } else if (s == 1 && model[id].link) {
            int32_t p = model[id].link;
            model[id].link = 0;
            model[p].link = 0;
            settle(p);
            settle(id);
        }
    };
    auto unlink = [&](int32_t id) {
        if (!model.count(id) || !model[id].link) return;
        int32_t p = model[id].link;
        model[id].link = model[p].link = 0;
        settle(p);
        settle(id);
    };
    auto root = [&](int32_t id) {
        while (model[id].parent) id = model[id].parent;
        return id;
    };
    auto pick = [&](std::mt19937& rng) {
        auto it = model.begin();
        std::advance(it, rng() % model.size());
        return it->first;
    };
    std::mt19937 rng(99);
    for (int step = 0; step < 6000; ++step) {
        int op = model.empty() ? 0 : int(rng() % 7);
        if (op == 0) {
            int16_t f = files[rng() % files.size()];
            int32_t id = NewClip(f, &k30, kClipVideo);
            ASSERT_GT(id, 0);
            ASSERT_FALSE(model.count(id));
            model[id] = M{1, 0, 0, 0, f};
        } else if (op == 1) {
            int32_t src = pick(rng);
            int32_t r = root(src);
            int32_t id = MakeSubClip(src, nullptr, kClipVideo);
            ASSERT_GT(id, 0);
            model[id] = M{1, r, 0, 0, model[r].file};
            ++model[r].children;
        } else if (op == 2) {
            int32_t id = pick(rng);
            ClipSubscribe(id);
            ++model[id].ext;
        } else if (op == 3 || op == 4) {
            int32_t id = pick(rng);
            if (model[id].ext == 0) continue;
            ClipCancel(id);
            --model[id].ext;
            settle(id);
        } else if (op == 5) {
            int32_t a = pick(rng), b = pick(rng);
            AddClipLink(a, b);
            unlink(a);
            unlink(b);
            if (a != b && model.count(a) && model.count(b)) {
                model[a].link = b;
                model[b].link = a;
            }
        } else {
            int32_t id = pick(rng);
            RemoveClipLink(id);
            unlink(id);
        }
        if (step % 500 != 0) continue;
        for (auto& [id, m] : model) {
            FmClipRecord* r = crec(id);
            ASSERT_NE(r, nullptr) << id;
            ASSERT_EQ(r->subscriptions, subs(id)) << id;
            ASSERT_EQ(r->parent, m.parent);
            ASSERT_EQ(GetClipLink(id), m.link);
            ASSERT_EQ(r->fileID, m.file);
        }
        FmClipIterator it{-1};
        size_t live = 0;
        while (GetNextUsedClipID(&it, nullptr)) ++live;
        ASSERT_EQ(live, model.size());
    }
    // Letting go of every subscription of our own leaves nothing behind.
    for (bool more = true; more;) {
        more = false;
        for (auto& [id, m] : model) {
            if (m.ext == 0) continue;
            int32_t victim = id;
            ClipCancel(victim);
            --model[victim].ext;
            settle(victim);
            more = true;
            break;
        }
    }
    EXPECT_TRUE(model.empty());
    FmClipIterator it{-1};
    EXPECT_FALSE(GetNextUsedClipID(&it, nullptr));
    for (int16_t f : files) EXPECT_EQ(rec(f)->subscriptions, 1);
}

}  // namespace
