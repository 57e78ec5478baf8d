// One export: a working copy of the export settings made current, the frame
// range, the compile record, the output file (an old one set aside until the
// new one is complete), the module call or the host's own loop over one file
// per frame, and the result reported to the user.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "plugins/export_host.h"
#include "reelcore/alerts.h"
#include "reelcore/clips.h"
#include "reelcore/files.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "reelcore/memory.h"
#include "reelcore/mixer.h"
#include "reelcore/plugins.h"
#include "reelcore/prefs.h"
#include "reelcore/render.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

namespace rc::exporthost {

namespace {

Handle gTimeline = nullptr;

// An output file replaced by an export: the old one waits under a side name
// until the export has succeeded.
struct SetAside {
    std::string path, side;
};

bool fileExists(const std::string& path) {
    FileRef ref = -1;
    if (HOpen(0, 0, path.c_str(), fsRdPerm, &ref) != 0) return false;
    FSClose(ref);
    return true;
}

bool setAside(const std::string& path, std::vector<SetAside>& kept) {
    if (!fileExists(path)) return true;
    for (int32_t i = 0; i < 1000; ++i) {
        std::string side = path + ".reel-old" + (i ? std::to_string(i) : std::string());
        if (fileExists(side)) continue;
        if (platform::renamePath(path.c_str(), side.c_str()) != 0) return false;
        kept.push_back({path, side});
        return true;
    }
    return false;
}

void putBack(std::vector<SetAside>& kept) {
    for (const SetAside& s : kept) platform::renamePath(s.side.c_str(), s.path.c_str());
    kept.clear();
}

void dropOld(std::vector<SetAside>& kept) {
    for (const SetAside& s : kept) HDelete(0, 0, s.side.c_str());
    kept.clear();
}

int32_t roundFrames(int64_t ticks, int32_t samp) {
    return int32_t(std::floor(double(ticks) / double(samp) + 0.5));
}

// The end of the longest track, in ticks of the time base.
int32_t timelineEnd(Handle table, const TDB& tb) {
    int32_t end = 0;
    const int32_t tracks = CountTracks(table);
    for (int32_t i = 0; i < tracks; ++i)
        end = std::max(end, LastTrackFrameTDB(GetTypeTrack(kTrackAll, i, table), &tb));
    return end;
}

int32_t blockFrames(int32_t interleave, const TDB& tb) {
    const int32_t fps = std::max(1, int32_t(std::floor(double(tb.scale) / tb.samp + 0.5)));
    switch (interleave) {
        case 0:
        case 1:
            return 1;
        case 2:
            return std::max(1, int32_t(std::floor(fps / 2.0 + 0.5)));
        case 4:
            return 2 * fps;
        default:
            return fps;
    }
}

void fillSettings(RcCompileSettings& r, const PsetBlock& s, const RcCompressorInfo* compressor) {
    r.compilerPrefs = s.general.compilerprefs;
    r.doVideo = s.general.dovideo;
    r.doAudio = s.general.doaudio;
    r.videoCompressor = s.video.subtype;
    r.depth = s.video.depth;
    r.quality = s.video.quality;
    r.dataRate = s.dataRate.usedatarate ? s.dataRate.datarate : 0;
    r.recompression = !s.dataRate.forcerecomp                             ? 0
                      : (s.dataRate.usecomppct && s.dataRate.usedatarate) ? 2
                                                                          : 1;
    r.keyframeEvery = (s.keyFrames.dokeyframeevery && s.keyFrames.keyframeevery > 1)
                          ? s.keyFrames.keyframeevery
                          : 1;
    if (compressor && (compressor->flags & kRcCompressorNoKeyframes)) r.keyframeEvery = 1;
    r.compressorPrefs = s.video.subtypeprefs;
    r.expandStills = s.rendering.expandstills;
    r.palette = s.video.paletteType ? s.video.palette : nullptr;
    r.audioCompressorPrefs = s.audio.subtypeprefs;
    r.audioCompressor = s.audio.subtype;
    r.width = s.video.width;
    r.height = s.video.height;
    r.timeScale = s.general.scale;
    r.timeSampleSize = s.general.samplesize;
    r.timeOne = 1;
    r.fieldType = s.video.fieldtype;
    r.audioRate = s.audio.audrate;
    r.bitsPerSample = s.audio.audsamplesize ? 16 : 8;
    r.channels = s.audio.audstereo ? 2 : 1;
    r.audioBlockFrames =
        blockFrames(s.audio.interleave, TDB{0, s.general.scale, s.general.samplesize});
    r.interleave = s.audio.interleave;
    r.cropTop = s.special.croptop;
    r.cropLeft = s.special.cropleft;
    r.cropBottom = s.special.cropbottom;
    r.cropRight = s.special.cropright;
    r.resizeToCrop = s.special.resizetocroprect;
    r.gamma = s.special.gamma;
    r.pixelAspectNum = uint16_t(s.video.pixelAspect >> 16);
    r.pixelAspectDen = uint16_t(s.video.pixelAspect & 0xFFFF);
}

void report(int32_t result) {
    const int32_t err = systemErrorFor(result);
    if (err) AlertSystem(0, 0, kExportStrings, kMsgError, kErrorList, err);
}

void refuse(int16_t message) {
    AlertSystem(0, 0, kExportStrings, message, 0, 0);
}

std::string pathOf(const FSSpec& spec) {
    char path[261];
    copyBounded(path, sizeof path, spec.name, sizeof spec.name);
    return path;
}

// Creates and opens one output file; the module gets its reference.
int32_t openOutput(const std::string& path, FileRef* ref) {
    *ref = -1;
    if (const int32_t err = HCreate(0, 0, path.c_str())) return err > 0 ? -(err & 0x7FFF) : err;
    return HOpen(0, 0, path.c_str(), fsRdWrPerm, ref);
}

struct Request {
    int32_t kind;  // kRcExport...
    const FSSpec* output;
    int32_t inTicks, outTicks;
    int32_t clipID;
};

// Makes the settings of the kind current and restores the old block after.
struct CurrentSettings {
    intptr_t saved;
    Handle work;
    CurrentSettings(Handle w) : saved(GetAGlobal(kSlotProjectSettings)), work(w) {
        SetAGlobal(kSlotProjectSettings, reinterpret_cast<intptr_t>(w));
    }
    ~CurrentSettings() {
        SetAGlobal(kSlotProjectSettings, saved);
        psetDisposeSettings(work);
    }
};

int32_t runModuleOnce(Export& e, const RcCompilerInfo& exporter, const std::string& path,
                      int32_t selector, std::vector<SetAside>& kept) {
    if (!setAside(path, kept)) return kRcCompilePermission;
    FileRef ref = -1;
    if (const int32_t err = openOutput(path, &ref)) return err < 0 ? err : kRcCompileOpenFailed;
    e.record.fileRef = ref;
    const int32_t result = callModule(exporter.fileID, selector, &e.record, 0);
    FSClose(ref);
    e.record.fileRef = -1;
    if (result != kRcCompileOK) HDelete(0, 0, path.c_str());
    return result;
}

int32_t runExport(const Request& q) {
    if (!q.output) return kRcCompileFileNotFound;
    const int32_t settingsKind = q.kind + 1;  // the settings' kinds count from 1
    Handle source = psetGetExportSettings(settingsKind);
    Handle work = source ? psetNewDefaultSettings() : nullptr;
    if (!work || psetCopyProjectSettings(source, work) != 0) {
        if (work) psetDisposeSettings(work);
        report(kRcCompileOutOfMemory);
        return kRcCompileOutOfMemory;
    }
    CurrentSettings current(work);
    PsetBlock* s = psetGetBlock(work);
    std::memcpy(s->exportSource, &q.clipID, sizeof q.clipID);
    psetValidateProjectSettings(work, settingsKind);
    s = psetGetBlock(work);

    Export e;
    e.settings = work;
    e.clipID = q.clipID;
    e.trackTable = gTimeline;
    e.timeBase = TDB{0, s->general.scale > 0 ? s->general.scale : 25,
                     s->general.samplesize > 0 ? s->general.samplesize : 1};
    const int32_t samp = e.timeBase.samp;

    // 1. Something to export?
    const bool haveTimeline = gTimeline && timelineEnd(gTimeline, e.timeBase) > 0;
    if (!q.clipID && !haveTimeline) {
        refuse(kMsgNoClips);
        return kRcCompileQuiet;
    }
    // 2. The cropped picture must stay at least 32 x 32.
    const PsetSpecial& sp = s->special;
    if ((sp.cropleft || sp.cropright || sp.croptop || sp.cropbottom) && q.kind != kRcExportAudio &&
        (s->video.width - sp.cropleft - sp.cropright < 32 ||
         s->video.height - sp.croptop - sp.cropbottom < 32)) {
        refuse(kMsgCropTooSmall);
        return kRcCompileQuiet;
    }

    RcCompilerInfo exporter{};
    if (!FindCompiler(s->general.filetype, s->general.classid, &exporter)) {
        report(1);
        return 1;
    }
    RcCompressorInfo compressor{};
    const bool haveCompressor = FindCompilerSubtype(
        exporter.fileID, exporter.fileType, exporter.classID, s->video.subtype, &compressor);

    // 3. The frame range.
    int32_t first = 0, last = 0;
    if (q.kind == kRcExportStill) {
        first = roundFrames(q.inTicks, samp);
        last = first + 1;
        // A still of the timeline must show one of its frames: past the end
        // (or before the start) there is nothing to build.
        if (!q.clipID &&
            (first < 0 || first >= roundFrames(timelineEnd(gTimeline, e.timeBase), samp)))
            last = first;
    } else if (s->general.range) {
        first = roundFrames(q.inTicks, samp);
        last = roundFrames(q.outTicks, samp);
        if (last <= first && q.outTicks > q.inTicks) last = first + 1;
    } else if (q.clipID && !importerIsSynthetic(GetFileDraw(ClipFile(q.clipID)))) {
        first = roundFrames(GetClipIn(q.clipID, &e.timeBase), samp);
        // The out point is the clip's last frame.
        last = roundFrames(GetClipOut(q.clipID, &e.timeBase), samp) + 1;
    } else {
        last = roundFrames(gTimeline ? timelineEnd(gTimeline, e.timeBase) : 0, samp);
    }
    if (last <= first) {
        refuse(kMsgNoClips);
        return kRcCompileQuiet;
    }

    RcCompileRecord& r = e.record;
    fillSettings(r.settings, *s, haveCompressor ? &compressor : nullptr);
    if (q.kind == kRcExportStill) r.settings.doAudio = 0, r.settings.doVideo = 1;
    if (q.kind == kRcExportAudio) r.settings.doAudio = 1, r.settings.doVideo = 0;
    static_assert(sizeof r.output == sizeof *q.output, "the output is an FSSpec");
    std::memcpy(&r.output, q.output, sizeof r.output);
    r.output.name[sizeof r.output.name - 1] = 0;
    r.fileRef = -1;
    r.firstFrame = first;
    r.lastFrame = last;
    r.exportKind = q.kind;
    e.fieldMode = s->video.fieldtype == 1 ? 1 : s->video.fieldtype == 2 ? 2 : 0;
    e.keyAtEdits = s->keyFrames.atedits != 0;
    e.keyEvery = s->keyFrames.dokeyframeevery ? s->keyFrames.keyframeevery : 0;

    const std::string path = pathOf(*q.output);
    const bool perFrame = (exporter.flags & kRcCompileOneFilePerFrame) && q.kind != kRcExportStill;
    const int32_t n = last - first + 1;
    std::vector<std::string> names;
    if (perFrame)
        for (int32_t i = 1; i < n; ++i)
            names.push_back(numberedName(path, exporter.extension, i, n));
    else
        names.push_back(path);
    // Nothing is deleted or replaced while the library still uses a file.
    for (const std::string& name : names) {
        if (pathInUse(name.c_str())) {
            refuse(kMsgFileInUse);
            return kRcCompileFileBusy;
        }
    }

    // 4. No preparation runs beside the module here; the key is only noted.
    FmDebug(0, "Compile: NoCompileAsync=%d", int(FmGetConfigInt("override", "NoCompileAsync")));

    // The pictures: a clip's frames are read into one; the timeline's are
    // rendered in a sequence of the output size.
    const FmRect bounds{0, 0, std::max(r.settings.width, 1), std::max(r.settings.height, 1)};
    PPixHand scratch = nullptr;
    if (r.settings.doVideo) {
        bool ready = false;
        if (q.clipID) {
            e.frame = ppixNew(&bounds);
            ready = e.frame != nullptr;
        } else {
            e.renderContext = NewHandleClear(sizeof(FmRenderContext));
            ready = e.renderContext && SequenceSetup(e.renderContext, &scratch, &bounds) == 0;
            // A frame the file can draw by itself goes straight into a
            // picture of our own, saving the composite's copies.
            e.frame = ready ? ppixNew(&bounds) : nullptr;
            e.outWorld = e.frame ? RegPWorldBits(e.frame, 0) : 0;
            e.renderFlags = 0x20 | (e.fieldMode == 1   ? kRenderUpperField
                                    : e.fieldMode == 2 ? kRenderLowerField
                                                       : 0);
            e.renderOptions =
                kRenderOptKeying | (s->rendering.ignorevidfilters ? 0 : kRenderOptFilters);
        }
        if (!ready) {
            if (e.renderContext) DisposeHandle(e.renderContext);
            if (e.frame) ppixDispose(e.frame);
            report(kRcCompileOutOfMemory);
            return kRcCompileOutOfMemory;
        }
    }
    if (r.settings.doAudio) InitAudMixerMasterVUHistory();  // the mix starts afresh
    setCurrent(&e);
    const int32_t selector = q.kind == kRcExportCustom ? kRcCompileCustom : kRcCompileDoCompile;
    std::vector<SetAside> kept;
    int32_t result = kRcCompileOK;
    if (!perFrame) {
        // 5.
        FmDebug(0, "Compile: %s, frames %d to %d", path.c_str(), int(first), int(last));
        result = runModuleOnce(e, exporter, path, selector, kept);
    } else {
        // 6. The host makes one file per frame.
        for (int32_t i = 1; i < n && result == kRcCompileOK; ++i) {
            const std::string& name = names[size_t(i - 1)];
            copyBounded(r.output.name, sizeof r.output.name, name.c_str(), name.size());
            r.firstFrame = first + i - 1;
            r.lastFrame = first + i;
            result = runModuleOnce(e, exporter, name, selector, kept);
        }
        copyBounded(r.output.name, sizeof r.output.name, names[0].c_str(), names[0].size());
        r.firstFrame = first;
        r.lastFrame = last;
    }
    setCurrent(nullptr);
    // An export the host stopped ends with 10, which is not a lack of memory.
    const bool stopped = result == kRcServiceStopped && stopRequested();
    if ((result == kRcCompileOK || result == kRcCompileStopped) && callbacks()->beep)
        callbacks()->beep();
    if (result == kRcCompileOK)
        dropOld(kept);
    else
        putBack(kept);

    // 7.
    if (!stopped) report(result);
    if (e.outWorld) DisposePWorld(e.outWorld);
    if (e.frame) ppixDispose(e.frame);
    if (e.renderContext) {
        SequenceCleanup(e.renderContext, scratch);
        ReleaseCompileData();
        DisposeHandle(e.renderContext);
    }
    releaseServiceData(e);

    // 8.
    if (result == kRcCompileOK) {
        FSSpec done{};
        std::memcpy(&done, &r.output, sizeof done);
        if (FSSpecToFileType(&done) != 0) {
            if (callbacks()->addRecentFile) callbacks()->addRecentFile(&done);
            if (callbacks()->exportDone) {
                const int16_t id = fileIDOfPath(done.name);
                callbacks()->exportDone(&done, s->general.openwhendone, id);
            }
        }
    }
    return result;
}

}  // namespace

int32_t systemErrorFor(int32_t result) {
    switch (result) {
        case kRcCompileOK:
        case kRcCompileCancelled:
        case kRcCompileStopped:
        case kRcCompileQuiet:
            return 0;
        case 10:
            return -108;
        case 11:
            return -43;
        case 12:
            return -42;
        case 13:
            return -54;
        case 14:
            return -23;
        case 15:
            return -35;
        case 16:
            return -48;
        case 18:
            return -47;
        default:
            return result > 0 ? -36 : result;
    }
}

}  // namespace rc::exporthost

using namespace rc::exporthost;

extern "C" {

RC_API void CompilerSetTimeline(Handle trackTable) {
    gTimeline = trackTable;
}

RC_API Handle CompilerGetTimeline(void) {
    return gTimeline;
}

RC_API int32_t CompilerDoCompile(const FSSpec* output, int32_t inTicks, int32_t outTicks,
                                 int32_t clipID) {
    return runExport({kRcExportMovie, output, inTicks, outTicks, clipID});
}

RC_API int32_t CompilerExportStill(const FSSpec* output, int32_t atTicks, int32_t clipID) {
    return runExport({kRcExportStill, output, atTicks, atTicks, clipID});
}

RC_API int32_t CompilerExportAudio(const FSSpec* output, int32_t inTicks, int32_t outTicks,
                                   int32_t clipID) {
    return runExport({kRcExportAudio, output, inTicks, outTicks, clipID});
}

RC_API int32_t CompilerExportCustom(const FSSpec* output, int32_t inTicks, int32_t outTicks,
                                    int32_t clipID) {
    return runExport({kRcExportCustom, output, inTicks, outTicks, clipID});
}

}  // extern "C"
