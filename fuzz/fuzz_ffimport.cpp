// Fuzz entry for the FFmpeg importer: the bytes as a media file, described
// and then read where readers go wrong (the first, last and middle frames,
// sound at the start and near the end). Whatever the file claims, what comes
// back must be of the size asked and the description within its limits.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ff_media.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

void check(bool ok) {
    if (!ok) abort();
}

void checkFacts(const ffimport::MediaFacts& f) {
    const ffimport::VideoFacts& v = f.video;
    if (v.stream >= 0) {
        check(v.width > 0 && v.width <= ffimport::kMaxDimension);
        check(v.height > 0 && v.height <= ffimport::kMaxDimension);
        check(v.rateNum > 0 && v.rateDen > 0);
        check(v.aspectNum > 0 && v.aspectNum <= 65535 && v.aspectDen > 0 && v.aspectDen <= 65535);
        check(v.frames > 0);
        check(!v.timestamped || int64_t(v.pts.size()) == v.frames);
    }
    const ffimport::AudioFacts& a = f.audio;
    if (a.stream >= 0) {
        check(a.rate > 0 && a.rate <= ffimport::kMaxAudioRate);
        check(a.frames > 0);
    }
}

}  // namespace

extern "C" int fuzzFfimportInput(const uint8_t* data, size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    // The bytes as a file of their own, without touching the disk.
    const int fd = memfd_create("ffimport", 0);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    {
        ffimport::MediaSource source(path);
        if (source.open(1)) {
            const ffimport::MediaFacts& f = source.facts();
            checkFacts(f);
            constexpr int32_t w = 24, h = 16;
            std::vector<uint8_t> pixels(size_t(w) * h * 4 + 64, 0xAB);
            const int64_t frames = f.video.frames;
            for (int64_t n : {int64_t(0), frames - 1, frames / 2, int64_t(1)}) {
                if (f.video.stream < 0 || n < 0) continue;
                source.readVideo(n, w, h, pixels.data(), w * 4);
                for (size_t i = size_t(w) * h * 4; i < pixels.size(); ++i) check(pixels[i] == 0xAB);
            }
            if (f.audio.stream >= 0) {
                std::vector<uint8_t> sound(4096 * 4 + 16, 0xCD);
                for (int64_t first : {int64_t(0), f.audio.frames - 1000, int64_t(7)}) {
                    const bool wide = first != 7;  // the last read 8-bit mono
                    source.readAudio(std::max<int64_t>(first, 0), 4096, wide, wide, sound.data());
                    const size_t used = wide ? 4096 * 4 : 4096;
                    for (size_t i = used; i < sound.size(); ++i) check(sound[i] == 0xCD);
                    std::fill(sound.begin(), sound.end(), 0xCD);
                }
            }
        }
    }
    close(fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzFfimportInput(data, size);
}
