// Sound of files and clips: raw reads, one second in the requested format
// through the audio cache, the resampling margin and the conversions.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "media/file_table_internal.h"
#include "media/media_access_internal.h"
#include "reelcore/audio.h"
#include "reelcore/clips.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/pworld.h"
#include "reelcore/utility_table.h"

using namespace rc::media;

namespace {

constexpr OSType kLayerType = 0x4C415952;  // 'LAYR'

const FmUtilityTable* utilities() {
    auto* t = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    return t ? t : FmDefaultUtilityTable();
}

uint8_t silenceByte(int32_t flags) {
    return (flags & (int32_t(kAudioTableConvert) | int32_t(kAudio16Bit))) ? 0 : 128;
}

// Converts through the 256-byte table of slot 112 or 113: the sound is first
// brought to 8-bit samples of the destination's channels.
int32_t tableConvert(const void* src, int32_t srcBytes, int32_t srcFormat, void* dst,
                     int32_t dstBytes, int32_t flags) {
    const int32_t stereo = (flags & kAudioStereo) ? kStretchStereo : 0;
    const int32_t wide = (flags & kAudio16Bit) ? kStretch16Bit : 0;
    const int32_t err = StretchAudio(src, srcBytes, dst, dstBytes, srcFormat | stereo | wide);
    if (err != 0 || wide) return err;
    const auto* table = reinterpret_cast<const uint8_t*>(
        GetAGlobal((flags & kAudioTable112) ? kSlotAudioTable112 : kSlotAudioTable113));
    if (!table) return 0;
    auto* bytes = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < dstBytes; ++i) bytes[i] = table[bytes[i]];
    return 0;
}

}  // namespace

RC_API int32_t FmAudioFrameBytes(int32_t flags) {
    const bool stereo = flags & kAudioStereo, wide = flags & kAudio16Bit;
    return stereo && wide ? 4 : (stereo || wide) ? 2 : 1;
}

RC_API OSErr GetAudio(int16_t fileID, int64_t offset, int32_t length, void* dest) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r || !dest || length < 0 || offset < 0) return kImportCannotOpen;
    if (ImporterExists(r->handler)) return ImportAudioSec(fileID, offset, length, dest);
    return callDrawHandler(r->handler, kDrawGetAudio, fileID, intptr_t(&offset), length,
                           intptr_t(dest), 0, 0);
}

RC_API OSErr GetAudioVST(int16_t fileID, int64_t offset, int32_t length, void* dest,
                         intptr_t chain) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r || !dest || length < 0 || offset < 0) return kImportCannotOpen;
    return callDrawHandler(r->handler, kDrawGetAudioVST, fileID, intptr_t(&offset), length,
                           intptr_t(dest), chain, 0);
}

RC_API OSErr GetAudioSec(int32_t second, int16_t fileID, void* dest, int32_t flags,
                         int32_t samplesPerSecond, int32_t ratePercent) {
    if (!dest || samplesPerSecond <= 0 || second < 0) return kFileBadParam;
    const int32_t dstFrameBytes = FmAudioFrameBytes(flags);
    const int64_t dstSize64 = int64_t(samplesPerSecond) * dstFrameBytes;
    if (dstSize64 > INT32_MAX) return kFileBadParam;
    const int32_t dstSize = int32_t(dstSize64);
    FmFileRecord* r = findFileRec(fileID);
    if (!r) {
        std::memset(dest, silenceByte(flags), size_t(dstSize));
        return kImportCannotOpen;
    }
    ratePercent = std::max(ratePercent, 1);
    const int32_t key = int32_t(uint16_t(fileID)) + ratePercent * 65536;
    if (FBlock cached = FindAudioSec(key, second, flags, samplesPerSecond)) {
        const auto* e = reinterpret_cast<const FrameCacheEntry*>(cached->address);
        if (e->data && e->dataLength == dstSize) {
            std::memcpy(dest, e->data->address, size_t(dstSize));
            return 0;
        }
    }
    if (r->noCaching && GetAGlobal(kSlotNoCacheOverride) == 0) flags &= ~kAudioAddToCache;
    const bool layer = r->type == kLayerType;

    const int32_t srcFormat = r->info.audioFormat & kAudioFormatMask;
    const int32_t srcFrameBytes = FmAudioFrameBytes(srcFormat);
    const int32_t fileRate = r->info.audio.scale > 0 ? r->info.audio.scale : 44100;
    const int64_t srcFrames = std::max<int64_t>(int64_t(fileRate) * ratePercent / 100, 1);
    const int64_t srcSize = srcFrames * srcFrameBytes;
    const int32_t dstFormat = flags & kAudioFormatMask;
    const bool same = srcSize == dstSize && srcFormat == dstFormat && !(flags & kAudioTableConvert);

    OSErr err;
    if (same) {
        std::memset(dest, silenceByte(flags), size_t(dstSize));
        err = GetAudio(fileID, srcSize * second, dstSize, dest);
    } else {
        const bool resample = GetAGlobal(kSlotResamplerOn) != 0 && !(flags & kAudioTableConvert);
        const int64_t margin = resample ? std::max<int64_t>(srcFrames / 24, 100) : 0;
        const int64_t blockBytes = (srcFrames + 2 * margin) * srcFrameBytes;
        if (blockBytes > INT32_MAX) return kFileBadParam;
        const uint8_t fileSilence = (srcFormat & kAudio16Bit) ? 0 : 128;
        std::vector<uint8_t> block(size_t(blockBytes), fileSilence);
        int64_t offset = srcSize * second - margin * srcFrameBytes;
        int64_t skip = 0;
        if (offset < 0) {  // before the file's start: silence stays
            skip = -offset;
            offset = 0;
        }
        err = GetAudio(fileID, offset, int32_t(blockBytes - skip), block.data() + skip);
        if (err == 0) {
            const uint8_t* body = block.data() + margin * srcFrameBytes;
            if (flags & kAudioTableConvert) {
                err = OSErr(tableConvert(body, int32_t(srcSize), srcFormat, dest, dstSize, flags));
            } else if (resample) {
                FmResampleRequest q{};
                q.src = block.data();
                q.srcFirst = int32_t(margin);
                q.srcAvailable = int32_t(srcFrames + 2 * margin);
                q.srcCount = int32_t(srcFrames);
                q.srcFormat = srcFormat;
                q.dst = dest;
                q.dstFrames = samplesPerSecond;
                q.dstFormat = dstFormat;
                q.srcRate = int32_t(srcFrames);
                q.dstRate = samplesPerSecond;
                const FmUtilityTable* u = utilities();
                err =
                    OSErr(FM_UTILITY_HAS(u, audioResample) ? u->audioResample(&q) : DoResample(&q));
            } else {
                const int32_t formats = srcFormat |
                                        ((dstFormat & kAudioStereo) ? kStretchStereo : 0) |
                                        ((dstFormat & kAudio16Bit) ? kStretch16Bit : 0);
                const FmUtilityTable* u = utilities();
                err = OSErr(FM_UTILITY_HAS(u, audioConvert)
                                ? u->audioConvert(body, int32_t(srcSize), dest, dstSize, formats)
                                : StretchAudio(body, int32_t(srcSize), dest, dstSize, formats));
            }
        }
    }
    if (err != 0) {
        // A failed read leaves silence and never enters the cache.
        std::memset(dest, silenceByte(flags), size_t(dstSize));
        return err;
    }
    if (flags & kAudioAddToCache) {
        if (!layer || !FindAudioSec(key, second, flags, samplesPerSecond))
            AddAudioSec(key, second, flags, samplesPerSecond, dest, dstSize);
    }
    return 0;
}

RC_API OSErr GetClipAudioSec(int32_t second, int32_t clipID, void* dest, int32_t flags,
                             int32_t samplesPerSecond) {
    const int16_t fileID = ClipFile(clipID);
    const double rate = ClipRate(clipID);
    const int32_t percent = int32_t(std::clamp(std::floor(rate + 0.5), 1.0, 1000.0));
    return GetAudioSec(second, fileID, dest, flags, samplesPerSecond, percent);
}

RC_API OSErr DrawAudioImage(int16_t fileID, int32_t world, const FmRect* rect) {
    if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    const int32_t width = rect->right - rect->left, height = rect->bottom - rect->top;
    const int32_t rate = 100;  // a coarse picture: 100 mono 8-bit samples a second
    const int32_t seconds = std::max(
        1, r->info.audio.scale > 0 ? int32_t(r->info.audio.value / r->info.audio.scale) : 1);
    std::vector<uint8_t> samples(size_t(seconds) * rate, 128);
    for (int32_t s = 0; s < seconds; ++s)
        if (OSErr err = GetAudioSec(s, fileID, samples.data() + size_t(s) * rate, 0, rate, 100))
            return err;
    pwFillRect(world, rect, 0xFFFFFF);
    const int32_t mid = rect->top + height / 2;
    for (int32_t x = 0; x < width; ++x) {
        const size_t from = size_t(x) * samples.size() / size_t(width);
        const size_t to = std::max(from + 1, size_t(x + 1) * samples.size() / size_t(width));
        int32_t peak = 0;
        for (size_t i = from; i < to && i < samples.size(); ++i)
            peak = std::max(peak, std::abs(int32_t(samples[i]) - 128));
        const int32_t half = peak * height / 256;
        const FmRect line{rect->left + x, mid - half, rect->left + x + 1, mid + half + 1};
        pwFillRect(world, &line, 0);
    }
    return 0;
}
