// `reelhost testcard`: a test picture (colour bars over a grey ramp) to feed
// the image commands and to look at.
#include <cstdio>
#include <cstring>
#include <string>

#include "host.h"
#include "reelcore/depthcon.h"
#include "reelcore/ppix.h"

namespace {

// Fill colours are 0x00BBGGRR.
constexpr uint32_t kBars[] = {0xFFFFFF, 0x00FFFF, 0xFFFF00, 0x00FF00,
                              0xFF00FF, 0x0000FF, 0xFF0000, 0x000000};

bool endsWith(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

int runTestcard(const std::vector<std::string>& args) {
    int32_t w = 0, h = 0;
    if (args.size() != 2 || std::sscanf(args[0].c_str(), "%dx%d", &w, &h) != 2 || w < 16 ||
        h < 16 || w > 8192 || h > 8192 ||
        !(endsWith(args[1], ".bmp") || endsWith(args[1], ".png"))) {
        std::fprintf(stderr, "usage: reelhost testcard WIDTHxHEIGHT OUT.bmp|OUT.png\n");
        return 2;
    }
    FmRect bounds{0, 0, w, h};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) {
        std::fprintf(stderr, "reelhost: not enough memory for a %dx%d picture\n", w, h);
        return 1;
    }
    const int32_t barsBottom = h * 2 / 3;
    const int32_t bars = int32_t(sizeof kBars / sizeof kBars[0]);
    for (int32_t i = 0; i < bars; ++i) {
        FmRect r{w * i / bars, 0, w * (i + 1) / bars, barsBottom};
        ppixFillRect(pix, &r, kBars[i]);
    }
    for (int32_t x = 0; x < w; ++x) {
        uint32_t g = uint32_t(x * 255 / (w - 1));
        FmRect r{x, barsBottom, x + 1, h};
        ppixFillRect(pix, &r, g | g << 8 | g << 16);
    }
    int32_t err = endsWith(args[1], ".bmp") ? FmWriteBmpFile(pix, args[1].c_str())
                                            : FmWritePngFile(pix, args[1].c_str(), 0);
    ppixDispose(pix);
    if (err != 0) {
        std::fprintf(stderr, "reelhost: cannot write %s (%d)\n", args[1].c_str(), err);
        return 1;
    }
    std::printf("wrote %s: %dx%d test card\n", args[1].c_str(), w, h);
    return 0;
}

host::Registrar testcardCommand(host::Command{
    "testcard", "testcard WIDTHxHEIGHT OUT.bmp|OUT.png   write colour bars over a grey ramp",
    runTestcard});

}  // namespace
