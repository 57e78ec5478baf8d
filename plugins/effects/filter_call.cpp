// Filter: the settings of the frame or audio block are built from the
// filter's keys, the module is called by its kind, and a filter whose
// settings cannot vary keeps what the module made of them in its first two
// keys.
#include <algorithm>
#include <cstring>

#include "plugins/effects/effect_host.h"
#include "reelcore/clips.h"
#include "reelcore/depthcon.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"

namespace rc::effects {
namespace {

// The clip the frame-callback data names, 0 when the data is not a clip's.
int32_t clipOfFrameData(uint32_t word) {
    Handle h = handleOf(word);
    if (!h || !*h || GetHandleSize(h) < sizeof(RcFrameCallbackData)) return 0;
    const auto* d = reinterpret_cast<const RcFrameCallbackData*>(*h);
    if (d->magic != kRcFrameDataMagic || d->kind != kRcFrameDataClip) return 0;
    return IsValidClipID(d->clipID) ? d->clipID : 0;
}

// t = clip start + clip width x part / total on the clip's own time scale;
// without a clip the keys count from 0 over total. A zero or negative total
// (a clip without width) evaluates at the clip's start.
double videoTime(const RcVideoFilterRecord& r) {
    const int32_t clip = clipOfFrameData(r.privateData);
    double start = 0, width = r.total;
    if (clip) {
        TDB tb;
        GetClipTimeBase(clip, &tb);
        start = ClipStart(clip, &tb);
        width = ClipWidth(clip, &tb);
    }
    if (r.total <= 0) return start;
    return start + width * double(r.part) / double(r.total);
}

// A sample position of the block on the clip's time scale; without a clip
// the keys are in sample frames.
double audioTime(const RcAudioFilterRecord& r, int64_t position) {
    if (!r.clipID || !IsValidClipID(r.clipID) || r.rate <= 0) return double(position);
    TDB tb;
    GetClipTimeBase(r.clipID, &tb);
    const double start = ClipStart(r.clipID, &tb);
    if (tb.samp == 0) return start;
    return start + double(position) / r.rate * tb.scale / tb.samp;
}

int32_t audioFrameBytes(int32_t format) {
    return ((format & kRcAudioStereo) ? 2 : 1) * ((format & kRcAudio16Bit) ? 2 : 1);
}

void copyThrough(OSType kind, Handle record) {
    if (kind == kKindAudio) {
        const auto& a = *reinterpret_cast<const RcAudioFilterRecord*>(*record);
        if (a.source && a.destination && a.count > 0 && a.source != a.destination)
            std::memmove(a.destination, a.source, size_t(a.count) * audioFrameBytes(a.format));
        return;
    }
    const auto& v = *reinterpret_cast<const RcVideoFilterRecord*>(*record);
    Handle src = handleOf(v.source), dst = handleOf(v.destination);
    if (src && dst && src != dst) ppixCopy(src, dst, nullptr, nullptr, 0, nullptr);
}

bool recordFits(OSType kind, Handle record) {
    const size_t need =
        kind == kKindAudio ? sizeof(RcAudioFilterRecord) : sizeof(RcVideoFilterRecord);
    return record && *record && GetHandleSize(record) >= need;
}

void fillServices(OSType kind, Handle record) {
    const auto* utilities = reinterpret_cast<const void*>(GetAGlobal(kSlotUtilityTable));
    if (kind == kKindAudio) {
        auto& a = *reinterpret_cast<RcAudioFilterRecord*>(*record);
        a.utilities = utilities;
        a.hostData = GetAGlobal(kSlotHostUtilities);
        a.host = &hostServices();
        return;
    }
    auto& v = *reinterpret_cast<RcVideoFilterRecord*>(*record);
    v.utilities = utilities;
    v.hostData = GetAGlobal(kSlotHostUtilities);
    v.host = &hostServices();
    v.instanceName[sizeof v.instanceName - 1] = '\0';
}

// The settings word of the record: specsHandle of either kind.
uint32_t& specsWord(OSType kind, Handle record) {
    if (kind == kKindAudio) return reinterpret_cast<RcAudioFilterRecord*>(*record)->specsHandle;
    return reinterpret_cast<RcVideoFilterRecord*>(*record)->specsHandle;
}

// Keys 0 and 1 take the settings the module left; key 1 only when the
// CompSpec has one (the key list never grows here).
void storeFixedSettings(Handle comp, Handle spec) {
    const int32_t keys = std::min<int32_t>(CountSingleSpecs(comp), 2);
    for (int32_t i = 0; i < keys; ++i) ReplaceSingleSpec(comp, spec, i, GetSingleSpecTime(comp, i));
}

int16_t process(int16_t fileID, OSType kind, bool aspectAllowed, Handle record,
                RcFilterListEntry* entry) {
    const bool canVary = CanVary(fileID);
    Handle comp = handleOf(specsWord(kind, record));
    if (UnflattenCompSpec(comp) != 0) return kNoModule;

    Handle spec = nullptr, endSpec = nullptr;
    bool built;
    if (kind == kKindAudio) {
        const auto& a = *reinterpret_cast<const RcAudioFilterRecord*>(*record);
        int64_t last = a.position + std::max<int32_t>(a.count, 0);
        if (a.total > 0) last = std::min(last, a.total);
        built = BuildSingleSpec(comp, fileID, audioTime(a, a.position), &spec) &&
                BuildSingleSpec(comp, fileID, audioTime(a, last), &endSpec);
    } else {
        built = BuildSingleSpec(
            comp, fileID, videoTime(*reinterpret_cast<const RcVideoFilterRecord*>(*record)), &spec);
    }
    if (!built) {
        DisposeSingleSpec(spec);
        DisposeSingleSpec(endSpec);
        copyThrough(kind, record);
        return noErr;
    }

    specsWord(kind, record) = HandleToWord(spec);
    if (kind == kKindAudio)
        reinterpret_cast<RcAudioFilterRecord*>(*record)->endSpecsHandle = HandleToWord(endSpec);

    const int16_t result = kind == kKindAudio
                               ? callFilterKind(fileID, kind, 0, record, entry)
                               : callVideoWithAspect(fileID, kind, 0, aspectAllowed, record, entry);

    // A module that replaces a settings Handle frees the one it replaced, so
    // only what the record holds now is ours to free.
    Handle after = handleOf(specsWord(kind, record));
    if (!canVary && after) storeFixedSettings(comp, after);
    DisposeSingleSpec(after);
    if (kind == kKindAudio) {
        auto& a = *reinterpret_cast<RcAudioFilterRecord*>(*record);
        Handle endAfter = handleOf(a.endSpecsHandle);
        if (endAfter != after) DisposeSingleSpec(endAfter);
        a.endSpecsHandle = 0;
    }
    specsWord(kind, record) = HandleToWord(comp);
    return result;
}

}  // namespace

int16_t callFilterKind(int16_t fileID, OSType kind, int16_t selector, Handle record,
                       RcFilterListEntry* entry) {
    switch (kind) {
        case kKindVideo:
        case kKindAudio:
            return callVersioned(fileID, kind, selector, record);
        case kKindXE:
            return xeFilterHooks().doFilter(fileID, selector, record, 0, entry);
        case kKindImagist:
            return callImagist(fileID, selector, record);
        default:
            return kNoModule;
    }
}

}  // namespace rc::effects

using namespace rc::effects;

RC_API int16_t Filter(int16_t fileID, int16_t selector, Handle record,
                      RcFilterListEntry* listEntry) {
    const OSType kind = GetFileTypeID(fileID);
    if (!recordFits(kind, record)) return kNoModule;
    fillServices(kind, record);
    const bool aspectAllowed = (selector & kRcFilterNoAspect) == 0;
    const int16_t plain = int16_t(selector & ~kRcFilterNoAspect);
    if (plain == kRcFilterProcess) return process(fileID, kind, aspectAllowed, record, listEntry);
    if (plain == kRcFilterSetup) CloseUp(0);
    if (plain == kRcFilterSetup && kind != kKindAudio)
        return callVideoWithAspect(fileID, kind, plain, aspectAllowed, record, listEntry);
    return callFilterKind(fileID, kind, plain, record, listEntry);
}
