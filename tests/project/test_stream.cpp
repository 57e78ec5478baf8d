// The project stream: buffering at its boundaries, line scanning, the tag
// index, invalidation, flat blocks and safe saving.
#include <cstdio>
#include <cstring>
#include <string>

using namespace std::string_literals;

#include "platform/safe_save.h"
#include "project/motion_hooks.h"
#include "project_test_util.h"

using namespace projtest;
using rc::project::rec;

namespace {

class Stream : public ProjectTest {};

const char* name4(int n) {
    static char name[8];
    std::snprintf(name, sizeof name, "S%03d", n % 1000);
    return name;
}

std::string section(const char* tag, int values, const std::string& fill = "v") {
    std::string s = std::string("[") + tag + "]\r\n";
    for (int i = 0; i < values; ++i) s += "k" + std::to_string(i) + "=" + fill + "\r\n";
    return s;
}

TEST_F(Stream, LongLinesGrowTheBufferInsteadOfSplitting) {
    // A 100 KB value line through a 64 KB buffer: 96 KB, then 144 KB.
    std::string value(100 * 1024, 'x');
    value[0] = 'a';
    value.back() = 'z';
    std::string text = "[LONG]\r\n=" + value + "\r\n[NEXT]\r\n";
    std::string p = path("long.txt");
    writeFile(p, text);
    FileRef ref = open(p);
    ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(FmFindAndReadSectionTag(in, code("LONG")), noErr);
    std::vector<char> got(value.size() + 1);
    ASSERT_EQ(FmReadCStr(in, nullptr, got.data(), int32_t(got.size())), noErr);
    EXPECT_EQ(std::string(got.data()), value);
    EXPECT_EQ(rec(in)->pub.capacity, 0x10000 * 9 / 4);
    OSType next = 0;
    EXPECT_EQ(GetStructInfo(in, &next), code("NEXT"));
    CloseProjBufHand(in);
    FSClose(ref);
}

TEST_F(Stream, LinesAroundTheBufferSizeAndFilesOfExactlyOneBuffer) {
    for (int32_t delta : {-1, 0, 1}) {
        // One value line of 64 KB + delta bytes after a tag, then a last tag.
        std::string value(size_t(0x10000 + delta), 'q');
        std::string text = "[AAAA]\r\n=" + value + "\r\n[LAST]\r\n";
        Reader r(text, kProjBufSize);
        ASSERT_EQ(FmFindAndReadSectionTag(r.stream, code("AAAA")), noErr);
        std::vector<char> got(value.size() + 1);
        ASSERT_EQ(FmReadCStr(r.stream, nullptr, got.data(), int32_t(got.size())), noErr);
        EXPECT_EQ(std::strlen(got.data()), value.size()) << delta;
        EXPECT_EQ(FindStruct(r.stream, code("LAST")), 1) << delta;
    }
    // Files of exactly one and two buffers: the refill at the exact end must
    // neither reparse old bytes nor lose the last section.
    for (int buffers : {1, 2}) {
        size_t target = size_t(buffers) * 0x10000;
        std::string text;
        int n = 0;
        while (text.size() < target - 200) text += section(name4(n++), 3);
        std::string tail = "[ENDS]\r\n";
        text += std::string(target - text.size() - tail.size() - 2, 'z') + "\r\n" + tail;
        ASSERT_EQ(text.size(), size_t(buffers) * 0x10000);
        std::string p = path("exact.txt");
        writeFile(p, text);
        FileRef ref = open(p);
        ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
        ASSERT_NE(in, nullptr);
        int tags = 0;
        OSType tag = 0, last = 0;
        for (bool found = GetStructInfo(in, &tag) != 0; found; found = SeekNextStruct(in, &tag)) {
            ++tags;
            last = tag;
        }
        EXPECT_EQ(last, code("ENDS")) << buffers;
        EXPECT_EQ(tags, n + 1) << buffers;
        // A second walk after rewinding finds the same sections.
        ASSERT_EQ(ResetFile(in), noErr);
        EXPECT_EQ(FindStruct(in, code("ENDS")), 1);
        EXPECT_EQ(GetProjBufPosition(in), int32_t(text.size() - tail.size()));
        CloseProjBufHand(in);
        FSClose(ref);
    }
}

TEST_F(Stream, LineScanningRules) {
    // Blank lines, LF-only and CR-only ends and NUL runs all separate lines.
    std::string text = "junk\n\n[AAAA]\rx=1\n\r\0\0[BBBB]\n[CCC]\r\n[DDDDD]\r\n[EEEE]"s;
    for (int32_t capacity : {16, 17, 64, int32_t(kProjBufSize)}) {
        Reader r(text, capacity);
        std::vector<OSType> tags;
        OSType tag = 0;
        for (bool found = GetStructInfo(r.stream, &tag) != 0; found;
             found = SeekNextStruct(r.stream, &tag))
            tags.push_back(tag);
        EXPECT_EQ(tags, (std::vector<OSType>{code("AAAA"), code("BBBB"), code("EEEE")}))
            << capacity;
    }
    // An empty stream finds nothing, at once.
    Reader empty("", kProjBufSize);
    EXPECT_EQ(FindStruct(empty.stream, code("AAAA")), 0);
    EXPECT_EQ(SearchType(empty.stream, code("AAAA")), 0);
    EXPECT_EQ(ReadStruct(empty.stream, code("AAAA"), "L", std::vector<int32_t>{4, 0}.data(),
                         std::vector<int32_t>(1).data()),
              kStructNotFound);
}

TEST_F(Stream, TagIndexJumpsToFirstLinesAndCounts) {
    std::string text = section("HEAD", 2);
    for (int i = 0; i < 3; ++i) text += section("CLIP", 2, std::to_string(i));
    text += section("FILE", 1);
    text += section("FILL", 4000, std::string(40, 'f'));  // several buffers
    text += section("LAST", 1, "end");
    for (int32_t capacity : {32, 4096, int32_t(kProjBufSize)}) {
        Reader r(text, capacity);
        // Read past the first buffer before the index is built.
        ASSERT_EQ(FindStruct(r.stream, code("LAST")), 1);
        ASSERT_EQ(SearchType(r.stream, code("CLIP")), 1);
        EXPECT_EQ(GetProjBufPosition(r.stream), int32_t(text.find("[CLIP]")));
        EXPECT_EQ(CountIndexTags(r.stream, code("CLIP")), 3);
        EXPECT_EQ(CountIndexTags(r.stream, code("FILL")), 1);
        int32_t value = -1;
        ASSERT_EQ(FmFindAndReadSectionTag(r.stream, code("CLIP")), noErr);
        ASSERT_EQ(FmReadLong(r.stream, "k0", &value), noErr);
        EXPECT_EQ(value, 0);
        // Jumping forward and back again parses fresh bytes each time.
        ASSERT_EQ(SearchType(r.stream, code("LAST")), 1);
        char end[8] = {};
        ASSERT_EQ(FmFindAndReadSectionTag(r.stream, code("LAST")), noErr);
        ASSERT_EQ(FmReadCStr(r.stream, "k0", end, sizeof end), noErr);
        EXPECT_STREQ(end, "end");
        ASSERT_EQ(SearchType(r.stream, code("HEAD")), 1);
        EXPECT_EQ(GetProjBufPosition(r.stream), 0);
        // A tag not in the file leaves the stream where it was.
        ASSERT_EQ(SearchType(r.stream, code("FILE")), 1);
        int32_t here = GetProjBufPosition(r.stream);
        EXPECT_EQ(SearchType(r.stream, code("NONE")), 0);
        EXPECT_EQ(GetProjBufPosition(r.stream), here);
        EXPECT_EQ(CountIndexTags(r.stream, code("NONE")), 0);
    }
    // Before the index exists nothing is counted; a miss on the first call
    // also restores the position.
    Reader fresh(text, 64);
    EXPECT_EQ(CountIndexTags(fresh.stream, code("CLIP")), 0);
    ASSERT_EQ(FindStruct(fresh.stream, code("FILE")), 1);
    int32_t here = GetProjBufPosition(fresh.stream);
    EXPECT_EQ(SearchType(fresh.stream, code("NONE")), 0);
    EXPECT_EQ(GetProjBufPosition(fresh.stream), here);
    // More than 32 distinct tags make the index grow.
    std::string many;
    for (int i = 0; i < 70; ++i) many += section(("T" + std::to_string(100 + i)).c_str(), 1);
    Reader big(many, 128);
    for (int i = 69; i >= 0; i -= 7) {
        std::string t = "T" + std::to_string(100 + i);
        ASSERT_EQ(SearchType(big.stream, codeOf(t)), 1);
        EXPECT_EQ(GetProjBufPosition(big.stream), int32_t(many.find("[" + t + "]")));
    }
}

TEST_F(Stream, InvalSectionRewritesOnlyTheTagCharacters) {
    std::string text = section("HEAD", 1) + "[CLIP]\n" + "a=1\r\n" + section("FILE", 1) +
                       std::string(70000, ' ') + "\r\n[CLIP]\r\nb=2\r\n[CLIP]";
    std::string p = path("inval.txt");
    writeFile(p, text);
    FileRef ref = open(p);
    ASSERT_EQ(SetFPos(ref, fsFromStart, 17), noErr);
    ASSERT_EQ(InvalSection(ref, code("CLIP")), noErr);
    FSClose(ref);
    std::string after = readFile(p);
    ASSERT_EQ(after.size(), text.size());
    std::string expected = text;
    for (size_t at = expected.find("[CLIP]"); at != std::string::npos;
         at = expected.find("[CLIP]", at))
        expected.replace(at, 6, "[INVL]");
    EXPECT_EQ(after, expected);
    // The sections are gone for readers; the others are intact.
    Reader r(after, kProjBufSize);
    EXPECT_EQ(FindStruct(r.stream, code("CLIP")), 0);
    ASSERT_EQ(SearchType(r.stream, code("FILE")), 1);
    EXPECT_EQ(CountIndexTags(r.stream, kProjTagInvalid), 3);
}

TEST_F(Stream, WritingAppendingAndTheirErrors) {
    // Mode 0 cuts an existing file; the append stream keeps it.
    std::string p = path("w.txt");
    writeFile(p, std::string(200000, 'o'));
    FileRef ref = open(p);
    ProjBufHand out = CreateProjBufHand(ref, 64, kProjModeWrite);
    ASSERT_NE(out, nullptr);
    std::string big(1000, 'b');
    ASSERT_EQ(WriteTag(code("HEAD"), out), noErr);
    ASSERT_EQ(WriteEOL(out), noErr);
    ASSERT_EQ(WriteProjText(out, big.c_str()), noErr);  // larger than the buffer
    ASSERT_EQ(CloseProjBufHand(out), noErr);
    EXPECT_EQ(readFile(p), "[HEAD]\r\n" + big);
    out = CreateProjBufHandWrite(ref, 64);
    ASSERT_EQ(WriteProjText(out, "+tail"), noErr);
    ASSERT_EQ(CloseProjBufHand(out), noErr);
    EXPECT_EQ(readFile(p), "[HEAD]\r\n" + big + "+tail");
    // A failing file write is returned by the writer and again at close.
    SetFPos(ref, fsFromStart, 0);
    out = CreateProjBufHand(ref, 64, kProjModeWrite);
    rc::project::failFileWritesAfter(1);
    EXPECT_EQ(WriteProjText(out, big.c_str()), writErr);
    EXPECT_EQ(CloseProjBufHand(out), writErr);
    FSClose(ref);

    // A memory stream that fills up refuses the rest instead of wrapping.
    char block[16];
    std::memset(block, '.', sizeof block);
    out = CreateProjBufHandMemory(block, sizeof block, kProjModeWrite);
    ASSERT_EQ(WriteProjText(out, "0123456789"), noErr);
    EXPECT_EQ(WriteProjText(out, "abcdefghij"), memFullErr);
    EXPECT_EQ(CloseProjBufHand(out), memFullErr);
    EXPECT_EQ(std::string(block, 16), "0123456789......");

    // Missing streams are reported, not taken for success.
    EXPECT_EQ(CheckProjBufHand(nullptr), memFullErr);
    rc::platform::failAllocationsAbove(100000);
    ProjBufHand none = CreateProjBufHand(-1, 1 << 20, kProjModeWrite);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CheckProjBufHand(none), memFullErr);
    Handle empty = FmNewHandleClear(sizeof(rc::project::StreamRec));
    EXPECT_EQ(CheckProjBufHand(empty), memFullErr);
    FmDisposeHandle(empty);
    EXPECT_EQ(CloseProjBufHand(nullptr), nilHandleErr);
}

TEST_F(Stream, FailedFirstReadParsesNothing) {
    std::string p = path("r.txt");
    writeFile(p, section("HEAD", 1));
    FileRef ref = open(p);
    FSClose(ref);  // the reference is now dead: every read fails
    ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    ASSERT_NE(in, nullptr);
    int32_t v[1] = {7};
    OSErr err = ReadStruct(in, code("HEAD"), "L", std::vector<int32_t>{4, 0}.data(), v);
    EXPECT_NE(err, noErr);
    EXPECT_EQ(v[0], 7);
    EXPECT_EQ(SearchType(in, code("HEAD")), 0);
    CloseProjBufHand(in);
}

TEST_F(Stream, PackAndUnpackCheckTheirBounds) {
    Handle block = FmNewHandleClear(4);
    int32_t offset = 0;
    int32_t a = 0x11223344;
    int16_t b = -2;
    ASSERT_EQ(PackHandle(&block, &offset, 4, &a), noErr);
    ASSERT_EQ(PackHandle(&block, &offset, 2, &b), noErr);  // grows the block
    EXPECT_EQ(offset, 6);
    EXPECT_EQ(FmGetHandleSize(block), 6u);
    // Offsets beyond 16 bits work.
    std::vector<char> big(70000, 'x');
    ASSERT_EQ(PackHandle(&block, &offset, int32_t(big.size()), big.data()), noErr);
    EXPECT_EQ(offset, 70006);
    int32_t a2 = 0;
    int16_t b2 = 0;
    offset = 0;
    ASSERT_EQ(UnpackHandle(&block, &offset, 4, &a2), noErr);
    ASSERT_EQ(UnpackHandle(&block, &offset, 2, &b2), noErr);
    EXPECT_EQ(a2, a);
    EXPECT_EQ(b2, b);
    offset = 70004;
    EXPECT_EQ(UnpackHandle(&block, &offset, 4, &a2), eofErr);
    EXPECT_EQ(offset, 70004);
    EXPECT_EQ(UnpackHandle(&block, &offset, -1, &a2), kProjParamErr);
    offset = -3;
    EXPECT_EQ(PackHandle(&block, &offset, 1, &b), kProjParamErr);
    Handle none = nullptr;
    EXPECT_EQ(UnpackHandle(&none, &offset, 1, &a2), nilHandleErr);
    FmDisposeHandle(block);
}

OSErr saveMotionSample(ProjBufHand stream, Handle motion) {
    int32_t count = int16_t((*motion)[10] | (*motion)[11] << 8);
    OSErr err = FmWriteSectionTag(stream, code("MOT5"));
    if (!err) err = FmWriteLong(stream, "count", count);
    return err;
}

OSErr loadMotionSample(ProjBufHand stream, Handle motion) {
    int32_t count = 0;
    OSErr err = FmFindAndReadSectionTag(stream, code("MOT5"));
    if (!err) err = FmReadLong(stream, "count", &count);
    if (!err) {
        (*motion)[10] = char(count);
        (*motion)[11] = char(count >> 8);
    }
    return err;
}

TEST_F(Stream, MotionRecordsGoThroughMemoryStreams) {
    rc::project::hooks::setMotionSettingsCodec(saveMotionSample, loadMotionSample);
    Handle motion = FmNewHandleClear(12 + 46 * 3);
    (*motion)[10] = 3;
    Handle text = FmNewHandleClear(64);
    ASSERT_EQ(CodeXPMotionRecord(text, motion, 1), noErr);
    EXPECT_STREQ(*text, "[MOT5]\r\ncount=3\r\n");
    Handle back = FmNewHandleClear(4);
    ASSERT_EQ(CodeXPMotionRecord(text, back, 0), noErr);
    EXPECT_EQ(FmGetHandleSize(back), 12u + 46u * 3u);
    // Text that does not fit its Handle is an error, not a wrap.
    Handle small = FmNewHandleClear(10);
    EXPECT_EQ(CodeXPMotionRecord(small, motion, 1), memFullErr);
    // Missing or empty Handles.
    Handle empty = FmNewHandle(0);
    EXPECT_EQ(CodeXPMotionRecord(nullptr, motion, 1), -1);
    EXPECT_EQ(CodeXPMotionRecord(text, empty, 0), -1);
    // Without the motion code the record keeps only its header.
    rc::project::hooks::setMotionSettingsCodec(nullptr, nullptr);
    Handle bare = FmNewHandleClear(4);
    ASSERT_EQ(CodeXPMotionRecord(text, bare, 0), noErr);
    EXPECT_EQ(FmGetHandleSize(bare), 12u);
    for (Handle h : {motion, text, back, small, empty, bare}) FmDisposeHandle(h);
}

TEST_F(Stream, SafeSaveNeverLosesThePreviousFile) {
    std::string p = path("project.txt");
    std::string original = section("HEAD", 3) + section("CLIP", 50, "original");
    writeFile(p, original);
    auto save = [&](const std::string& body) {
        OSErr err = noErr;
        ProjBufHand out = CreateProjBufHandSafe(p.c_str(), 64, &err);
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(err, noErr);
        if (!out) return err;
        WriteProjText(out, body.c_str());
        return CloseProjBufHand(out);
    };
    std::string replacement = section("HEAD", 2) + section("CLIP", 80, "new");
    // Injected failures: a buffer write, then each step of the commit.
    rc::project::failFileWritesAfter(2);
    EXPECT_EQ(save(replacement), writErr);
    EXPECT_EQ(readFile(p), original);
    for (int step : {1, 2, 3}) {
        rc::platform::failSafeSaveCommitAt(step);
        EXPECT_NE(save(replacement), noErr) << step;
        EXPECT_EQ(readFile(p), original) << step;
    }
    // Abandoning a save keeps the original too; no temporary is left over.
    ProjBufHand out = CreateProjBufHandSafe(p.c_str(), 64, nullptr);
    WriteProjText(out, "partial");
    DiscardProjBufHand(out);
    EXPECT_EQ(readFile(p), original);
    size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 1u);
    // A successful save replaces the file whole and keeps its permissions.
    std::filesystem::permissions(p, std::filesystem::perms::owner_read |
                                        std::filesystem::perms::owner_write |
                                        std::filesystem::perms::group_read);
    EXPECT_EQ(save(replacement), noErr);
    EXPECT_EQ(readFile(p), replacement);
    EXPECT_EQ(std::filesystem::status(p).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    // A new file can be saved, but not into a missing folder.
    std::string fresh = path("fresh.txt");
    out = CreateProjBufHandSafe(fresh.c_str(), 0, nullptr);
    ASSERT_NE(out, nullptr);
    WriteProjText(out, "x");
    EXPECT_EQ(CloseProjBufHand(out), noErr);
    EXPECT_EQ(readFile(fresh), "x");
    OSErr err = noErr;
    EXPECT_EQ(CreateProjBufHandSafe(path("nowhere/p.txt").c_str(), 64, &err), nullptr);
    EXPECT_EQ(err, fnfErr);
}

}  // namespace
