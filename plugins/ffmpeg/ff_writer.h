// Writing one movie or sound file through libavformat: the encoders the
// exporter's format names, fed with the host's 32-bit bottom-up pictures and
// its interleaved 8- or 16-bit audio. Everything goes to a temporary file
// beside the target, which takes the target's name only once the file is
// complete; a writer that is abandoned (or destroyed unfinished) removes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ff_export_formats.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;

namespace ffexport {

struct WriterSettings {
    bool video = false, audio = false;
    int32_t width = 0, height = 0;
    int32_t timeScale = 25, timeSampleSize = 1;  // frames per second = scale / samp
    bool alpha = false;                          // 32-bit depth: keep alpha where the codec can
    int32_t aspectNum = 0, aspectDen = 0;        // pixel aspect; 0 unset
    int32_t keyframeEvery = 0;                   // > 1: at most this many frames between keys
    int32_t audioRate = 0, channels = 2, bitsPerSample = 16;
    int32_t crf = 23;
    int32_t threads = 0;  // 0: the codec chooses
    std::string preset;   // libx264's; empty: its default
};

// Module results for what can go wrong (kRcCompile... codes, 17 for a
// failed write, which the host reports as an input/output error).
constexpr int32_t kWriteFailed = 17;

// A name beside `target` that no file has yet, created empty (mode 0666
// less the umask); "" with errno set when none can be made.
std::string makeTemporaryBeside(const std::string& target);
// The module result for an errno from creating or renaming a file.
int32_t resultForErrno(int err);

class Writer {
  public:
    Writer(const Format& format, WriterSettings settings);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Sets up the encoders and starts the temporary file; 0 or a result.
    int32_t open(const std::string& target);
    // The next picture: B, G, R, A bytes, rows bottom-up `rowBytes` apart.
    int32_t writeVideo(const uint8_t* pixels, int32_t rowBytes);
    // Interleaved sample frames in the settings' format.
    int32_t writeAudio(const uint8_t* samples, int32_t bytes);
    // Drains the encoders, ends the file and gives it the target's name.
    int32_t finish();
    // Stops and removes the temporary file; the target is not touched.
    void abandon();
    const std::string& temporaryPath() const { return temporary_; }

  private:
    int32_t openVideo();
    int32_t openAudio();
    int32_t encode(AVCodecContext* ctx, AVStream* stream, AVFrame* frame);
    int32_t encodePendingAudio(bool last);
    void release();

    Format format_;
    WriterSettings s_;
    std::string target_, temporary_;
    AVFormatContext* out_ = nullptr;
    AVCodecContext* videoCtx_ = nullptr;
    AVCodecContext* audioCtx_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
    SwrContext* swr_ = nullptr;
    int64_t frames_ = 0;          // pictures sent
    int64_t samples_ = 0;         // sample frames sent
    int32_t audioFrameSize_ = 0;  // sample frames per encoder frame
    int32_t inFrameBytes_ = 0;    // bytes of one input sample frame
    std::vector<uint8_t> pending_;
    bool headerWritten_ = false, finished_ = false;
};

// One picture as a PNG file (alpha kept when `alpha`), written beside the
// target and renamed; 0 or a result.
int32_t writePngPicture(const uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height,
                        bool alpha, const std::string& target);

}  // namespace ffexport
