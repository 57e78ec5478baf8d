// The packet pump shared by the readers. A damaged packet is skipped (the
// decoder reports it and goes on); only a decoder that stops making frames
// for a long run of packets ends the stream with an error, so a hostile file
// cannot keep us reading forever.
#include "ff_decoder.h"

#include <algorithm>

namespace ffimport {

StreamDecoder::~StreamDecoder() {
    close();
}

void StreamDecoder::close() {
    if (dec_) avcodec_free_context(&dec_);
    if (pkt_) av_packet_free(&pkt_);
    if (frame_) av_frame_free(&frame_);
    dec_ = nullptr;
    demux_.close();
    flushed_ = false;
    skipBefore_ = AV_NOPTS_VALUE;
}

bool StreamDecoder::open(const std::string& path, int32_t stream, int32_t threads) {
    close();
    path_ = path;
    stream_ = stream;
    threads_ = std::clamp(threads, 1, 16);
    if (!demux_.open(path) || stream < 0 || unsigned(stream) >= demux_.ctx->nb_streams) {
        close();
        return false;
    }
    for (unsigned i = 0; i < demux_.ctx->nb_streams; ++i)
        if (int(i) != stream) demux_.ctx->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* st = demux_.ctx->streams[stream];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        close();
        return false;
    }
    dec_ = avcodec_alloc_context3(codec);
    pkt_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!dec_ || !pkt_ || !frame_ || avcodec_parameters_to_context(dec_, st->codecpar) < 0) {
        close();
        return false;
    }
    dec_->pkt_timebase = st->time_base;
    dec_->thread_count = threads_;
    dec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(dec_, codec, nullptr) < 0) {
        close();
        return false;
    }
    return true;
}

AVRational StreamDecoder::timeBase() const {
    return demux_.ctx ? demux_.ctx->streams[stream_]->time_base : AVRational{0, 1};
}

StreamDecoder::Next StreamDecoder::next() {
    if (!dec_) return Next::Error;
    // Packets in a row that gave no frame: far more than any codec's delay.
    constexpr int kMaxBarrenPackets = 4096;
    int barren = 0;
    for (;;) {
        const int r = avcodec_receive_frame(dec_, frame_);
        if (r == 0) return Next::Frame;
        if (r == AVERROR_EOF) return Next::End;
        if (r != AVERROR(EAGAIN)) return Next::Error;
        if (flushed_) return Next::End;
        if (++barren > kMaxBarrenPackets) return Next::Error;
        if (av_read_frame(demux_.ctx, pkt_) < 0) {
            avcodec_send_packet(dec_, nullptr);
            flushed_ = true;
            continue;
        }
        if (pkt_->stream_index == stream_) {
            // Packets passed over move through the file: they end at its end.
            if (passOver(pkt_))
                barren = 0;
            else
                avcodec_send_packet(dec_, pkt_);
        }
        av_packet_unref(pkt_);
    }
}

bool StreamDecoder::seek(int64_t ts, int64_t keyTs) {
    if (!dec_) return false;
    skipBefore_ = AV_NOPTS_VALUE;
    if (av_seek_frame(demux_.ctx, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(dec_);
    flushed_ = false;
    skipBefore_ = keyTs;
    return true;
}

// Until the wanted keyframe arrives, packets that show before it belong to
// earlier groups of pictures that the keyframe does not need. The first
// packet at or after it (or without a time) ends the passing over, so a
// seek that lands late still decodes everything from there on.
bool StreamDecoder::passOver(const AVPacket* p) {
    if (skipBefore_ == AV_NOPTS_VALUE) return false;
    const int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
    if (ts != AV_NOPTS_VALUE && ts < skipBefore_) return true;
    skipBefore_ = AV_NOPTS_VALUE;
    return false;
}

bool StreamDecoder::restart() {
    const std::string path = path_;
    return open(path, stream_, threads_);
}

int64_t frameTimestamp(const AVFrame* f) {
    return f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
}

}  // namespace ffimport
