// Clip audio for waveforms and the mix: bytes of a clip's sound a second at
// a time through the audio cache.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audio_internal.h"
#include "reelcore/audio.h"
#include "reelcore/clips.h"
#include "reelcore/framecache.h"
#include "reelcore/media_access.h"
#include "reelcore/mixer.h"

namespace {

// The cache's key for a clip's seconds: its FileID plus its whole speed
// above it, as media access files them.
int32_t secondKey(int32_t clipID) {
    const double speed = double(ClipRate(clipID));
    const int32_t whole = int32_t(std::clamp(std::floor(speed + 0.5), 1.0, 1000.0));
    return int32_t(uint16_t(ClipFile(clipID))) + whole * 65536;
}

}  // namespace

RC_API OSErr GetAudioBlip(int32_t clipID, int32_t second, int32_t byteOffset, int32_t byteCount,
                          void* dest, int32_t format, int32_t rate) {
    format &= kAudioFormatMask;
    const int32_t fb = rc::audio::frameBytes(format);
    auto* out = static_cast<uint8_t*>(dest);
    const auto silence = [&](int64_t from) {
        if (out && byteCount > from)
            rc::audio::writeSilence(out + from, int32_t((byteCount - from) / fb), format);
    };
    if (!out || byteCount <= 0) return byteCount == 0 && out ? 0 : 1;
    if (!IsValidClipID(clipID) || rate <= 0 || second < 0 || byteOffset < 0) {
        silence(0);
        return 1;
    }
    const int64_t secondBytes = int64_t(rate) * fb;
    if (secondBytes > INT32_MAX) {
        silence(0);
        return 1;
    }
    const int32_t key = secondKey(clipID);
    int64_t s = second + byteOffset / secondBytes;
    int64_t offset = byteOffset % secondBytes;
    int64_t done = 0;
    static std::vector<uint8_t> scratch;  // one second, kept between calls
    while (done < byteCount) {
        if (s > INT32_MAX) {
            silence(done);
            return 1;
        }
        const int64_t take = std::min<int64_t>(byteCount - done, secondBytes - offset);
        const uint8_t* from = nullptr;
        if (FBlock b = FindAudioSec(key, int32_t(s), format, rate)) {
            const auto* e = reinterpret_cast<const FrameCacheEntry*>(b->address);
            // A short entry is not the second asked for.
            if (e->data && e->dataLength == secondBytes)
                from = reinterpret_cast<const uint8_t*>(e->data->address);
        }
        if (!from) {
            // Media access converts from the file's format and rate as the
            // file table knows them: make sure it has asked the file.
            FmMediaInfo info;
            GetInfo(ClipFile(clipID), &info, 0);
            if (scratch.size() < size_t(secondBytes)) scratch.resize(size_t(secondBytes));
            // Media access caches the second only when the read succeeded.
            if (GetClipAudioSec(int32_t(s), clipID, scratch.data(), format | kAudioAddToCache,
                                rate) != 0) {
                silence(done);
                return 1;
            }
            from = scratch.data();
        }
        std::memcpy(out + done, from + offset, size_t(take));
        done += take;
        offset = 0;
        ++s;
    }
    return 0;
}
