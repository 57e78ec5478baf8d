// Validation against a fake table of export and capture modules, capture
// rectification, and the dialogs' accept and cancel paths.
#include "settings_fixture.h"

#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/project_stream.h"

using namespace settest;
namespace hk = rc::settingshooks;

namespace {

// Two exporters: 'AVIV' (any class; movies and the project) and 'WAVE'
// (audio only).
const hk::ExporterInfo kExporters[] = {
    {1, code("AVIV"), code("????"), (1u << kPsetKindMovie) | (1u << kPsetKindProject)},
    {2, code("WAVE"), code("Wclz"), 1u << kPsetKindAudio},
};
const hk::AudioFormat kPcmFormats[] = {{8 | 4, 48000}, {2, 22050}};
const hk::AudioFormat kMonoOnly[] = {{4, -1}};

bool exporterAt(int32_t i, hk::ExporterInfo* out) {
    if (i < 0 || i >= 2) return false;
    *out = kExporters[i];
    return true;
}

bool videoAt(const hk::ExporterInfo& e, int32_t i, hk::VideoCompressorInfo* out) {
    if (e.moduleFileID != 1) return false;
    const hk::VideoCompressorInfo list[] = {
        {code("MJPG"), 16 | 8, 32, 32, 720, 576, false, 0, 0},
        {code("DVSD"), 16, 720, 480, 720, 480, true, 30000, 1001},
    };
    if (i < 0 || i >= 2) return false;
    *out = list[i];
    return true;
}

bool audioAt(const hk::ExporterInfo& e, int32_t i, hk::AudioCompressorInfo* out) {
    if (i != 0) return false;
    *out = e.moduleFileID == 1 ? hk::AudioCompressorInfo{code("PCM "), kPcmFormats, 2}
                               : hk::AudioCompressorInfo{code("WAV "), kMonoOnly, 1};
    return true;
}

const hk::ExportCatalog kCatalog{exporterAt, videoAt, audioAt};

bool gFixedCapture = false;
bool captureModule(OSType fileType, OSType, hk::CaptureModuleInfo* out) {
    if (fileType != code("AVIV")) return false;
    *out = hk::CaptureModuleInfo{};
    out->fixedTimeBase = gFixedCapture;
    out->scale = 25;
    out->samplesize = 1;
    out->minWidth = gFixedCapture ? 720 : 1;
    out->maxWidth = 720;
    out->minHeight = gFixedCapture ? 576 : 1;
    out->maxHeight = 576;
    out->formats = kMonoOnly;
    out->formatCount = 1;
    return true;
}

int32_t gClipMedia = 0;
int32_t clipMedia(int32_t clip) {
    return clip == 42 ? gClipMedia : 0;
}

class Validate : public SettingsTest {
  protected:
    void SetUp() override {
        SettingsTest::SetUp();
        hk::setExportCatalog(&kCatalog);
        gFixedCapture = false;
    }
};

TEST_F(Validate, CompressorSizeDepthTimeBaseAndAudioFollowTheModule) {
    Handle h = richBlock();
    PsetBlock& s = blk(h);
    s.video.subtype = code("DVSD");
    s.video.width = 640;
    s.video.depth = 32;
    s.audio.subtype = code("PCM ");
    s.audio.audrate = 44100;
    s.general.doaudio = 0;
    psetValidateProjectSettings(h, kPsetKindMovie);
    // The exporter stays (class '????' accepts any class): its settings stay.
    EXPECT_EQ(ptrText(s.general.compilerprefs), "compiler");
    EXPECT_EQ(ptrText(s.video.subtypeprefs), "video");
    EXPECT_EQ(+s.general.doaudio, 1);
    EXPECT_EQ(+s.video.width, 720);  // clamped into 720..720
    EXPECT_EQ(+s.video.height, 480);
    EXPECT_EQ(+s.video.depth, 16);  // 32 is not offered, 16 is
    EXPECT_EQ(+s.video.scale, 30000);
    EXPECT_EQ(+s.video.samplesize, 1001);
    EXPECT_EQ(+s.general.scale, 30000);
    EXPECT_EQ(+s.general.samplesize, 1001);
    // 44100 is not listed: the first entry decides (16-bit stereo at 48000).
    EXPECT_EQ(+s.audio.audrate, 48000);
    EXPECT_EQ(+s.audio.audsamplesize, 1);
    EXPECT_EQ(+s.audio.audstereo, 1);
    // Capture audio against the capture module: 16-bit mono at any rate.
    hk::setCaptureModule(captureModule);
    s.capture.audrate = 32000;
    psetValidateProjectSettings(h, kPsetKindMovie);
    EXPECT_EQ(+s.capture.audstereo, 0);
    EXPECT_EQ(+s.capture.audsamplesize, 1);
    EXPECT_EQ(+s.capture.audrate, 44100);

    // An unknown compressor: its settings go and the first one is taken.
    s.video.subtype = code("cvid");
    s.video.depth = 1;
    s.video.width = 10;
    s.audio.subtype = code("MP3 ");
    psetValidateProjectSettings(h, kPsetKindMovie);
    EXPECT_EQ(+s.video.subtype, code("MJPG"));
    EXPECT_EQ(+s.video.subtypeprefs, nullptr);
    EXPECT_EQ(+s.video.width, 32);
    EXPECT_EQ(+s.video.depth, 16);  // 32 first, then 16
    EXPECT_EQ(+s.audio.subtype, code("PCM "));
    EXPECT_EQ(+s.audio.subtypeprefs, nullptr);
    psetDisposeSettings(h);
}

TEST_F(Validate, AModuleThatCannotExportTheKindIsReplacedAndItsBlocksFreedOnce) {
    Handle h = richBlock();
    PsetBlock& s = blk(h);
    s.captureInfo.capinfovalid = 1;
    psetValidateProjectSettings(h, kPsetKindAudio);
    EXPECT_EQ(+s.general.filetype, code("WAVE"));
    EXPECT_EQ(+s.general.classid, code("Wclz"));
    EXPECT_EQ(+s.general.compilerprefs, nullptr);
    EXPECT_EQ(+s.general.playmodprefs, nullptr);
    EXPECT_EQ(+s.video.subtypeprefs, nullptr);
    EXPECT_EQ(+s.audio.subtypeprefs, nullptr);
    EXPECT_EQ(+s.capture.capprefs, nullptr);
    EXPECT_EQ(+s.captureInfo.capinfovalid, 0);
    EXPECT_EQ(+s.audio.subtype, code("WAV "));
    EXPECT_EQ(+s.audio.audstereo, 0);
    // The device is the capture's, not the exporter's.
    EXPECT_NE(+s.device.devdata, 0u);
    // Cleaning up afterwards frees nothing twice (checked by the sanitizers).
    psetCleanupProjectSettings(h);
    psetDisposeSettings(h);

    // No module at all: nothing to switch to, the block keeps its module.
    hk::setExportCatalog(nullptr);
    Handle g = richBlock();
    psetValidateProjectSettings(g, kPsetKindProject);
    EXPECT_EQ(+blk(g).general.filetype, code("AVIV"));
    EXPECT_EQ(+blk(g).general.compilerprefs, nullptr);
    EXPECT_EQ(+blk(g).video.width, 640);
    psetDisposeSettings(g);
}

TEST_F(Validate, TheExportSourceClipDecidesAudioAndVideo) {
    hk::setClipMedia(clipMedia);
    Handle h = psetNewDefaultSettings();
    PsetBlock& s = blk(h);
    const int32_t clip = 42;
    std::memcpy(s.exportSource, &clip, sizeof clip);
    gClipMedia = 1;  // video only
    psetValidateProjectSettings(h, kPsetKindMovie);
    EXPECT_EQ(+s.general.doaudio, 0);
    EXPECT_EQ(+s.general.dovideo, 1);
    gClipMedia = 2;  // audio only
    psetValidateProjectSettings(h, kPsetKindMovie);
    EXPECT_EQ(+s.general.doaudio, 1);
    EXPECT_EQ(+s.general.dovideo, 0);
    gClipMedia = 3;
    psetValidateProjectSettings(h, kPsetKindStill);
    EXPECT_EQ(+s.general.dovideo, 0);  // kinds other than 1 and 5 leave the switches
    psetDisposeSettings(h);
}

TEST_F(Validate, WithoutAHookTheClipsFileTellsItsMedia) {
    InitFileQueue();
    InitClipQueue();
    SetAGlobal(17, 1);  // the first clipID
    std::string p = path("tone.wav");
    writeFile(p, "RIFF");
    int16_t file = AddFile(p.c_str(), 0, 0, code("WAVE"));
    ASSERT_GT(file, 0);
    int32_t times[12] = {0, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    const TDB tb{0, 25, 1};
    int32_t clip = AddClip(file, times, &tb, 1);
    ASSERT_GT(clip, 0);
    FmFileRecord& r = *reinterpret_cast<FmFileRecord*>(*FindFile(file));
    r.info.mediaFlags = 2;  // audio only
    Handle h = psetNewDefaultSettings();
    std::memcpy(blk(h).exportSource, &clip, sizeof clip);
    psetValidateProjectSettings(h, kPsetKindMovie);
    EXPECT_EQ(+blk(h).general.dovideo, 0);
    EXPECT_EQ(+blk(h).general.doaudio, 1);
    psetDisposeSettings(h);
}

TEST_F(Validate, RectifyDerivesTheCaptureFormatWhileItIsInvalid) {
    Handle h = psetNewDefaultSettings();
    PsetBlock& s = blk(h);
    s.video.subtype = code("MJPG");
    s.video.width = 320;
    s.video.height = 240;
    s.video.fieldtype = 1;
    s.video.quality = 60;
    s.audio.audrate = 22050;
    s.audio.audstereo = 0;
    psetRectifyCaptureSettings(h);  // no capture module: nothing happens
    EXPECT_EQ(+s.captureInfo.capvidsubtype, OSType(kPsetCapInfoInvalidSubtype));

    hk::setCaptureModule(captureModule);
    psetRectifyCaptureSettings(h);
    EXPECT_EQ(+s.captureInfo.capvidsubtype, code("MJPG"));
    EXPECT_EQ(+s.captureInfo.capdepth, 16);
    EXPECT_EQ(+s.captureInfo.cappixelaspect, 65537u);
    EXPECT_EQ(+s.captureInfo.capfieldtype, 1);
    EXPECT_EQ(+s.captureInfo.capquality, 60);
    EXPECT_EQ(+s.capture.width, 320);
    EXPECT_EQ(+s.capture.height, 240);
    EXPECT_EQ(+s.capture.scale, 2997);
    EXPECT_EQ(+s.capture.audrate, 22050);
    EXPECT_EQ(+s.capture.audstereo, 0);

    // A fixed frame size and time base.
    gFixedCapture = true;
    psetInvalidateCaptureInfo(&s.captureInfo);
    s.capture.scale = 7;
    psetRectifyCaptureSettings(h);
    EXPECT_EQ(+s.capture.width, 720);
    EXPECT_EQ(+s.capture.height, 576);
    EXPECT_EQ(+s.capture.scale, 7);

    // Valid information is left alone.
    s.captureInfo.capinfovalid = 1;
    s.video.quality = 10;
    psetRectifyCaptureSettings(h);
    EXPECT_EQ(+s.captureInfo.capquality, 60);
    psetDisposeSettings(h);
}

TEST_F(Validate, AProjectWithoutCaptureInformationDerivesIt) {
    hk::setCaptureModule(captureModule);
    Handle saved = psetNewDefaultSettings();
    blk(saved).video.quality = 42;
    std::string p = path("p.txt");
    OSErr err = noErr;
    ProjBufHand out = CreateProjBufHandSafe(p.c_str(), kProjBufSize, &err);
    ASSERT_EQ(WriteGlobalProjectSettings(out, saved), noErr);
    ASSERT_EQ(CloseProjBufHand(out), noErr);
    std::string text = readFile(p);
    text.erase(text.find("[PCPI]"));
    writeFile(p, text);
    FileRef ref = -1;
    ASSERT_EQ(HOpen(0, 0, p.c_str(), fsRdPerm, &ref), noErr);
    ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    Handle loaded = psetNewDefaultSettings();
    EXPECT_EQ(ReadGlobalProjectSettings(in, loaded), noErr);
    CloseProjBufHand(in);
    FSClose(ref);
    EXPECT_EQ(+blk(loaded).captureInfo.capvidsubtype, code("rpza"));
    EXPECT_EQ(+blk(loaded).captureInfo.capquality, 42);
    psetDisposeSettings(saved);
    psetDisposeSettings(loaded);
}

int gDialogCalls = 0;
int16_t cancelDialog(int32_t, Handle settings) {
    ++gDialogCalls;
    blk(settings).video.width = 1;  // edits that are thrown away
    return kPsetDialogCancel;
}
int16_t editDialog(int32_t which, Handle settings) {
    ++gDialogCalls;
    blk(settings).video.width = which == kPsetDialogProject ? 700 : 10;
    blk(settings).audio.audrate = 8000;
    return kPsetDialogOK;
}

TEST_F(Validate, DialogsEditADuplicateAndValidateWhatIsAccepted) {
    Handle g = InitProjectSettings();
    // Headless: accepted as they are.
    EXPECT_EQ(ProjectSettingsDialog(nullptr), 1);
    EXPECT_EQ(+blk(g).video.width, 640);

    gDialogCalls = 0;
    psetSetDialogProc(cancelDialog);
    EXPECT_EQ(ProjectSettingsDialog(nullptr), 0);
    EXPECT_EQ(+blk(g).video.width, 640);
    psetSetDialogProc(editDialog);
    EXPECT_EQ(ProjectSettingsDialog(nullptr), 1);
    EXPECT_EQ(+blk(g).video.width, 700);
    EXPECT_EQ(+blk(g).audio.audrate, 48000);  // validated against the module

    // The movie export settings start from the project settings.
    Handle movie = psetGetExportSettings(kPsetKindMovie);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(psetGetExportSettings(kPsetKindMovie), movie);
    EXPECT_EQ(+blk(movie).video.width, 700);
    EXPECT_EQ(ExportMovieSettingsDialog(nullptr), 1);
    EXPECT_EQ(+blk(movie).video.width, 32);  // 10, clamped by the compressor
    EXPECT_EQ(+blk(g).video.width, 700);
    EXPECT_EQ(ExportAudioSettingsDialog(nullptr), 1);
    EXPECT_EQ(+blk(psetGetExportSettings(kPsetKindAudio)).general.filetype, code("WAVE"));
    EXPECT_EQ(ExportStillSettingsDialog(nullptr), 1);
    EXPECT_EQ(psetCaptureSetupDialog(nullptr), 1);
    EXPECT_EQ(gDialogCalls, 6);
    EXPECT_EQ(psetGetExportSettings(0), nullptr);
    EXPECT_EQ(psetGetExportSettings(kPsetKindProject), nullptr);

    Handle mine = psetNewDefaultSettings();
    ASSERT_EQ(psetSetExportSettings(kPsetKindStill, mine), noErr);
    EXPECT_NE(psetGetExportSettings(kPsetKindStill), mine);
    EXPECT_EQ(+blk(psetGetExportSettings(kPsetKindStill)).video.width, 640);
    psetDisposeSettings(mine);
}

}  // namespace
