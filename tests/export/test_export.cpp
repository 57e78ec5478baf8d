// Running exports through the test exporter: refusals, frame ranges, the
// compile record, result reports, the output file's safety, numbered files,
// the frame service's descriptions, stop and cancel.
#include <dirent.h>

#include "tests/export/export_fixture.h"

namespace exporttest {
namespace {

constexpr const char* kNoClips = "There are no clips to build.";
constexpr const char* kInUse =
    "Unable to export to the specified file.\nFile is in use by Filmoryx.";

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST_F(ExportTest, RefusalsComeBeforeAnyFileIsTouched) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    const std::string out = dir + "/out.tst";
    const FSSpec s = spec(out);
    // Nothing on the timeline (and no timeline at all).
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileQuiet);
    ASSERT_EQ(Alerts::messages.size(), 1u);
    EXPECT_EQ(Alerts::messages[0], kNoClips);
    makeTimeline({});
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileQuiet);
    EXPECT_EQ(Alerts::messages.back(), kNoClips);

    // A crop that leaves less than 32 x 32 pixels.
    makeTimeline({{0, 10}});
    settings(kPsetKindMovie).special.cropleft = 20;
    settings(kPsetKindMovie).special.cropright = 13;  // 64 - 33 = 31 columns
    Alerts::messages.clear();
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileQuiet);
    ASSERT_EQ(Alerts::messages.size(), 1u);
    EXPECT_EQ(Alerts::messages[0],
              "The current cropping options result in an output size smaller than the minimum "
              "of 32 by 32 pixels.  Please change the settings to be at least the minimum size.");
    settings(kPsetKindMovie).special.cropright = 12;  // exactly 32 columns is fine
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    EXPECT_EQ(+state.compileCalls, 1);
    EXPECT_EQ(+state.lastRecord.settings.cropLeft, 20);
    EXPECT_FALSE(exists(dir + "/out.tst.reel-old"));
}

TEST_F(ExportTest, FrameRangesFollowTheRangeFieldTheClipOrTheLongestTrack) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 10}, {12, 30}});
    makeTimeline({{0, 45}}, kTrackTypeAudio);
    const FSSpec s = spec(dir + "/range.tst");
    // Range off: 0 to the end of the longest track.
    ASSERT_EQ(CompilerDoCompile(&s, 5, 7, 0), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, 0);
    EXPECT_EQ(+state.lastRecord.lastFrame, 45);

    // Range on: the caller's points, rounded to frames of 29.97 (100 ticks each).
    PsetBlock& p = settings(kPsetKindMovie);
    p.general.range = 1;
    p.general.scale = 2997;
    p.general.samplesize = 100;
    ASSERT_EQ(CompilerDoCompile(&s, 149, 351, 0), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, 1);
    EXPECT_EQ(+state.lastRecord.lastFrame, 4);
    EXPECT_EQ(+state.lastRecord.settings.timeScale, 2997);
    EXPECT_EQ(+state.lastRecord.settings.timeSampleSize, 100);
    // One tick that rounds to no frame still exports one.
    ASSERT_EQ(CompilerDoCompile(&s, 120, 121, 0), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, 1);
    EXPECT_EQ(+state.lastRecord.lastFrame, 2);
    // A still is the one frame at its time.
    aim(kPsetKindStill, cc("TEST"));
    ASSERT_EQ(CompilerExportStill(&s, 7, 0), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, 7);
    EXPECT_EQ(+state.lastRecord.lastFrame, 8);
    EXPECT_EQ(+state.lastRecord.exportKind, kRcExportStill);
    EXPECT_EQ(+state.lastRecord.settings.doAudio, 0);
    // The timeline's last frame is the last still; past it (or before 0)
    // there is nothing to build and the module is not called.
    ASSERT_EQ(CompilerExportStill(&s, 44, 0), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, 44);
    const int32_t calls = state.compileCalls;
    Alerts::messages.clear();
    EXPECT_EQ(CompilerExportStill(&s, 45, 0), kRcCompileQuiet);
    EXPECT_EQ(CompilerExportStill(&s, -1, 0), kRcCompileQuiet);
    EXPECT_EQ(+state.compileCalls, calls);
    EXPECT_EQ(Alerts::messages, std::vector<std::string>(2, "There are no clips to build."));

    // A single clip whose file is real: the clip's in to out point.
    write(dir + "/media.dat", "media");
    const int16_t file = AddFile((dir + "/media.dat").c_str(), 0, 0, cc("DATA"));
    ASSERT_NE(file, 0);
    int32_t times[12];
    std::fill(std::begin(times), std::end(times), -1);
    times[0] = 3;
    times[1] = 9;
    const TDB tb{0, 25, 1};
    const int32_t clip = AddClip(file, times, &tb, 0);
    ASSERT_GT(clip, 0);
    p.general.range = 0;
    p.general.scale = 25;
    p.general.samplesize = 1;
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, clip), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, GetClipIn(clip, &tb));
    EXPECT_EQ(+state.lastRecord.lastFrame, GetClipOut(clip, &tb) + 1);
    EXPECT_EQ(+state.lastRecord.firstFrame, 3);
}

TEST_F(ExportTest, TheCompileRecordCarriesTheSettings) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 4}});
    const FSSpec s = spec(dir + "/record.tst");
    PsetBlock& p = settings(kPsetKindMovie);
    struct Case {
        int32_t forcerecomp;
        uint8_t usedatarate, usecomppct;
        int32_t dokeyframeevery, keyframeevery;
        int32_t interleave;
        int32_t dataRate, recompression, keyEvery, blockFrames;
    };
    const Case cases[] = {
        {0, 1, 1, 1, 10, 0, 1000, 0, 10, 1}, {1, 1, 1, 0, 10, 1, 1000, 2, 1, 1},
        {1, 0, 1, 1, 1, 2, 0, 1, 1, 13},     {1, 1, 0, 1, 30, 3, 1000, 1, 30, 25},
        {1, 0, 0, 1, 2, 4, 0, 1, 2, 50},     {1, 0, 0, 1, 2, 9, 0, 1, 2, 25},
    };
    for (const Case& c : cases) {
        p.dataRate.forcerecomp = c.forcerecomp;
        p.dataRate.usedatarate = c.usedatarate;
        p.dataRate.usecomppct = c.usecomppct;
        p.dataRate.datarate = 1000;
        p.keyFrames.dokeyframeevery = uint8_t(c.dokeyframeevery);
        p.keyFrames.keyframeevery = c.keyframeevery;
        p.audio.interleave = c.interleave;
        ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
        const RcCompileSettings& r = state.lastRecord.settings;
        EXPECT_EQ(+r.dataRate, c.dataRate) << c.interleave;
        EXPECT_EQ(+r.recompression, c.recompression) << c.interleave;
        EXPECT_EQ(+r.keyframeEvery, c.keyEvery) << c.interleave;
        EXPECT_EQ(+r.audioBlockFrames, c.blockFrames) << c.interleave;
    }
    p.audio.audsamplesize = 0;
    p.audio.audstereo = 0;
    p.audio.audrate = 48000;  // the test exporter offers 8-bit mono at any rate
    p.special = PsetSpecial{1, 2, 3, 4, 5, 1, 0, 0, 0, 0, 0};
    p.video.pixelAspect = 0x000A000B;
    p.video.paletteType = 1;
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    const RcCompileRecord& r = state.lastRecord;
    EXPECT_EQ(+r.settings.bitsPerSample, 8);
    EXPECT_EQ(+r.settings.channels, 1);
    EXPECT_EQ(+r.settings.audioRate, 48000);
    EXPECT_EQ(+r.settings.cropTop, 3);
    EXPECT_EQ(+r.settings.cropLeft, 1);
    EXPECT_EQ(+r.settings.cropBottom, 4);
    EXPECT_EQ(+r.settings.cropRight, 2);
    EXPECT_EQ(+r.settings.gamma, 5);
    EXPECT_EQ(+r.settings.resizeToCrop, 1);
    EXPECT_EQ(+r.settings.pixelAspectNum, 10);
    EXPECT_EQ(+r.settings.pixelAspectDen, 11);
    EXPECT_NE(+r.settings.palette, nullptr);
    EXPECT_EQ(+r.settings.timeOne, 1);
    EXPECT_EQ(+r.settings.width, 64);
    EXPECT_STREQ(r.output.name, s.name);
    EXPECT_EQ(+r.exportKind, kRcExportMovie);
}

TEST_F(ExportTest, ModuleResultsAreReportedWithTheirSystemErrors) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 3}});
    const std::string out = dir + "/result.tst";
    const FSSpec s = spec(out);
    struct Mapping {
        int32_t result;
        const char* text;  // after "An error occurred.\r"; null: nothing shown
    };
    const Mapping mappings[] = {
        {10, "Out of memory."},
        {11, "File or path not found."},
        {12, "Too many open files. Try closing some windows or applications."},
        {13, "Permission violation."},
        {14, "Unable to open this file.\r"},
        {15, "Drive not valid."},
        {16, "Duplicate File name."},
        {18,
         "File is in use. Filmoryx or another application is currently using this file. "
         "Delete any clips which refer to this file or close this file from any other "
         "applications."},
        {17, "Error writing file (disk full?)."},
        {19, "Error writing file (disk full?)."},
        {-50, "-50"},
        {-43, "File or path not found."},
        {kRcCompileCancelled, nullptr},
        {kRcCompileStopped, nullptr},
        {kRcCompileQuiet, nullptr},
    };
    for (const Mapping& m : mappings) {
        write(out, "previous");
        state.compileResult = m.result;
        Alerts::messages.clear();
        EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), m.result);
        if (m.text) {
            ASSERT_EQ(Alerts::messages.size(), 1u) << m.result;
            EXPECT_EQ(Alerts::messages[0], std::string("An error occurred.\r") + m.text);
        } else {
            EXPECT_TRUE(Alerts::messages.empty()) << m.result;
        }
        // A failed export leaves the previous output as it was.
        EXPECT_EQ(readFile(out), "previous") << m.result;
        EXPECT_EQ(filesIn(dir), std::vector<std::string>{"result.tst"}) << m.result;
    }
    // Success replaces it, and the old file goes.
    state.compileResult = 0;
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), 0);
    EXPECT_EQ(readFile(out), "EXPTEST");
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"result.tst"});
}

TEST_F(ExportTest, OutputsTheLibraryUsesAreLeftAlone) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 3}});
    // A media file of the project.
    const std::string media = dir + "/Media.TST";
    write(media, "media bytes");
    ASSERT_NE(AddFile(media.c_str(), 0, 0, cc("DATA")), 0);
    for (const std::string& name : {media, dir + "/media.tst"}) {  // case does not matter
        const FSSpec s = spec(name);
        Alerts::messages.clear();
        EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileFileBusy);
        ASSERT_EQ(Alerts::messages.size(), 1u);
        EXPECT_EQ(Alerts::messages[0], kInUse);
    }
    EXPECT_EQ(readFile(media), "media bytes");
    EXPECT_EQ(+state.compileCalls, 0);

    // A frame of a registered frame store, hit by a numbered export.
    write(dir + "/shot0001.tst", "frame 1");
    write(dir + "/shot0002.tst", "frame 2");
    const int16_t store = AddFile((dir + "/shot0001.tst").c_str(), 0, 0, cc("DATA"));
    ASSERT_NE(store, 0);
    rc::media::findFileRec(store)->info.isFramestore = 1;
    state.flags = kRcCompileOneFilePerFrame;
    CompilerShutdown();
    start(REEL_EXPTEST_MODULE);
    const FSSpec seq = spec(dir + "/shot.tst");
    Alerts::messages.clear();
    EXPECT_EQ(CompilerDoCompile(&seq, 0, 0, 0), kRcCompileFileBusy);  // shot1 .. shot3
    EXPECT_EQ(Alerts::messages, std::vector<std::string>{kInUse});
    EXPECT_EQ(readFile(dir + "/shot0002.tst"), "frame 2");
    EXPECT_FALSE(exists(dir + "/shot1.tst"));
    EXPECT_EQ(+state.compileCalls, 0);

    // The module's own check says the same about a file in use.
    RcFSSpec asked{};
    std::strncpy(asked.name, media.c_str(), sizeof asked.name - 1);
    Alerts::messages.clear();
    EXPECT_EQ(rc::exporthost::services()->groups->file->checkFile(&asked), kRcServiceFileInUse);
    EXPECT_EQ(Alerts::messages, std::vector<std::string>{kInUse});
    std::strncpy(asked.name, (dir + "/free.tst").c_str(), sizeof asked.name - 1);
    EXPECT_EQ(rc::exporthost::services()->groups->file->checkFile(&asked), kRcServiceOK);
}

TEST_F(ExportTest, OneFilePerFrameExportsAreNumbered) {
    state.flags = kRcCompileOneFilePerFrame;
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 120}});
    const FSSpec s = spec(dir + "/seq.out");
    // Frames 0 to 120: n = 121, so 120 files numbered with three digits.
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    EXPECT_EQ(+state.compileCalls, 120);
    const std::vector<std::string> files = filesIn(dir);
    ASSERT_EQ(files.size(), 120u);
    EXPECT_EQ(files.front(), "seq001.tst");  // the exporter's extension
    EXPECT_EQ(files.back(), "seq120.tst");
    EXPECT_EQ(+state.lastRecord.firstFrame, 119);
    EXPECT_EQ(+state.lastRecord.lastFrame, 120);
    EXPECT_STREQ(state.lastRecord.output.name, (dir + "/seq120.tst").c_str());

    // A failure deletes that file and stops; earlier files stay.
    std::system(("rm -f " + dir + "/*").c_str());
    write(dir + "/seq002.tst", "old second");
    state = ExpTestState{};
    state.flags = kRcCompileOneFilePerFrame;
    state.failAtCall = 3;
    state.compileResult = 17;
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), 17);
    EXPECT_EQ(+state.compileCalls, 3);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"seq001.tst", "seq002.tst"}));
    EXPECT_EQ(readFile(dir + "/seq002.tst"), "old second");  // put back

    // Names: the number padded to the digits of n, the name part cut to fit.
    using rc::exporthost::numberedName;
    EXPECT_EQ(numberedName("/a/b.png", "png", 7, 10), "/a/b07.png");
    EXPECT_EQ(numberedName("/a/b", "", 7, 9), "/a/b7");
    EXPECT_EQ(numberedName("/a/c.old", nullptr, 12, 1000), "/a/c0012.old");
    const std::string longName = "/x/" + std::string(120, 'n') + ".png";
    EXPECT_EQ(numberedName(longName, "png", 1, 121), "/x/" + std::string(97, 'n') + "001.png");
}

TEST_F(ExportTest, FramesAreDescribedWithEditsKeyframesAndIdenticalRuns) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 5}, {5, 10}, {15, 20}});
    PsetBlock& p = settings(kPsetKindMovie);
    p.keyFrames.atedits = 1;
    p.keyFrames.dokeyframeevery = 1;
    p.keyFrames.keyframeevery = 4;
    state.readFrames = 1;
    const FSSpec s = spec(dir + "/frames.tst");
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    ASSERT_EQ(+state.frameCount, 20);
    for (int32_t n = 0; n < 20; ++n) {
        const ExpTestFrame& f = state.frames[n];
        EXPECT_EQ(+f.frame, n);
        const bool edit = n == 0 || n == 5 || n == 15;
        EXPECT_EQ(+f.info.startsEdit, edit) << n;
        EXPECT_EQ(+f.info.keyframe, edit || n % 4 == 0) << n;
        // The gap 10..14 shows nothing: one run the module may skip.
        EXPECT_EQ(+f.info.identicalFrames, n >= 10 && n < 15 ? 15 - n : 1) << n;
    }
    // Keyframes at edits only, and every N only.
    p.keyFrames.dokeyframeevery = 0;
    state.frameCount = 0;
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    EXPECT_EQ(+state.frames[4].info.keyframe, 0);
    EXPECT_EQ(+state.frames[5].info.keyframe, 1);
    p.keyFrames.atedits = 0;
    p.keyFrames.dokeyframeevery = 1;
    p.keyFrames.keyframeevery = 0;  // N = 0: never
    state.frameCount = 0;
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    for (int32_t n = 0; n < 20; ++n) EXPECT_EQ(+state.frames[n].info.keyframe, 0) << n;

    // Without an export running there are no frames.
    void* pixels = nullptr;
    int32_t rowBytes = 0;
    EXPECT_EQ(rc::exporthost::services()->groups->video->getFrame(0, &pixels, &rowBytes, nullptr),
              kRcServiceNoFrame);  // no export running
}

// A plain held item alone on screen shows one picture: its frames form one
// run, cut short by anything else drawn over it, and the run's frames are
// the first one's picture.
TEST_F(ExportTest, HeldFramesFormIdenticalRuns) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    const TDB tb{0, 25, 1};
    const char* disc = "kind disc\nwidth 64\nheight 48\nrate 25\nframes 250\n";
    placeClip(synthClip(disc, 20, 40, tb), 0, 10, kItemHoldOn | kItemHoldIn);
    placeClip(synthClip(disc, 0, 40, tb), 10, 14);                          // moving
    placeClip(synthClip(disc, 5, 40, tb), 6, 8, 0, kTrackTypeSuperimpose);  // over the hold
    placeClip(synthClip(disc, 30, 40, tb), 16, 20, kItemHoldOn | kItemHoldWindow);
    state.readFrames = 1;
    const FSSpec s = spec(dir + "/held.tst");
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcCompileOK);
    ASSERT_EQ(+state.frameCount, 20);
    const int32_t runs[20] = {6, 5, 4, 3, 2, 1, 1, 1, 2, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1};
    for (int32_t n = 0; n < 20; ++n) EXPECT_EQ(+state.frames[n].info.identicalFrames, runs[n]) << n;
    for (int32_t n : {1, 5, 8, 9})
        EXPECT_EQ(state.frames[n].firstPixel, state.frames[0].firstPixel) << n;

    // The pictures of a held run are the frames the renderer draws.
    const FmRect r{0, 0, 64, 48};
    PPixHand drawn = Test_GetFrame(4, &r, timeline);
    ASSERT_NE(drawn, nullptr);
    EXPECT_EQ(state.frames[4].firstPixel, *reinterpret_cast<const uint32_t*>(ppixGetPixels(drawn)));
    ppixDispose(drawn);
}

TEST_F(ExportTest, ClipExportsReadTheClipAndReportUnreadableFrames) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    const TDB tb{0, 25, 1};
    const int32_t clip =
        synthClip("kind bars\nwidth 64\nheight 48\nrate 25\nframes 250\n", 10, 5, tb);
    state.readFrames = 1;
    const FSSpec s = spec(dir + "/clip.tst");
    // Range off: the clip's in to out point, both included.
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, clip), kRcCompileOK);
    EXPECT_EQ(+state.lastRecord.firstFrame, 10);
    EXPECT_EQ(+state.lastRecord.lastFrame, 15);
    ASSERT_EQ(+state.frameCount, 5);
    EXPECT_NE(state.frames[0].firstPixel & 0xFFFFFF, 0u);  // bars, not black
    EXPECT_TRUE(Alerts::messages.empty());
    settings(kPsetKindMovie).general.range = 1;

    // A clip whose file cannot be read.
    write(dir + "/broken.dat", "no importer reads this");
    const int16_t file = AddFile((dir + "/broken.dat").c_str(), 0, 0, cc("DATA"));
    int32_t times[kClipFixedMarkers];
    std::fill(std::begin(times), std::end(times), -1);
    times[0] = 0;
    times[1] = 4;
    const int32_t broken = AddClip(file, times, &tb, kClipVideo);
    ASSERT_GT(broken, 0);
    state.frameCount = 0;
    EXPECT_EQ(CompilerDoCompile(&s, 0, 3, broken), kRcServiceNoFrame);
    ASSERT_FALSE(Alerts::messages.empty());
    EXPECT_EQ(Alerts::messages[0].rfind("An error occurred while saving the image.\r", 0), 0u)
        << Alerts::messages[0];
}

int32_t stopNow(int32_t, int32_t) {
    CompilerStop();
    return 0;
}
int32_t cancelAlways(int32_t, int32_t) {
    return 1;
}
std::vector<std::string> gProgressTexts;
void keepText(const char* text) {
    gProgressTexts.emplace_back(text);
}

TEST_F(ExportTest, StopAndCancelEndTheExportQuietly) {
    start(REEL_EXPTEST_MODULE);
    aim(kPsetKindMovie, cc("TEST"));
    makeTimeline({{0, 10}});
    const std::string out = dir + "/stop.tst";
    write(out, "before");
    const FSSpec s = spec(out);
    state.readFrames = 1;
    state.stopAfter = 3;
    CompilerCallbacks stopper{};
    stopper.progress = stopNow;
    CompilerSetCallbacks(&stopper);
    // The host's stop flag: result 10, not reported as an error.
    Alerts::messages.clear();
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcServiceStopped);
    EXPECT_EQ(+state.frameCount, 3);
    EXPECT_EQ(+state.progressResult, kRcServiceStopped);
    EXPECT_TRUE(Alerts::messages.empty());
    EXPECT_EQ(readFile(out), "before");

    // The interface's cancel: result 2.
    CompilerCallbacks cb{};
    cb.progress = cancelAlways;
    cb.progressText = keepText;
    CompilerSetCallbacks(&cb);
    state.frameCount = 0;
    EXPECT_EQ(CompilerDoCompile(&s, 0, 0, 0), kRcServiceCancelled);
    EXPECT_EQ(+state.progressResult, kRcServiceCancelled);
    EXPECT_TRUE(Alerts::messages.empty());
    EXPECT_EQ(readFile(out), "before");
    // Texts from modules are bounded.
    std::string longText(400, 't');
    rc::exporthost::services()->groups->status->setProgressText(longText.c_str());
    ASSERT_EQ(gProgressTexts.size(), 1u);
    EXPECT_EQ(gProgressTexts[0].size(), 255u);
}

}  // namespace
}  // namespace exporttest
