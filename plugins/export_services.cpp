// The host services an export module calls while it writes: class data,
// rendered audio and frames, memory, progress and the output file check; the
// interface callbacks and the stop flag; and the two render hooks that stand
// in for the renderer and the mixer where they have nothing to give.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugins/export_host.h"
#include "reelcore/alerts.h"
#include "reelcore/framecache.h"
#include "reelcore/imagefilters.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/mixer.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/render.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

namespace rc::exporthost {

namespace {

Export* gCurrent = nullptr;
bool gStop = false;
const CompilerCallbacks kHeadless{};
const CompilerCallbacks* gCallbacks = &kHeadless;

bool silence(Handle, int32_t, const TDB&, int32_t format, int32_t, void* out, int32_t bytes) {
    std::memset(out, (format & 0x200) ? 0 : 128, size_t(std::max(bytes, 0)));
    return true;
}

// The frame mix of every audio track. The mix sizes a frame by its own
// rounding; the export's blocks keep theirs, so a sample the two place on
// different sides of a frame edge is taken from the mix or left silent.
bool mixFrame(Handle tracks, int32_t frame, const TDB& tb, int32_t format, int32_t rate, void* out,
              int32_t bytes) {
    silence(tracks, frame, tb, format, rate, out, bytes);
    // Without sound tracks the mix is the silence already there.
    if (!tracks || CountTypeTracks(kTrackAudio, tracks) == 0) return true;
    const int32_t frameBytes = FmAudioFrameBytes(format);
    static std::vector<uint8_t> mixed;  // kept between frames
    mixed.resize(size_t(bytes) + size_t(frameBytes) * 4);
    int32_t got = int32_t(mixed.size());
    if (MixBlip(frame, mixed.data(), format, rate, nullptr, kMixAllTracks, &got, &tb, tracks,
                nullptr, nullptr) != 0)
        return true;
    std::memcpy(out, mixed.data(), size_t(std::clamp(got, 0, bytes)));
    return true;
}

MixAudioFn gMix = mixFrame;

// ---- class data ----
int16_t setClassDataProc(RcOSType type, void* data) {
    return SetClassData(type, data);
}
void* getClassDataProc(RcOSType type) {
    return GetClassData(type);
}

// ---- audio ----
// The sample frame a video frame starts at, rounded down as the mixer rounds
// its byte spans: blocks asked for frame by frame then join without a sample
// dropped or repeated where a frame is not a whole number of samples long.
int64_t samplePosition(const Export& e, int64_t frame) {
    const int64_t scale = e.timeBase.scale;
    if (scale <= 0) return 0;
    const int64_t n = frame * e.timeBase.samp * int64_t(e.record.settings.audioRate);
    return n >= 0 ? n / scale : -((-n + scale - 1) / scale);
}

int32_t audioFormatFlags(const RcCompileSettings& s) {
    return (s.channels == 2 ? 0x100 : 0) | (s.bitsPerSample == 16 ? 0x200 : 0);
}

int32_t getAudio(int32_t firstFrame, int32_t frameCount, void** samples, int32_t* byteCount) {
    Export* e = gCurrent;
    if (!e || !samples || !byteCount || frameCount <= 0 || e->record.settings.audioRate <= 0)
        return kRcServiceNoFrame;
    if (gStop) return kRcServiceStopped;
    if (firstFrame != e->audioFirst || frameCount != e->audioCount) {
        const RcCompileSettings& s = e->record.settings;
        const int32_t format = audioFormatFlags(s);
        const int32_t frameBytes = FmAudioFrameBytes(format);
        const int64_t total =
            samplePosition(*e, int64_t(firstFrame) + frameCount) - samplePosition(*e, firstFrame);
        if (total < 0 || total * frameBytes > (int64_t(1) << 30)) return kRcServiceNoFrame;
        e->audio.assign(size_t(total * frameBytes), 0);
        size_t at = 0;
        for (int32_t f = firstFrame; f < firstFrame + frameCount; ++f) {
            const int64_t n = samplePosition(*e, f + 1) - samplePosition(*e, f);
            if (n <= 0) continue;
            const int32_t bytes = int32_t(n * frameBytes);
            if (!mixAudio(e->trackTable, f, e->timeBase, format, s.audioRate, &e->audio[at], bytes))
                silence(nullptr, f, e->timeBase, format, s.audioRate, &e->audio[at], bytes);
            at += size_t(bytes);
        }
        e->audioFirst = firstFrame;
        e->audioCount = frameCount;
    }
    *samples = e->audio.data();
    *byteCount = int32_t(e->audio.size());
    return kRcServiceOK;
}

intptr_t getRecordValue(int32_t which) {
    const Export* e = gCurrent;
    if (!e) return -1;
    const RcCompileRecord& r = e->record;
    switch (which) {
        case kRcValueWidth:
            return r.settings.width;
        case kRcValueHeight:
            return r.settings.height;
        case kRcValueFirstFrame:
            return r.firstFrame;
        case kRcValueLastFrame:
            return r.lastFrame;
        case kRcValueAudioRate:
            return r.settings.audioRate;
        case kRcValueBitsPerSample:
            return r.settings.bitsPerSample;
        case kRcValueChannels:
            return r.settings.channels;
        case kRcValueTimeScale:
            return r.settings.timeScale;
        case kRcValueTimeSampleSize:
            return r.settings.timeSampleSize;
        default:
            return -1;
    }
}

// ---- video ----
bool itemStartsAt(Handle table, int32_t ticks) {
    const int32_t tracks = CountTracks(table);
    for (int32_t i = 0; i < tracks; ++i) {
        if (!(GetIndTrackType(kTrackAll, i, table) &
              (kTrackVideoPair | kTrackTransition | kTrackSuperimpose)))
            continue;
        Handle list = GetTypeTrack(kTrackAll, i, table);
        const int32_t n = CountTrackItems(list);
        for (int32_t k = 0; k < n; ++k) {
            const uint32_t word = reinterpret_cast<const uint32_t*>(*list)[k];
            Handle item = WordToHandle(word);
            if (item && *item && reinterpret_cast<const TrackItemRec*>(*item)->start == ticks)
                return true;
        }
    }
    return false;
}

// The item alone on screen at `ticks` when it shows one fixed frame: the
// only picture item there (no transition, superimposed or second item), held
// on its In point, marker or Out point, without filters or motion. Null
// otherwise.
Handle soleHeldItem(Handle table, int32_t ticks) {
    Handle found = nullptr;
    const int32_t tracks = CountTracks(table);
    for (int32_t i = 0; i < tracks; ++i) {
        const uint16_t type = GetIndTrackType(kTrackAll, i, table);
        if (!(type & (kTrackVideoPair | kTrackTransition | kTrackSuperimpose))) continue;
        Handle list = GetTypeTrack(kTrackAll, i, table);
        const int32_t n = CountTrackItems(list);
        for (int32_t k = 0; k < n; ++k) {
            Handle item = WordToHandle(reinterpret_cast<const uint32_t*>(*list)[k]);
            if (!item || !*item) continue;
            const auto* r = reinterpret_cast<const TrackItemRec*>(*item);
            if (r->start > ticks || r->end <= ticks) continue;
            if (found || !(type & kTrackVideoPair)) return nullptr;
            Handle filters = WordToHandle(r->filterList);
            const bool plainHold = (r->flags & kItemHoldOn) && !(r->flags & kItemHoldWindow) &&
                                   !(r->flags & kItemSwitchedOff) &&
                                   (!filters || GetHandleSize(filters) == 0) &&
                                   (!r->motion || r->motionOff);
            if (!plainHold) return nullptr;
            found = item;
        }
    }
    return found;
}

// How many frames from n on look the same as n (at least 1): a run of
// frames that show nothing, or of one plain held item alone on screen. The
// run last found is kept, so asking frame by frame through it costs nothing.
int32_t identicalRun(Export& e, int32_t n) {
    if (e.clipID || !e.trackTable) return 1;
    if (n >= e.runStart && n < e.runEnd) return e.runEnd - n;
    const int32_t samp = e.timeBase.samp;
    const auto empty = [&](int32_t f) {
        return !RangeHasVideo(f * samp, (f + 1) * samp, e.trackTable);
    };
    const bool blank = empty(n);
    Handle held = blank ? nullptr : soleHeldItem(e.trackTable, n * samp);
    int32_t end = n + 1;
    if (blank || held)
        while (end < e.record.lastFrame &&
               (blank ? empty(end) : soleHeldItem(e.trackTable, end * samp) == held))
            ++end;
    e.runStart = n;
    e.runEnd = end;
    return end - n;
}

void describeFrame(Export& e, int32_t n, RcCompileFrameInfo* info) {
    if (!info) return;
    const bool edit = !e.clipID && e.trackTable && itemStartsAt(e.trackTable, n * e.timeBase.samp);
    info->identicalFrames = identicalRun(e, n);
    info->startsEdit = edit;
    info->keyframe = (e.keyAtEdits && edit) || (e.keyEvery > 0 && n % e.keyEvery == 0);
}

// The picture frame n is rendered into.
PPixHand picture(const Export& e) {
    if (e.clipID || !e.renderContext || e.drawnDirect) return e.frame;
    return reinterpret_cast<const FmRenderContext*>(*e.renderContext)->destination;
}

int32_t renderInto(Export& e, int32_t n) {
    if (e.frameNumber == n) return kRcServiceOK;
    // A later frame of the run the picture belongs to looks the same: the
    // picture stands as it is.
    if (e.frameNumber >= e.runStart && e.frameNumber < n && n < e.runEnd) {
        e.frameNumber = n;
        return kRcServiceOK;
    }
    e.frameNumber = -1;
    const TDB t{n * e.timeBase.samp, e.timeBase.scale, e.timeBase.samp};
    if (e.clipID) {
        PWorld world = RegPWorldBits(e.frame, 0);
        if (!world) return kRcServiceNoFrame;
        FmRect r{0, 0, e.record.settings.width, e.record.settings.height};
        const OSErr err = GetClipVideo(&t, e.clipID, world, &r, 0x20);
        DisposePWorld(world);
        if (err != 0) {
            AlertSystem(0, 0, kExportStrings, kMsgImageError, kErrorList, err);
            return kRcServiceNoFrame;
        }
    } else if (e.renderContext) {
        const FmRect r{0, 0, e.record.settings.width, e.record.settings.height};
        e.drawnDirect =
            EffectFrame(e.renderContext, 1, t.value, &e.timeBase, &r, e.renderFlags,
                        e.renderOptions, e.trackTable, e.outWorld, e.outWorld ? &r : nullptr) != 0;
    } else {
        return kRcServiceNoFrame;
    }
    e.frameNumber = n;
    ++e.renders;
    identicalRun(e, n);
    return kRcServiceOK;
}

int32_t getFrameAtDepth(int32_t frame, int32_t bits, void** pixels, int32_t* rowBytes,
                        RcCompileFrameInfo* info) {
    Export* e = gCurrent;
    if (!e || !picture(*e) || !pixels || !rowBytes) return kRcServiceNoFrame;
    if (gStop) return kRcServiceStopped;
    if (frame < e->record.firstFrame || frame >= e->record.lastFrame) return kRcServiceNoFrame;
    if (bits != 24 && bits != 32) return kRcServiceNoFrame;
    if (const int32_t r = renderInto(*e, frame)) return r;
    describeFrame(*e, frame, info);
    PPixHand pix = picture(*e);
    char* src = ppixGetPixels(pix);
    const int32_t srcRow = ppixGetRowbytes(pix);
    if (bits == 32) {
        *pixels = src;
        *rowBytes = srcRow;
        return kRcServiceOK;
    }
    const int32_t w = e->record.settings.width, h = e->record.settings.height;
    const int32_t row = (w * 3 + 3) & ~3;
    if (e->packedRender == e->renders && !e->packed.empty()) {
        *pixels = e->packed.data();
        *rowBytes = row;
        return kRcServiceOK;
    }
    e->packedRender = e->renders;
    e->packed.assign(size_t(row) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y) {
        const auto* s = reinterpret_cast<const uint8_t*>(src) + size_t(y) * size_t(srcRow);
        uint8_t* d = e->packed.data() + size_t(y) * size_t(row);
        for (int32_t x = 0; x < w; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    *pixels = e->packed.data();
    *rowBytes = row;
    return kRcServiceOK;
}

int32_t getFrame(int32_t frame, void** pixels, int32_t* rowBytes, RcCompileFrameInfo* info) {
    return getFrameAtDepth(frame, 32, pixels, rowBytes, info);
}

void* newBlock() {
    return FmNewPtrClear(128 * 1024);
}
void disposeBlock(void* block) {
    if (block) FmDisposePtr(static_cast<Ptr>(block));
}

int32_t countColours(const void* pixels, int32_t rowBytes, int32_t width, int32_t height,
                     uint32_t* counters) {
    if (!pixels || !counters || width <= 0 || height <= 0 || rowBytes < width * 4) return 0;
    Handle histogram = InitHistogram(nullptr);
    if (!histogram) return 0;
    FmBitmapInfoHeader header{};
    header.size = 40;
    header.width = rowBytes / 4;  // the rows as they are laid out
    header.height = height;
    header.planes = 1;
    header.bitCount = 32;
    const int32_t ok = DibHistogram(&header, pixels, 0, 0, width, height, histogram);
    if (ok) {
        const auto* counts = reinterpret_cast<const uint32_t*>(*histogram);
        for (int32_t i = 0; i < 32768; ++i) counters[i] += counts[i];
    }
    FreeHistogram(histogram);
    return ok;
}

int32_t writePNG(const void* pixels, int32_t rowBytes, int32_t width, int32_t height,
                 intptr_t fileRef) {
    if (!pixels || width <= 0 || height <= 0 || rowBytes < width * 4) return -50;
    const FmRect bounds{0, 0, width, height};
    // A private buffer describes the module's rows without copying them.
    std::vector<uint8_t> copy;
    const void* rows = pixels;
    if (rowBytes != CalcRowBytes(width, 32)) {
        copy.resize(size_t(width) * 4 * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(&copy[size_t(y) * size_t(width) * 4],
                        static_cast<const uint8_t*>(pixels) + size_t(y) * size_t(rowBytes),
                        size_t(width) * 4);
        rows = copy.data();
    }
    PPixHand pix = ppixNewPrivate(&bounds, const_cast<void*>(rows));
    if (!pix) return -108;
    const OSErr err = ppixWritePNG(pix, FileRef(fileRef));
    ppixDispose(pix);
    return err;
}

int32_t frameTicks(int32_t frame) {
    return gCurrent ? frame * gCurrent->timeBase.samp : 0;
}
void freeRegion(void* region) {
    if (region) FmDisposeRgn(static_cast<FmRgn>(region));
}
void beepProc() {
    if (gCallbacks->beep) gCallbacks->beep();
}

// ---- memory ----
void* newPtrClearProc(int32_t size) {
    return size < 0 ? nullptr : FmNewPtrClear(uint32_t(size));
}
int16_t setPtrSizeProc(void** p, int32_t size) {
    if (!p || size < 0) return -50;
    Ptr q = static_cast<Ptr>(*p);
    const OSErr err = FmSetPtrSize(&q, uint32_t(size));
    *p = q;
    return err;
}
int32_t getPtrSizeProc(void* p) {
    return p ? int32_t(FmGetPtrSize(static_cast<Ptr>(p))) : 0;
}
void disposePtrProc(void* p) {
    if (p) FmDisposePtr(static_cast<Ptr>(p));
}

// ---- status ----
void setProgressText(const char* text) {
    char bounded[256];
    copyBounded(bounded, sizeof bounded, text ? text : "", sizeof bounded);
    if (gCallbacks->progressText) gCallbacks->progressText(bounded);
}
int32_t progress(int32_t done, int32_t total) {
    if (gStop) return kRcServiceStopped;
    if (gCallbacks->progress && gCallbacks->progress(done, total)) return kRcServiceCancelled;
    return gStop ? kRcServiceStopped : kRcServiceOK;
}

// ---- file check ----
int32_t checkFile(const RcFSSpec* file) {
    if (!file) return kRcServiceOK;
    char path[261];
    copyBounded(path, sizeof path, file->name, sizeof file->name);
    if (!pathInUse(path)) return kRcServiceOK;
    AlertSystem(0, 0, kExportStrings, kMsgFileInUse, 0, 0);
    return kRcServiceFileInUse;
}

const RcCompileClassDataFuncs kClassData{setClassDataProc, getClassDataProc};
const RcCompileAudioFuncs kAudio{getAudio, getRecordValue};
const RcCompileVideoFuncs kVideo{getFrame, getFrameAtDepth, newBlock,   disposeBlock, countColours,
                                 writePNG, frameTicks,      freeRegion, beepProc};
const RcCompileMemoryFuncs kMemory{newPtrClearProc, setPtrSizeProc, getPtrSizeProc, disposePtrProc};
const RcCompileStatusFuncs kStatus{setProgressText, progress};
const RcCompileFileFuncs kFile{checkFile};
const RcCompileServiceGroups kGroups{&kClassData, &kAudio,  &kVideo, nullptr,
                                     &kMemory,    &kStatus, &kFile};

}  // namespace

RcCompileServices* services() {
    static RcCompileServices s{kRcCompileServicesVersion, 0, &kGroups, 0};
    return &s;
}

Export* current() {
    return gCurrent;
}

void setCurrent(Export* e) {
    gCurrent = e;
    if (e) gStop = false;
}

void releaseServiceData(Export& e) {
    e.packed = {};
    e.audio = {};
    e.audioFirst = e.audioCount = e.frameNumber = -1;
    e.runStart = e.runEnd = e.packedRender = -1;
}

bool stopRequested() {
    return gStop;
}

const CompilerCallbacks* callbacks() {
    return gCallbacks;
}

MixAudioFn setMixAudio(MixAudioFn fn) {
    MixAudioFn old = gMix;
    gMix = fn ? fn : mixFrame;
    return old;
}

bool mixAudio(Handle trackTable, int32_t frame, const TDB& timeBase, int32_t format, int32_t rate,
              void* out, int32_t bytes) {
    return gMix(trackTable, frame, timeBase, format, rate, out, bytes);
}

}  // namespace rc::exporthost

using namespace rc::exporthost;

extern "C" {

RC_API void CompilerStop(void) {
    gStop = true;
}

RC_API const CompilerCallbacks* CompilerSetCallbacks(const CompilerCallbacks* callbacks) {
    const CompilerCallbacks* old = gCallbacks;
    gCallbacks = callbacks ? callbacks : &kHeadless;
    return old == &kHeadless ? nullptr : old;
}

}  // extern "C"
