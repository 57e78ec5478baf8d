#include <fcntl.h>
#include <sys/resource.h>

#include <cstring>
#include <map>
#include <random>
#include <set>

#include "media_fixture.h"
#include "platform/alloc.h"
#include "reelcore/files.h"

using namespace mediatest;

namespace {

std::vector<std::string>& debugLines() {
    static std::vector<std::string> lines;
    return lines;
}
void recordDebug(const char* text) {
    debugLines().push_back(text);
}

class FileTable : public MediaTest {};

TEST_F(FileTable, RegistrationDeduplicatesByExactPath) {
    int16_t a = add("/media/clips/shot.avi");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(add("/media/clips/shot.avi"), a);
    EXPECT_EQ(add("\\media\\clips\\shot.avi"), a);  // separators are normalised
    int16_t upper = add("/media/clips/SHOT.avi");   // case matters on this system
    EXPECT_NE(upper, a);
    EXPECT_NE(AddFile("/media/clips/shot.avi", 7, 0, 0), a);  // another parent directory
    EXPECT_EQ(FindName("/media/clips/shot.avi", 0, 0), FindFile(a));
    EXPECT_EQ(FindName("/media/clips/none.avi", 0, 0), nullptr);

    FSSpec spec{};
    GetFSSpec(a, &spec);
    EXPECT_STREQ(spec.name, "/media/clips/shot.avi");
    char p[260];
    GetFSSpecPath(upper, p);
    EXPECT_STREQ(p, "/media/clips/SHOT.avi");
    GetFSSpec(999, &spec);
    EXPECT_STREQ(spec.name, "");

    EXPECT_EQ(FindFile(0), nullptr);
    EXPECT_EQ(FindFile(-3), nullptr);
    EXPECT_EQ(FindFile(4), nullptr);  // above count

    // An offline record no longer stands for the file.
    rec(a)->offline = 1;
    int16_t again = add("/media/clips/shot.avi");
    EXPECT_NE(again, a);
    EXPECT_EQ(FindName("/media/clips/shot.avi", 0, 0), FindFile(again));

    // Explicit types are kept; the handler comes from the registry.
    rc::mediahooks::setGetDrawType(
        [](OSType t) -> uint32_t { return t == cc("AVI ") ? cc("HAVI") : 0; });
    int16_t typed = add("/x/y.bin", cc("AVI "));
    EXPECT_EQ(GetFileTypeID(typed), OSType(cc("AVI ")));
    EXPECT_EQ(GetFileDraw(typed), OSType(cc("HAVI")));
}

TEST_F(FileTable, DuplicatesForSetupImportersAndNumberedStills) {
    rc::mediahooks::setImporterHasSetup([](OSType h) { return h == cc("SETP"); });
    rc::mediahooks::setGetDrawType(
        [](OSType t) -> uint32_t { return t == cc("RAW ") ? cc("SETP") : 0; });
    int16_t a = add("/m/a.raw", cc("RAW "));
    EXPECT_NE(add("/m/a.raw", cc("RAW ")), a);

    int16_t still = add("/m/frame0001.tga");
    EXPECT_EQ(add("/m/frame0001.tga"), still);
    rec(still)->still = 1;
    EXPECT_NE(add("/m/frame0001.tga"), still);
    int16_t plain = add("/m/title.tga");
    rec(plain)->still = 1;
    EXPECT_EQ(add("/m/title.tga"), plain);  // not a numbered name
}

TEST_F(FileTable, FreedFileIDsAreReusedLowestFirstThenTheTableGrows) {
    for (int i = 1; i <= 999; ++i) ASSERT_EQ(add("/f/" + std::to_string(i)), i);
    FmFileTable* t = rc::media::fileTable();
    EXPECT_EQ(t->capacity, 1000);
    for (int16_t id : {7, 5}) {
        FileSubscribe(id);
        FileCancel(id);
        EXPECT_EQ(FindFile(id), nullptr);
    }
    EXPECT_EQ(add("/g/a"), 5);
    EXPECT_EQ(add("/g/b"), 7);
    EXPECT_EQ(add("/g/c"), 1000);
    t = rc::media::fileTable();
    EXPECT_EQ(t->capacity, 2000);
    EXPECT_EQ(t->count, 1000);
    EXPECT_EQ(add("/g/d"), 1001);
    // The old path of a freed FileID is no longer known.
    EXPECT_EQ(FindName("/f/7", 0, 0), nullptr);
    EXPECT_EQ(add("/f/7"), 1002);
}

TEST_F(FileTable, TheFileIDLimitIsReportedAndNeverWraps) {
    rc::mediahooks::setDebug(recordDebug);
    debugLines().clear();
    std::set<int16_t> ids;
    for (int i = 1; i <= 32767; ++i) {
        int16_t id = add("/n/" + std::to_string(i));
        ASSERT_GE(id, 1);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 32767u);
    EXPECT_EQ(*ids.rbegin(), 32767);
    EXPECT_EQ(rc::media::fileTable()->capacity, 32768);
    EXPECT_EQ(add("/n/one-more"), 0);
    ASSERT_FALSE(debugLines().empty());
    EXPECT_EQ(debugLines().back(), "AddFSSpec: FileID limit");
    EXPECT_EQ(add("/n/another"), 0);
    // A freed FileID makes room again.
    FileSubscribe(12345);
    FileCancel(12345);
    EXPECT_EQ(add("/n/one-more"), 12345);
    EXPECT_EQ(add("/n/12"), 12);  // still registered: deduplicated
}

TEST_F(FileTable, FailedAllocationsChangeNothing) {
    rc::mediahooks::setDebug(recordDebug);
    debugLines().clear();
    for (int i = 1; i <= 999; ++i) ASSERT_EQ(add("/a/" + std::to_string(i)), i);
    // The slots cannot grow: the file is refused and the table is as it was.
    rc::platform::failAllocationsAbove(3000);
    EXPECT_EQ(add("/a/too-many"), 0);
    rc::platform::resetAllocationFaults();
    ASSERT_FALSE(debugLines().empty());
    EXPECT_EQ(debugLines().back(), "AddFSSpec: cannot expand File Cache");
    EXPECT_EQ(rc::media::fileTable()->capacity, 1000);
    EXPECT_EQ(FindName("/a/too-many", 0, 0), nullptr);
    EXPECT_EQ(add("/a/too-many"), 1000);

    // No record: no FileID is used up. (Small blocks come from the system
    // only above the heap's limit.)
    uint32_t limit = SetMaxAllocInHeap(16);
    rc::platform::failNextAllocations(100);
    EXPECT_EQ(add("/a/no-record"), 0);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(add("/a/no-record"), 1001);

    // The same for clips: no clipID, no file subscription.
    int32_t before = rec(1)->subscriptions;
    int32_t times[12] = {0, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    const TDB tb{0, 25, 1};
    rc::platform::failNextAllocations(100);
    EXPECT_EQ(AddClip(1, times, &tb, 1), -1);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(limit);
    EXPECT_EQ(rec(1)->subscriptions, before);
    EXPECT_EQ(AddClip(1, times, &tb, 1), 1);
}

TEST_F(FileTable, SubscriptionsKeepTheRecordAndItsDataAlive) {
    std::string p = makeFile("keep.wav");
    int16_t id = add(p);
    FileCancel(id);  // nobody subscribed: nothing happens
    ASSERT_NE(FindFile(id), nullptr);
    EXPECT_EQ(FileSubscribe(id), 1);
    EXPECT_EQ(FileSubscribe(id), 2);
    SetFileText(id, "kept");
    FileCancel(id);
    ASSERT_NE(FindFile(id), nullptr);
    char text[260];
    GetFileText(id, text);
    EXPECT_STREQ(text, "kept");
    ASSERT_GT(OpenFmxFile(id, 0), 2);
    intptr_t before = GetAGlobal(kSlotOpenFileBudget);
    FileCancel(id);
    EXPECT_EQ(FindFile(id), nullptr);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), before + 1);  // its data file was closed
    EXPECT_EQ(FileSubscribe(id), 0);

    // Delete-on-close removes the file from the disk.
    std::string q = makeFile("scratch.tmp");
    int16_t tmp = add(q);
    SetFileDelete(tmp, 0x101);  // only the low byte counts
    EXPECT_EQ(GetFileDelete(tmp), 1);
    FileSubscribe(tmp);
    FileCancel(tmp);
    EXPECT_NE(access(q.c_str(), F_OK), 0);
}

TEST_F(FileTable, AccessorsAndTexts) {
    std::string p = path("a-rather-long-file-name-for-the-display-text.avi");
    int16_t id = add(p);
    char text[260];
    GetFileText(id, text);
    EXPECT_STREQ(text, "a-rather-long-file-name-for-the-display-text.avi");
    SetFileText(id, "0123456789012345678901234567890123456789");
    GetFileText(id, text);
    EXPECT_EQ(std::strlen(text), 31u);
    EXPECT_EQ(std::string(text), std::string("0123456789012345678901234567890"));

    SetFileDirty(id, 0x100);
    EXPECT_EQ(GetFileDirty(id), 0);
    SetFileDirty(id, 3);
    EXPECT_EQ(GetFileDirty(id), 3);
    SetFileIsCap(id, 1);
    EXPECT_EQ(GetFileCanDraw(id), 1);
    SetFileNotReal(id, 1);
    EXPECT_EQ(GetFileNotReal(id), 1);
    SetFileUntitled(id, 1);
    EXPECT_EQ(GetFileUntitled(id), 1);
    SetFileVersion(id, 42);
    EXPECT_EQ(GetFileVersion(id), 42);
    EXPECT_TRUE(GetFileContent(id));
    EXPECT_FALSE(FileIsInfinite(id));
    rec(id)->info.noDuration = 1;
    EXPECT_TRUE(FileIsInfinite(id));
    EXPECT_EQ(GetFileNoDuration(id), 1);

    rc::mediahooks::setGetTypeFlags([](OSType) -> uint32_t { return (1u << 9) | (1u << 11); });
    EXPECT_TRUE(GetFileCanWriteTimecode(id));
    EXPECT_FALSE(GetFileCanWriteMetaData(id));
    EXPECT_TRUE(GetFileCantBatchProcess(id));

    rec(id)->info.audio = {0, 48000, 1};
    rec(id)->info.video = {0, 2997, 100};
    TDB tb{};
    GetFileTimeBase(id, &tb, 1);
    EXPECT_EQ(tb.scale, 48000);
    GetFileTimeBase(id, &tb, 0);
    EXPECT_EQ(tb.scale, 2997);
    EXPECT_EQ(tb.samp, 100);

    // Accessors on an id without a record change nothing and read 0.
    SetFileDirty(500, 1);
    EXPECT_EQ(GetFileDirty(500), 0);
    GetFileText(500, text);
    EXPECT_STREQ(text, "");

    // The bad-file list.
    Handle bad = NewHandle(4);
    reinterpret_cast<int16_t*>(*bad)[0] = 9;
    reinterpret_cast<int16_t*>(*bad)[1] = id;
    SetAGlobal(kSlotBadFiles, reinterpret_cast<intptr_t>(bad));
    EXPECT_TRUE(FileIsBad(id));
    EXPECT_FALSE(FileIsBad(3));
    SetAGlobal(kSlotBadFiles, 0);
    DisposeHandle(bad);
}

TEST_F(FileTable, FrameStoresNeedTheNextNumberedFileOfTheSameType) {
    std::string first = makeFile("seq0009.tga");
    int16_t id = add(first, cc("TGA "));
    rec(id)->still = 1;
    SetFileIsFramestore(id, 1);
    EXPECT_EQ(GetFileIsFramestore(id), 0);  // seq0010 does not exist
    makeFile("seq0010.tga");
    rc::mediahooks::setGetTypeFlags(nullptr);
    // Without a registered extension the next file's type (0) differs.
    SetFileIsFramestore(id, 1);
    EXPECT_EQ(GetFileIsFramestore(id), 0);
    rec(id)->type = 0;
    SetFileIsFramestore(id, 1);
    EXPECT_EQ(GetFileIsFramestore(id), 1);
    EXPECT_EQ(GetFileIsStill(id), 0);
    SetFileIsFramestore(id, 0);
    EXPECT_EQ(GetFileIsFramestore(id), 0);

    // The carry out of the last digit adds one: shot9 is followed by shot10.
    int16_t shot = add(makeFile("shot9.tga"));
    rec(shot)->type = 0;
    SetFileIsFramestore(shot, 1);
    EXPECT_EQ(GetFileIsFramestore(shot), 0);  // no shot10 yet
    makeFile("shot10.tga");
    SetFileIsFramestore(shot, 1);
    EXPECT_EQ(GetFileIsFramestore(shot), 1);

    int16_t unnumbered = add(makeFile("title.tga"));
    rec(unnumbered)->type = 0;
    SetFileIsFramestore(unnumbered, 1);
    EXPECT_EQ(GetFileIsFramestore(unnumbered), 0);
}

TEST_F(FileTable, SharedOpenFilesAndClosingIdleOnes) {
    std::string p = makeFile("shared.avi", "0123456789");
    int16_t id = add(p);
    // File access finds the path of a FileID through the table.
    EXPECT_GT(FileModificationDate(id), 0u);
    EXPECT_EQ(FileModificationDate(999), 0u);
    intptr_t budget0 = GetAGlobal(kSlotOpenFileBudget);
    FileRef a = OpenFmxFile(id, 0);
    ASSERT_GT(a, 2);
    EXPECT_EQ(OpenFmxFile(id, 0), a);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), budget0 - 1);
    EXPECT_EQ(TranslateFMXFileToFileID(a), id);
    EXPECT_EQ(TranslateFMXFileToFileID(-1), 0);
    ReleaseFile(id);
    ReleaseFile(id);
    ReleaseFile(id);  // no users left: nothing happens
    EXPECT_EQ(rec(id)->dataUsers, 0);
    EXPECT_EQ(rec(id)->dataState, 2);  // still open until closed as idle

    EXPECT_EQ(CloseUp(100000), 0);  // not idle for that long
    EXPECT_EQ(CloseUp(0), 1);
    EXPECT_EQ(rec(id)->dataState, 0);
    EXPECT_EQ(rec(id)->dataRef, -1);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), budget0);
    EXPECT_EQ(CloseUp(0), 0);

    // Reopened on the next use; a file in use is never closed.
    FileRef b = OpenFmxFile(id, 1);
    ASSERT_GT(b, 2);
    EXPECT_EQ(CloseUp(0), 0);
    int32_t n = 4;
    char buf[8] = {};
    EXPECT_EQ(FSRead(b, &n, buf), noErr);
    EXPECT_EQ(std::string(buf, 4), "0123");
    ReleaseFile(id);
    ForceFileQuiet(id);
    EXPECT_EQ(rec(id)->dataState, 0);
}

TEST_F(FileTable, TheBudgetClosesIdleFilesBeforeOpeningMore) {
    std::vector<int16_t> ids;
    for (int i = 0; i < 4; ++i) ids.push_back(add(makeFile("b" + std::to_string(i))));
    SetAGlobal(kSlotOpenFileBudget, 4);
    for (int i = 0; i < 3; ++i) {
        ASSERT_GT(OpenFmxFile(ids[i], 0), 2);
        ReleaseFile(ids[i]);
    }
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), 1);
    // The budget is nearly spent: the idle files are closed first.
    ASSERT_GT(OpenFmxFile(ids[3], 0), 2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rec(ids[i])->dataState, 0) << i;
    EXPECT_EQ(rec(ids[3])->dataState, 2);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), 3);
}

TEST_F(FileTable, NothingBreaksAtTheDescriptorLimit) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    int open = 0;
    for (int fd = 0; fd < 4096; ++fd)
        if (fcntl(fd, F_GETFD) != -1) ++open;
    std::vector<int16_t> ids;
    for (int i = 0; i < 80; ++i) ids.push_back(add(makeFile("d" + std::to_string(i))));
    SetAGlobal(kSlotOpenFileBudget, 0);  // no budget: only the system says no
    rlimit low = saved;
    low.rlim_cur = rlim_t(open + 24);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    int opened = 0;
    for (int16_t id : ids) {
        FileRef r = OpenFmxFile(id, 0);
        if (r > 2) ++opened;
        ReleaseFile(id);
    }
    // Files held by their users cannot be closed: opening fails cleanly.
    std::vector<int16_t> held;
    FileRef last = 0;
    for (int16_t id : ids) {
        last = OpenFmxFile(id, 0);
        if (last == -1) break;
        held.push_back(id);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(opened, 80);
    EXPECT_EQ(last, -1);
    EXPECT_LT(held.size(), ids.size());
    for (int16_t id : held) ReleaseFile(id);
    EXPECT_GT(CloseUp(0), 0);
}

struct Counts {
    int open = 0, quiet = 0, close = 0;
};
Counts& counts() {
    static Counts c;
    return c;
}

TEST_F(FileTable, HandlerOwnedFilesAreOpenedQuietedAndClosedOnce) {
    counts() = {};
    rc::mediahooks::setFileOpen([](int16_t id) -> OSErr {
        ++counts().open;
        rc::media::findFileRec(id)->dataRef = 77;
        return 0;
    });
    rc::mediahooks::setFileQuiet([](int16_t) -> OSErr {
        ++counts().quiet;
        return 0;
    });
    rc::mediahooks::setFileClose([](int16_t) -> OSErr {
        ++counts().close;
        return 0;
    });
    int16_t id = add("/virtual/generated.syn");
    rec(id)->handlerOwnsFile = 1;
    rec(id)->handler = cc("SYNT");
    intptr_t b0 = GetAGlobal(kSlotOpenFileBudget);
    EXPECT_EQ(OpenFmxFile(id, 0), 77);
    EXPECT_EQ(OpenFmxFile(id, 0), 77);
    EXPECT_EQ(counts().open, 1);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), b0 - 1);
    ReleaseFile(id);
    ReleaseFile(id);
    EXPECT_EQ(CloseUp(0), 1);
    EXPECT_EQ(counts().quiet, 1);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), b0);
    rec(id)->dataReleaseTick = 0;
    rc::media::fileTable()->allIdleClosed = 0;
    EXPECT_EQ(CloseUp(0), 0);  // already quiet
    EXPECT_EQ(counts().quiet, 1);
    EXPECT_EQ(OpenFmxFile(id, 0), 77);  // through the handler again
    EXPECT_EQ(counts().open, 2);
    FileSubscribe(id);
    FileCancel(id);
    EXPECT_EQ(counts().close, 1);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), b0);

    // Never opened: leaving the table neither closes nor changes the budget.
    int16_t idle = add("/virtual/idle.syn");
    rec(idle)->handlerOwnsFile = 1;
    FileSubscribe(idle);
    FileCancel(idle);
    EXPECT_EQ(counts().close, 1);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), b0);
}

struct ResLog {
    int opens = 0, closes = 0, uses = 0;
    int32_t lastPermission = 0;
};
ResLog& resLog() {
    static ResLog r;
    return r;
}

TEST_F(FileTable, ResourceFilesAreSharedAndClosedWhenIdle) {
    resLog() = {};
    rc::mediahooks::setResourceFiles(
        [](const FSSpec* spec, int32_t permission) -> int32_t {
            resLog().lastPermission = permission;
            ++resLog().opens;
            // Only read-only opens succeed, as for a module on a read-only disk.
            return access(spec->name, F_OK) == 0 && permission == 1 ? 40 + resLog().opens : -1;
        },
        [](int32_t) { ++resLog().closes; }, [](int32_t) { ++resLog().uses; });
    int16_t id = add(makeFile("module.fmx"));
    rec(id)->prefsState = 1;
    rec(id)->handlerBlock[0] = 9;
    int32_t ref = OpenFmxRFile(id, -1);  // read/write refused, then read only
    EXPECT_EQ(ref, 42);
    EXPECT_EQ(resLog().opens, 2);
    EXPECT_EQ(resLog().lastPermission, 1);
    EXPECT_EQ(rec(id)->handlerBlock[0], 9);  // importer preferences survive
    EXPECT_EQ(OpenFmxRFile(id, 1), ref);
    EXPECT_EQ(resLog().uses, 1);
    EXPECT_EQ(rec(id)->resUsers, 2);
    ReleaseRFile(id);
    ReleaseRFile(id);
    EXPECT_EQ(rec(id)->resRef, ref);  // stays open while idle
    EXPECT_EQ(CloseUp(0), 1);
    EXPECT_EQ(resLog().closes, 1);
    EXPECT_EQ(rec(id)->resRef, -1);

    // A module that cannot be read as resources, and a missing one.
    int16_t other = add(makeFile("plain.bin"));
    rec(other)->handlerBlock[0] = 5;
    EXPECT_EQ(OpenFmxRFile(other, 3), -1);
    int16_t gone = add(path("gone.fmx"));
    EXPECT_EQ(OpenFmxRFile(gone, 1), -1);
    EXPECT_FALSE(rec(gone)->offline);  // no way to locate it here
    EXPECT_EQ(OpenFmxRFile(999, 1), -1);
}

int gInfoCalls;
OSErr countedInfo(int16_t, FmMediaInfo* info, int32_t, bool) {
    ++gInfoCalls;
    std::memset(info, 0, sizeof *info);
    info->mediaFlags = 1;
    info->video = {250, 25, 1};
    return 0;
}

Boolean gLocateAnswer;
std::string gLocateTo;
std::string gLocateTitle;
Boolean locate(const char* title, int32_t, OSType, FSSpec* chosen, OSType* type) {
    gLocateTitle = title;
    if (!gLocateAnswer) return 0;
    std::strncpy(chosen->name, gLocateTo.c_str(), sizeof chosen->name - 1);
    *type = 0;
    return 1;
}

std::vector<std::string>& alerts() {
    static std::vector<std::string> a;
    return a;
}

class MissingFiles : public MediaTest {
  protected:
    void SetUp() override {
        MediaTest::SetUp();
        rc::mediahooks::setGetTypeFlags([](OSType) -> uint32_t { return 0x2000 | 3; });
        rc::mediahooks::setActiveWindows([] { return true; });
        rc::mediahooks::setFileAlert([](const char* p) { alerts().push_back(p); });
        rc::mediahooks::setGetInfo(countedInfo);
        alerts().clear();
        gInfoCalls = 0;
        SetLocateFileProc(locate);
    }
};

TEST_F(MissingFiles, ADeclinedLocateTakesTheFileOffline) {
    gLocateAnswer = 0;
    std::string p = path("gone.avi");
    int16_t id = add(p, cc("AVI "));
    rec(id)->info.video = {100, 30, 1};
    EXPECT_EQ(OpenFmxFile(id, 0), 1);
    EXPECT_EQ(gLocateTitle, "Locate File " + p);
    EXPECT_EQ(GetAGlobal(kSlotLocatingFile), 0);
    FmFileRecord* r = rec(id);
    EXPECT_TRUE(r->offline);
    EXPECT_EQ(r->type, kFileTypeOffline);
    EXPECT_EQ(r->savedInUse, 1);
    ASSERT_NE(r->savedDescription, nullptr);
    FmOfflineInfo* off = reinterpret_cast<FmOfflineInfo*>(*r->savedDescription);
    OSType savedType = off->fileType;  // a packed field: read by value
    EXPECT_EQ(savedType, cc("AVI "));
    EXPECT_EQ(off->info.video.value, 100);
    EXPECT_EQ(std::string(off->folder), dir);
    EXPECT_FALSE(GetFileContent(id));
    EXPECT_EQ(r->dataUsers, 1);
    // Offline files answer without touching the disk.
    EXPECT_EQ(OpenFmxFile(id, 0), 1);
    EXPECT_EQ(alerts().size(), 0u);
    // A new registration of the path is a new record.
    EXPECT_NE(add(p), id);
    FileSubscribe(id);
    FileCancel(id);  // the saved description goes with it (leak-checked build)
}

TEST_F(MissingFiles, WithoutAWayToLocateTheOpenFailsWithAnAlert) {
    rc::mediahooks::setActiveWindows([] { return false; });
    std::string p = path("missing.avi");
    int16_t id = add(p);
    EXPECT_EQ(OpenFmxFile(id, 0), -1);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0], p);
    EXPECT_FALSE(rec(id)->offline);
    // A type that cannot be located gets the alert too.
    rc::mediahooks::setActiveWindows([] { return true; });
    rc::mediahooks::setGetTypeFlags(nullptr);
    EXPECT_EQ(OpenFmxFile(id, 0), -1);
    EXPECT_EQ(alerts().size(), 2u);
}

TEST_F(MissingFiles, AChosenFileRelinksTheRecord) {
    std::string oldPath = path("old/place.avi");
    std::string moved = makeFile("place.avi", "moved!");
    gLocateAnswer = 1;
    gLocateTo = moved;
    int16_t id = add(oldPath);
    FileRef ref = OpenFmxFile(id, 0);
    ASSERT_GT(ref, 2);
    char buf[6];
    int32_t n = 6;
    EXPECT_EQ(FSRead(ref, &n, buf), noErr);
    EXPECT_EQ(std::string(buf, 6), "moved!");
    EXPECT_EQ(FindName(oldPath.c_str(), 0, 0), nullptr);
    EXPECT_EQ(FindName(moved.c_str(), 0, 0), FindFile(id));
    EXPECT_EQ(add(moved), id);
    EXPECT_EQ(gInfoCalls, 1);
    EXPECT_EQ(rec(id)->info.video.value, 250);
    ReleaseFile(id);
}

TEST_F(MissingFiles, NewFileLocReportsACancelToTheInterface) {
    gLocateAnswer = 0;
    int16_t id = add(path("x.avi"));
    FSSpec spec{};
    GetFSSpec(id, &spec);
    OSType t = 0;
    EXPECT_EQ(NewFileLoc(&spec, cc("AVI "), id, &t), kFileUserCancelled);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0].type, OSType(cc("PROJ")));
    EXPECT_EQ(sent()[0].code, 51);
    EXPECT_EQ(sent()[1].type, OSType(cc("HIDE")));
    EXPECT_EQ(sent()[1].code, 26);
    EXPECT_EQ(sent()[1].p1, id);
    gLocateAnswer = 1;
    gLocateTo = "/elsewhere/x.avi";
    EXPECT_EQ(NewFileLoc(&spec, cc("AVI "), id, &t), noErr);
    EXPECT_STREQ(spec.name, "/elsewhere/x.avi");
}

TEST_F(MissingFiles, ChangeFSSpecRelinksAndReopens) {
    std::string a = makeFile("a.avi", "AAAA");
    std::string b = makeFile("b.mov", "BBBB");
    int16_t id = add(a, cc("AVI "));
    ASSERT_GT(OpenFmxFile(id, 0), 2);
    rec(id)->info.mediaFlags = 3;
    rec(id)->offline = 0;
    FSSpec spec{};
    std::strncpy(spec.name, b.c_str(), sizeof spec.name - 1);
    EXPECT_EQ(ChangeFSSpec(id, &spec, cc("MooV")), noErr);
    FmFileRecord* r = rec(id);
    EXPECT_EQ(r->type, OSType(cc("AVI ")));  // .mov is not registered for MooV here
    EXPECT_EQ(r->dataState, 2);
    EXPECT_EQ(gInfoCalls, 1);
    char buf[4];
    int32_t n = 4;
    SetFPos(r->dataRef, fsFromStart, 0);
    EXPECT_EQ(FSRead(r->dataRef, &n, buf), noErr);
    EXPECT_EQ(std::string(buf, 4), "BBBB");
    EXPECT_EQ(FindName(a.c_str(), 0, 0), nullptr);
    EXPECT_EQ(FindName(b.c_str(), 0, 0), FindFile(id));
    rc::mediahooks::setTypeHasExtension([](OSType t, const char*) { return t == cc("MooV"); });
    EXPECT_EQ(ChangeFSSpec(id, &spec, cc("MooV")), noErr);
    EXPECT_EQ(GetFileTypeID(id), OSType(cc("MooV")));
    ReleaseFile(id);

    // Refreshing re-reads the information, except for a bad file.
    EXPECT_EQ(RefreshFile(id, 0), noErr);
    EXPECT_EQ(gInfoCalls, 3);
    Handle bad = NewHandle(2);
    *reinterpret_cast<int16_t*>(*bad) = id;
    SetAGlobal(kSlotBadFiles, reinterpret_cast<intptr_t>(bad));
    EXPECT_EQ(RefreshFile(id, 0), noErr);
    EXPECT_EQ(gInfoCalls, 3);
    SetAGlobal(kSlotBadFiles, 0);
    DisposeHandle(bad);
}

// Random registrations, subscriptions and cancels against a plain model.
TEST_F(FileTable, RandomSequencesMatchAReferenceModel) {
    std::mt19937 rng(1234);
    struct Model {
        std::string path;
        int subs;
    };
    std::map<int16_t, Model> model;
    for (int step = 0; step < 20000; ++step) {
        int op = int(rng() % 4);
        if (op == 0 || model.empty()) {
            std::string p = "/r/" + std::to_string(rng() % 3000);
            int16_t id = add(p);
            ASSERT_GT(id, 0);
            auto it = model.find(id);
            if (it != model.end()) {
                EXPECT_EQ(it->second.path, p);
            } else {
                for (auto& [k, m] : model) ASSERT_NE(m.path, p);
                model[id] = {p, 0};
            }
        } else {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            int16_t id = it->first;
            if (op == 1) {
                EXPECT_EQ(FileSubscribe(id), ++it->second.subs);
            } else {
                FileCancel(id);
                if (it->second.subs > 0 && --it->second.subs == 0) model.erase(it);
            }
        }
    }
    FmFileTable* t = rc::media::fileTable();
    int live = 0;
    for (int32_t id = 1; id <= t->count; ++id) {
        Handle h = FindFile(int16_t(id));
        auto it = model.find(int16_t(id));
        ASSERT_EQ(h != nullptr, it != model.end()) << id;
        if (!h) continue;
        ++live;
        EXPECT_EQ(std::string(rec(int16_t(id))->spec.name), it->second.path);
        EXPECT_EQ(rec(int16_t(id))->subscriptions, it->second.subs);
        EXPECT_EQ(FindName(it->second.path.c_str(), 0, 0), h);
    }
    EXPECT_EQ(live, int(model.size()));
}

}  // namespace
