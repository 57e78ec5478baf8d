#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "reelcore/files.h"
#include "reelcore/globals.h"

namespace {

class Files : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        SetupGlobals();
        SetAGlobal(kSlotOpenFileBudget, 100);
        char tmpl[] = "/tmp/reelfilesXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    std::string path(const char* name) const { return dir + "/" + name; }
    FileRef openRW(const std::string& p) {
        FileRef ref = 0;
        EXPECT_EQ(HOpen(0, 0, p.c_str(), fsRdWrPerm, &ref), noErr);
        return ref;
    }
};

TEST_F(Files, ReadWriteAndEndOfFile) {
    std::string p = path("a.bin");
    ASSERT_EQ(HCreate(0, 0, p.c_str()), 0);
    FileRef ref = openRW(p);
    ASSERT_GT(ref, 2);
    int32_t n = 10;
    EXPECT_EQ(FSWrite(ref, &n, "0123456789"), noErr);
    EXPECT_EQ(n, 10);
    int32_t size = 0;
    EXPECT_EQ(GetEOF(ref, &size), noErr);
    EXPECT_EQ(size, 10);

    // Both end modes place the mark 4 bytes before the end.
    char buf[16] = {};
    EXPECT_EQ(SetFPos(ref, fsFromLEOF, 4), noErr);
    n = 16;
    EXPECT_EQ(FSRead(ref, &n, buf), noErr);  // a short read is success
    EXPECT_EQ(n, 4);
    EXPECT_EQ(std::memcmp(buf, "6789", 4), 0);
    n = 16;
    EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(SetFPos(ref, fsFromLEOF, -4), noErr);
    int32_t pos = 0;
    EXPECT_EQ(GetFPos(ref, &pos), noErr);
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(SetFPos(ref, fsFromMark, -6), noErr);
    EXPECT_EQ(GetFPos(ref, &pos), noErr);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(SetFPos(ref, fsFromStart, -1), posErr);
    EXPECT_EQ(SetFPos(ref, 7, 0), posErr);
    n = 0;
    EXPECT_EQ(FSRead(ref, &n, buf), noErr);

    // Positioned transfers.
    int64_t at = 2;
    EXPECT_EQ(FmPWrite(ref, "xy", 2, &at), 0);
    at = 1;
    EXPECT_EQ(FmPRead(ref, buf, 3, &at), 0);
    EXPECT_EQ(std::memcmp(buf, "1xy", 3), 0);
    at = 8;
    EXPECT_EQ(FmPRead(ref, buf, 5, &at), 1);  // short
    int64_t big = 0;
    EXPECT_EQ(GetFileSize64(ref, &big), 0);
    EXPECT_EQ(big, 10);
    int64_t off = 3, now = 0;
    EXPECT_EQ(SetFilePointer64(ref, &off, &now, 0), 0);
    EXPECT_EQ(now, 3);
    EXPECT_EQ(SetFilePointer64(ref, nullptr, &now, 2), 0);
    EXPECT_EQ(now, 10);
    EXPECT_EQ(FSClose(ref), noErr);
}

TEST_F(Files, MissingFilesAndFoldersAndPermissions) {
    FileRef ref = 0;
    EXPECT_EQ(HOpen(0, 0, path("none").c_str(), fsRdPerm, &ref), fnfErr);
    EXPECT_EQ(ref, -1);
    EXPECT_EQ(HOpen(0, 0, path("nodir/none").c_str(), fsRdWrPerm, &ref), fnfErr);
    EXPECT_EQ(ref, -1);
    EXPECT_NE(HCreate(0, 0, path("nodir/x").c_str()), 0);
    EXPECT_EQ(FmTranslateError(HCreate(0, 0, path("nodir/x").c_str()), openErr), fnfErr);
    EXPECT_EQ(HDelete(0, 0, path("none").c_str()), -1);

    // Read-only permission opens a file that cannot be written.
    std::string p = path("ro.bin");
    ASSERT_EQ(HCreate(0, 0, p.c_str()), 0);
    ASSERT_EQ(chmod(p.c_str(), 0444), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(HOpen(0, 0, p.c_str(), fsRdWrPerm, &ref), permErr);
    }
    ASSERT_EQ(HOpen(0, 0, p.c_str(), fsRdPerm, &ref), noErr);
    int32_t n = 3;
    EXPECT_EQ(FSWrite(ref, &n, "abc"), writErr);
    EXPECT_EQ(FSClose(ref), noErr);
    EXPECT_EQ(FSClose(ref), ioErr);
    EXPECT_EQ(HDelete(0, 0, p.c_str()), 1);

    EXPECT_EQ(FmTranslateError(0, -1), 0);
    EXPECT_EQ(FmTranslateError(4, -1), tmfoErr);
    EXPECT_EQ(FmTranslateError(33, -1), permErr);
    EXPECT_EQ(FmTranslateError(15, -1), nsvErr);
    EXPECT_EQ(FmTranslateError(19, -1), wPrErr);
    EXPECT_EQ(FmTranslateError(12345, -23), -23);
}

TEST_F(Files, SpecsBackslashesAndTheBudget) {
    FSSpec spec{};
    std::string p = path("spec.txt");
    std::string backslashed = p;
    for (char& c : backslashed)
        if (c == '/') c = '\\';
    std::strcpy(spec.name, backslashed.c_str());
    EXPECT_EQ(FSpCreate(&spec, 0, 0), 0);
    EXPECT_EQ(access(p.c_str(), F_OK), 0);

    intptr_t budget = GetAGlobal(kSlotOpenFileBudget);
    FileRef a = -1, b = -1;
    ASSERT_EQ(FSpOpenDF(&spec, fsRdWrPerm, &a), noErr);
    ASSERT_EQ(FSpOpenDF(&spec, fsRdPerm, &b), noErr);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), budget - 2);
    EXPECT_EQ(FSClose(a), noErr);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), budget - 1);
    EXPECT_EQ(FSClose(b), noErr);

    char out[260];
    FmMakePathStr(&spec, out);
    EXPECT_STREQ(out, backslashed.c_str());
    EXPECT_EQ(FindFType(&spec), 0u);  // no plug-in claims the extension
    EXPECT_EQ(FileModificationDate(1), 0u);
    EXPECT_EQ(FSpDelete(&spec), 1);
}

TEST_F(Files, ReferencesAvoidTheStandardStreams) {
    std::string p = path("s.bin");
    ASSERT_EQ(HCreate(0, 0, p.c_str()), 0);
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    close(0);
    FileRef ref = -1;
    OSErr err = HOpen(0, 0, p.c_str(), fsRdPerm, &ref);
    dup2(saved, 0);
    close(saved);
    ASSERT_EQ(err, noErr);
    EXPECT_GT(ref, 2);
    FSClose(ref);
}

TEST_F(Files, LargeFilesReportTooLargeForThirtyTwoBits) {
    std::string p = path("big.bin");
    ASSERT_EQ(HCreate(0, 0, p.c_str()), 0);
    FileRef ref = openRW(p);
    // A sparse file of 5 GB.
    int64_t off = int64_t(5) << 30;
    ASSERT_EQ(FmPWrite(ref, "z", 1, &off), 0);
    int32_t size = 0;
    EXPECT_EQ(GetEOF(ref, &size), fileTooLargeErr);
    int32_t pos = 0;
    EXPECT_EQ(GetFPos(ref, &pos), fileTooLargeErr);
    int64_t big = 0;
    EXPECT_EQ(GetFileSize64(ref, &big), 0);
    EXPECT_EQ(big, off + 1);
    FSClose(ref);
}

}  // namespace
