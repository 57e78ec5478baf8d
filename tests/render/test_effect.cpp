// EffectCore and DoEffect through a recording transition, transitions and
// filters inside a frame, and the thumbnail's points.
#include <algorithm>

#include "reelcore/effects.h"

#include "render_fixture.h"

namespace {

using namespace rendertest;

// What the recording transition saw, and what it does: a wipe that takes
// source 1 left of `split` and source 2 from there (alpha included).
struct Seen {
    int16_t selector;
    int32_t part, total;
    uint32_t specs;
    RcPoint start, end, centre;
    uint8_t alpha1, alpha2;  // of the sources' first pixels
    uint32_t source1, source2;
    int16_t flags, version;
};
std::vector<Seen> seen;
int32_t split = 0;
int16_t answer = 0;

uint8_t alphaOf(uint32_t word) {
    PPixHand p = WordToHandle(word);
    return at(p, 0, 0).a;
}

int16_t recordingEffect(int16_t, int16_t selector, Handle record) {
    const auto& r = *reinterpret_cast<RcEffectRecord*>(*record);
    seen.push_back({selector, r.part, r.total, r.specsHandle, r.startPoint, r.endPoint,
                    r.centerPoint, alphaOf(r.source1), alphaOf(r.source2), r.source1, r.source2,
                    r.flags, r.version});
    if (selector != kRcEffectProcess || answer) return answer;
    PPixHand a = WordToHandle(r.source1), b = WordToHandle(r.source2);
    PPixHand d = WordToHandle(r.destination);
    for (int32_t y = 0; y < heightOf(d); ++y)
        for (int32_t x = 0; x < widthOf(d); ++x)
            at(d, x, y) = x < split ? at(a, x, y) : at(b, x, y);
    return 0;
}

// A filter that inverts the colours, or fails.
int filterCalls = 0;
int16_t filterAnswer = 0;
int16_t invertingFilter(int16_t, int16_t, Handle record, RcFilterListEntry*) {
    ++filterCalls;
    if (filterAnswer) return filterAnswer;
    const auto& r = *reinterpret_cast<RcVideoFilterRecord*>(*record);
    PPixHand s = WordToHandle(r.source), d = WordToHandle(r.destination);
    for (int32_t y = 0; y < heightOf(d); ++y)
        for (int32_t x = 0; x < widthOf(d); ++x) {
            const Pixel p = at(s, x, y);
            at(d, x, y) = Pixel{uint8_t(255 - p.b), uint8_t(255 - p.g), uint8_t(255 - p.r), p.a};
        }
    return 0;
}

int16_t noWindow(OSType) {
    return 1;
}

class EffectTest : public RenderTest {
  protected:
    std::vector<PPixHand> pictures;
    void SetUp() override {
        RenderTest::SetUp();
        seen.clear();
        split = 0;
        answer = 0;
        filterCalls = 0;
        filterAnswer = 0;
        rc::render::Hooks hooks{};
        hooks.effect = recordingEffect;
        hooks.filter = invertingFilter;
        hooks.newWindow = noWindow;
        rc::render::setHooks(&hooks);
    }
    void TearDown() override {
        for (PPixHand p : pictures) ppixDispose(p);
        for (int32_t slot : {int32_t(kSlotStockIcon1), int32_t(kSlotStockIcon2)})
            if (PPixHand p = reinterpret_cast<PPixHand>(GetAGlobal(slot))) ppixDispose(p);
        RenderTest::TearDown();
    }
    PPixHand solid(int32_t w, int32_t h, Pixel p) {
        const FmRect b{0, 0, w, h};
        PPixHand pix = ppixNew(&b);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) at(pix, x, y) = p;
        pictures.push_back(pix);
        return pix;
    }
    Handle record(PPixHand a, PPixHand b, PPixHand d, int32_t part, int32_t total) {
        Handle h = NewHandleClear(sizeof(RcEffectRecord));
        owned.push_back(h);
        auto& r = *reinterpret_cast<RcEffectRecord*>(*h);
        r.source1 = HandleToWord(a);
        r.source2 = HandleToWord(b);
        r.destination = HandleToWord(d);
        r.part = part;
        r.total = total;
        r.version = kRcEffectRecordVersion;
        return h;
    }
    static RcEffectRecord& rec_(Handle h) { return *reinterpret_cast<RcEffectRecord*>(*h); }
};

TEST_F(EffectTest, ProgressIsMappedIntoTheStartEndWindowAndRestoredAfterwards) {
    PPixHand a = solid(8, 4, {10, 10, 10, 255}), b = solid(8, 4, {200, 200, 200, 255});
    PPixHand d = solid(8, 4, {0, 0, 0, 0});
    TransitionSettings s{};
    s.startPercent = 2500;
    s.endPercent = 7500;
    s.settings = 0x1234;
    const struct {
        int32_t part, total;
        uint8_t reverse;
        int32_t seenPart;
    } cases[] = {
        {1, 2, 0, 5000}, {1, 2, 1, 5000}, {0, 4, 0, 2500}, {0, 4, 1, 7500}, {4, 4, 0, 7500}};
    for (const auto& c : cases) {
        seen.clear();
        s.reverse = c.reverse;
        Handle r = record(a, b, d, c.part, c.total);
        ASSERT_EQ(EffectCore(1, r, nullptr, &s), 0);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].part, c.seenPart)
            << c.part << "/" << c.total << " rev " << int(c.reverse);
        EXPECT_EQ(seen[0].total, 10000);
        EXPECT_EQ(seen[0].specs, 0x1234u);
        EXPECT_EQ(rec_(r).part, c.part);
        EXPECT_EQ(rec_(r).total, c.total);
        EXPECT_EQ(rec_(r).specsHandle, 0u);
    }
    // The full window leaves part and total alone; a zero total becomes 1
    // for the module and stays 0 for the caller.
    s.startPercent = 0;
    s.endPercent = 10000;
    s.reverse = 1;
    seen.clear();
    Handle r = record(a, b, d, 0, 0);
    EffectCore(1, r, nullptr, &s);
    EXPECT_EQ(seen[0].total, 1);
    EXPECT_EQ(seen[0].part, 1);
    EXPECT_EQ(rec_(r).total, 0);
    // A transition of over 72 s at 29.97: the product needs 64 bits.
    s.reverse = 0;
    s.endPercent = 9000;
    seen.clear();
    r = record(a, b, d, 250000, 300000);
    EffectCore(1, r, nullptr, &s);
    EXPECT_EQ(seen[0].part, 7500);
}

TEST_F(EffectTest, AModuleErrorLeavesBlackAndRestoresTheRecordAndAlpha) {
    PPixHand a = solid(8, 4, {10, 10, 10, 200}), b = solid(8, 4, {200, 200, 200, 100});
    PPixHand d = solid(8, 4, {5, 5, 5, 5});
    TransitionSettings s{};
    s.startPercent = 1000;
    s.endPercent = 2000;
    s.borderWidth = 1;
    s.startPoint = FmPoint{117, 87};
    answer = 9;
    Handle r = record(a, b, d, 3, 4);
    EXPECT_EQ(EffectCore(1, r, nullptr, &s), 9);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].alpha1, 31);  // the marks the border needs
    EXPECT_EQ(seen[0].alpha2, 0);
    EXPECT_EQ(seen[0].start.x, 8);  // mapped from the 117 x 87 frame
    EXPECT_EQ(seen[0].start.y, 4);
    EXPECT_EQ(seen[0].centre.x, 58 * 8 / 117);
    EXPECT_EQ(at(d, 3, 2), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(at(a, 0, 0).a, 200);
    EXPECT_EQ(at(b, 7, 3).a, 100);
    EXPECT_EQ(rec_(r).part, 3);
    EXPECT_EQ(rec_(r).total, 4);
    EXPECT_EQ(rec_(r).startPoint.x, 0);
}

TEST_F(EffectTest, BordersAndAntiAliasingFollowTheEdgeBetweenTheSources) {
    PPixHand a = solid(40, 10, {0, 0, 255, 255}), b = solid(40, 10, {255, 0, 0, 255});
    PPixHand d = solid(40, 10, {0, 0, 0, 0});
    TransitionSettings s{};
    s.endPercent = 10000;
    s.borderWidth = 3;
    s.borderColor = 0x0000FF00;  // green, 0x00BBGGRR
    split = 20;
    Handle r = record(a, b, d, 1, 2);
    ASSERT_EQ(EffectCore(1, r, nullptr, &s), 0);
    for (int32_t y = 0; y < 10; ++y) {
        EXPECT_EQ(at(d, 19, y), (Pixel{0, 0, 255, 255}));  // source 1 up to the edge
        for (int32_t x = 20; x < 23; ++x) EXPECT_EQ(at(d, x, y), (Pixel{0, 255, 0, 255})) << x;
        EXPECT_EQ(at(d, 23, y), (Pixel{255, 0, 0, 255}));  // source 2 after the border
    }
    // Two anti-alias passes soften both sides of the edge.
    s.borderWidth = 0;
    s.antiAliasPasses = 2;
    r = record(a, b, d, 1, 2);
    ASSERT_EQ(EffectCore(1, r, nullptr, &s), 0);
    const Pixel left = at(d, 19, 5), right = at(d, 20, 5);
    EXPECT_GT(left.b, 0);
    EXPECT_LT(left.r, 255);
    EXPECT_GT(right.r, 0);
    EXPECT_LT(right.b, 255);
    EXPECT_EQ(at(d, 10, 5), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(d, 30, 5).a, 255);
}

TEST_F(EffectTest, DoEffectOrdersTheWorldsBySourceAndReverse) {
    const FmRect b{0, 0, 4, 4};
    PWorld w1 = 0, w2 = 0, wd = 0;
    ASSERT_EQ(NewPWorld(&w1, &b), 0);
    ASSERT_EQ(NewPWorld(&w2, &b), 0);
    ASSERT_EQ(NewPWorld(&wd, &b), 0);
    TransitionSettings s{};
    s.endPercent = 10000;
    EXPECT_EQ(DoEffect(1, 1, 4, w1, w2, wd, 0, &s, 1, &kBase), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].source1, HandleToWord(pwGetPPix(w1)));
    EXPECT_EQ(seen[0].flags, 32);
    EXPECT_EQ(seen[0].version, 6);
    s.source = 1;
    seen.clear();
    DoEffect(1, 1, 4, w1, w2, wd, 0, &s, 1, &kBase);
    EXPECT_EQ(seen[0].source1, HandleToWord(pwGetPPix(w2)));
    DisposePWorld(w1);
    DisposePWorld(w2);
    DisposePWorld(wd);
}

TEST_F(EffectTest, TheCutTransitionCallsNoModuleAndOthersRunBetweenAAndB) {
    const int16_t cut = addSynth("cut.synth", "kind bars\n");
    const int16_t wipe = addSynth("wipe.synth", "kind bars\n");
    SetAGlobal(kSlotCutTransition, cut);
    Handle t = transition(0, 10, cut);
    abTracks({item(bars, 0, 10)}, {item(disc, 0, 10)}, {t});
    setup();
    render(4);
    EXPECT_TRUE(seen.empty());
    rec(t)->clip = rec(transition(0, 10, wipe))->clip;
    split = 80;
    PPixHand out = render(4);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].part, 4);
    EXPECT_EQ(seen[0].total, 10);
    // Source and reverse equal: A in source 2, B in source 1.
    EXPECT_EQ(at(out, 10, 5), (Pixel{0, 160, 0, 255}));  // the disc's green field
    EXPECT_EQ(at(out, 150, 5), barColour(6));
    // A field path run gives the module doubled progress, the second field
    // half a frame later.
    seen.clear();
    render(4, 0x120);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].part, 8);
    EXPECT_EQ(seen[1].part, 9);
    EXPECT_EQ(seen[1].total, 20);
}

TEST_F(EffectTest, AMissingBItemUnderATransitionIsTransparentBlack) {
    const int16_t wipe = addSynth("wipe.synth", "kind bars\n");
    abTracks({item(bars, 0, 10)}, {}, {transition(0, 10, wipe)});
    setup();
    split = 160;  // everything from source 1, where B would go
    PPixHand out = render(2);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(at(out, 50, 50), (Pixel{0, 0, 0, 0}));
}

TEST_F(EffectTest, SwitchedOffFiltersAreSkippedAndTheResultLandsInTheCallersBuffer) {
    auto entry = [](int16_t id, uint8_t shy) {
        RcFilterListEntry e{};
        e.fileID = id;
        e.shy = shy;
        return e;
    };
    const struct {
        std::vector<uint8_t> shy;
        int calls;
        bool inverted;
    } cases[] = {{{0}, 1, true},        {{0, 0}, 2, false}, {{1, 0}, 1, true},
                 {{0, 1, 0}, 2, false}, {{1, 1}, 0, false}, {{0, 0, 0}, 3, true}};
    for (const auto& c : cases) {
        Handle list = NewHandleClear(uint32_t(c.shy.size() * sizeof(RcFilterListEntry)));
        owned.push_back(list);
        for (size_t i = 0; i < c.shy.size(); ++i) {
            const RcFilterListEntry e = entry(bars, c.shy[i]);
            std::memcpy(*list + i * sizeof e, &e, sizeof e);
        }
        Handle it = item(bars, 0, 10);
        PPixHand a = solid(70, 10, {1, 2, 3, 4}), b = solid(70, 10, {1, 2, 3, 4});
        filterCalls = 0;
        ASSERT_EQ(GetFilteredVideo(rec(it)->clipID, 2, 2, &kBase, 0x20, list, a, b, nullptr, 0x20,
                                   -1, false, 0),
                  0);
        EXPECT_EQ(filterCalls, c.calls);
        Pixel expect = barColour(0);
        if (c.inverted)
            expect = Pixel{uint8_t(255 - expect.b), uint8_t(255 - expect.g),
                           uint8_t(255 - expect.r), 255};
        EXPECT_EQ(at(b, 3, 3), expect) << c.shy.size() << " filters, " << c.calls << " on";
    }
    // A failing filter passes its source through.
    Handle list = NewHandleClear(sizeof(RcFilterListEntry));
    owned.push_back(list);
    const RcFilterListEntry e = entry(bars, 0);
    std::memcpy(*list, &e, sizeof e);
    filterAnswer = 3;
    Handle it = item(bars, 0, 10);
    PPixHand a = solid(70, 10, {1, 2, 3, 4}), b = solid(70, 10, {1, 2, 3, 4});
    GetFilteredVideo(rec(it)->clipID, 2, 2, &kBase, 0x20, list, a, b, nullptr, 0x20, -1, false, 0);
    EXPECT_EQ(at(b, 3, 3), barColour(0));
}

TEST_F(EffectTest, ThumbnailPointsAreHitAndMovedWithinTheFrame) {
    TransitionSettings s{};
    s.startPoint = FmPoint{10, 10};
    s.endPoint = FmPoint{100, 70};
    FmPoint down{12, 7}, to{-5, 200};
    EXPECT_EQ(FXClick(&s, &down, nullptr), 1);
    down = FmPoint{97, 74};
    EXPECT_EQ(FXClick(&s, &down, &to), 2);
    EXPECT_EQ(int32_t(s.endPoint.x), 0);
    EXPECT_EQ(int32_t(s.endPoint.y), 86);
    EXPECT_EQ(int32_t(s.startPoint.x), 10);
    down = FmPoint{50, 50};
    EXPECT_EQ(FXClick(&s, &down, &to), 0);

    s.startPoint = FmPoint{10, 10};
    s.endPoint = FmPoint{100, 70};
    s.endPercent = 10000;
    split = 58;
    PPixHand thumb = DrawFX(1, &s, 0);
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(widthOf(thumb), 117);
    EXPECT_EQ(heightOf(thumb), 87);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].part, 5000);
    EXPECT_EQ(at(thumb, 10, 10), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(at(thumb, 100, 70), (Pixel{0, 0, 0, 255}));
    EXPECT_NE(at(thumb, 5, 40), at(thumb, 110, 40));  // the two stock pictures
    ppixDispose(thumb);

    seen.clear();
    split = 16;
    PPixHand icon = MakeFXIcon(1, 1, 2, &s, 0);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(widthOf(icon), 32);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(at(icon, 2, 2), at(icon, 30, 2));
    ppixDispose(icon);
}

}  // namespace
