// `reelhost key`: keys a foreground picture over a background with one of the
// library's superimpose keys and writes the result.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/depthcon.h"
#include "reelcore/keying.h"
#include "reelcore/ppix.h"

namespace {

struct {
    int16_t type = 0;
    std::string fg, bg, out, matte;
    uint32_t colour = 0x00FF00;  // 0x00BBGGRR: green
    int64_t similarity = 40, smoothing = 40, threshold = 60, cutoff = 180;
    double opacity = 100;
    bool reverse = false, maskOnly = false;
    std::vector<int64_t> garbage;
} keyArgs;

int fail(const std::string& message) {
    std::fprintf(stderr, "reelhost key: %s\n", message.c_str());
    return 1;
}

// "Green Screen" -> "green-screen".
std::string commandName(const char* name) {
    std::string s = name;
    for (char& c : s) c = c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A key type by number or by name ("chroma", "green-screen", "non-red" ...).
bool parseKeyType(const std::string& text, int16_t& type) {
    int64_t n = 0;
    if (host::parseDecimal(text, n)) {
        if (n < 0 || n >= kKeyTypeCount) return false;
        type = int16_t(n);
        return true;
    }
    std::string wanted = text;
    for (char& c : wanted) c = c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    for (int16_t t = 0; t < kKeyTypeCount; ++t)
        if (commandName(FmKeyTypeName(t)) == wanted) {
            type = t;
            return true;
        }
    return false;
}

// "#RRGGBB" -> 0x00BBGGRR.
bool parseColour(std::string text, uint32_t& bgr) {
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if (text.size() != 6 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        }))
        return false;
    const uint32_t rgb = uint32_t(std::strtoul(text.c_str(), nullptr, 16));
    bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
    return true;
}

// The picture at `path`, scaled to w x h when it has another size.
PPixHand readAtSize(const std::string& path, int32_t w, int32_t h) {
    PPixHand pix = FmReadPictureFile(path.c_str(), nullptr);  // BMP or PNG
    if (!pix || w <= 0) return pix;
    FmRect b;
    ppixGetBounds(pix, &b);
    if (b.right - b.left == w && b.bottom - b.top == h) return pix;
    const FmRect size{0, 0, w, h};
    PPixHand scaled = ppixNew(&size);
    if (scaled) ppixCopy(pix, scaled, nullptr, nullptr, kCopySmooth, nullptr);
    ppixDispose(pix);
    return scaled;
}

int runKey() {
    const auto& a = keyArgs;
    PPixHand bg = readAtSize(a.bg, 0, 0);
    if (!bg) return fail("cannot read a BMP picture from " + a.bg);
    FmRect b;
    ppixGetBounds(bg, &b);
    const int32_t w = b.right - b.left, h = b.bottom - b.top;
    PPixHand fg = readAtSize(a.fg, w, h);
    PPixHand matte = a.matte.empty() ? nullptr : readAtSize(a.matte, w, h);
    int status = 0;
    if (!fg) {
        status = fail("cannot read a BMP picture from " + a.fg);
    } else if (!a.matte.empty() && !matte) {
        status = fail("cannot read a BMP picture from " + a.matte);
    } else {
        FmKeySettings key{};
        key.keyType = a.type;
        key.keyColour = a.colour;
        key.similarity = uint8_t(a.similarity);
        key.smoothing = uint8_t(a.smoothing);
        key.threshold = uint8_t(a.threshold);
        key.cutoff = uint8_t(a.cutoff);
        key.reverse = a.reverse;
        key.maskOnly = a.maskOnly;
        for (size_t i = 0; i < 4 && a.garbage.size() == 8; ++i)
            key.garbage[i] = FmPoint{int32_t(a.garbage[2 * i]), int32_t(a.garbage[2 * i + 1])};
        const int32_t opacity = int32_t(std::lround(a.opacity * 65535 / 100));
        const int32_t err = DoImageKey(fg, bg, matte, nullptr, opacity, &key);
        if (err != 0) {
            status = fail("keying failed (" + std::to_string(err) + ")");
        } else {
            const int32_t written = host::writePicture(bg, a.out);
            if (written != 0)
                status = fail("cannot write " + a.out);
            else
                std::printf("wrote %s: %s key of %s over %s\n", a.out.c_str(),
                            FmKeyTypeName(a.type), a.fg.c_str(), a.bg.c_str());
        }
    }
    for (PPixHand p : {fg, bg, matte})
        if (p) ppixDispose(p);
    return status;
}

void declareKey(CLI::App& cmd) {
    std::string names;
    for (int16_t t = 0; t < kKeyTypeCount; ++t)
        names += (t ? " " : "") + commandName(FmKeyTypeName(t));
    cmd.add_option_function<std::string>(
           "TYPE",
           [](const std::string& text) {
               if (!parseKeyType(text, keyArgs.type))
                   throw CLI::ValidationError("TYPE", "'" + text + "' is not a key type");
           },
           "key type, 0-14 or a name: " + names)
        ->required();
    host::addInputPicture(cmd, "FG", keyArgs.fg)->required();
    host::addInputPicture(cmd, "BG", keyArgs.bg)->required();
    host::addOutputPicture(cmd, "OUT", keyArgs.out)->required();
    cmd.add_option_function<std::string>(
        "--colour",
        [](const std::string& text) {
            if (!parseColour(text, keyArgs.colour))
                throw CLI::ValidationError("--colour", "'" + text + "' is not #RRGGBB");
        },
        "key colour #RRGGBB (default #00FF00)");
    host::addInteger(cmd, "--similarity", keyArgs.similarity, 0, 255,
                     "similarity 0-255 (default 40)");
    host::addInteger(cmd, "--smoothing", keyArgs.smoothing, 0, 255,
                     "blend width 0-255 (default 40)");
    host::addInteger(cmd, "--threshold", keyArgs.threshold, 0, 255, "threshold 0-255 (default 60)");
    host::addInteger(cmd, "--cutoff", keyArgs.cutoff, 0, 255, "cutoff 0-255 (default 180)");
    host::addNumber(cmd, "--opacity", keyArgs.opacity, 0, 100, "opacity in percent (default 100)");
    host::addInputPicture(cmd, "--matte", keyArgs.matte);
    cmd.add_flag("--reverse", keyArgs.reverse, "invert the key");
    cmd.add_flag("--mask-only", keyArgs.maskOnly, "show the coverage as grey");
    cmd.add_option("--garbage", keyArgs.garbage,
                   "garbage matte corners x1,y1,...,x4,y4 in a 117 x 87 frame")
        ->delimiter(',')
        ->expected(8);
}

host::Registrar keyCommand(host::Command{"key", "key a picture over another", declareKey, runKey});

}  // namespace
