// Single project records, ID lists and maps, chunk directories, and the tag
// index over raw multi-line values.
#include <cstring>
#include <string>

#include "records_fixture.h"

using namespace projtest;

namespace {

class Records : public RecordsTest {};

std::string replaceLine(std::string text, const std::string& prefix, const std::string& with) {
    size_t at = text.find("\r\n" + prefix);
    EXPECT_NE(at, std::string::npos) << prefix;
    if (at == std::string::npos) return text;
    size_t end = text.find("\r\n", at + 2);
    return text.substr(0, at + 2) + with + text.substr(end);
}

// Older files hold texts raw over several lines; the index must step over
// them as the reader does, in sections of a single record and in sections
// that repeat their layout per element, and still see every real tag.
TEST_F(Records, TagIndexStepsOverRawMultiLineValues) {
    TrackRec track{};
    track.active = 1;
    Handle name = FmNewHandle(2);
    std::memcpy(*name, "x", 2);
    track.name = HandleToWord(name);
    FmTimeLineMarker marks[2] = {};
    marks[0].time = 10;
    marks[1].time = 20;
    Handle markHandle = keep(FmNewHandle(sizeof marks));
    std::memcpy(*markHandle, marks, sizeof marks);
    std::string text = written([&](ProjBufHand out) {
        ASSERT_EQ(WriteTrackItem(out, &track), noErr);
        ASSERT_EQ(SaveTimeLineMarkers(out, 2, markHandle), noErr);
        ASSERT_EQ(FmWriteSectionTag(out, code("LAST")), noErr);
    });
    FmDisposeHandle(name);
    // The raw form of older files: the stated bytes, line breaks and all.
    text = replaceLine(text, "name=", "name=13,a\r\n[FAKE]\r\nb");
    size_t tmlm = text.find("[TMLM]");
    ASSERT_NE(tmlm, std::string::npos);
    // Second marker's first text (line 9 of the section): a list of one string.
    std::string head = text.substr(0, tmlm), tail = text.substr(tmlm);
    std::vector<std::string> ls = lines(tail);
    ASSERT_GE(ls.size(), 10u);
    ls[9] = "12,11,x\r\n[MOCK]\r\n,";
    tail.clear();
    for (const auto& l : ls) tail += l + "\r\n";
    text = head + tail;

    for (int32_t capacity : {16, 4096}) {
        Reader r(text, capacity);
        EXPECT_EQ(SearchType(r.stream, code("FAKE")), 0) << capacity;
        EXPECT_EQ(SearchType(r.stream, code("MOCK")), 0) << capacity;
        EXPECT_EQ(CountIndexTags(r.stream, code("TMLM")), 1);
        ASSERT_EQ(SearchType(r.stream, code("LAST")), 1);
        ASSERT_EQ(SearchType(r.stream, code("TRKI")), 1);
        TrackRec back{};
        ASSERT_EQ(ReadTrackItem(r.stream, &back), noErr);
        Handle got = WordToHandle(back.name);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(std::string(*got, FmGetHandleSize(got)), std::string("a\r\n[FAKE]\r\nb\0", 13));
        FmDisposeHandle(got);
        int32_t count = 0;
        Handle loaded = nullptr;
        ASSERT_EQ(LoadTimeLineMarkers(r.stream, &count, &loaded, 7), noErr);
        ASSERT_EQ(count, 2);
        auto* m = reinterpret_cast<FmTimeLineMarker*>(*loaded);
        EXPECT_EQ(int64_t(m[1].time), 20);
        Handle list = WordToHandle(m[1].text[0]);
        ASSERT_NE(list, nullptr);
        // The line ends are normalised to CR; the text itself is whole.
        EXPECT_EQ(std::string(*list, FmGetHandleSize(list)), std::string("x\r[MOCK]\r\0", 10));
        for (int i = 0; i < 2; ++i)
            for (uint32_t w : m[i].text)
                if (Handle h = WordToHandle(w)) FmDisposeHandle(h);
        FmDisposeHandle(loaded);
    }
    // Sections of unknown layout are still scanned line by line.
    Reader plain("[ABCD]\r\nv=1\r\n[EFGH]\r\n", 16);
    EXPECT_EQ(SearchType(plain.stream, code("EFGH")), 1);
}

TEST_F(Records, SingleRecordsRoundTrip) {
    FmProjHeader header{code("RLPJ"), 7, 0, kProjPlatformOwn};
    FmSaveFileRec file{};
    file.fileID = 12;
    file.filetype = code("AVI ");
    file.isFramestore = 1;
    file.mediaType = 3;
    file.prefLength = 20;
    Handle prefs = keep(FmNewHandle(20));
    for (int i = 0; i < 20; ++i) (*prefs)[i] = char(i * 7);
    file.prefHandle = HandleToWord(prefs);
    std::strcpy(file.title, "Interview");
    file.pixelAspect = 0x000A000B;
    FmSaveTrimFileRec trim{12, 3000};
    FmSaveClipRec clipRec{};
    clipRec.magicS = kClipMagicStart;
    clipRec.clipID = 77;
    clipRec.fileID = 12;
    clipRec.rate = 50.0f;
    for (int i = 0; i < 12; ++i) clipRec.markers[i] = i < 2 ? i * 100 : -1;
    clipRec.vidMarkIn = 5;
    clipRec.audMarkOut = 9;
    clipRec.tdbValue = 101;
    clipRec.tdbScale = 30;
    clipRec.tdbSamp = 1;
    std::strcpy(clipRec.data, "settings");
    std::strcpy(clipRec.title, "Take 2");
    clipRec.moremarkers = 0x12345678;  // a run-time value: never stored
    clipRec.magicE = kClipMagicEnd;
    Handle times = keep(FmNewHandle(12));
    const int32_t t3[3] = {4, -1, 99};
    std::memcpy(*times, t3, 12);
    FmOfflineInfo info{};
    info.info.frame = FmRect{0, 0, 720, 480};
    info.info.video = TDB{300, 2997, 100};
    info.info.mediaFlags = 1;
    info.info.defaultStillLength = 55;  // kept only in memory
    info.fileType = code("MOV ");
    std::strcpy(info.timecode, "01:00:00:00");
    std::strcpy(info.folder, "/media/day1");

    std::string text = written([&](ProjBufHand out) {
        EXPECT_EQ(WriteProjHeader(out, &header), noErr);
        EXPECT_EQ(WriteSaveFileRec(out, &file), noErr);
        EXPECT_EQ(WriteFileName(out, "/media/day1/a.avi"), noErr);
        EXPECT_EQ(WriteMatchName(out, ""), noErr);
        EXPECT_EQ(WriteSaveTrimFileRec(out, &trim), noErr);
        EXPECT_EQ(WriteSaveClipRec(out, &clipRec), noErr);
        EXPECT_EQ(WriteClipID(out, 77), noErr);
        EXPECT_EQ(WriteMarkerCount(out, 3), noErr);
        EXPECT_EQ(WriteMarkerHandle(out, 3, times), noErr);
        EXPECT_EQ(WriteOfflineID(out, 12), noErr);
        EXPECT_EQ(WriteOfflineInfo(out, &info), noErr);
    });
    EXPECT_NE(text.find("[MNAM]\r\nmatchName=0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("moremarkers=0\r\n"), std::string::npos);
    EXPECT_EQ(text.find("defaultStill"), std::string::npos);

    Reader r(text, 64);
    FmProjHeader h2{};
    ASSERT_EQ(ReadProjHeader(r.stream, &h2), noErr);
    EXPECT_EQ(std::memcmp(&h2, &header, sizeof h2), 0);
    FmSaveFileRec f2{};
    ASSERT_EQ(ReadSaveFileRec(r.stream, &f2, 7), noErr);
    Handle p2 = WordToHandle(f2.prefHandle);
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(std::string(*p2, FmGetHandleSize(p2)), std::string(*prefs, 20));
    FmDisposeHandle(p2);
    f2.prefHandle = file.prefHandle;
    EXPECT_EQ(std::memcmp(&f2, &file, sizeof f2), 0);
    char path[260];
    ASSERT_EQ(ReadFileName(r.stream, path), noErr);
    EXPECT_STREQ(path, "/media/day1/a.avi");
    char name[32] = "junk";
    EXPECT_EQ(ReadMatchName(r.stream, name), 1);  // the stored empty name
    EXPECT_STREQ(name, "");
    FmSaveTrimFileRec trim2{};
    ASSERT_EQ(ReadSaveTrimFileRec(r.stream, &trim2), noErr);
    EXPECT_EQ(int64_t(trim2.fileID), 12);
    EXPECT_EQ(int64_t(trim2.trimIn), 3000);
    FmSaveClipRec c2{};
    ASSERT_EQ(ReadSaveClipRec(r.stream, &c2, 7), noErr);
    clipRec.moremarkers = 0;
    EXPECT_EQ(std::memcmp(&c2, &clipRec, sizeof c2), 0);
    int32_t clipID = 0;
    int16_t count = 0;
    Handle back = nullptr;
    ASSERT_EQ(ReadClipID(r.stream, &clipID), noErr);
    ASSERT_EQ(ReadMarkerCount(r.stream, &count), noErr);
    ASSERT_EQ(ReadMarkerHandle(r.stream, count, &back), noErr);
    EXPECT_EQ(clipID, 77);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::memcmp(*back, t3, 12), 0);
    FmDisposeHandle(back);
    // FDAT fills the stored fields of the 791-byte description only.
    ASSERT_EQ(SearchType(r.stream, code("FDAT")), 1);
    FmOfflineInfo i2{};
    i2.info.defaultStillLength = -3;
    int32_t packing[32];
    FindOfflineInfoPacking(packing);
    EXPECT_EQ(CheckPackingSize(packing), int32_t(sizeof(FmOfflineInfo)));
    ASSERT_EQ(ReadStruct(r.stream, code("FDAT"), "RL6S3LC5LC6LC[32]C[32]C[256]", packing, &i2),
              noErr);
    EXPECT_EQ(int64_t(i2.info.video.scale), 2997);
    EXPECT_EQ(int64_t(i2.info.frame.right), 720);
    EXPECT_EQ(int64_t(i2.fileType), code("MOV "));
    EXPECT_STREQ(i2.timecode, "01:00:00:00");
    EXPECT_STREQ(i2.folder, "/media/day1");
    EXPECT_EQ(int64_t(i2.info.defaultStillLength), -3);
}

// Stored values that do not fit their fields are refused, never copied past
// them: long paths, counts above the data, version 6 clips.
TEST_F(Records, HostileAndOlderValues) {
    const std::string longPath = "/" + std::string(280, 'p');
    const std::string fits = "/" + std::string(258, 'q');
    std::string text = written([&](ProjBufHand out) {
        EXPECT_EQ(WriteFileName(out, longPath.c_str()), noErr);
        EXPECT_EQ(WriteFileName(out, fits.c_str()), noErr);
    });
    Reader r(text, 32);
    char path[260];
    std::memset(path, 'z', sizeof path);
    EXPECT_EQ(ReadFileName(r.stream, path), kProjPathTooLong);
    EXPECT_STREQ(path, "");
    ASSERT_EQ(ReadFileName(r.stream, path), noErr);
    EXPECT_EQ(std::string(path), fits);

    // Five times claimed, three present.
    Reader shortList("[CLPM]\r\n1\r\n2\r\n3\r\n[NEXT]\r\n", 16);
    Handle markers = nullptr;
    EXPECT_NE(ReadMarkerHandle(shortList.stream, 5, &markers), noErr);
    EXPECT_EQ(markers, nullptr);
    EXPECT_EQ(ReadMarkerHandle(shortList.stream, -2, &markers), kProjParamErr);

    // Version 6: one mark pair, applied by the flags in the media type slot.
    auto v6 = [&](int32_t flags) {
        std::string t = "[CLIP]\r\n";
        const int32_t values[] = {1, 0, 0, 0, 0, 9, 3, 2, 0, 0, 1, 1};
        for (int32_t v : values) t += std::to_string(v) + "\r\n";
        t += "100\r\n-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1\r\n";
        t += "40\r\n60\r\n21\r\n30\r\n1\r\n0\r\n0\r\n0\r\n\r\n" + std::to_string(flags) + "\r\n";
        t += "old\r\n0\r\n0\r\n0\r\n16\r\n2\r\n";
        Reader in(t, 32);
        FmSaveClipRec c{};
        EXPECT_EQ(ReadSaveClipRec(in.stream, &c, 6), noErr);
        EXPECT_EQ(int64_t(c.tdbValue), 21);
        EXPECT_EQ(int64_t(c.tdbScale), 30);
        EXPECT_EQ(int64_t(c.fileH), 0u);  // the Handle made for it is gone
        EXPECT_STREQ(c.title, "old");
        return c;
    };
    FmSaveClipRec video = v6(1), audio = v6(2), none = v6(0);
    EXPECT_EQ(int64_t(video.vidMarkIn), 40);
    EXPECT_EQ(int64_t(video.vidMarkOut), 60);
    EXPECT_EQ(int64_t(video.audMarkIn), -1);
    EXPECT_EQ(int64_t(audio.vidMarkIn), -1);
    EXPECT_EQ(int64_t(audio.audMarkOut), 60);
    EXPECT_EQ(int64_t(none.vidMarkIn), -1);
    EXPECT_EQ(int64_t(none.audMarkIn), -1);
}

TEST_F(Records, ListsMapsAndDirectories) {
    Handle clips = clipList({5, 9, 5, 7, 9});
    ASSERT_EQ(FmGetHandleSize(clips), 12u);
    EXPECT_EQ(std::memcmp(*clips, std::vector<int32_t>{5, 9, 7}.data(), 12), 0);
    Handle files = fileList({3, 3, -4});
    EXPECT_EQ(FmGetHandleSize(files), 4u);

    Handle filters = keep(FmNewHandleClear(3 * kFilterEntrySize));
    const int16_t ids[3] = {8, 3, 0};
    for (int i = 0; i < 3; ++i) std::memcpy(*filters + i * kFilterEntrySize, &ids[i], 2);
    ASSERT_EQ(AddFilterFiles(files, filters), noErr);
    ASSERT_EQ(FmGetHandleSize(files), 6u);
    int16_t third;
    std::memcpy(&third, *files + 4, 2);
    EXPECT_EQ(third, 8);

    Handle map = newMap();
    const int32_t entries[] = {100, 1, 205, 2, 7, 3};
    ASSERT_EQ(FmSetHandleSize(map, sizeof entries), 0);
    std::memcpy(*map, entries, sizeof entries);
    EXPECT_EQ(LookupClip(205, map), 2);
    EXPECT_EQ(LookupClip(7, map), 3);
    EXPECT_EQ(LookupClip(1, map), 0);  // a new ID is no stored one
    EXPECT_EQ(LookupClip(7, nullptr), 0);

    Handle dir = keep(FmNewHandle(0));
    ASSERT_EQ(AddToDir(dir, 1, 2, 400, 10), noErr);
    ASSERT_EQ(AddToDir(dir, 1, 3, 800, 10), noErr);
    ASSERT_EQ(AddToDir(dir, 1, 3, 900, 10), noErr);
    EXPECT_EQ(GetChunkPos(dir, 1, 3), 800);
    EXPECT_EQ(GetChunkPos(dir, 2, 1), 0);
    int32_t count;
    std::memcpy(&count, *dir, 4);
    EXPECT_EQ(count, 3);
    // A count beyond the block is never read past.
    count = 1000;
    std::memcpy(*dir, &count, 4);
    EXPECT_EQ(GetChunkPos(dir, 1, 3), 800);
    EXPECT_EQ(GetChunkPos(dir, 9, 9), 0);
    EXPECT_EQ(AddToDir(dir, 4, 4, 1, 1), kProjParamErr);

    for (const char* t : {"SPFX", "VFlt", "AFlt", "eFKT", "DevC", "ExpD", "ExpM", "Q7FM"})
        EXPECT_TRUE(IsPlugin(codeOf(t))) << t;
    for (const char* t : {"AVI ", "OFFL", "spfx", "LAYR"}) EXPECT_FALSE(IsPlugin(codeOf(t))) << t;
}

}  // namespace
