// Sample-exact audio: sample frame 0 plays with video frame 0 (see
// MediaFacts::origin). Decoded sound is converted to 16-bit signed or 8-bit
// unsigned, interleaved, mono or stereo (more channels are mixed down), at
// the stream's own rate, and kept in a window so that overlapping requests
// (the host reads a margin around every second) decode nothing twice.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ff_decoder.h"
#include "ff_media.h"
#include "ff_state.h"

extern "C" {
#include <libswresample/swresample.h>
}

namespace ffimport {

AudioState::~AudioState() {
    if (swr) swr_free(&swr);
    av_channel_layout_uninit(&inLayout);
}

namespace {

// Decoding starts this far before a seek target: codecs with overlapping
// transforms need the frame before to get the first samples right.
constexpr double kPreroll = 0.2;

int32_t frameBytesOf(bool wide, bool stereo) {
    return (wide ? 2 : 1) * (stereo ? 2 : 1);
}

int64_t bufferEnd(const AudioState& s) {
    return s.start + int64_t(s.buffer.size()) / frameBytesOf(s.wide, s.stereo);
}

void resetWindow(AudioState& s) {
    s.buffer.clear();
    s.positioned = false;
    s.ended = false;
}

bool configure(AudioState& s, const AVFrame* f, int32_t rate) {
    if (s.swr && f->format == s.inFormat && f->sample_rate == s.inRate &&
        av_channel_layout_compare(&f->ch_layout, &s.inLayout) == 0)
        return true;
    if (s.swr) swr_free(&s.swr);
    av_channel_layout_uninit(&s.inLayout);
    AVChannelLayout in{};
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&in, std::max(f->ch_layout.nb_channels, 1));
    else if (av_channel_layout_copy(&in, &f->ch_layout) < 0)
        return false;
    AVChannelLayout out{};
    av_channel_layout_default(&out, s.stereo ? 2 : 1);
    const AVSampleFormat outFormat = s.wide ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_U8;
    const int inRate = f->sample_rate > 0 ? f->sample_rate : rate;
    const int made = swr_alloc_set_opts2(&s.swr, &out, outFormat, rate, &in,
                                         AVSampleFormat(f->format), inRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (made < 0 || !s.swr || swr_init(s.swr) < 0) {
        if (s.swr) swr_free(&s.swr);
        return false;
    }
    s.inFormat = f->format;
    s.inRate = f->sample_rate;
    av_channel_layout_copy(&s.inLayout, &f->ch_layout);
    return true;
}

// Decodes one frame onto the end of the window. False at the end.
bool decodeMore(AudioState& s, const AudioFacts& a, double origin) {
    if (s.ended) return false;
    if (s.decoder.next() != StreamDecoder::Next::Frame) {
        s.ended = true;
        return false;
    }
    AVFrame* f = s.decoder.frame();
    if (!s.positioned) {
        const int64_t ts = frameTimestamp(f);
        const AVRational tb = s.decoder.timeBase();
        auto packet =
            std::lower_bound(a.packets.begin(), a.packets.end(), ts,
                             [](const AudioFacts::Packet& p, int64_t t) { return p.pts < t; });
        if (ts != AV_NOPTS_VALUE && packet != a.packets.end() && packet->pts == ts)
            s.next = packet->position;
        else if (s.atStart && !a.packets.empty())
            s.next = a.firstSound;  // its time moved past the priming the decoder dropped
        else
            s.next = ts == AV_NOPTS_VALUE || tb.den == 0
                         ? 0
                         : std::llround((double(ts) * av_q2d(tb) - origin) * a.rate);
        s.start = s.next;
        s.buffer.clear();
        s.positioned = true;
        s.atStart = false;
    }
    if (f->nb_samples <= 0 || !configure(s, f, a.rate)) {
        av_frame_unref(f);
        return true;  // nothing usable in this frame; go on
    }
    const int32_t bytes = frameBytesOf(s.wide, s.stereo);
    const int room = swr_get_out_samples(s.swr, f->nb_samples);
    if (room <= 0) {
        av_frame_unref(f);
        return true;
    }
    const size_t old = s.buffer.size();
    s.buffer.resize(old + size_t(room) * size_t(bytes));
    uint8_t* dst = s.buffer.data() + old;
    const int got = swr_convert(s.swr, &dst, room, const_cast<const uint8_t**>(f->extended_data),
                                f->nb_samples);
    s.buffer.resize(old + size_t(std::max(got, 0)) * size_t(bytes));
    s.next += std::max(got, 0);
    av_frame_unref(f);
    return true;
}

bool seekTo(AudioState& s, const AudioFacts& a, double origin, int64_t sample) {
    resetWindow(s);
    s.atStart = false;
    const double seconds = origin + double(sample) / a.rate - kPreroll;
    const AVRational tb = s.decoder.timeBase();
    if (sample > a.rate * kPreroll && tb.num > 0 && tb.den > 0 &&
        s.decoder.seek(int64_t(std::floor(seconds / av_q2d(tb)))))
        return true;
    s.atStart = s.decoder.restart();
    return s.atStart;
}

}  // namespace

bool MediaSource::readAudio(int64_t first, int32_t count, bool wide, bool stereo, uint8_t* out) {
    const AudioFacts& a = facts_.audio;
    const int32_t bytes = frameBytesOf(wide, stereo);
    if (!out || count < 0) return false;
    std::memset(out, wide ? 0 : 128, size_t(count) * size_t(bytes));
    if (a.stream < 0) return false;
    const int64_t from = std::max<int64_t>(first, 0);
    const int64_t to = std::min<int64_t>(first + count, a.frames);
    if (from >= to) return true;  // all outside the sound: silence
    if (!audio_) {
        audio_ = std::make_unique<AudioState>();
        if (!audio_->decoder.open(path_, a.stream, 1)) {
            audio_.reset();
            return false;
        }
        // Some decoders (Opus) drop the encoder's priming from the first
        // sound they make, wherever that comes from: make it the stream's
        // first packet, so that a seek before any read loses nothing.
        if (audio_->decoder.next() == StreamDecoder::Next::Frame)
            av_frame_unref(audio_->decoder.frame());
    }
    AudioState& s = *audio_;
    if (s.wide != wide || s.stereo != stereo) {
        s.wide = wide;
        s.stereo = stereo;
        if (s.swr) swr_free(&s.swr);
        resetWindow(s);
        if (!seekTo(s, a, facts_.origin, from)) return false;
    } else if (!s.positioned || from < s.start || from > bufferEnd(s) + a.rate) {
        if (!seekTo(s, a, facts_.origin, from)) return false;
    }
    // A seek that lands after the target (an inexact index) starts over
    // from the first packet instead.
    bool fromStart = false;
    for (;;) {
        while (!s.positioned && decodeMore(s, a, facts_.origin)) {
        }
        if (!s.positioned || s.start <= from || fromStart) break;
        resetWindow(s);
        if (!(s.atStart = s.decoder.restart())) return false;
        fromStart = true;
    }
    // Keep one second before the target for requests that step back a little.
    if (from - a.rate > s.start) {
        const int64_t drop = std::min(from - a.rate - s.start, bufferEnd(s) - s.start);
        s.buffer.erase(s.buffer.begin(), s.buffer.begin() + drop * bytes);
        s.start += drop;
    }
    // Timestamps that lie could send us decoding for hours: a seek lands
    // within seconds of its target, so give up well after that.
    const int64_t budget = (to - from) + int64_t(a.rate) * 60;
    const int64_t startedAt = s.next;
    while (bufferEnd(s) < to && s.next - startedAt < budget && decodeMore(s, a, facts_.origin)) {
        if (from - a.rate > s.start) {  // keep the window small while catching up
            const int64_t drop = std::min(from - a.rate - s.start, bufferEnd(s) - s.start);
            s.buffer.erase(s.buffer.begin(), s.buffer.begin() + drop * bytes);
            s.start += drop;
        }
    }
    const int64_t lo = std::max(from, s.start), hi = std::min(to, bufferEnd(s));
    if (hi > lo)
        std::memcpy(out + (lo - first) * bytes, s.buffer.data() + (lo - s.start) * bytes,
                    size_t(hi - lo) * size_t(bytes));
    return true;
}

}  // namespace ffimport
