// Defaults by TV standard, the global block, deep copies and cleanup, the
// getters and the selector-driven read of the global block.
#include "settings_fixture.h"

#include "reelcore/filetable.h"

using namespace settest;

namespace {

class Block : public SettingsTest {};

TEST_F(Block, NtscDefaultsFillEverySection) {
    EXPECT_EQ(psetGetOutWidth(nullptr), 640);  // no global block yet
    EXPECT_EQ(psetGetOutHeight(nullptr), 480);
    EXPECT_EQ(psetGetPixelAspectRatio(nullptr), 0u);
    EXPECT_EQ(psetGetGlobalSetting(1), -1);

    Handle g = InitProjectSettings();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(InitProjectSettings(), g);  // made once
    EXPECT_EQ(GetAGlobal(kSlotProjectSettings), reinterpret_cast<intptr_t>(g));
    const PsetBlock& s = blk(g);
    EXPECT_EQ(+s.general.filetype, code("AVIV"));
    EXPECT_EQ(+s.general.classid, code("????"));
    EXPECT_EQ(+s.general.samplesize, 100);
    EXPECT_EQ(+s.general.scale, 2997);
    EXPECT_EQ(+s.general.timeformat, 0x4001E);
    EXPECT_EQ(+s.general.projectlength, 10800000);
    EXPECT_EQ(+s.general.openwhendone, 1);
    EXPECT_EQ(+s.video.subtype, code("rpza"));
    EXPECT_EQ(+s.video.width, 640);
    EXPECT_EQ(+s.video.height, 480);
    EXPECT_EQ(+s.video.scale, 2997);
    EXPECT_EQ(+s.video.samplesize, 100);
    EXPECT_EQ(+s.video.depth, 16);
    EXPECT_EQ(+s.video.pixelAspect, 65537u);
    EXPECT_EQ(+s.audio.subtype, code("RAW "));
    EXPECT_EQ(+s.audio.audrate, 44100);
    EXPECT_EQ(+s.audio.interleave, 3);
    EXPECT_EQ(+s.audio.previewmintracks, 3);
    EXPECT_EQ(+s.dataRate.datarate, 1000);
    EXPECT_EQ(+s.dataRate.comppct, 5);
    EXPECT_EQ(+s.dataRate.forcerecomp, 1);
    EXPECT_EQ(+s.keyFrames.keyframeevery, 15);
    EXPECT_EQ(+s.capture.width, 640);
    EXPECT_EQ(+s.capture.scale, 2997);
    EXPECT_EQ(+s.capture.reportdrops, 1);
    EXPECT_EQ(+s.capture.abortondrops, 0);
    EXPECT_EQ(+s.capture.preroll, 5);
    EXPECT_EQ(+s.capture.caplim, 600);
    EXPECT_EQ(+s.captureInfo.capvidsubtype, OSType(kPsetCapInfoInvalidSubtype));
    EXPECT_EQ(+s.captureInfo.capfieldtype, 4);
    EXPECT_EQ(+s.captureInfo.capquality, -1);
    EXPECT_EQ(+s.general.compilerprefs, nullptr);
    EXPECT_EQ(+s.device.devdata, 0u);
    for (uint8_t b : s.exportSource) ASSERT_EQ(b, 0);
    EXPECT_EQ(psetGetGlobalSetting(1), 640);
    EXPECT_EQ(psetGetGlobalSetting(2), 480);
}

TEST_F(Block, PalStandardGives25FramesAnd768x576) {
    ResFileRef pal = OpenResFile(REEL_TEST_PAL_MODULE);
    ASSERT_GT(pal, 0);
    Handle g = InitProjectSettings();
    CloseResFile(pal);
    const PsetBlock& s = blk(g);
    EXPECT_EQ(+s.video.width, 768);
    EXPECT_EQ(+s.video.height, 576);
    EXPECT_EQ(+s.general.scale, 25);
    EXPECT_EQ(+s.general.samplesize, 1);
    EXPECT_EQ(+s.general.timeformat, 0x20019);
    EXPECT_EQ(+s.general.projectlength, 90000);
    EXPECT_EQ(+s.video.scale, 25);
    EXPECT_EQ(+s.capture.width, 768);
    EXPECT_EQ(+s.capture.scale, 25);
    EXPECT_EQ(+s.capture.samplesize, 1);
}

TEST_F(Block, CopiesOwnTheirBlocksAndCleanupClearsThem) {
    Handle a = richBlock();
    Handle b = richBlock();  // its own blocks must be freed by the copy
    blk(a).video.width = 1234;
    ASSERT_EQ(psetCopyProjectSettings(a, b), noErr);
    const PsetBlock& sa = blk(a);
    const PsetBlock& sb = blk(b);
    EXPECT_EQ(+sb.video.width, 1234);
    EXPECT_NE(+sa.general.compilerprefs, +sb.general.compilerprefs);
    EXPECT_NE(+sa.general.playmodprefs, +sb.general.playmodprefs);
    EXPECT_EQ(ptrText(sb.general.compilerprefs), "compiler");
    EXPECT_EQ(ptrText(sb.general.playmodprefs), "playmod");
    EXPECT_NE(+sa.video.subtypeprefs, +sb.video.subtypeprefs);
    EXPECT_EQ(ptrText(sb.video.subtypeprefs), "video");
    EXPECT_EQ(ptrText(sb.audio.subtypeprefs), "audio");
    EXPECT_EQ(ptrText(sb.capture.capprefs), "capture");
    ASSERT_NE(+sb.device.devdata, +sa.device.devdata);
    EXPECT_EQ(std::string(*WordToHandle(sb.device.devdata), 3), "abc");

    psetCleanupProjectSettings(a);
    EXPECT_EQ(+sa.general.compilerprefs, nullptr);
    EXPECT_EQ(+sa.capture.capprefs, nullptr);
    EXPECT_EQ(+sa.device.devdata, 0u);
    psetCleanupProjectSettings(a);  // a second cleanup finds nothing to free
    EXPECT_EQ(ptrText(sb.general.compilerprefs), "compiler");  // the copy is independent
    psetDisposeSettings(a);
    psetDisposeSettings(b);
}

TEST_F(Block, CopyFailingForMemoryLeavesTheTargetAsItWas) {
    Handle a = richBlock();
    Handle b = richBlock();
    blk(a).video.width = 99;
    FmDisposePtr(blk(a).audio.subtypeprefs);
    blk(a).audio.subtypeprefs = FmNewPtrClear(4096);
    Ptr before = blk(b).general.compilerprefs;
    // The small copies succeed, the large one fails.
    uint32_t limit = SetMaxAllocInHeap(16);
    rc::platform::failAllocationsAbove(1000);
    EXPECT_EQ(psetCopyProjectSettings(a, b), memFullErr);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(limit);
    EXPECT_EQ(+blk(b).video.width, 640);
    EXPECT_EQ(+blk(b).general.compilerprefs, before);
    EXPECT_EQ(ptrText(blk(b).general.compilerprefs), "compiler");
    psetDisposeSettings(a);
    psetDisposeSettings(b);
}

TEST_F(Block, ReplaceAndDuplicateGlobalKeepTheExportSource) {
    Handle g = InitProjectSettings();
    blk(g).exportSource[0] = 7;
    blk(g).exportSource[295] = 9;
    Handle other = richBlock();
    blk(other).video.width = 320;
    blk(other).exportSource[0] = 1;
    ASSERT_EQ(ReplaceGlobalSettings(kSlotProjectSettings, other), noErr);
    Handle now = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings));
    ASSERT_NE(now, other);
    EXPECT_EQ(psetGetOutWidth(nullptr), 320);
    EXPECT_EQ(+blk(now).exportSource[0], 7);
    EXPECT_EQ(+blk(now).exportSource[295], 9);
    EXPECT_NE(+blk(now).general.compilerprefs, +blk(other).general.compilerprefs);
    psetDisposeSettings(other);
    EXPECT_EQ(ptrText(blk(now).general.compilerprefs), "compiler");

    Handle dup = psetDupGlobalSettings(kSlotProjectSettings);
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(+blk(dup).video.width, 320);
    EXPECT_NE(+blk(dup).audio.subtypeprefs, +blk(now).audio.subtypeprefs);
    psetDisposeSettings(dup);
    EXPECT_EQ(psetDupGlobalSettings(300), nullptr);  // an empty slot
}

TEST_F(Block, GettersReadTheGivenOrTheGlobalBlock) {
    InitProjectSettings();
    Handle h = psetNewDefaultSettings();
    PsetBlock& s = blk(h);
    s.video.width = 720;
    s.video.height = 486;
    s.video.pixelAspect = 0x00090008;
    s.video.fieldtype = 2;
    s.audio.audstereo = 0;
    s.audio.audsamplesize = 0;
    s.audio.audrate = 22050;
    s.audio.resampleQ = 2;
    s.audio.dither = 1;
    s.audio.logfade = 1;
    s.general.dovideo = 0;
    s.general.filetype = code("MOVE");
    s.general.classid = code("ABCD");
    s.capture.filetype = code("CAPT");
    EXPECT_EQ(psetGetOutWidth(h), 720);
    EXPECT_EQ(psetGetOutHeight(h), 486);
    EXPECT_EQ(psetGetPixelAspectRatio(h), 0x00090008u);
    EXPECT_EQ(psetGetFieldType(h), 2);
    EXPECT_FALSE(psetIsStereo(h));
    EXPECT_TRUE(psetIsStereo(nullptr));
    EXPECT_FALSE(psetIs16BitAudio(h));
    EXPECT_EQ(psetGetAudRate(h), 22050);
    EXPECT_EQ(psetGetResampleQuality(h), 2);
    EXPECT_TRUE(psetGetDither(h));
    EXPECT_TRUE(psetGetLogFade(h));
    EXPECT_FALSE(psetGetLogFade(nullptr));
    EXPECT_FALSE(psetDoVideo(h));
    EXPECT_TRUE(psetDoAudio(h));
    EXPECT_EQ(psetGetVideoFileType(h), code("MOVE"));
    EXPECT_EQ(psetGetClassID(h), code("ABCD"));
    EXPECT_EQ(psetGetCapFileType(h), code("CAPT"));
    psetSetCapAudio(h, 0);
    psetSetCapVideo(nullptr, 0);
    EXPECT_FALSE(psetGetCapAudio(h));
    EXPECT_TRUE(psetGetCapVideo(h));
    EXPECT_FALSE(psetGetCapVideo(nullptr));
    psetSetTimeFormat(h, 0x30018);
    EXPECT_EQ(psetGetTimeFormat(h), 0x30018);
    EXPECT_EQ(psetGetTimeFormat(nullptr), 0x4001E);
    EXPECT_EQ(psetGetProjectScale(h), 2997);
    EXPECT_EQ(psetGetProjectSampleSize(h), 100);
    // Recompress always: forcerecomp set and usecomppct clear.
    EXPECT_TRUE(psetRecompressAlways(h));
    s.dataRate.usecomppct = 1;
    EXPECT_FALSE(psetRecompressAlways(h));
    s.dataRate.usecomppct = 0;
    s.dataRate.forcerecomp = 0;
    EXPECT_FALSE(psetRecompressAlways(h));
    psetDisposeSettings(h);
}

TEST_F(Block, GlobalSettingSelectors) {
    Handle g = InitProjectSettings();
    PsetBlock& s = blk(g);
    s.general.compilerprefs = bytes("x");
    s.video.pixelAspect = 0x000A000B;
    s.rendering.useRamPrvw = 1;
    s.rendering.ignorevidfilters = 1;
    static const char kName[] = "Zed";
    SetAGlobal(401, reinterpret_cast<intptr_t>(kName));
    EXPECT_EQ(psetGetGlobalSetting(3), 'Z');
    EXPECT_EQ(psetGetGlobalSetting(4), -1);  // slot 115 holds no string
    EXPECT_EQ(psetGetGlobalSetting(6), 0);
    EXPECT_EQ(psetGetGlobalSetting(7), intptr_t(code("AVIV")));
    EXPECT_EQ(psetGetGlobalSetting(8), 1);
    EXPECT_EQ(psetGetGlobalSetting(10), 44100);
    EXPECT_EQ(psetGetGlobalSetting(11), 100);
    EXPECT_EQ(psetGetGlobalSetting(12), 2997);
    EXPECT_EQ(psetGetGlobalSetting(13), 0x4001E);
    EXPECT_EQ(psetGetGlobalSetting(14), reinterpret_cast<intptr_t>(s.general.compilerprefs));
    EXPECT_EQ(psetGetGlobalSetting(15), 0);
    EXPECT_EQ(psetGetGlobalSetting(17), -1);  // no drive letters here
    EXPECT_EQ(psetGetGlobalSetting(19), intptr_t(code("rpza")));
    EXPECT_EQ(psetGetGlobalSetting(24), intptr_t(code("rpza")));
    EXPECT_EQ(psetGetGlobalSetting(20), 1);
    EXPECT_EQ(psetGetGlobalSetting(21), 0xA);
    EXPECT_EQ(psetGetGlobalSetting(22), 0x000A000B);
    EXPECT_EQ(psetGetGlobalSetting(23), 1);
    EXPECT_EQ(psetGetGlobalSetting(25), 2997);
    EXPECT_EQ(psetGetGlobalSetting(26), 100);
    EXPECT_EQ(psetGetGlobalSetting(27), 1);
    EXPECT_EQ(psetGetGlobalSetting(0), -1);
    EXPECT_EQ(psetGetGlobalSetting(28), -1);
}

OSType gCompressor = 0;
OSType compressorOf(int16_t) {
    return gCompressor;
}

TEST_F(Block, FileMatchesTypeCompressorAndFrameSize) {
    InitFileQueue();
    std::string p = path("clip.avi");
    writeFile(p, "RIFF");
    int16_t id = AddFile(p.c_str(), 0, 0, code("AVIV"));
    ASSERT_GT(id, 0);
    Handle rec = FindFile(id);
    ASSERT_NE(rec, nullptr);
    FmFileRecord& r = *reinterpret_cast<FmFileRecord*>(*rec);
    r.type = code("AVIV");
    r.info.frame = FmRect{0, 0, 640, 480};
    Handle g = InitProjectSettings();
    EXPECT_FALSE(FileMatchesVideoSettings(id, nullptr));  // compressor unknown
    rc::settingshooks::setFileCompressor(compressorOf);
    gCompressor = code("rpza");
    EXPECT_TRUE(FileMatchesVideoSettings(id, nullptr));
    blk(g).video.height = 486;
    EXPECT_FALSE(FileMatchesVideoSettings(id, g));
    blk(g).video.height = 480;
    gCompressor = code("cvid");
    EXPECT_FALSE(FileMatchesVideoSettings(id, g));
    gCompressor = code("rpza");
    blk(g).general.filetype = code("MooV");
    EXPECT_FALSE(FileMatchesVideoSettings(id, g));
    EXPECT_FALSE(FileMatchesVideoSettings(0, g));
}

}  // namespace
