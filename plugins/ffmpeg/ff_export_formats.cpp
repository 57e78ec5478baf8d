#include "ff_export_formats.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace ffexport {

namespace {

constexpr RcOSType cc(const char (&s)[5]) {
    return RC_FOURCC(s[0], s[1], s[2], s[3]);
}

constexpr int32_t kAnyPcm = kRcAudio8Mono | kRcAudio8Stereo | kRcAudio16Mono | kRcAudio16Stereo;
constexpr int32_t kSixteen = kRcAudio16Mono | kRcAudio16Stereo;

const RcAudioFormat kPcmFormats[] = {{kAnyPcm, -1}, {0, 0}};
const RcAudioFormat kFlacFormats[] = {{kSixteen, -1}, {0, 0}};
// The sampling rates AAC has tables for; the first is what a project at
// another rate is offered.
const RcAudioFormat kAacFormats[] = {{kAnyPcm, 48000},
                                     {kAnyPcm, 44100},
                                     {kAnyPcm, 96000},
                                     {kAnyPcm, 88200},
                                     {kAnyPcm, 64000},
                                     {kAnyPcm, 32000},
                                     {kAnyPcm, 24000},
                                     {kAnyPcm, 22050},
                                     {kAnyPcm, 16000},
                                     {kAnyPcm, 12000},
                                     {kAnyPcm, 11025},
                                     {kAnyPcm, 8000},
                                     {0, 0}};

constexpr uint32_t kMovie = kRcCompileMakesMovies;
constexpr uint32_t kDepths = kRcDepth24 | kRcDepth32;

const Format kFormats[] = {
    {cc("MKV "), "FFV1 in Matroska (lossless)", "mkv", "matroska", kMovie, Video::Ffv1, cc("FFV1"),
     "FFV1 lossless", kDepths, Audio::Pcm, cc("RAW "), "PCM", kPcmFormats},
    {cc("MPG4"), "H.264 in MPEG-4", "mp4", "mp4", kMovie, Video::H264, cc("avc1"), "H.264",
     kRcDepth24, Audio::Aac, cc("mp4a"), "AAC", kAacFormats},
    {cc("MooV"), "ProRes 422 in QuickTime", "mov", "mov", kMovie, Video::ProRes, cc("apcn"),
     "ProRes 422", kRcDepth24, Audio::Pcm, cc("RAW "), "PCM", kPcmFormats},
    {cc("VfW "), "Uncompressed AVI", "avi", "avi", kMovie, Video::Raw, cc("RAW "), "", kDepths,
     Audio::Pcm, cc("RAW "), "PCM", kPcmFormats},
    {cc("WAVE"), "WAV audio", "wav", "wav", kRcCompileMakesAudio, Video::None, 0, nullptr, 0,
     Audio::Pcm, cc("RAW "), "PCM", kPcmFormats},
    {cc("FLAC"), "FLAC audio", "flac", "flac", kRcCompileMakesAudio, Video::None, 0, nullptr, 0,
     Audio::Flac, cc("FLAC"), "FLAC", kFlacFormats},
    {cc("PNG "), "PNG sequence", "png", nullptr, kMovie | kRcCompileOneFilePerFrame, Video::Png,
     cc("png "), "PNG", kDepths, Audio::None, 0, nullptr, nullptr},
};

}  // namespace

const std::vector<Format>& availableFormats() {
    static const std::vector<Format> formats = [] {
        std::vector<Format> v;
        const bool x264 = avcodec_find_encoder_by_name("libx264") != nullptr;
        for (const Format& f : kFormats)
            if (f.video != Video::H264 || x264) v.push_back(f);
        return v;
    }();
    return formats;
}

const Format* formatFor(RcOSType fileType) {
    for (const Format& f : availableFormats())
        if (f.fileType == fileType) return &f;
    return nullptr;
}

}  // namespace ffexport
