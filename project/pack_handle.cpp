// Flat blocks laid out field by field, and the motion record's text form.
#include <climits>
#include <cstring>

#include "project/motion_hooks.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"

namespace rc::project::hooks {

namespace {
SaveMotionSettingsFn gSave = SaveMotionSettings;
LoadMotionSettingsFn gLoad = LoadMotionSettings;
}  // namespace

void setMotionSettingsCodec(SaveMotionSettingsFn save, LoadMotionSettingsFn load) {
    gSave = save;
    gLoad = load;
}

OSErr saveMotion(ProjBufHand stream, Handle motion) {
    return gSave ? gSave(stream, motion) : 0;
}
OSErr loadMotion(ProjBufHand stream, Handle motion) {
    return gLoad ? gLoad(stream, motion) : 0;
}

}  // namespace rc::project::hooks

namespace {

// The motion record: a 12-byte header whose 16-bit point count sits at byte
// 10, then 46 bytes per point.
constexpr uint32_t kMotionHeader = 12;
constexpr uint32_t kMotionPoint = 46;
constexpr uint32_t kMotionCountAt = 10;

}  // namespace

RC_API OSErr PackHandle(Handle* block, int32_t* offset, int32_t length, const void* source) {
    if (!block || !*block || !offset) return nilHandleErr;
    if (length < 0 || *offset < 0 || (length > 0 && !source)) return kProjParamErr;
    int64_t end = int64_t(*offset) + length;
    if (end > INT32_MAX) return kProjParamErr;
    if (uint64_t(end) > FmGetHandleSize(*block)) {
        if (FmSetHandleSize(*block, uint32_t(end)) != 0) return memFullErr;
    }
    if (length) std::memcpy(**block + *offset, source, size_t(length));
    *offset = int32_t(end);
    return noErr;
}

RC_API OSErr UnpackHandle(Handle* block, int32_t* offset, int32_t length, void* destination) {
    if (!block || !*block || !offset) return nilHandleErr;
    if (length < 0 || *offset < 0 || (length > 0 && !destination)) return kProjParamErr;
    int64_t end = int64_t(*offset) + length;
    if (uint64_t(end) > FmGetHandleSize(*block)) return eofErr;
    if (length) std::memcpy(destination, **block + *offset, size_t(length));
    *offset = int32_t(end);
    return noErr;
}

RC_API OSErr CodeXPMotionRecord(Handle text, Handle motion, int16_t encode) {
    if (!text || !motion || !*text || !*motion) return -1;
    uint32_t textSize = FmGetHandleSize(text);
    if (textSize == 0 || FmGetHandleSize(motion) == 0) return -1;
    if (encode) {
        ProjBufHand stream = CreateProjBufHandMemory(*text, int32_t(textSize), kProjModeWrite);
        if (!stream) return memFullErr;
        OSErr err = rc::project::hooks::saveMotion(stream, motion);
        OSErr closeErr = CloseProjBufHand(stream);
        return err ? err : closeErr;
    }
    if (FmSetHandleSize(motion, textSize) != 0) return memFullErr;
    ProjBufHand stream = CreateProjBufHandMemory(*text, int32_t(textSize), kProjModeRead);
    if (!stream) return memFullErr;
    OSErr err = rc::project::hooks::loadMotion(stream, motion);
    CloseProjBufHand(stream);
    // The record keeps its header and the points its count names.
    uint32_t size = FmGetHandleSize(motion);
    int16_t count = 0;
    if (size >= kMotionHeader) std::memcpy(&count, *motion + kMotionCountAt, sizeof count);
    if (count < 0) count = 0;
    uint32_t wanted = kMotionHeader + kMotionPoint * uint32_t(count);
    if (FmSetHandleSize(motion, wanted) != 0) return err ? err : OSErr(memFullErr);
    if (wanted > size) std::memset(*motion + size, 0, wanted - size);
    return err;
}
