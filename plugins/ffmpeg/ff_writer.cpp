#include "ff_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ffexport {

namespace {

// Sample frames per encoder frame for codecs that take any number.
constexpr int32_t kVariableFrameSamples = 4096;

AVPixelFormat pixelFormatFor(Video v, bool alpha, int32_t width, int32_t height) {
    switch (v) {
        case Video::Ffv1:
            return alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
        case Video::H264:
            // 4:2:0 needs even sides; odd pictures keep every chroma sample.
            return (width % 2 || height % 2) ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
        case Video::ProRes:
            return AV_PIX_FMT_YUV422P10LE;
        case Video::Raw:
            return alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        case Video::Png:
            return alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        case Video::None:
            break;
    }
    return AV_PIX_FMT_NONE;
}

const char* videoEncoderFor(Video v) {
    switch (v) {
        case Video::Ffv1:
            return "ffv1";
        case Video::H264:
            return "libx264";
        case Video::ProRes:
            return "prores_ks";
        case Video::Raw:
            return "rawvideo";
        case Video::Png:
            return "png";
        case Video::None:
            break;
    }
    return nullptr;
}

const char* audioEncoderFor(Audio a, int32_t bits) {
    switch (a) {
        case Audio::Pcm:
            return bits == 8 ? "pcm_u8" : "pcm_s16le";
        case Audio::Aac:
            return "aac";
        case Audio::Flac:
            return "flac";
        case Audio::None:
            break;
    }
    return nullptr;
}

// Copies the host's bottom-up 32-bit rows top-down into a packed picture of
// the same layout (B, G, R, A or B, G, R, unused).
void copyFlipped(const uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height,
                 AVFrame* frame) {
    const size_t bytes = size_t(width) * 4;
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(frame->data[0] + int64_t(y) * frame->linesize[0],
                    pixels + int64_t(height - 1 - y) * rowBytes, bytes);
}

// The host's picture through swscale into the frame's format, top row first.
bool convert(SwsContext* sws, const uint8_t* pixels, int32_t rowBytes, int32_t height,
             AVFrame* frame) {
    const uint8_t* src[4] = {pixels + int64_t(height - 1) * rowBytes, nullptr, nullptr, nullptr};
    const int srcStride[4] = {-rowBytes, 0, 0, 0};
    return sws_scale(sws, src, srcStride, 0, height, frame->data, frame->linesize) == height;
}

SwsContext* converterTo(AVPixelFormat to, int32_t width, int32_t height) {
    return sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, to, SWS_BICUBIC, nullptr,
                          nullptr, nullptr);
}

}  // namespace

std::string makeTemporaryBeside(const std::string& target) {
    for (int32_t attempt = 0; attempt < 1000; ++attempt) {
        const std::string name =
            target + ".reel-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".part";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) return "";
    }
    errno = EEXIST;
    return "";
}

int32_t resultForErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return kRcCompileFileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kRcCompilePermission;
        case EMFILE:
        case ENFILE:
            return kRcCompileTooManyFiles;
        case ENOMEM:
            return kRcCompileOutOfMemory;
        case EBUSY:
        case ETXTBSY:
            return kRcCompileFileBusy;
        default:
            return kWriteFailed;
    }
}

Writer::Writer(const Format& format, WriterSettings settings)
    : format_(format), s_(std::move(settings)) {}

Writer::~Writer() {
    if (!finished_) abandon();
    release();
}

void Writer::release() {
    avcodec_free_context(&videoCtx_);
    avcodec_free_context(&audioCtx_);
    av_frame_free(&picture_);
    av_frame_free(&sound_);
    av_packet_free(&packet_);
    sws_freeContext(sws_);
    sws_ = nullptr;
    swr_free(&swr_);
    if (out_) {
        if (out_->pb) avio_closep(&out_->pb);
        avformat_free_context(out_);
        out_ = nullptr;
    }
}

int32_t Writer::openVideo() {
    const AVPixelFormat pixfmt = pixelFormatFor(format_.video, s_.alpha, s_.width, s_.height);
    const AVCodec* codec = avcodec_find_encoder_by_name(videoEncoderFor(format_.video));
    if (!codec || pixfmt == AV_PIX_FMT_NONE) return kRcCompileOpenFailed;
    videoCtx_ = avcodec_alloc_context3(codec);
    if (!videoCtx_) return kRcCompileOutOfMemory;
    AVCodecContext* c = videoCtx_;
    c->width = s_.width;
    c->height = s_.height;
    c->pix_fmt = pixfmt;
    int num = 1, den = 25;
    av_reduce(&num, &den, std::max(s_.timeSampleSize, 1), std::max(s_.timeScale, 1), INT32_MAX);
    c->time_base = AVRational{num, den};
    c->framerate = AVRational{den, num};
    if (s_.aspectNum > 0 && s_.aspectDen > 0)
        c->sample_aspect_ratio = AVRational{s_.aspectNum, s_.aspectDen};
    c->thread_count = std::max(s_.threads, 0);
    if (s_.keyframeEvery > 1) c->gop_size = s_.keyframeEvery;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    switch (format_.video) {
        case Video::Ffv1:
            c->level = 3;  // slices, so the encoder can use threads
            break;
        case Video::H264:
            av_opt_set_double(c->priv_data, "crf", std::clamp(s_.crf, 0, 51), 0);
            if (!s_.preset.empty()) av_opt_set(c->priv_data, "preset", s_.preset.c_str(), 0);
            if (pixfmt == AV_PIX_FMT_YUV420P) {
                c->colorspace = AVCOL_SPC_SMPTE170M;  // what swscale converts with
                c->color_range = AVCOL_RANGE_MPEG;
            }
            break;
        case Video::ProRes:
            av_opt_set(c->priv_data, "profile", "standard", 0);
            c->colorspace = AVCOL_SPC_SMPTE170M;
            c->color_range = AVCOL_RANGE_MPEG;
            break;
        default:
            break;
    }
    if (avcodec_open2(c, codec, nullptr) < 0) return kRcCompileOpenFailed;
    videoStream_ = avformat_new_stream(out_, nullptr);
    if (!videoStream_) return kRcCompileOutOfMemory;
    if (avcodec_parameters_from_context(videoStream_->codecpar, c) < 0)
        return kRcCompileOutOfMemory;
    videoStream_->time_base = c->time_base;
    videoStream_->avg_frame_rate = c->framerate;
    videoStream_->r_frame_rate = c->framerate;
    videoStream_->sample_aspect_ratio = c->sample_aspect_ratio;

    picture_ = av_frame_alloc();
    if (!picture_) return kRcCompileOutOfMemory;
    picture_->format = pixfmt;
    picture_->width = s_.width;
    picture_->height = s_.height;
    if (av_frame_get_buffer(picture_, 0) < 0) return kRcCompileOutOfMemory;
    if (pixfmt != AV_PIX_FMT_BGRA && pixfmt != AV_PIX_FMT_BGR0) {
        sws_ = converterTo(pixfmt, s_.width, s_.height);
        if (!sws_) return kRcCompileOutOfMemory;
    }
    return kRcCompileOK;
}

int32_t Writer::openAudio() {
    const bool wide = s_.bitsPerSample != 8;
    const AVCodec* codec =
        avcodec_find_encoder_by_name(audioEncoderFor(format_.audio, s_.bitsPerSample));
    if (!codec || !codec->sample_fmts || s_.audioRate <= 0) return kRcCompileOpenFailed;
    audioCtx_ = avcodec_alloc_context3(codec);
    if (!audioCtx_) return kRcCompileOutOfMemory;
    AVCodecContext* c = audioCtx_;
    c->sample_fmt = codec->sample_fmts[0];
    c->sample_rate = s_.audioRate;
    c->time_base = AVRational{1, s_.audioRate};
    const int channels = s_.channels == 1 ? 1 : 2;
    av_channel_layout_default(&c->ch_layout, channels);
    if (format_.audio == Audio::Flac) c->bits_per_raw_sample = 16;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) return kRcCompileOpenFailed;
    audioStream_ = avformat_new_stream(out_, nullptr);
    if (!audioStream_) return kRcCompileOutOfMemory;
    if (avcodec_parameters_from_context(audioStream_->codecpar, c) < 0)
        return kRcCompileOutOfMemory;
    audioStream_->time_base = c->time_base;

    const bool variable = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    audioFrameSize_ = (c->frame_size > 0 && !variable) ? c->frame_size : kVariableFrameSamples;
    inFrameBytes_ = (wide ? 2 : 1) * channels;
    const AVSampleFormat in = wide ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_U8;
    if (swr_alloc_set_opts2(&swr_, &c->ch_layout, c->sample_fmt, c->sample_rate, &c->ch_layout, in,
                            c->sample_rate, 0, nullptr) < 0 ||
        swr_init(swr_) < 0)
        return kRcCompileOutOfMemory;
    sound_ = av_frame_alloc();
    if (!sound_) return kRcCompileOutOfMemory;
    return kRcCompileOK;
}

int32_t Writer::open(const std::string& target) {
    target_ = target;
    if (!format_.muxer) return kRcCompileOpenFailed;
    if (avformat_alloc_output_context2(&out_, nullptr, format_.muxer, nullptr) < 0 || !out_)
        return kRcCompileOutOfMemory;
    packet_ = av_packet_alloc();
    if (!packet_) return kRcCompileOutOfMemory;
    if (s_.video && format_.video != Video::None)
        if (const int32_t r = openVideo()) return r;
    if (s_.audio && format_.audio != Audio::None)
        if (const int32_t r = openAudio()) return r;
    if (!videoCtx_ && !audioCtx_) return kRcCompileOpenFailed;

    temporary_ = makeTemporaryBeside(target);
    if (temporary_.empty()) return resultForErrno(errno);
    if (avio_open(&out_->pb, temporary_.c_str(), AVIO_FLAG_WRITE) < 0) return kWriteFailed;
    if (avformat_write_header(out_, nullptr) < 0) return kWriteFailed;
    headerWritten_ = true;
    return kRcCompileOK;
}

int32_t Writer::encode(AVCodecContext* ctx, AVStream* stream, AVFrame* frame) {
    if (avcodec_send_frame(ctx, frame) < 0) return kWriteFailed;
    for (;;) {
        const int r = avcodec_receive_packet(ctx, packet_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return kRcCompileOK;
        if (r < 0) return kWriteFailed;
        av_packet_rescale_ts(packet_, ctx->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        if (av_interleaved_write_frame(out_, packet_) < 0) return kWriteFailed;
    }
}

int32_t Writer::writeVideo(const uint8_t* pixels, int32_t rowBytes) {
    if (!videoCtx_ || !headerWritten_ || !pixels) return kWriteFailed;
    if (av_frame_make_writable(picture_) < 0) return kRcCompileOutOfMemory;
    if (sws_) {
        if (!convert(sws_, pixels, rowBytes, s_.height, picture_)) return kWriteFailed;
    } else {
        copyFlipped(pixels, rowBytes, s_.width, s_.height, picture_);
    }
    picture_->pts = frames_++;
    picture_->key_frame = 0;
    picture_->pict_type = AV_PICTURE_TYPE_NONE;
    return encode(videoCtx_, videoStream_, picture_);
}

int32_t Writer::encodePendingAudio(bool last) {
    AVCodecContext* c = audioCtx_;
    const bool anySize = (c->codec->capabilities &
                          (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME)) != 0;
    size_t at = 0;
    for (;;) {
        const int32_t have = int32_t((pending_.size() - at) / size_t(inFrameBytes_));
        if (have == 0 || (have < audioFrameSize_ && !last)) break;
        const int32_t count = std::min(have, audioFrameSize_);
        // A short last frame is padded with silence when the codec needs whole frames.
        const int32_t frameSamples =
            (count < audioFrameSize_ && !anySize) ? audioFrameSize_ : count;
        av_frame_unref(sound_);
        sound_->format = c->sample_fmt;
        sound_->sample_rate = c->sample_rate;
        sound_->nb_samples = frameSamples;
        if (av_channel_layout_copy(&sound_->ch_layout, &c->ch_layout) < 0 ||
            av_frame_get_buffer(sound_, 0) < 0)
            return kRcCompileOutOfMemory;
        if (frameSamples > count)
            av_samples_set_silence(sound_->data, 0, frameSamples, c->ch_layout.nb_channels,
                                   c->sample_fmt);
        const uint8_t* in[1] = {pending_.data() + at};
        if (swr_convert(swr_, sound_->data, count, in, count) != count) return kWriteFailed;
        sound_->pts = samples_;
        samples_ += frameSamples;
        at += size_t(count) * size_t(inFrameBytes_);
        if (const int32_t r = encode(c, audioStream_, sound_)) return r;
    }
    pending_.erase(pending_.begin(), pending_.begin() + ptrdiff_t(at));
    return kRcCompileOK;
}

int32_t Writer::writeAudio(const uint8_t* samples, int32_t bytes) {
    if (!audioCtx_ || !headerWritten_) return kWriteFailed;
    if (bytes <= 0 || !samples) return kRcCompileOK;
    pending_.insert(pending_.end(), samples, samples + bytes);
    return encodePendingAudio(false);
}

int32_t Writer::finish() {
    if (!headerWritten_ || finished_) return kWriteFailed;
    if (videoCtx_)
        if (const int32_t r = encode(videoCtx_, videoStream_, nullptr)) return r;
    if (audioCtx_) {
        if (const int32_t r = encodePendingAudio(true)) return r;
        if (const int32_t r = encode(audioCtx_, audioStream_, nullptr)) return r;
    }
    if (av_write_trailer(out_) < 0) return kWriteFailed;
    if (avio_closep(&out_->pb) < 0) return kWriteFailed;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return resultForErrno(errno);
    finished_ = true;
    return kRcCompileOK;
}

void Writer::abandon() {
    if (out_ && out_->pb) avio_closep(&out_->pb);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    headerWritten_ = false;
}

int32_t writePngPicture(const uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height,
                        bool alpha, const std::string& target) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec || !pixels || width <= 0 || height <= 0) return kRcCompileOpenFailed;
    const AVPixelFormat pixfmt = pixelFormatFor(Video::Png, alpha, width, height);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* sws = converterTo(pixfmt, width, height);
    int32_t result = kRcCompileOutOfMemory;
    if (c && frame && packet && sws) {
        c->width = width;
        c->height = height;
        c->pix_fmt = pixfmt;
        c->time_base = AVRational{1, 25};
        frame->format = pixfmt;
        frame->width = width;
        frame->height = height;
        result = kRcCompileOpenFailed;
        if (avcodec_open2(c, codec, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0) {
            result = kWriteFailed;
            if (convert(sws, pixels, rowBytes, height, frame) &&
                avcodec_send_frame(c, frame) >= 0 && avcodec_receive_packet(c, packet) >= 0)
                result = kRcCompileOK;
        }
    }
    if (result == kRcCompileOK) {
        const std::string temporary = makeTemporaryBeside(target);
        FILE* f = temporary.empty() ? nullptr : std::fopen(temporary.c_str(), "wb");
        if (!f) {
            result = resultForErrno(errno);
        } else {
            const bool written =
                std::fwrite(packet->data, 1, size_t(packet->size), f) == size_t(packet->size);
            const bool closed = std::fclose(f) == 0;
            if (!written || !closed)
                result = kWriteFailed;
            else if (std::rename(temporary.c_str(), target.c_str()) != 0)
                result = resultForErrno(errno);
        }
        if (result != kRcCompileOK && !temporary.empty()) ::unlink(temporary.c_str());
    }
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return result;
}

}  // namespace ffexport
