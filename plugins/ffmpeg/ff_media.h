// The FFmpeg importer's view of one media file: what the file holds (found
// once by reading every packet), a video reader that returns frame N of the
// file in presentation order, and an audio reader that returns sample frames
// from any position. Readers keep their own demuxer and decoder, so
// sequential reads never seek and video and audio never disturb each other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace ffimport {

// Limits on what a file may claim before we refuse it: nothing sane is larger
// and a lying header must not make us allocate gigabytes.
constexpr int32_t kMaxDimension = 16384;
constexpr int64_t kMaxPixels = int64_t(8192) * 8192;
constexpr int32_t kMaxAudioRate = 768000;

struct VideoFacts {
    int32_t stream = -1;
    int32_t width = 0, height = 0;
    int32_t rateNum = 0, rateDen = 1;      // frames per second, exact
    int32_t aspectNum = 1, aspectDen = 1;  // pixel (sample) aspect ratio
    int32_t fieldOrder = 0;                // 0 progressive, 1 upper first, 2 lower first
    bool alpha = false;
    bool still = false;
    int64_t frames = 0;
    // Presentation timestamps of every frame in order, and the decode
    // timestamps of the keyframes with the presentation time each shows.
    std::vector<int64_t> pts;
    struct Key {
        int64_t seekTs;  // where to seek (the earlier of its dts and pts)
        int64_t pts;
    };
    std::vector<Key> keys;
    bool timestamped = true;  // false: frames are counted from the start
};

struct AudioFacts {
    int32_t stream = -1;
    int32_t rate = 0;
    int32_t channels = 0;  // of the stream; we deliver one or two
    int64_t frames = 0;    // sample frames from the origin to the end
    // Each packet's timestamp and the sample frame it starts at, counted
    // from the packet sizes: exact where timestamps are coarser than a
    // sample (milliseconds in Matroska). Empty when sizes do not tell.
    struct Packet {
        int64_t pts;
        int64_t position;
    };
    std::vector<Packet> packets;
    // With packets: where the decoder's first sample from the stream's
    // start lies (after the priming samples it drops).
    int64_t firstSound = 0;
};

struct MediaFacts {
    VideoFacts video;
    AudioFacts audio;
    // Audio sample 0 plays with video frame 0: the first video timestamp
    // (in seconds) when there is video, else the audio stream's start.
    double origin = 0;
    // The start timecode, "hh:mm:ss:ff" (';' before the frames for
    // drop-frame); empty when the file has none or its text is no timecode.
    std::string timecode;
};

// An open demuxer; closes itself.
struct Demuxer {
    AVFormatContext* ctx = nullptr;
    ~Demuxer();
    bool open(const std::string& path);
    void close();
};

// Reads the whole file once and describes it. False when libavformat cannot
// read it or it has neither a usable video nor a usable audio stream.
bool probeMedia(const std::string& path, MediaFacts& facts);

struct VideoState;
struct AudioState;

class MediaSource {
  public:
    explicit MediaSource(std::string path);
    ~MediaSource();
    bool open(int32_t threads);
    const MediaFacts& facts() const { return facts_; }

    // Frame `index` (presentation order) scaled to width x height as B, G,
    // R, A pixels: the top row at `pixels`, each next row `stride` bytes on.
    // `opaque` (when given) tells whether every alpha written is 255.
    bool readVideo(int64_t index, int32_t width, int32_t height, uint8_t* pixels, int64_t stride,
                   bool* opaque = nullptr);
    // `count` sample frames from `first` as 16-bit signed or 8-bit unsigned,
    // one or two channels; silence outside the sound.
    bool readAudio(int64_t first, int32_t count, bool wide, bool stereo, uint8_t* out);
    // Lets go of decoders and files; the next read opens them again.
    void quiet();

  private:
    std::string path_;
    int32_t threads_ = 1;
    MediaFacts facts_;
    std::unique_ptr<VideoState> video_;
    std::unique_ptr<AudioState> audio_;
};

}  // namespace ffimport
