// Saving and loading whole projects: files with their renumbering, missing
// files (moved, deleted, skipped, located), clips of both versions, titles,
// aspect colours and markers.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "records_fixture.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"

using namespace projtest;

namespace {

// Media information by extension: .avi video, .wav audio, .mov both.
OSErr fakeInfo(int16_t id, FmMediaInfo* info, int32_t, bool) {
    std::memset(info, 0, sizeof *info);
    info->video = TDB{0, 30, 1};
    info->audio = TDB{0, 44100, 1};
    char path[260];
    GetFSSpecPath(id, path);
    std::string p(path);
    auto ends = [&](const char* e) { return p.size() > 4 && p.compare(p.size() - 4, 4, e) == 0; };
    if (ends(".avi"))
        info->mediaFlags = 1;
    else if (ends(".wav"))
        info->mediaFlags = 2;
    else if (ends(".mov"))
        info->mediaFlags = 3;
    else
        return 2;
    info->frame = FmRect{0, 0, 320, 240};
    return 0;
}

// The locate dialog as the tests drive it.
struct Dialog {
    int calls = 0;
    int32_t answer = kLocateAnswerSkip;
    std::string choose;  // path given with OK
};
Dialog* gDialog = nullptr;
int32_t testDialog(const char*, int32_t, Boolean, char* chosen, OSType* type) {
    ++gDialog->calls;
    if (gDialog->answer == kLocateAnswerOK) {
        std::strcpy(chosen, gDialog->choose.c_str());
        *type = 0;
    }
    return gDialog->answer;
}

class ProjectLoad : public RecordsTest {
  protected:
    Dialog dialog;
    FSSpec appFolder{};

    void SetUp() override {
        RecordsTest::SetUp();
        rc::mediahooks::setGetInfo(fakeInfo);
        gDialog = &dialog;
    }
    void TearDown() override {
        gDialog = nullptr;
        SetAGlobal(kSlotAppFolder, 0);
        RecordsTest::TearDown();
    }
    void useDialog() { FmSetLocateDialogProc(testDialog); }

    int16_t addFile(const std::string& p) {
        int16_t id = AddFile(p.c_str(), 0, 0, 0);
        FmMediaInfo info;
        if (id && fakeInfo(id, &info, 0, false) == 0) file(id)->info = info;
        return id;
    }

    // Writes the media groups of a project through the safe-save path.
    std::string save(Handle clipIDs, Handle timeline = nullptr, int32_t timelineCount = 0) {
        const std::string p = path("project.prj");
        OSErr err = noErr;
        ProjBufHand out = CreateProjBufHandSafe(p.c_str(), kProjBufSize, &err);
        EXPECT_NE(out, nullptr);
        if (!out) return "";
        FmProjHeader header{code("RLPJ"), 7, 0, kProjPlatformOwn};
        Handle files = FmNewHandle(0);
        EXPECT_EQ(WriteProjHeader(out, &header), noErr);
        EXPECT_EQ(SaveClips(out, clipIDs, files), noErr);
        EXPECT_EQ(SaveFiles(out, files), noErr);
        EXPECT_EQ(SaveClipTitles(out, clipIDs), noErr);
        EXPECT_EQ(SaveClipMarkers(out, clipIDs), noErr);
        EXPECT_EQ(SaveTimeLineMarkers(out, timelineCount, timeline), noErr);
        FmDisposeHandle(files);
        EXPECT_EQ(CloseProjBufHand(out), noErr);
        return readFile(p);
    }

    // Fresh tables, then the media groups of `text` loaded in.
    struct Loaded {
        Handle fileMap, clipMap, timeline;
        int32_t timelineCount;
    };
    Loaded load(const std::string& text, int32_t version = 7, bool freshTables = true) {
        if (freshTables) {
            rc::media::disposeClipTable();
            rc::media::disposeFileTable();
            InitFileQueue();
            InitClipQueue();
            rc::mediahooks::setGetInfo(fakeInfo);  // the file table installs its own
        }
        Loaded l{newMap(), newMap(), nullptr, 0};
        Reader r(text, 512);
        EXPECT_EQ(LoadFiles(r.stream, l.fileMap, 0, 0, version), noErr);
        const TDB base{0, 30, 1};
        EXPECT_EQ(LoadClips(r.stream, l.clipMap, l.fileMap, &base, version), noErr);
        EXPECT_EQ(LoadClipTitles(r.stream, l.clipMap), noErr);
        EXPECT_EQ(LoadClipMarkers(r.stream, l.clipMap), noErr);
        EXPECT_EQ(LoadTimeLineMarkers(r.stream, &l.timelineCount, &l.timeline, version), noErr);
        if (l.timeline) keep(l.timeline);
        return l;
    }
    Handle everyClip() {
        Handle h = keep(FmNewHandle(0));
        for (int32_t id : allClips()) AddToClipList(h, id);
        return h;
    }
};

TEST_F(ProjectLoad, WholeProjectRoundTripsByteForByte) {
    std::filesystem::create_directories(dir / "media");
    const int16_t a = addFile(makeFile("media/a.avi"));
    const int16_t b = addFile(makeFile("media/b.wav"));
    SetFileText(a, "Opening shot");
    const int32_t c1 = clipOf(a, 0, 99);
    const int32_t c2 = clipOf(b, 10, 50, kClipAudio);
    const int32_t c3 = clipOf(a, 5, 20);
    ASSERT_GT(c3, 0);
    AddClipLink(c1, c2);
    SetClipTitle(c1, "Take one, the long version of a title");
    SetClipAspectColor(c3, 0x00FF8040);
    FmSetClipMarker(c3, 4, 12, nullptr);
    FmSetClipMarker(c1, kClipInsertMarker, 41, nullptr);  // extra markers
    FmSetClipMarker(c1, kClipInsertMarker, 40, nullptr);
    FmTimeLineMarker tl[2] = {};
    tl[0].time = 100;
    tl[0].value = 1;
    tl[1].time = 250;
    tl[1].value = 2;
    Handle list = FmNewHandle(4);
    std::memcpy(*list, "a\0bc", 4);
    tl[1].text[0] = HandleToWord(list);
    Handle timeline = keep(FmNewHandle(sizeof tl));
    std::memcpy(*timeline, tl, sizeof tl);
    int progress = 0;
    static int* progressCount;
    progressCount = &progress;
    FmSetProjProgressProc(
        [](int32_t phase, intptr_t value, OSType) {
            EXPECT_EQ(phase, 1);
            EXPECT_EQ(value, 42);
            ++*progressCount;
        },
        42);

    const std::string first = save(everyClip(), timeline, 2);
    FmDisposeHandle(list);
    ASSERT_FALSE(first.empty());
    size_t stored = 0, zero = 0;
    for (size_t at = first.find("moremarkers="); at != std::string::npos;
         at = first.find("moremarkers=", at + 1)) {
        ++stored;
        zero += first.compare(at, 15, "moremarkers=0\r\n") == 0;
    }
    EXPECT_EQ(stored, 3u);
    EXPECT_EQ(zero, stored);

    Loaded l = load(first);
    EXPECT_EQ(progress, 2 + 3);  // two files, three clips
    EXPECT_EQ(dialog.calls, 0);
    EXPECT_EQ(LookupClip(c1, l.clipMap), c1);  // fresh tables: the same numbers
    EXPECT_EQ(GetClipLink(LookupClip(c1, l.clipMap)), LookupClip(c2, l.clipMap));
    char title[32];
    GetClipTitle(LookupClip(c1, l.clipMap), title, nullptr);
    EXPECT_STREQ(title, "Take one, the long version of a");  // cut to 31
    EXPECT_EQ(ClipAspectColor(LookupClip(c3, l.clipMap)), 0x00FF8040);
    EXPECT_EQ(FmCountClipMarkers(LookupClip(c1, l.clipMap)) >= 2, true);
    EXPECT_EQ(FmGetClipMarker(LookupClip(c1, l.clipMap), 13, nullptr), 41);
    ASSERT_EQ(l.timelineCount, 2);
    auto* m = reinterpret_cast<FmTimeLineMarker*>(*l.timeline);
    EXPECT_EQ(int64_t(m[1].time), 250);
    Handle text = WordToHandle(m[1].text[0]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(*text, FmGetHandleSize(text)), std::string("a\0bc", 4));

    const std::string second = save(everyClip(), l.timeline, 2);
    for (int i = 0; i < 2; ++i)
        for (uint32_t w : m[i].text)
            if (Handle h = WordToHandle(w)) FmDisposeHandle(h);
    EXPECT_EQ(second, first);
}

// A failed save leaves the previous project as it was.
TEST_F(ProjectLoad, FailedSaveKeepsThePreviousProject) {
    const int16_t a = addFile(makeFile("a.avi"));
    const int32_t c = clipOf(a, 0, 9);
    const std::string good = save(clipList({c}));
    ASSERT_FALSE(good.empty());
    rc::project::failFileWritesAfter(0);
    const std::string p = path("project.prj");
    OSErr err = noErr;
    ProjBufHand out = CreateProjBufHandSafe(p.c_str(), 16, &err);
    ASSERT_NE(out, nullptr);
    Handle files = keep(FmNewHandle(0));
    SaveClips(out, clipList({c}), files);
    SaveFiles(out, files);
    EXPECT_NE(CloseProjBufHand(out), noErr);
    EXPECT_EQ(readFile(p), good);
}

TEST_F(ProjectLoad, MissingFilesMovedDeletedSkippedOrLocated) {
    std::filesystem::create_directories(dir / "day1");
    std::filesystem::create_directories(dir / "moved");
    const int16_t a = addFile(makeFile("day1/a.avi"));
    const int16_t b = addFile(makeFile("day1/b.avi"));
    const int16_t w = addFile(makeFile("day1/c.wav"));
    const int32_t ca = clipOf(a, 0, 9), cb = clipOf(b, 0, 9), cw = clipOf(w, 0, 9, kClipAudio);
    const std::string text = save(clipList({ca, cb, cw}));

    // a moved into a search folder, b and c deleted.
    std::filesystem::rename(dir / "day1/a.avi", dir / "moved/a.avi");
    std::filesystem::remove(dir / "day1/b.avi");
    std::filesystem::remove(dir / "day1/c.wav");
    std::strcpy(appFolder.name, (dir / "moved").c_str());
    SetAGlobal(kSlotAppFolder, reinterpret_cast<intptr_t>(&appFolder));

    // Headless: the moved file is found silently, the others kept offline
    // with their stored descriptions, and every clip survives.
    Loaded l = load(text);
    const int16_t na = int16_t(LookupClip(a, l.fileMap));
    ASSERT_NE(na, 0);
    char where[260];
    GetFSSpecPath(na, where);
    EXPECT_EQ(std::string(where), (dir / "moved/a.avi").string());
    const int16_t nb = int16_t(LookupClip(b, l.fileMap));
    ASSERT_NE(nb, 0);
    EXPECT_EQ(GetFileTypeID(nb), kFileTypeOffline);
    ASSERT_NE(file(nb)->savedDescription, nullptr);
    auto* d = reinterpret_cast<FmOfflineInfo*>(*file(nb)->savedDescription);
    EXPECT_EQ(std::string(d->folder), (dir / "day1").string());
    EXPECT_EQ(int64_t(d->info.mediaFlags), 1);
    EXPECT_EQ(allClips().size(), 3u);
    EXPECT_EQ(ClipFile(LookupClip(cw, l.clipMap)), int16_t(LookupClip(w, l.fileMap)));

    // Skip All: asked once, the rest of this load skipped; the next load
    // asks again.
    useDialog();
    dialog.answer = kLocateAnswerSkipAll;
    l = load(text);
    EXPECT_EQ(dialog.calls, 1);
    EXPECT_EQ(LookupClip(b, l.fileMap), 0);
    EXPECT_EQ(LookupClip(w, l.fileMap), 0);
    EXPECT_NE(LookupClip(a, l.fileMap), 0);
    EXPECT_EQ(allClips().size(), 1u);  // clips of skipped files are not made
    l = load(text);
    EXPECT_EQ(dialog.calls, 2);

    // A dialog that cannot appear skips the file; nothing waits.
    dialog = Dialog{};
    dialog.answer = kLocateAnswerFailed;
    l = load(text);
    EXPECT_EQ(dialog.calls, 2);
    EXPECT_EQ(LookupClip(b, l.fileMap), 0);

    // Located by the user: a file of the wrong kind is refused with the
    // message (Cancel skips); one of the right kind is taken, and its
    // folder then serves the next missing file.
    makeFile("moved/b.wav");
    dialog = Dialog{};
    dialog.answer = kLocateAnswerOK;
    dialog.choose = (dir / "moved/b.wav").string();
    alertAnswer() = kAlertCancel;
    alerts().clear();
    l = load(text);
    ASSERT_GE(alerts().size(), 1u);
    EXPECT_NE(alerts()[0].message.find("The media type of the selected file is different"),
              std::string::npos)
        << alerts()[0].message;
    EXPECT_EQ(LookupClip(b, l.fileMap), 0);
    // OK on the message keeps asking, but a dialog that always offers the
    // wrong file cannot keep the load going for ever.
    alertAnswer() = kAlertOK;
    dialog.calls = 0;
    l = load(text);
    EXPECT_GT(dialog.calls, 2);
    EXPECT_LT(dialog.calls, 100);
    EXPECT_EQ(LookupClip(b, l.fileMap), 0);

    std::filesystem::create_directories(dir / "elsewhere");
    makeFile("elsewhere/c.wav");
    makeFile("elsewhere/b.avi");
    dialog = Dialog{};
    dialog.answer = kLocateAnswerOK;
    dialog.choose = (dir / "elsewhere/b.avi").string();
    l = load(text);
    EXPECT_EQ(dialog.calls, 1);  // c.wav was then found in b's folder
    GetFSSpecPath(int16_t(LookupClip(w, l.fileMap)), where);
    EXPECT_EQ(std::string(where), (dir / "elsewhere/c.wav").string());
}

TEST_F(ProjectLoad, StoredFileRecordsAreBoundedAndMatchNamesSkipped) {
    // prefLength larger than the preferences stored, a plug-in file with
    // the empty match name, and a too-long path.
    const std::string p = makeFile("a.avi");
    FmSaveFileRec big{};
    big.fileID = 4;
    big.filetype = 0;
    big.mediaType = 1;
    big.prefLength = 1000;
    Handle prefs = keep(FmNewHandle(20));
    std::memset(*prefs, 7, 20);
    big.prefHandle = HandleToWord(prefs);
    FmSaveFileRec small = big;
    small.fileID = 5;
    small.prefLength = 100;
    small.prefHandle = 0;
    std::memset(small.param, 9, sizeof small.param);
    FmSaveFileRec plugin{};
    plugin.fileID = 6;
    plugin.filetype = code("SPFX");
    const std::string longPath = "/" + std::string(270, 'x') + "/a.avi";
    FmSaveFileRec far = small;
    far.fileID = 7;
    std::string text = written([&](ProjBufHand out) {
        WriteSaveFileRec(out, &big);
        WriteFileName(out, p.c_str());
        WriteSaveFileRec(out, &small);
        WriteFileName(out, (p + "x").c_str());
        WriteSaveFileRec(out, &plugin);
        WriteMatchName(out, "");
        WriteSaveFileRec(out, &far);
        WriteFileName(out, longPath.c_str());
    });
    makeFile("a.avix");
    Reader r(text, 64);
    Handle map = newMap();
    ASSERT_EQ(LoadFiles(r.stream, map, 0, 0, 7), noErr);
    const int16_t id4 = int16_t(LookupClip(4, map)), id5 = int16_t(LookupClip(5, map));
    ASSERT_NE(id4, 0);
    ASSERT_NE(id5, 0);
    int32_t size = 0;
    ASSERT_NE(LockImporterPrefs(id4, &size), nullptr);
    EXPECT_EQ(size, 20);
    UnlockImporterPrefs(id4);
    uint8_t* block = static_cast<uint8_t*>(LockImporterPrefs(id5, &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 16);
    EXPECT_EQ(block[15], 9);
    EXPECT_EQ(LookupClip(6, map), 0);  // the empty match name: skipped
    // The path that does not fit is dropped; the file is kept offline.
    const int16_t id7 = int16_t(LookupClip(7, map));
    ASSERT_NE(id7, 0);
    EXPECT_EQ(GetFileTypeID(id7), kFileTypeOffline);

    // Too few file handles: the load stops with -42 and says why.
    SetAGlobal(kSlotOpenFileBudget, 3);
    alerts().clear();
    Reader again(text, 64);
    EXPECT_EQ(LoadFiles(again.stream, newMap(), 0, 0, 7), kProjTooFewFiles);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_NE(alerts()[0].message.find("not enough file handles"), std::string::npos)
        << alerts()[0].message;
}

TEST_F(ProjectLoad, ClipsOfOlderFilesSiblingsAndMarkers) {
    const int16_t a = addFile(makeFile("a.mov"));
    // Version 6 clips by hand: one video-marked, one with rate 0 and a
    // marker 3 beyond the end, two siblings under a parent.
    auto clipText = [](int32_t id, int32_t parent, int32_t child, int32_t prev, int32_t next,
                       float rate, const std::string& markers, int32_t flags) {
        std::string t = "[CLIP]\r\n";
        for (int32_t v : {1, parent, child, prev, next, id}) t += std::to_string(v) + "\r\n";
        t += "1\r\n1\r\n0\r\n0\r\n1\r\n1\r\n";
        t += std::to_string(rate) + "\r\n" + markers + "\r\n";
        t += "3\r\n8\r\n30\r\n30\r\n1\r\n0\r\n0\r\n0\r\n\r\n" + std::to_string(flags) + "\r\n";
        t += "\r\n0\r\n0\r\n0\r\n0\r\n2\r\n";
        return t;
    };
    const std::string none = "0,29,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1";
    std::string text = written([&](ProjBufHand out) {
        FmSaveFileRec f{};
        f.fileID = 1;
        f.mediaType = 3;
        WriteSaveFileRec(out, &f);
        WriteFileName(out, path("a.mov").c_str());
    });
    text += clipText(10, 0, 0, 0, 0, 100, none, 1);
    text += clipText(11, 0, 0, 0, 0, 0, "2,3,500,-1,-1,-1,-1,-1,-1,-1,-1,-1", 2);
    text += clipText(12, 0, 13, 0, 0, 100, none, 1);
    text += clipText(13, 12, 0, 0, 14, 100, none, 1);
    text += clipText(14, 12, 0, 13, 0, 100, none, 1);
    text += clipText(15, 0, 0, 0, 0, 100, none, 1);
    // Clip 15 names a file that is not in the project.
    text.replace(text.rfind("[CLIP]\r\n") + 8 + 19, 1, "9");

    Reader r(text, 64);
    Handle fileMap = newMap(), clipMap = newMap();
    ASSERT_EQ(LoadFiles(r.stream, fileMap, 0, 0, 6), noErr);
    ASSERT_EQ(LoadClips(r.stream, clipMap, fileMap, nullptr, 6), noErr);
    (void)a;
    const int32_t v = LookupClip(10, clipMap), old = LookupClip(11, clipMap);
    ASSERT_NE(v, 0);
    ASSERT_NE(old, 0);
    EXPECT_EQ(LookupClip(15, clipMap), 0);
    EXPECT_EQ(clip(v)->markIn, 3);
    EXPECT_EQ(clip(v)->markOut, 8);
    EXPECT_EQ(clip(v)->markIn2, -1);
    EXPECT_EQ(clip(old)->markIn, -1);
    EXPECT_EQ(clip(old)->markIn2, 3);
    // Rate 0: 100 percent, markers 20 times finer; marker 2 then lies
    // beyond the clip's last frame (in + length - 1 = 40 + 29) and moves there.
    EXPECT_FLOAT_EQ(clip(old)->rate, 100.0f);
    EXPECT_EQ(clip(old)->markers[0], 40);
    EXPECT_EQ(clip(old)->markers[1], 60);
    EXPECT_EQ(clip(old)->markers[2], 69);
    // Media type: the file's kinds joined with the stored ones.
    EXPECT_EQ(clip(v)->flags, 3);
    const int32_t parent = LookupClip(12, clipMap), s1 = LookupClip(13, clipMap),
                  s2 = LookupClip(14, clipMap);
    EXPECT_EQ(clip(parent)->firstChild, s1);
    EXPECT_EQ(clip(s1)->nextSibling, s2);
    EXPECT_EQ(clip(s2)->prevSibling, s1);
    EXPECT_EQ(clip(s2)->parent, parent);
    EXPECT_EQ(GetClipChild(parent), s1);
    // Users grow by the link sides in use.
    EXPECT_EQ(clip(s1)->subscriptions, 2);
    EXPECT_EQ(clip(v)->subscriptions, 1);
    ReleaseAllClips(clipMap);
    EXPECT_EQ(clip(v), nullptr);
}

}  // namespace
