// The files the FFmpeg exporter writes: one entry per exporter it describes
// to the host, each with the one video compressor and the one audio
// compressor it offers and the FFmpeg muxer and encoders behind them.
#pragma once

#include <cstdint>
#include <vector>

#include "reelcore/sdk/export.h"

namespace ffexport {

enum class Video {
    None,
    Ffv1,    // lossless, 32-bit B, G, R, A (alpha kept at 32 bits)
    H264,    // libx264, 4:2:0 (4:4:4 when a side is odd), quality by CRF
    ProRes,  // ProRes 422 standard, 10-bit 4:2:2
    Raw,     // uncompressed B, G, R (A at 32 bits)
    Png      // one picture per file
};

enum class Audio {
    None,
    Pcm,  // 8-bit unsigned or 16-bit signed, as the settings ask
    Aac,  // AAC-LC
    Flac  // 16-bit lossless
};

struct Format {
    RcOSType fileType;
    const char* name;       // shown to the user
    const char* extension;  // of the files it writes
    const char* muxer;      // FFmpeg's short name; null: a bare picture
    uint32_t flags;         // kRcCompile... flags
    Video video;
    RcOSType videoCode;
    const char* videoName;
    uint32_t depthMask;
    Audio audio;
    RcOSType audioCode;
    const char* audioName;
    const RcAudioFormat* audioFormats;
};

// The exporters this build of FFmpeg can serve (H.264 only with libx264).
const std::vector<Format>& availableFormats();
// The exporter with the file type, null when none.
const Format* formatFor(RcOSType fileType);

}  // namespace ffexport
