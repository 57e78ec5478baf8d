// `reelhost audio convert IN.wav OUT.wav [--rate HZ] [--format 16s]`: a PCM
// WAV file through the library's resampler and format converters, a second
// at a time with the neighbouring audio as the filter's history, as media
// access converts audio.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/audio.h"
#include "reelcore/settings.h"

namespace {

// ---- WAV files: 8- and 16-bit PCM, mono or stereo ----

struct Wav {
    int32_t rate = 0;
    int32_t format = 0;  // kAudioStereo | kAudio16Bit
    std::vector<uint8_t> data;
};

int32_t frameBytes(int32_t format) {
    return ((format & kAudio16Bit) ? 2 : 1) * ((format & kAudioStereo) ? 2 : 1);
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Reads the file; on failure returns the reason.
std::string readWav(const std::string& path, Wav& wav) {
    std::vector<uint8_t> b;
    if (!readFile(path, b)) return "cannot read the file";
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return "not a RIFF WAVE file";
    bool haveFormat = false, haveData = false;
    uint16_t channels = 0, bits = 0;
    size_t pos = 12;
    while (pos + 8 <= b.size() && !haveData) {
        const uint8_t* chunk = b.data() + pos;
        // Chunk lengths are checked against the bytes actually present.
        const size_t length = le32(chunk + 4);
        const size_t body = pos + 8;
        const size_t present = std::min(length, b.size() - body);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (present < 16) return "format chunk too short";
            const uint16_t tag = le16(chunk + 8);
            channels = le16(chunk + 10);
            wav.rate = int32_t(std::min<uint32_t>(le32(chunk + 12), INT32_MAX));
            bits = le16(chunk + 22);
            // WAVE_FORMAT_EXTENSIBLE carries the PCM tag in its subformat.
            const bool pcm = tag == 1 || (tag == 0xFFFE && present >= 26 && le16(chunk + 32) == 1);
            if (!pcm) return "only PCM audio is supported";
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return "data before the format chunk";
            wav.data.assign(b.begin() + long(body), b.begin() + long(body + present));
            haveData = true;
        }
        pos = body + length + (length & 1);
        if (pos < body) break;  // length wrapped
    }
    if (!haveFormat) return "no format chunk";
    if (!haveData) return "no data chunk";
    if (channels < 1 || channels > 2) return "only mono and stereo are supported";
    if (bits != 8 && bits != 16) return "only 8- and 16-bit samples are supported";
    if (wav.rate <= 0) return "sample rate 0";
    wav.format = (channels == 2 ? kAudioStereo : 0) | (bits == 16 ? kAudio16Bit : 0);
    wav.data.resize(wav.data.size() - wav.data.size() % size_t(frameBytes(wav.format)));
    return {};
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

bool writeWav(const std::string& path, const Wav& wav) {
    const int32_t block = frameBytes(wav.format);
    const uint32_t size = uint32_t(wav.data.size());
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    put32(h, 36 + size + (size & 1));
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(h, 16);
    put16(h, 1);
    put16(h, (wav.format & kAudioStereo) ? 2 : 1);
    put32(h, uint32_t(wav.rate));
    put32(h, uint32_t(wav.rate) * uint32_t(block));
    put16(h, uint16_t(block));
    put16(h, (wav.format & kAudio16Bit) ? 16 : 8);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    put32(h, size);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(h.data(), 1, h.size(), f) == h.size() &&
              std::fwrite(wav.data.data(), 1, wav.data.size(), f) == wav.data.size();
    if (size & 1) ok = ok && std::fputc(0, f) != EOF;
    return std::fclose(f) == 0 && ok;
}

// ---- the conversion ----

struct {
    std::string in, out, format;
    int64_t rate = 0;
    int64_t quality = 2;
    bool dither = false;
} args;

bool parseFormat(const std::string& text, int32_t& format) {
    const struct {
        const char* name;
        int32_t format;
    } names[] = {
        {"8m", 0}, {"8s", kAudioStereo}, {"16m", kAudio16Bit}, {"16s", kAudio16Bit | kAudioStereo}};
    for (const auto& n : names)
        if (text == n.name) {
            format = n.format;
            return true;
        }
    return false;
}

const char* formatText(int32_t format) {
    static const char* const texts[] = {"8-bit mono", "8-bit stereo", "16-bit mono",
                                        "16-bit stereo"};
    return texts[((format & kAudio16Bit) ? 2 : 0) | ((format & kAudioStereo) ? 1 : 0)];
}

int runConvert() {
    Wav in;
    if (const std::string why = readWav(args.in, in); !why.empty()) {
        std::fprintf(stderr, "reelhost: %s: %s\n", args.in.c_str(), why.c_str());
        return 1;
    }
    Wav out;
    out.rate = args.rate ? int32_t(args.rate) : in.rate;
    out.format = in.format;
    if (!args.format.empty()) parseFormat(args.format, out.format);

    // The resampler takes its quality and dither from the project settings.
    PsetBlock* settings = psetGetBlock(InitProjectSettings());
    if (!settings) {
        std::fprintf(stderr, "reelhost: no project settings\n");
        return 1;
    }
    settings->audio.resampleQ = int32_t(args.quality);
    settings->audio.dither = args.dither ? 1 : 0;

    const int32_t inBytes = frameBytes(in.format), outBytes = frameBytes(out.format);
    const int64_t inFrames = int64_t(in.data.size()) / inBytes;
    const int64_t outFrames = inFrames * out.rate / in.rate;
    if (outFrames * outBytes > int64_t(UINT32_MAX) - 64) {
        std::fprintf(stderr, "reelhost: %s: the result would be too large for a WAV file\n",
                     args.in.c_str());
        return 1;
    }
    out.data.resize(size_t(outFrames * outBytes));
    // A second at a time, with a margin of the larger of 1/24 s and 100
    // frames on each side.
    const int64_t margin = std::max<int64_t>(in.rate / 24, 100);
    int failures = 0;
    for (int64_t start = 0; start < inFrames; start += in.rate) {
        const int64_t end = std::min<int64_t>(start + in.rate, inFrames);
        const int64_t from = std::max<int64_t>(0, start - margin);
        const int64_t to = std::min<int64_t>(inFrames, end + margin);
        const int64_t dstStart = start * out.rate / in.rate, dstEnd = end * out.rate / in.rate;
        if (dstEnd <= dstStart) continue;
        FmResampleRequest r{};
        r.src = in.data.data() + from * inBytes;
        r.srcFirst = int32_t(start - from);
        r.srcAvailable = int32_t(to - from);
        r.srcCount = int32_t(end - start);
        r.srcFormat = in.format;
        r.dst = out.data.data() + dstStart * outBytes;
        r.dstFrames = int32_t(dstEnd - dstStart);
        r.dstFormat = out.format;
        r.srcRate = in.rate;
        r.dstRate = out.rate;
        r.dstStart = int32_t(std::min<int64_t>(dstStart, INT32_MAX));
        r.srcStart = int32_t(std::min<int64_t>(start, INT32_MAX));
        if (const int32_t err = DoResample(&r); err != 0) {
            std::fprintf(stderr, "reelhost: %s: second %lld could not be converted (error %d)\n",
                         args.in.c_str(), static_cast<long long>(start / in.rate), err);
            ++failures;
        }
    }
    if (!writeWav(args.out, out)) {
        std::fprintf(stderr, "reelhost: cannot write %s\n", args.out.c_str());
        return 1;
    }
    std::printf("wrote %s: %d Hz %s, %lld frames (from %d Hz %s, quality %d%s)\n", args.out.c_str(),
                out.rate, formatText(out.format), static_cast<long long>(outFrames), in.rate,
                formatText(in.format), int(args.quality), args.dither ? ", dither" : "");
    return failures ? 1 : 0;
}

host::Registrar audioCommand(host::Command{
    "audio", "convert a WAV file's sample rate and format",
    [](CLI::App& cmd) {
        cmd.require_subcommand(1);
        CLI::App* convert = cmd.add_subcommand(
            "convert",
            "IN.wav to OUT.wav (8- or 16-bit PCM, mono or stereo) through the resampler");
        convert->add_option("IN", args.in, "PCM WAV file")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        convert->add_option("OUT", args.out, "WAV file to write")->required();
        host::addInteger(*convert, "--rate", args.rate, 1000, 768000,
                         "output sample rate in Hz (default: the input's)");
        convert
            ->add_option_function<std::string>(
                "--format",
                [](const std::string& text) {
                    int32_t f = 0;
                    if (!parseFormat(text, f))
                        throw CLI::ValidationError("--format",
                                                   "'" + text + "' is not 8m, 8s, 16m or 16s");
                    args.format = text;
                },
                "output format 8m, 8s, 16m or 16s (default: the input's)")
            ->type_name("FORMAT");
        host::addInteger(*convert, "--quality", args.quality, 0, 2,
                         "0 nearest sample, 1 or 2 bandlimited (default 2)");
        convert->add_flag("--dither", args.dither, "dither when reducing to 8 bits");
    },
    runConvert});

}  // namespace
