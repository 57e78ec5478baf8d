// One stream of a file being decoded: its own demuxer, the codec, and the
// packet pump between them. Used by the video and the audio reader.
#pragma once

#include <string>

#include "ff_media.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace ffimport {

class StreamDecoder {
  public:
    ~StreamDecoder();
    // Opens the file and the decoder of stream `stream` with up to `threads`
    // codec threads (frame and slice threads, as the codec supports).
    bool open(const std::string& path, int32_t stream, int32_t threads);
    void close();
    bool isOpen() const { return dec_ != nullptr; }

    enum class Next { Frame, End, Error };
    // The next decoded frame into frame(); End after the last one.
    Next next();
    AVFrame* frame() const { return frame_; }
    AVRational timeBase() const;
    // Seeks to the keyframe at or before `ts` (stream time base) and flushes
    // the decoder. False when the demuxer cannot seek. With `keyTs` (the
    // wanted keyframe's presentation time) the packets that show before it
    // are passed over undecoded: demuxers often land a whole group of
    // pictures early, and reading packets costs far less than decoding them.
    bool seek(int64_t ts, int64_t keyTs = AV_NOPTS_VALUE);
    // Back to the first packet: a fresh demuxer and decoder.
    bool restart();

  private:
    bool passOver(const AVPacket* p);

    std::string path_;
    int32_t stream_ = -1, threads_ = 1;
    Demuxer demux_;
    AVCodecContext* dec_ = nullptr;
    AVPacket* pkt_ = nullptr;
    AVFrame* frame_ = nullptr;
    bool flushed_ = false;                 // the end of the stream was sent to the decoder
    int64_t skipBefore_ = AV_NOPTS_VALUE;  // packets showing before this are not decoded
};

// The timestamp a decoded frame shows, AV_NOPTS_VALUE when it has none.
int64_t frameTimestamp(const AVFrame* f);

}  // namespace ffimport
