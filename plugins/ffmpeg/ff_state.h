// What the readers keep between calls for one file.
#pragma once

#include <cstdint>
#include <vector>

#include "ff_decoder.h"

struct SwsContext;
struct SwrContext;

namespace ffimport {

struct VideoState {
    StreamDecoder decoder;
    AVFrame* held = nullptr;  // the last frame asked for, kept for repeats
    int64_t heldIndex = -1;
    int64_t lastIndex = -1;   // the last frame the decoder gave since it was positioned
    bool positioned = false;  // decoding on gives the frames after lastIndex
    SwsContext* sws = nullptr;
    // What the converter was set up for: the same again needs no set-up.
    struct Conversion {
        int width = 0, height = 0, format = -1;  // of the decoded picture
        int32_t toWidth = 0, toHeight = 0;
        int colorspace = 0, fullRange = 0;
        bool operator==(const Conversion&) const = default;
    } conversion;
    ~VideoState();
};

struct AudioState {
    StreamDecoder decoder;
    SwrContext* swr = nullptr;
    // The converter's formats: what comes in, what goes out.
    int inFormat = -1, inRate = 0;
    AVChannelLayout inLayout{};
    bool wide = true, stereo = true;
    // Converted sample frames [start, start + size / frameBytes) in hand.
    std::vector<uint8_t> buffer;
    int64_t start = 0;
    int64_t next = 0;         // position of the next decoded sample frame
    bool positioned = false;  // next is known
    bool ended = false;       // the decoder has nothing more
    bool atStart = false;     // decoding from the stream's first packet
    ~AudioState();
};

}  // namespace ffimport
