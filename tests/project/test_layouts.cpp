// Packing lists from record layouts, the settings block through its nine
// sections, and the section listing and checking used by reelhost.
#include <cstring>

#include "project/records.h"
#include "project/schemas.h"
#include "project_test_util.h"
#include "settings/settings_block.h"

using namespace projtest;
namespace st = rc::settings;

namespace {

class Layouts : public ProjectTest {};

struct Builder {
    const char* what;
    void (*build)(int32_t*);
    const char* type;
    size_t size;
};

// Fields a type string describes (one packing entry each).
size_t fieldCount(const char* type) {
    return rc::project::naturalPacking(type).size() - 1;
}

TEST_F(Layouts, BuildersCoverTheirRecordsFieldByField) {
    const Builder builders[] = {
        {"header", FindHeaderPacking, "TLLT", sizeof(rc::project::ProjHeader)},
        {"range", FindRangeRecPacking, "SL", sizeof(rc::project::RangeRec)},
        {"track", FindTrackRecPacking, "OB4HS6", sizeof(rc::project::TrackRec)},
        {"band", FindRubberHandPacking, "SSSS", sizeof(rc::project::RubberHand)},
        {"band point", FindRubberHandPtsPacking, "LSS", sizeof(rc::project::RubberHandPt)},
        {"clip aspect", FindClipAspectPacking, "LL", sizeof(rc::project::ClipAspect)},
        {"offline", FindOfflineInfoPacking, "RL6S3LC5LC6LC[32]C[32]C[256]", 791},
        {"general", psetFindProjectPacking, st::kGeneralType, sizeof(st::PsetGeneral)},
        {"video", psetFindVideoPacking, st::kVideoType, sizeof(st::PsetVideo)},
        {"audio", psetFindAudioPacking, st::kAudioType, sizeof(st::PsetAudio)},
        {"data rate", psetFindDataRatePacking, st::kDataRateType, 22},
        {"keyframes", psetFindKeyFramesPacking, st::kKeyFramesType, 16},
        {"rendering", psetFindRenderingPacking, st::kRenderingType, 12},
        {"special", psetFindSpecialPacking, st::kSpecialType, 32},
        {"capture", psetFindCapturePacking, st::kCaptureType, sizeof(st::PsetCapture)},
        {"capture info", psetFindCaptureInfoPacking, st::kCaptureInfoType, 24},
    };
    for (const auto& b : builders) {
        int32_t packing[64];
        std::memset(packing, 0x7F, sizeof packing);
        b.build(packing);
        size_t n = 0;
        while (packing[n] != 0) {
            EXPECT_GT(packing[n], 0) << b.what;
            ++n;
        }
        EXPECT_EQ(n, fieldCount(b.type)) << b.what;
        EXPECT_EQ(size_t(CheckPackingSize(packing)), b.size) << b.what;
        // Each stride holds at least its field's element.
        auto natural = rc::project::naturalPacking(b.type);
        for (size_t i = 0; i < n; ++i) EXPECT_GE(packing[i], natural[i]) << b.what << i;
    }
    // The project list entry: both versions cover the whole 1667 bytes, the
    // older list ending at the spare longs.
    int32_t newer[64], older[64];
    FindProjRecPacking(newer, 7);
    FindProjRecPacking(older, 6);
    EXPECT_EQ(CheckPackingSize(newer), 1667);
    EXPECT_EQ(CheckPackingSize(older), 1667);
    size_t nn = 0, no = 0;
    while (newer[nn]) ++nn;
    while (older[no]) ++no;
    EXPECT_EQ(nn, fieldCount("LLS3MCCPWOHRC[256]C[256]C[256]C[256]R[16]S[16]S2LLSCC[256]"));
    EXPECT_EQ(no, fieldCount("LLS3MCCPWOHRC[256]C[256]C[256]C[256]R[16]S[16]S2L[3]"));
    EXPECT_EQ(std::memcmp(newer, older, (no - 1) * sizeof(int32_t)), 0);
    // The settings block keeps its unsaved word first and its device
    // section's Handle as a 4-byte word.
    EXPECT_EQ(offsetof(st::ProjectSettings, general), 4u);
    EXPECT_EQ(offsetof(st::PsetDevice, devdata), 32u);
}

void defaults(st::ProjectSettings& s) {
    std::memset(&s, 0, sizeof s);
    s.general.filetype = code("AVIV");
    s.general.classid = code("????");
    s.general.samplesize = 100;
    s.general.scale = 2997;
    s.general.timeformat = 0x4001E;
    s.general.projectlength = 10800000;
    s.general.doaudio = s.general.dovideo = s.general.range = 1;
    s.general.openwhendone = 1;
    s.general.compilerprefs = FmNewPtr(5);
    std::memcpy(s.general.compilerprefs, "\x01\x02\x03\x04\x05", 5);
    s.video.subtype = code("rpza");
    s.video.width = 640;
    s.video.height = 480;
    s.video.quality = 100;
    s.video.depth = 16;
    s.video.aspect43 = 1;
    s.video.pixelAspect = 65537;
    s.video.paletteCount = 77;  // not saved
    for (int i = 0; i < 256; ++i) s.video.palette[i] = uint32_t(i * 0x010101);
    s.audio.subtype = code("RAW ");
    s.audio.audrate = 44100;
    s.audio.audsamplesize = s.audio.audstereo = 1;
    s.audio.interleave = 3;
    s.audio.previewmintracks = 3;
    s.audio.previewminfilters = 1;
    s.dataRate.datarate = 1000;
    s.dataRate.comppct = 5;
    s.keyFrames.keyframeevery = 15;
    s.special.cropleft = 8;
    s.special.bestresize = 1;
    s.capture.filetype = code("AVIV");
    s.capture.width = 768;
    s.capture.capvid = s.capture.capaud = 1;
    s.capture.caplim = 600;
    s.capture.audstereo = 1;
    s.captureInfo.capvidsubtype = code("XxXx");
    s.captureInfo.cappixelaspect = 0x7FFF0001;
    s.captureInfo.capquality = -1;
    std::strcpy(s.device.devname, "DV device");
    s.device.devdata = HandleToWord(FmNewHandleClear(3));
}

struct SectionDesc {
    OSType tag;
    const char* type;
    const char* names;
    void (*build)(int32_t*);
    size_t offset;
};

const SectionDesc kSections[] = {
    {code("PTYP"), st::kGeneralType, st::kGeneralNames, psetFindProjectPacking,
     offsetof(st::ProjectSettings, general)},
    {code("PVID"), st::kVideoType, st::kVideoNames, psetFindVideoPacking,
     offsetof(st::ProjectSettings, video)},
    {code("ASET"), st::kAudioType, st::kAudioNames, psetFindAudioPacking,
     offsetof(st::ProjectSettings, audio)},
    {code("DRAT"), st::kDataRateType, st::kDataRateNames, psetFindDataRatePacking,
     offsetof(st::ProjectSettings, dataRate)},
    {code("KFRM"), st::kKeyFramesType, st::kKeyFramesNames, psetFindKeyFramesPacking,
     offsetof(st::ProjectSettings, keyFrames)},
    {code("RENO"), st::kRenderingType, st::kRenderingNames, psetFindRenderingPacking,
     offsetof(st::ProjectSettings, rendering)},
    {code("SPRC"), st::kSpecialType, st::kSpecialNames, psetFindSpecialPacking,
     offsetof(st::ProjectSettings, special)},
    {code("PCAP"), st::kCaptureType, st::kCaptureNames, psetFindCapturePacking,
     offsetof(st::ProjectSettings, capture)},
    {code("PCPI"), st::kCaptureInfoType, st::kCaptureInfoNames, psetFindCaptureInfoPacking,
     offsetof(st::ProjectSettings, captureInfo)},
};

TEST_F(Layouts, SettingsBlockSavesAndLoadsThroughItsSections) {
    st::ProjectSettings saved;
    defaults(saved);
    int32_t devicePacking[] = {32, 4, 4, 4, 4, 4, 0};
    std::string p = path("my.prs");
    OSErr err = noErr;
    ProjBufHand out = CreateProjBufHandSafe(p.c_str(), kProjBufSize, &err);
    ASSERT_NE(out, nullptr);
    for (const auto& sec : kSections) {
        int32_t packing[300];
        sec.build(packing);
        ASSERT_EQ(WriteStruct(out, sec.tag, sec.type, sec.names, packing,
                              reinterpret_cast<const uint8_t*>(&saved) + sec.offset),
                  noErr);
    }
    ASSERT_EQ(WriteStruct(out, code("PDEV"), st::kDeviceType, st::kDeviceNames, devicePacking,
                          &saved.device),
              noErr);
    ASSERT_EQ(CloseProjBufHand(out), noErr);
    std::string text = readFile(p);
    EXPECT_NE(text.find("[PTYP]\r\nfiletype=1096173910\r\nclassid=1061109567\r\n"
                        "compilerprefs=5,0102030405\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\npixelAspect=65537\r\nreserved2=0\r\npalette=0,65793,131586,"),
              std::string::npos);

    FileRef ref = open(p);
    ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    st::ProjectSettings loaded;
    std::memset(&loaded, 0, sizeof loaded);
    for (const auto& sec : kSections) {
        int32_t packing[300];
        sec.build(packing);
        // The sections are found in any order.
        ASSERT_EQ(SearchType(in, sec.tag), 1);
        ASSERT_EQ(ReadStruct(in, sec.tag, sec.type, packing,
                             reinterpret_cast<uint8_t*>(&loaded) + sec.offset),
                  noErr);
    }
    ASSERT_EQ(ReadStruct(in, code("PDEV"), st::kDeviceType, devicePacking, &loaded.device), noErr);
    CloseProjBufHand(in);
    FSClose(ref);
    // Everything saved came back; pointers and Handles as fresh copies; the
    // palette count is not saved.
    const Ptr loadedPrefs = loaded.general.compilerprefs;
    const uint32_t loadedDevice = loaded.device.devdata;
    const int16_t loadedCount = loaded.video.paletteCount;
    EXPECT_EQ(loadedCount, 0);
    loaded.video.paletteCount = saved.video.paletteCount;
    ASSERT_NE(loadedPrefs, nullptr);
    EXPECT_EQ(std::string(loaded.general.compilerprefs, 5),
              std::string(saved.general.compilerprefs, 5));
    ASSERT_NE(loadedDevice, 0u);
    EXPECT_EQ(FmGetHandleSize(WordToHandle(loaded.device.devdata)), 3u);
    FmDisposePtr(loaded.general.compilerprefs);
    FmDisposeHandle(WordToHandle(loaded.device.devdata));
    Ptr prefs = saved.general.compilerprefs;
    uint32_t dev = saved.device.devdata;
    loaded.general.compilerprefs = saved.general.compilerprefs;
    loaded.device.devdata = saved.device.devdata;
    EXPECT_EQ(std::memcmp(&loaded, &saved, sizeof saved), 0);
    FmDisposePtr(prefs);
    FmDisposeHandle(WordToHandle(dev));
}

void collect(void* context, OSType tag, int32_t line, int32_t values) {
    static_cast<std::vector<std::tuple<OSType, int32_t, int32_t>>*>(context)->emplace_back(
        tag, line, values);
}

TEST_F(Layouts, ListingAndCheckingSections) {
    // A file written by the codec lists its sections and checks clean.
    rc::project::ProjHeader header{code("PROJ"), 7, 0, code("PWIN")};
    int32_t headerPacking[8];
    FindHeaderPacking(headerPacking);
    rc::project::ClipAspect aspect{5, 0x00FF00};
    int32_t aspectPacking[8];
    FindClipAspectPacking(aspectPacking);
    std::string text = written([&](ProjBufHand out) {
        WriteStruct(out, code("HEAD"), "TLLT", "signature,version,dirOffset,platform",
                    headerPacking, &header);
        WriteStruct(out, code("CLPA"), "LL", "clipID, aspectcolor", aspectPacking, &aspect);
        FmWriteSectionTag(out, code("MRKT"));
        FmWriteShort(out, "moremarkerscount", 2);
        FmWriteSectionTag(out, code("XTRA"));  // not a known layout
        WriteProjText(out, "anything at all\r\n");
    });
    Reader r(text, 32);
    std::vector<std::tuple<OSType, int32_t, int32_t>> sections;
    EXPECT_EQ(ProjListSections(r.stream, collect, &sections), 4);
    EXPECT_EQ(sections, (std::vector<std::tuple<OSType, int32_t, int32_t>>{{code("HEAD"), 1, 4},
                                                                           {code("CLPA"), 6, 2},
                                                                           {code("MRKT"), 9, 1},
                                                                           {code("XTRA"), 11, 1}}));
    OSType tag = 1;
    int32_t line = -1;
    const char* reason = "x";
    EXPECT_EQ(ProjCheckSections(r.stream, &tag, &line, &reason), noErr);
    EXPECT_EQ(line, 0);
    // Each kind of damage is reported at its line.
    struct Damage {
        std::string from, to;
        int32_t line;
        OSType tag;
    };
    const Damage damages[] = {
        {"version=7", "version=seven", 3, code("HEAD")},
        {"aspectcolor=65280", "aspectcolor=65280,4", 8, code("CLPA")},
        {"[MRKT]", "[MRKT", 9, code("CLPA")},
        {"[HEAD]", "stray\r\n[HEAD]", 1, 0},
        {"moremarkerscount=2", "moremarkerscount=2x", 10, code("MRKT")},
    };
    for (const auto& d : damages) {
        std::string bad = text;
        bad.replace(bad.find(d.from), d.from.size(), d.to);
        Reader b(bad, 32);
        EXPECT_EQ(ProjCheckSections(b.stream, &tag, &line, &reason), 1) << d.to;
        EXPECT_EQ(line, d.line) << d.to;
        EXPECT_EQ(tag, d.tag) << d.to;
        EXPECT_NE(reason, nullptr);
    }
    // Older files are checked against the older layouts their header names.
    const char* olderType = "LLS3MCCPWOHRC[256]C[256]C[256]C[256]R[16]S[16]S2L[3]";
    std::vector<uint8_t> entry(1667, 0);
    int32_t olderPacking[64];
    FindProjRecPacking(olderPacking, 6);
    header.version = 6;
    std::string old = written([&](ProjBufHand out) {
        WriteStruct(out, code("HEAD"), "TLLT", nullptr, headerPacking, &header);
        WriteStruct(out, code("PRJL"), olderType, nullptr, olderPacking, entry.data());
    });
    Reader o(old, 64);
    EXPECT_EQ(ProjCheckSections(o.stream, &tag, &line, &reason), noErr) << reason;
    header.version = 7;
    old.replace(old.find("6"), 1, "7");
    Reader o7(old, 64);
    EXPECT_EQ(ProjCheckSections(o7.stream, &tag, &line, &reason), 1);
    EXPECT_EQ(tag, code("PRJL"));
}

TEST_F(Layouts, EveryKnownLayoutRoundTripsThroughTheCodec) {
    size_t count = 0;
    const rc::project::KnownSchema* schemas = rc::project::knownSchemas(&count);
    ASSERT_GT(count, 40u);
    for (size_t i = 0; i < count; ++i) {
        const auto& schema = schemas[i];
        auto packing = rc::project::naturalPacking(schema.type);
        size_t size = size_t(CheckPackingSize(packing.data()));
        // A zeroed record (null Handles, empty texts) written and read back.
        std::vector<uint8_t> clean(size, 0);
        std::string text = written([&](ProjBufHand out) {
            EXPECT_EQ(WriteStruct(out, schema.tag, schema.type, schema.names, packing.data(),
                                  clean.data()),
                      noErr);
        });
        Reader r(text, 16);
        std::vector<uint8_t> back(size, 0xAB);
        EXPECT_EQ(ReadStruct(r.stream, schema.tag, schema.type, packing.data(), back.data()), noErr)
            << text;
        std::string again = written([&](ProjBufHand out) {
            WriteStruct(out, schema.tag, schema.type, schema.names, packing.data(), back.data());
        });
        EXPECT_EQ(again, text);
        rc::project::freeRecordHandles(schema.type, packing.data(), back.data());
        Reader c(text, 16);
        OSType tag = 0;
        int32_t line = 0;
        const char* reason = nullptr;
        EXPECT_EQ(ProjCheckSections(c.stream, &tag, &line, &reason), noErr)
            << text << (reason ? reason : "");
    }
}

}  // namespace
