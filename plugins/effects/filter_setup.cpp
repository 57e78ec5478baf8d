// Setup of a video filter and of a transition: preview pictures of the
// frame at hand, the module's setup call, and the settings written back into
// the filter list entry or the transition item.
#include <cstring>

#include "media/clip_table_internal.h"
#include "plugins/effects/effect_host.h"
#include "plugins/effects/preview_fetch.h"
#include "reelcore/clips.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"
#include "reelcore/tracks.h"

namespace rc::effects {
namespace {

constexpr int32_t kPreviewWidth = 240, kPreviewHeight = 180;
constexpr int16_t kSetupFieldFlags = 32;
constexpr OSType kCompositingWindow = 0x434F4D50;  // 'COMP'
constexpr intptr_t kAskCompositeState = 10010, kAskCompositeOptions = 10034;
constexpr size_t kClipMarker0 = 2;  // markers[2] is the clip's marker 0

// Pictures that go when the setup ends.
struct Previews {
    PPixHand pix[3] = {};
    explicit Previews(int count) {
        const FmRect r{0, 0, kPreviewWidth, kPreviewHeight};
        for (int i = 0; i < count; ++i) pix[i] = ppixNew(&r);
    }
    ~Previews() {
        for (PPixHand p : pix) ppixDispose(p);
    }
    bool made(int count) const {
        for (int i = 0; i < count; ++i)
            if (!pix[i]) return false;
        return true;
    }
};

// The compositing window's state; without one (headless) nobody answers.
void askCompositingWindow() {
    PMSendMessage(kCompositingWindow, kAskCompositeState, 0, 0, nullptr, 0);
    PMSendMessage(kCompositingWindow, kAskCompositeOptions, 0, 0, nullptr, 0);
}

int32_t setupTime(int32_t clipID, const TDB* tdb, int32_t time) {
    if (time != 0) return time;
    const FmClipRecord* r = media::findClipRec(clipID);
    if (r && r->markers[kClipMarker0] != -1) return FmGetClipMarker(clipID, kClipMarker0, tdb);
    return ClipStart(clipID, tdb);
}

void copyName(char* dst, size_t room, const char* src, size_t srcRoom) {
    const size_t n = strnlen(src, srcRoom);
    const size_t keep = n < room ? n : room - 1;
    std::memcpy(dst, src, keep);
    dst[keep] = '\0';
}

}  // namespace
}  // namespace rc::effects

using namespace rc::effects;

RC_API int16_t VidFilterSetup(int32_t clipID, const TDB* tdb, int32_t time,
                              RcFilterListEntry* listEntry, Handle filtersBefore, int32_t query) {
    if (!listEntry || !tdb) return kNoModule;
    Previews previews(2);
    if (!previews.made(2)) return memFullErr;
    const int32_t at = setupTime(clipID, tdb, time);
    fetchFilteredPreview(clipID, at, *tdb, filtersBefore, previews.pix[0]);

    Handle frameData = newClipFrameData(clipID, at, *tdb, filtersBefore);
    Handle record = NewHandleClear(sizeof(RcVideoFilterRecord));
    if (!record || !frameData) {
        DisposeHandle(record);
        DisposeHandle(frameData);
        return memFullErr;
    }
    auto* r = reinterpret_cast<RcVideoFilterRecord*>(*record);
    r->specsHandle = listEntry->compSpec;
    r->source = HandleToWord(previews.pix[0]);
    r->destination = HandleToWord(previews.pix[1]);
    r->part = at - ClipStart(clipID, tdb);
    r->total = ClipWidth(clipID, tdb);
    r->previewing = 1;
    r->privateData = HandleToWord(frameData);
    r->callBack = previewFrameCallback;
    r->version = kRcVideoFilterRecordVersion;
    r->fieldFlags = kSetupFieldFlags;
    r->tdb = reinterpret_cast<const RcTimeBase*>(tdb);
    r->filterData = *imagistDataWord(listEntry->fileID);
    copyName(r->instanceName, sizeof r->instanceName, listEntry->instanceName,
             sizeof listEntry->instanceName);
    askCompositingWindow();

    int16_t result = 1;
    bool asked = false;
    if (query == -1 && listEntry->compSpec) {
        asked = Filter(listEntry->fileID, kRcFilterUseSettings, record, listEntry) == 1;
        result = asked ? int16_t(noErr) : int16_t(1);
    }
    if (!asked) result = Filter(listEntry->fileID, kRcFilterSetup, record, listEntry);

    r = reinterpret_cast<RcVideoFilterRecord*>(*record);
    listEntry->compSpec = r->specsHandle;
    if (result == noErr)
        copyName(listEntry->instanceName, sizeof listEntry->instanceName, r->instanceName,
                 sizeof r->instanceName);
    DisposeHandle(record);
    DisposeHandle(frameData);
    return result;
}

RC_API int16_t FXSetup(TrackItemRec* item, int32_t time, int32_t total, const TDB* tdb,
                       Handle trackTable) {
    if (!item || !tdb) return kNoModule;
    const int16_t fileID = transitionModuleOf(item);
    Previews previews(3);
    if (!previews.made(3)) return memFullErr;
    fetchTrackPreview(0, time, *tdb, trackTable, previews.pix[0]);
    fetchTrackPreview(1, time, *tdb, trackTable, previews.pix[1]);

    Handle frameData = newTimelineFrameData(time, *tdb, trackTable);
    Handle record = NewHandleClear(sizeof(RcEffectRecord));
    if (!record || !frameData) {
        DisposeHandle(record);
        DisposeHandle(frameData);
        return memFullErr;
    }
    TransitionSettings& s = item->transition;
    auto* r = reinterpret_cast<RcEffectRecord*>(*record);
    r->specsHandle = s.settings;
    r->source1 = HandleToWord(previews.pix[0]);
    r->source2 = HandleToWord(previews.pix[1]);
    r->destination = HandleToWord(previews.pix[2]);
    r->part = 0;
    r->total = total;
    r->previewing = 0;
    r->reverse = s.reverse;
    r->source = s.source;
    // Points as stored in the reference frame, not mapped onto the picture.
    r->startPoint = RcPoint{s.startPoint.x, s.startPoint.y};
    r->endPoint = RcPoint{s.endPoint.x, s.endPoint.y};
    r->centerPoint = RcPoint{s.centerPoint.x, s.centerPoint.y};
    r->privateData = HandleToWord(frameData);
    r->callBack = previewFrameCallback;
    r->version = kRcEffectRecordVersion;
    r->flags = kSetupFieldFlags;
    r->tdb = reinterpret_cast<const RcTimeBase*>(tdb);
    char title[32] = {};
    int16_t isTitle = 0;
    GetClipTitle(item->clipID, title, &isTitle);
    copyName(r->title, sizeof r->title, title, sizeof title);

    const int16_t result = Effect(fileID, kRcEffectSetup, record);

    r = reinterpret_cast<RcEffectRecord*>(*record);
    s.settings = r->specsHandle;
    if (result == noErr) {
        s.reverse = r->reverse;
        s.source = r->source;
        s.startPoint = FmPoint{r->startPoint.x, r->startPoint.y};
        s.endPoint = FmPoint{r->endPoint.x, r->endPoint.y};
        s.centerPoint = FmPoint{r->centerPoint.x, r->centerPoint.y};
        if (r->title[0] && std::strncmp(r->title, title, sizeof title) != 0)
            SetClipTitle(item->clipID, r->title);
    }
    DisposeHandle(record);
    DisposeHandle(frameData);
    return result;
}
