// RIFF files made by the tests: WAV sound and uncompressed AVI movies, with
// every size written by a small chunk writer (and patchable afterwards, to
// make hostile files).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace importtest {

struct RiffWriter {
    std::vector<uint8_t> bytes;

    void u16(uint32_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void tag(const char* four) { bytes.insert(bytes.end(), four, four + 4); }
    // Opens a chunk (with a form type for RIFF and LIST); returns its start.
    size_t open(const char* id, const char* form = nullptr) {
        const size_t at = bytes.size();
        tag(id);
        u32(0);
        if (form) tag(form);
        return at;
    }
    // Closes the chunk: its size, then the pad byte of an odd size.
    void close(size_t at) {
        const uint32_t size = uint32_t(bytes.size() - at - 8);
        patch32(at + 4, size);
        if (size & 1) bytes.push_back(0);
    }
    void chunk(const char* id, const std::vector<uint8_t>& data) {
        const size_t at = open(id);
        bytes.insert(bytes.end(), data.begin(), data.end());
        close(at);
    }
    void patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
    // Where the first occurrence of a four-character code starts.
    size_t find(const char* four) const {
        for (size_t i = 0; i + 4 <= bytes.size(); ++i)
            if (std::memcmp(bytes.data() + i, four, 4) == 0) return i;
        return std::string::npos;
    }
};

inline std::vector<uint8_t> pcmFormat(int32_t channels, int32_t rate, int32_t bits) {
    RiffWriter w;
    const int32_t align = channels * bits / 8;
    w.u16(1);
    w.u16(uint32_t(channels));
    w.u32(uint32_t(rate));
    w.u32(uint32_t(rate * align));
    w.u16(uint32_t(align));
    w.u16(uint32_t(bits));
    return w.bytes;
}

// Interleaved PCM bytes: sample(frame, channel) gives a 16-bit value (8-bit
// files keep its high byte, made unsigned).
using SampleFn = std::function<int16_t(int64_t frame, int32_t channel)>;
inline std::vector<uint8_t> pcmBytes(int32_t channels, int32_t bits, int64_t frames,
                                     const SampleFn& sample) {
    std::vector<uint8_t> out;
    for (int64_t n = 0; n < frames; ++n)
        for (int32_t c = 0; c < channels; ++c) {
            const int16_t s = sample(n, c);
            if (bits == 8) {
                out.push_back(uint8_t((s >> 8) + 128));
            } else {
                out.push_back(uint8_t(s));
                out.push_back(uint8_t(uint16_t(s) >> 8));
            }
        }
    return out;
}

// A WAV file; `extra` chunks go between the format and the sound.
inline RiffWriter makeWav(int32_t channels, int32_t rate, int32_t bits,
                          const std::vector<uint8_t>& pcm, bool oddChunkFirst = false) {
    RiffWriter w;
    const size_t riff = w.open("RIFF", "WAVE");
    w.chunk("fmt ", pcmFormat(channels, rate, bits));
    if (oddChunkFirst) w.chunk("note", {'a', 'b', 'c'});  // odd: padded
    w.chunk("data", pcm);
    w.close(riff);
    return w;
}

struct AviSpec {
    int32_t width = 8, height = 6, bits = 24;
    bool topDown = false;
    int32_t rate = 25, scale = 1;
    int32_t frames = 3;
    bool recLists = false;
    // 0xRRGGBB of pixel (x, y) of a frame; rows from the top.
    std::function<uint32_t(int32_t frame, int32_t x, int32_t y)> pixel;
    // Sound: interleaved bytes split into chunks of these sizes, one after
    // each frame (the rest after the last frame).
    std::vector<uint8_t> pcm;
    int32_t channels = 2, audioRate = 8000, audioBits = 16;
    std::vector<int32_t> audioChunkSizes;
    std::vector<int32_t> emptyFrames;  // frame chunks written without data
};

inline RiffWriter makeAvi(const AviSpec& s) {
    RiffWriter w;
    const size_t riff = w.open("RIFF", "AVI ");
    const size_t hdrl = w.open("LIST", "hdrl");
    {
        const size_t avih = w.open("avih");
        w.u32(uint32_t(1000000LL * s.scale / s.rate));
        for (int i = 0; i < 3; ++i) w.u32(0);
        w.u32(uint32_t(s.frames));
        w.u32(0);
        w.u32(s.pcm.empty() ? 1 : 2);
        w.u32(0);
        w.u32(uint32_t(s.width));
        w.u32(uint32_t(s.height));
        for (int i = 0; i < 4; ++i) w.u32(0);
        w.close(avih);
    }
    const int64_t rowBytes = (int64_t(s.width) * s.bits + 31) / 32 * 4;
    {
        const size_t strl = w.open("LIST", "strl");
        const size_t strh = w.open("strh");
        w.tag("vids");
        w.u32(0);
        w.u32(0);
        w.u32(0);
        w.u32(0);
        w.u32(uint32_t(s.scale));
        w.u32(uint32_t(s.rate));
        w.u32(0);
        w.u32(uint32_t(s.frames));
        for (int i = 0; i < 5; ++i) w.u32(0);
        w.close(strh);
        const size_t strf = w.open("strf");
        w.u32(40);
        w.u32(uint32_t(s.width));
        w.u32(uint32_t(s.topDown ? -s.height : s.height));
        w.u16(1);
        w.u16(uint32_t(s.bits));
        w.u32(0);
        w.u32(uint32_t(rowBytes * s.height));
        for (int i = 0; i < 4; ++i) w.u32(0);
        w.close(strf);
        w.close(strl);
    }
    if (!s.pcm.empty()) {
        const size_t strl = w.open("LIST", "strl");
        const size_t strh = w.open("strh");
        w.tag("auds");
        for (int i = 0; i < 4; ++i) w.u32(0);
        w.u32(1);
        w.u32(uint32_t(s.audioRate));
        for (int i = 0; i < 7; ++i) w.u32(0);
        w.close(strh);
        w.chunk("strf", pcmFormat(s.channels, s.audioRate, s.audioBits));
        w.close(strl);
    }
    w.close(hdrl);
    const size_t movi = w.open("LIST", "movi");
    size_t audioAt = 0;
    for (int32_t f = 0; f < s.frames; ++f) {
        const size_t rec = s.recLists ? w.open("LIST", "rec ") : 0;
        std::vector<uint8_t> frame;
        const bool empty =
            std::find(s.emptyFrames.begin(), s.emptyFrames.end(), f) != s.emptyFrames.end();
        if (!empty) {
            frame.assign(size_t(rowBytes * s.height), 0);
            for (int32_t y = 0; y < s.height; ++y) {
                const int32_t stored = s.topDown ? y : s.height - 1 - y;
                for (int32_t x = 0; x < s.width; ++x) {
                    const uint32_t c = s.pixel(f, x, y);
                    uint8_t* p = frame.data() + stored * rowBytes + x * (s.bits / 8);
                    p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
                    if (s.bits == 32) p[3] = 0x11;
                }
            }
        }
        w.chunk("00db", frame);
        if (size_t(f) < s.audioChunkSizes.size()) {
            const size_t n = std::min(size_t(s.audioChunkSizes[size_t(f)]), s.pcm.size() - audioAt);
            w.chunk("01wb", std::vector<uint8_t>(s.pcm.begin() + int64_t(audioAt),
                                                 s.pcm.begin() + int64_t(audioAt + n)));
            audioAt += n;
        }
        if (s.recLists) w.close(rec);
    }
    if (audioAt < s.pcm.size())
        w.chunk("01wb", std::vector<uint8_t>(s.pcm.begin() + int64_t(audioAt), s.pcm.end()));
    w.close(movi);
    w.close(riff);
    return w;
}

}  // namespace importtest
