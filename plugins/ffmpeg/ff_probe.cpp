// Describing a file: choose its video and audio streams, check what their
// headers claim, and read every packet once to learn the true frame list,
// keyframes and length (headers of everyday files are often wrong about all
// three).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ff_media.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

namespace ffimport {

Demuxer::~Demuxer() {
    close();
}

bool Demuxer::open(const std::string& path) {
    close();
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) {
        ctx = nullptr;
        return false;
    }
    if (avformat_find_stream_info(ctx, nullptr) < 0) {
        close();
        return false;
    }
    return true;
}

void Demuxer::close() {
    if (ctx) avformat_close_input(&ctx);
    ctx = nullptr;
}

namespace {

bool stillFormat(const AVInputFormat* f) {
    const std::string name = f && f->name ? f->name : "";
    return name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
}

// The exact frame rate: the container's declared rate when it agrees with
// the measured average (it is usually the exact rational, 24000/1001 where
// the average is a rounded fraction), else the average (variable rate).
void chooseRate(const AVStream* st, VideoFacts& v) {
    AVRational rate = st->avg_frame_rate;
    const AVRational declared = st->r_frame_rate;
    const bool avgOk = rate.num > 0 && rate.den > 0;
    const bool declaredOk = declared.num > 0 && declared.den > 0;
    if (declaredOk && (!avgOk || std::fabs(av_q2d(rate) / av_q2d(declared) - 1) < 0.002))
        rate = declared;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000 || av_q2d(rate) < 0.01)
        rate = AVRational{25, 1};
    int num = 0, den = 0;
    av_reduce(&num, &den, rate.num, rate.den, INT32_MAX);
    v.rateNum = num;
    v.rateDen = den > 0 ? den : 1;
}

bool describeVideo(AVFormatContext* ctx, int index, VideoFacts& v) {
    const AVStream* st = ctx->streams[index];
    const AVCodecParameters* par = st->codecpar;
    if (!avcodec_find_decoder(par->codec_id)) return false;
    if (par->width <= 0 || par->height <= 0 || par->width > kMaxDimension ||
        par->height > kMaxDimension || int64_t(par->width) * par->height > kMaxPixels)
        return false;
    v.stream = index;
    v.width = par->width;
    v.height = par->height;
    chooseRate(st, v);
    AVRational sar = av_guess_sample_aspect_ratio(ctx, const_cast<AVStream*>(st), nullptr);
    if (sar.num > 0 && sar.den > 0) {
        int num = 1, den = 1;
        av_reduce(&num, &den, sar.num, sar.den, 65535);
        if (num > 0 && den > 0) v.aspectNum = num, v.aspectDen = den;
    }
    int order = 0;  // as a plain number: containers may carry anything here
    std::memcpy(&order, &par->field_order, sizeof order);
    switch (order) {
        case AV_FIELD_TT:
        case AV_FIELD_TB:
            v.fieldOrder = 1;
            break;
        case AV_FIELD_BB:
        case AV_FIELD_BT:
            v.fieldOrder = 2;
            break;
        default:
            v.fieldOrder = 0;
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(par->format));
    v.alpha = desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA);
    return true;
}

bool describeAudio(AVFormatContext* ctx, int index, AudioFacts& a) {
    const AVCodecParameters* par = ctx->streams[index]->codecpar;
    if (!avcodec_find_decoder(par->codec_id)) return false;
    if (par->sample_rate <= 0 || par->sample_rate > kMaxAudioRate) return false;
    if (par->ch_layout.nb_channels <= 0 || par->ch_layout.nb_channels > 64) return false;
    a.stream = index;
    a.rate = par->sample_rate;
    a.channels = par->ch_layout.nb_channels;
    return true;
}

// A timecode tag's text as "hh:mm:ss:ff", or "hh:mm:ss;ff" when any
// separator marks drop-frame (';', '.' or ','); empty when the text is not
// four groups of digits with minutes and seconds below 60. Tags are free
// text in a file, so nothing else gets through.
std::string normalTimecode(const char* text) {
    int parts[4] = {0, 0, 0, 0};
    bool drop = false;
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        int digits = 0;
        while (*p >= '0' && *p <= '9' && digits < 3)
            parts[i] = parts[i] * 10 + (*p++ - '0'), ++digits;
        if (digits == 0 || (i < 3 && digits > 2)) return {};
        if (i == 3) break;
        if (*p == ';' || *p == '.' || *p == ',')
            drop = true;
        else if (*p != ':')
            return {};
        ++p;
    }
    if (*p != '\0' || parts[1] >= 60 || parts[2] >= 60) return {};
    char out[48];
    std::snprintf(out, sizeof out, "%02d:%02d:%02d%c%02d", parts[0], parts[1], parts[2],
                  drop ? ';' : ':', parts[3]);
    return out;
}

// The container's timecode tag, else the first stream's (a timecode track
// in QuickTime and MP4 files shows as a data stream carrying the tag).
std::string findTimecode(AVFormatContext* ctx) {
    if (const AVDictionaryEntry* e = av_dict_get(ctx->metadata, "timecode", nullptr, 0))
        if (std::string tc = normalTimecode(e->value); !tc.empty()) return tc;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (const AVDictionaryEntry* e =
                av_dict_get(ctx->streams[i]->metadata, "timecode", nullptr, 0))
            if (std::string tc = normalTimecode(e->value); !tc.empty()) return tc;
    return {};
}

// Sample frames in audio packets whose size does not tell them (Vorbis and
// Opus, whose frames vary in length): the codec's bitstream parser reads
// them from each packet's header.
class PacketSamples {
  public:
    explicit PacketSamples(const AVCodecParameters* par) {
        parser_ = av_parser_init(par->codec_id);
        codec_ = avcodec_alloc_context3(nullptr);
        if (!parser_ || !codec_ || avcodec_parameters_to_context(codec_, par) < 0)
            release();
        else
            parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }
    ~PacketSamples() { release(); }
    PacketSamples(const PacketSamples&) = delete;
    PacketSamples& operator=(const PacketSamples&) = delete;

    // The packet's sample frames, -1 when the parser does not say.
    int of(const AVPacket* p) {
        if (!parser_ || p->size <= 0) return -1;
        uint8_t* out = nullptr;
        int outSize = 0;
        parser_->duration = -1;
        av_parser_parse2(parser_, codec_, &out, &outSize, p->data, p->size, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        return outSize == p->size ? parser_->duration : -1;
    }

  private:
    void release() {
        if (parser_) av_parser_close(parser_);
        if (codec_) avcodec_free_context(&codec_);
        parser_ = nullptr;
    }
    AVCodecParserContext* parser_ = nullptr;
    AVCodecContext* codec_ = nullptr;
};

// The samples the decoder drops from the start of the stream's first packet
// (encoder priming): as the demuxer marks them on the packet, else Opus'
// pre-skip from its header ("OpusHead", version, channels, pre-skip).
int64_t skipAtStart(const AVPacket* p, const AVCodecParameters* par) {
    size_t size = 0;
    const uint8_t* d = av_packet_get_side_data(p, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (d && size >= 4) {
        const uint32_t skip =
            uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
        if (skip > 0) return skip;
    }
    if (par->codec_id == AV_CODEC_ID_OPUS && par->extradata && par->extradata_size >= 12 &&
        std::memcmp(par->extradata, "OpusHead", 8) == 0)
        return par->extradata[10] | par->extradata[11] << 8;
    return 0;
}

// Reads every packet: the video frame list and keyframes, the audio's end.
void scanPackets(AVFormatContext* ctx, MediaFacts& f) {
    VideoFacts& v = f.video;
    AudioFacts& a = f.audio;
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return;
    int64_t videoPackets = 0;
    int64_t audioStart = AV_NOPTS_VALUE, audioEnd = AV_NOPTS_VALUE;
    int64_t counted = 0;  // sample frames of the audio packets so far
    bool countable = a.stream >= 0;
    AVCodecParameters* apar = a.stream >= 0 ? ctx->streams[a.stream]->codecpar : nullptr;
    std::unique_ptr<PacketSamples> parsed;
    int64_t firstSkip = 0;  // priming samples the decoder drops from the first packet
    // Timestamps coarser than a sample (Matroska's milliseconds) do not
    // place a packet exactly: there the codec's parser counts its samples.
    const AVRational atb = a.stream >= 0 ? ctx->streams[a.stream]->time_base : AVRational{0, 1};
    const bool coarse =
        a.stream >= 0 && atb.num > 0 && int64_t(atb.den) < int64_t(atb.num) * a.rate;
    constexpr int64_t kMaxPackets = int64_t(1) << 26;
    for (int64_t n = 0; n < kMaxPackets && av_read_frame(ctx, pkt) >= 0; ++n) {
        if (pkt->stream_index == v.stream && !(pkt->flags & AV_PKT_FLAG_DISCARD)) {
            ++videoPackets;
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (ts == AV_NOPTS_VALUE) v.timestamped = false;
            if (v.timestamped) {
                v.pts.push_back(ts);
                if (pkt->flags & AV_PKT_FLAG_KEY) {
                    const int64_t seek = pkt->dts != AV_NOPTS_VALUE ? std::min(pkt->dts, ts) : ts;
                    v.keys.push_back({seek, ts});
                }
            }
        } else if (pkt->stream_index == a.stream) {
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            int samples = av_get_audio_frame_duration2(apar, pkt->size);
            if (samples <= 0 && countable && coarse) {
                if (!parsed) parsed = std::make_unique<PacketSamples>(apar);
                samples = parsed->of(pkt);
                // The Vorbis decoder makes no sound from the stream's first
                // packet (it only primes the overlap), whatever its header says.
                if (apar->codec_id == AV_CODEC_ID_VORBIS && a.packets.empty() && samples > 0)
                    samples = 0;
            }
            if (a.packets.empty() && countable) firstSkip = skipAtStart(pkt, apar);
            if (samples < 0 || ts == AV_NOPTS_VALUE ||
                (!a.packets.empty() && ts <= a.packets.back().pts))
                countable = false;
            if (countable) {
                a.packets.push_back({ts, counted});
                counted += samples;
            }
            if (ts != AV_NOPTS_VALUE) {
                if (audioStart == AV_NOPTS_VALUE || ts < audioStart) audioStart = ts;
                const int64_t end = ts + std::max<int64_t>(pkt->duration, 0);
                if (audioEnd == AV_NOPTS_VALUE || end > audioEnd) audioEnd = end;
            }
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);

    if (v.stream >= 0) {
        if (v.timestamped) {
            // Equal times stay: both frames exist and are decoded.
            std::sort(v.pts.begin(), v.pts.end());
            std::sort(
                v.keys.begin(), v.keys.end(),
                [](const VideoFacts::Key& x, const VideoFacts::Key& y) { return x.pts < y.pts; });
            v.frames = int64_t(v.pts.size());
        } else {
            v.pts.clear();
            v.keys.clear();
            v.frames = videoPackets;
        }
    }
    const AVRational vtb = v.stream >= 0 ? ctx->streams[v.stream]->time_base : AVRational{0, 1};
    if (v.stream >= 0 && v.timestamped && !v.pts.empty()) {
        f.origin = double(v.pts.front()) * av_q2d(vtb);
    } else if (a.stream >= 0) {
        // The stream's start leaves out the encoder's priming samples, which
        // the decoder drops (they carry timestamps before it).
        const AVStream* st = ctx->streams[a.stream];
        const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : audioStart;
        if (start != AV_NOPTS_VALUE) f.origin = double(start) * av_q2d(st->time_base);
    }
    if (a.stream >= 0 && audioEnd != AV_NOPTS_VALUE) {
        const double end = double(audioEnd) * av_q2d(atb);
        a.frames = std::max<int64_t>(0, std::llround((end - f.origin) * a.rate));
        if (countable && !a.packets.empty()) {
            // Where the first packet's sound starts: its timestamp, or when
            // the decoder drops priming samples from it, that many before
            // the stream's start (exact where the timestamps are rounded).
            const AVStream* st = ctx->streams[a.stream];
            const int64_t first =
                firstSkip > 0 && st->start_time != AV_NOPTS_VALUE
                    ? std::llround((double(st->start_time) * av_q2d(atb) - f.origin) * a.rate) -
                          firstSkip
                    : std::llround((double(a.packets.front().pts) * av_q2d(atb) - f.origin) *
                                   a.rate);
            // Counts that disagree with the timestamps by more than a tenth
            // of a second (and a little for rounding) are not believed.
            const int64_t byCount = first + counted;
            if (std::llabs(byCount - a.frames) > a.rate / 10 + a.frames / 100) {
                countable = false;
            } else {
                for (AudioFacts::Packet& p : a.packets) p.position += first;
                a.frames = std::max<int64_t>(0, byCount);
                a.firstSound = first + firstSkip;
            }
        }
    }
    if (!countable) a.packets.clear();
}

}  // namespace

bool probeMedia(const std::string& path, MediaFacts& facts) {
    facts = MediaFacts{};
    Demuxer d;
    if (!d.open(path)) return false;
    AVFormatContext* ctx = d.ctx;
    const int vi = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (vi >= 0 && !(ctx->streams[vi]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        describeVideo(ctx, vi, facts.video);
    const int ai = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (ai >= 0) describeAudio(ctx, ai, facts.audio);
    if (facts.video.stream < 0 && facts.audio.stream < 0) return false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (int(i) != facts.video.stream && int(i) != facts.audio.stream)
            ctx->streams[i]->discard = AVDISCARD_ALL;
    facts.timecode = findTimecode(ctx);
    scanPackets(ctx, facts);
    VideoFacts& v = facts.video;
    if (v.stream >= 0 && v.frames == 0) v = VideoFacts{};  // a video stream without pictures
    if (v.stream >= 0) v.still = stillFormat(ctx->iformat) && v.frames == 1;
    if (facts.audio.stream >= 0 && facts.audio.frames == 0) facts.audio = AudioFacts{};
    return v.stream >= 0 || facts.audio.stream >= 0;
}

}  // namespace ffimport
