// Services and settings beside the export itself: the audio service and its
// cache, colour counts and PNG writing, settings from a clip, and the default
// export names.
#include <cmath>

#include "platform/png.h"
#include "reelcore/files.h"
#include "tests/export/export_fixture.h"

namespace exporttest {
namespace {

int32_t gMixCalls = 0;

// Each sample frame's bytes carry the timeline frame it belongs to.
bool frameNumbers(Handle, int32_t frame, const TDB&, int32_t, int32_t, void* out, int32_t bytes) {
    ++gMixCalls;
    std::memset(out, frame & 0xFF, size_t(bytes));
    return true;
}

TEST_F(ExportTest, AudioComesFrameByFrameAndTheLastBlockIsKept) {
    rc::exporthost::setMixAudio(frameNumbers);
    start(REEL_EXP_WAV);
    aim(kPsetKindAudio, cc("WAVE"));
    PsetBlock& s = settings(kPsetKindAudio);
    s.general.scale = 2997;
    s.general.samplesize = 100;
    s.audio.audrate = 48000;
    s.audio.audsamplesize = 1;
    s.audio.audstereo = 1;
    s.audio.interleave = 3;                                          // one-second blocks
    makeTimeline({{0, 10000}}, kTrackTypeAudio, TDB{0, 2997, 100});  // 100 frames
    const std::string out = dir + "/frames.wav";
    const FSSpec w = spec(out);
    gMixCalls = 0;
    ASSERT_EQ(CompilerExportAudio(&w, 0, 0, 0), 0);
    EXPECT_EQ(gMixCalls, 100);
    const std::string bytes = readFile(out);
    // 100 frames of 29.97 at 48000: 160160.16 sample frames, rounded down.
    ASSERT_EQ(bytes.size(), 44u + 160160u * 4);
    // Frame f covers the samples from floor(f * 1601.6016) on, where the mixer
    // starts its block, up to where the next frame's starts.
    for (int32_t f : {0, 1, 2, 50, 99}) {
        const size_t at = size_t(f) * 100 * 48000 / 2997;
        const size_t end = size_t(f + 1) * 100 * 48000 / 2997;
        EXPECT_EQ(uint8_t(bytes[44 + at * 4]), f) << f;
        EXPECT_EQ(uint8_t(bytes[44 + end * 4 - 1]), f) << f;
    }

    // The same request twice is answered from the last block.
    CompilerShutdown();
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    settings(kPsetKindMovie).audio.audrate = 48000;
    state.readAudio = 1;
    gMixCalls = 0;
    const FSSpec t = spec(dir + "/audio.tst");
    ASSERT_EQ(CompilerDoCompile(&t, 0, 0, 0), 0);
    EXPECT_EQ(gMixCalls, 2);
    EXPECT_EQ(+state.audioSame, 1);
    EXPECT_EQ(+state.audioBytes, 2 * 1920 * 4);  // 16-bit stereo at 25 fps
}

TEST_F(ExportTest, ColourCountsAndPngPictures) {
    const RcCompileVideoFuncs* video = rc::exporthost::services()->groups->video;
    // Two rows of 3 pixels, rows padded to 16 bytes.
    uint32_t rows[2][4] = {{0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xDEADBEEF},
                           {0xFF0000FF, 0xFF000000, 0xFF000000, 0xDEADBEEF}};
    std::vector<uint32_t> counters(32768, 0);
    ASSERT_EQ(video->countColours(rows, 16, 3, 2, counters.data()), 1);
    EXPECT_EQ(counters[0x1F << 10], 2u);  // red
    EXPECT_EQ(counters[0x1F << 5], 1u);   // green
    EXPECT_EQ(+counters[0x1F], 1u);       // blue
    EXPECT_EQ(+counters[0], 2u);          // black; the padding is not counted
    EXPECT_EQ(video->countColours(rows, 8, 3, 2, counters.data()), 0);  // rows too short

    const std::string path = dir + "/picture.png";
    FileRef ref = -1;
    ASSERT_EQ(HCreate(0, 0, path.c_str()), 0);
    ASSERT_EQ(HOpen(0, 0, path.c_str(), fsRdWrPerm, &ref), 0);
    ASSERT_EQ(video->writePNG(rows, 16, 3, 2, ref), 0);
    FSClose(ref);
    const std::string png = readFile(path);
    rc::platform::PngPicture picture;
    ASSERT_EQ(rc::platform::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(),
                                      1 << 20, picture),
              rc::platform::PngRead::Ok);
    ASSERT_EQ(+picture.width, 3);
    ASSERT_EQ(+picture.height, 2);
    // Rows are stored bottom-up: the second row is the top of the picture.
    uint32_t top[3], bottom[3];
    std::memcpy(top, picture.bgra.data(), 12);
    std::memcpy(bottom, picture.bgra.data() + 12, 12);
    EXPECT_EQ(+top[0], 0xFF0000FFu);
    EXPECT_EQ(+bottom[0], 0xFFFF0000u);
    EXPECT_EQ(+bottom[2], 0xFF00FF00u);
    EXPECT_EQ(video->writePNG(nullptr, 16, 3, 2, ref), -50);
    EXPECT_EQ(ppixWritePNG(nullptr, ref), -50);
}

TEST_F(ExportTest, SettingsComeFromTheClipsFile) {
    state.mode = kExpTestCorrections;  // offers 'pal ', fixed at 25 fps
    start(REEL_EXPTEST_MODULE);
    const TDB tb{0, 25, 1};
    const int32_t disc =
        synthClip("kind disc\nwidth 96\nheight 72\nrate 25\nframes 50\n", 0, 10, tb);
    Handle h = psetNewDefaultSettings();
    PsetBlock& s = *psetGetBlock(h);
    s.general.filetype = cc("TEST");
    s.video.subtype = cc("fixd");  // fixed at 29.97: gives way to 'pal '
    SettingsFromClip(h, disc);
    EXPECT_EQ(+s.general.filetype, cc("SYNT"));
    s.general.filetype = cc("TEST");
    s.video.subtype = cc("fixd");
    SettingsFromClip(h, disc);
    EXPECT_EQ(+s.general.dovideo, 1);
    EXPECT_EQ(+s.general.doaudio, 0);
    EXPECT_EQ(+s.video.width, 96);
    EXPECT_EQ(+s.video.height, 72);
    EXPECT_EQ(+s.video.scale, 25);
    EXPECT_EQ(+s.video.samplesize, 1);
    EXPECT_EQ(+s.general.scale, 25);

    const int32_t tone =
        synthClip("kind tone\nfrequency 440\nsamplerate 22050\nchannels 1\nseconds 2\n", 0, 10, tb);
    SettingsFromClip(h, tone);
    EXPECT_EQ(+s.general.doaudio, 1);
    EXPECT_EQ(+s.general.dovideo, 0);
    EXPECT_EQ(+s.audio.audrate, 22050);
    EXPECT_EQ(+s.audio.audstereo, 0);
    EXPECT_EQ(+s.audio.subtype, cc("RAW "));
    psetDisposeSettings(h);
}

TEST_F(ExportTest, FixedRateCompressorsFollowTheClipsRate) {
    state.mode = kExpTestCorrections;
    start(REEL_EXPTEST_MODULE);
    const TDB tb{0, 25, 1};
    const int32_t disc =
        synthClip("kind disc\nwidth 96\nheight 72\nrate 25\nframes 50\n", 0, 10, tb);
    // The clip's file type has no exporter here; the test exporter's type
    // stands in for it through a file of that type.
    Handle h = psetNewDefaultSettings();
    PsetBlock& s = *psetGetBlock(h);
    const int16_t file = ClipFile(disc);
    rc::media::findFileRec(file)->type = cc("TEST");
    s.general.classid = cc("????");
    s.video.subtype = cc("fixd");
    SettingsFromClip(h, disc);
    EXPECT_EQ(+s.general.filetype, cc("TEST"));
    EXPECT_EQ(+s.video.subtype, cc("pal "));
    // A compressor without a fixed rate stays.
    s.video.subtype = cc("RAW ");
    SettingsFromClip(h, disc);
    EXPECT_EQ(+s.video.subtype, cc("RAW "));
    psetDisposeSettings(h);
}

TEST_F(ExportTest, DefaultExportNamesPerKind) {
    for (int32_t kind = kExportKindMovie; kind <= kExportKindCustom; ++kind) {
        FSSpec s = spec(dir + "/default" + std::to_string(kind));
        s.vRefNum = int16_t(kind + 7);
        SetupProjectDefaultExportName(&s, kind);
    }
    const FSSpec other = spec(dir + "/other");
    SetupProjectDefaultExportName(&other, 4);  // no such kind
    SetupProjectDefaultExportName(&other, -1);
    for (int32_t kind = kExportKindMovie; kind <= kExportKindCustom; ++kind) {
        FSSpec got{};
        ASSERT_TRUE(GetProjectDefaultExportName(kind, &got));
        EXPECT_EQ(std::string(got.name), dir + "/default" + std::to_string(kind));
        EXPECT_EQ(+got.vRefNum, kind + 7);
    }
    // The names do not disturb the clip word of the export source.
    int32_t clip = -1;
    std::memcpy(&clip, settings(kPsetKindMovie).exportSource, 4);
    EXPECT_EQ(clip, 0);
    // A path that fills its whole field (no NUL) is kept and terminated.
    FSSpec longPath{};
    std::memset(longPath.name, 'p', sizeof longPath.name);
    SetupProjectDefaultExportName(&longPath, kExportKindStill);
    FSSpec got{};
    ASSERT_TRUE(GetProjectDefaultExportName(kExportKindStill, &got));
    EXPECT_EQ(std::strlen(got.name), sizeof longPath.name - 1);

    ResetProjectDefaultExportNames();
    for (int32_t kind = kExportKindMovie; kind <= kExportKindCustom; ++kind)
        EXPECT_FALSE(GetProjectDefaultExportName(kind, &got));
}

// Selectors 5 to 7 let a module edit its own settings: the pointer it hands
// back is kept on 0 and 19, anything else leaves the settings alone and is
// reported like an export's result.
TEST_F(ExportTest, ModulesEditTheirOwnSettings) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    Handle h = psetGetExportSettings(kPsetKindMovie);
    PsetBlock& s = settings(kPsetKindMovie);
    s.video.subtype = cc("RAW ");
    s.audio.subtype = cc("RAW ");

    state.replaceSettings = 1;
    state.settingsResult = kRcCompileSettingsChanged;
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), kRcCompileSettingsChanged);
    EXPECT_EQ(+state.lastSelector, kRcCompileSettings);
    EXPECT_EQ(static_cast<void*>(state.lastRequest.settings), nullptr);
    EXPECT_EQ(+state.lastRequest.fileType, cc("TEST"));
    ASSERT_NE(Ptr(s.general.compilerprefs), nullptr);
    EXPECT_EQ(reinterpret_cast<int32_t*>(s.general.compilerprefs)[0], kRcCompileSettings);

    // The compressors' settings carry their codes; 0 keeps the new block too.
    state.settingsResult = kRcCompileOK;
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileVideoSettings), kRcCompileOK);
    EXPECT_EQ(+state.lastRequest.compressor, cc("RAW "));
    ASSERT_NE(Ptr(s.video.subtypeprefs), nullptr);
    EXPECT_EQ(reinterpret_cast<int32_t*>(s.video.subtypeprefs)[0], kRcCompileVideoSettings);
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileAudioSettings), kRcCompileOK);
    ASSERT_NE(Ptr(s.audio.subtypeprefs), nullptr);
    EXPECT_EQ(reinterpret_cast<int32_t*>(s.audio.subtypeprefs)[0], kRcCompileAudioSettings);
    EXPECT_TRUE(Alerts::messages.empty());

    // The old block goes to the module as it is; a cancel keeps it, a
    // failure keeps it and is reported.
    Ptr before = s.general.compilerprefs;
    state.replaceSettings = 0;
    state.settingsResult = kRcCompileCancelled;
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), kRcCompileCancelled);
    EXPECT_EQ(static_cast<void*>(state.lastRequest.settings), before);
    EXPECT_EQ(Ptr(s.general.compilerprefs), before);
    EXPECT_TRUE(Alerts::messages.empty());
    state.settingsResult = kRcCompileOutOfMemory;
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), kRcCompileOutOfMemory);
    EXPECT_EQ(Ptr(s.general.compilerprefs), before);
    ASSERT_EQ(Alerts::messages.size(), 1u);
    EXPECT_EQ(Alerts::messages[0].rfind("An error occurred.", 0), 0u) << Alerts::messages[0];

    // The settings a module made travel with copies of the block.
    Handle copy = psetNewDefaultSettings();
    ASSERT_EQ(psetCopyProjectSettings(h, copy), 0);
    ASSERT_NE(Ptr(psetGetBlock(copy)->general.compilerprefs), nullptr);
    EXPECT_NE(Ptr(psetGetBlock(copy)->general.compilerprefs), before);
    EXPECT_EQ(reinterpret_cast<int32_t*>(psetGetBlock(copy)->general.compilerprefs)[0],
              kRcCompileSettings);
    psetDisposeSettings(copy);

    // Nothing to ask: a bad selector, no settings, no exporter.
    const int32_t calls = state.settingsCalls;
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileDoCompile), -50);
    EXPECT_EQ(CompilerEditSettings(nullptr, kRcCompileSettings), -50);
    s.general.filetype = cc("NONE");
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), 1);
    EXPECT_EQ(+state.settingsCalls, calls);
}

// Without a window the sample modules keep settings they know and otherwise
// make their defaults.
TEST_F(ExportTest, SampleModulesAcceptOrMakeTheirSettings) {
    start(REEL_EXP_PNG);
    start(REEL_EXP_AVI);
    aim(kPsetKindMovie, cc("PNG "), cc("PSEQ"));
    Handle h = psetGetExportSettings(kPsetKindMovie);
    PsetBlock& s = settings(kPsetKindMovie);
    ASSERT_EQ(Ptr(s.general.compilerprefs), nullptr);
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), kRcCompileSettingsChanged);
    ASSERT_NE(Ptr(s.general.compilerprefs), nullptr);
    int32_t png[2];
    std::memcpy(png, s.general.compilerprefs, sizeof png);
    EXPECT_EQ(uint32_t(png[0]), cc("PNGS"));
    EXPECT_EQ(png[1], -1);  // the host's writer
    Ptr made = s.general.compilerprefs;
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), kRcCompileOK);
    EXPECT_EQ(Ptr(s.general.compilerprefs), made);
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileVideoSettings), kRcCompileOK);

    // Another module's block is replaced by the AVI writer's own.
    aim(kPsetKindMovie, cc("AVIV"));
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileSettings), kRcCompileSettingsChanged);
    uint32_t avi[2];
    std::memcpy(avi, s.general.compilerprefs, sizeof avi);
    EXPECT_EQ(avi[0], cc("AVIS"));
    EXPECT_EQ(avi[1], 1u << 30);
    EXPECT_EQ(CompilerEditSettings(h, kRcCompileAudioSettings), kRcCompileOK);
}

}  // namespace
}  // namespace exporttest
