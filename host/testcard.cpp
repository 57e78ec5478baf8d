// `reelhost testcard`: a test picture (colour bars over a grey ramp) to feed
// the image commands and to look at.
#include <cstdio>
#include <string>

#include "host.h"
#include "reelcore/depthcon.h"
#include "reelcore/ppix.h"

namespace {

// Fill colours are 0x00BBGGRR.
constexpr uint32_t kBars[] = {0xFFFFFF, 0x00FFFF, 0xFFFF00, 0x00FF00,
                              0xFF00FF, 0x0000FF, 0xFF0000, 0x000000};

struct {
    host::Size size;
    std::string out;
} args;

int runTestcard() {
    const int32_t w = args.size.width, h = args.size.height;
    const std::string& outPath = args.out;
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
    int32_t err = host::writePicture(pix, outPath);
    ppixDispose(pix);
    if (err != 0) {
        std::fprintf(stderr, "reelhost: cannot write %s (%d)\n", outPath.c_str(), err);
        return 1;
    }
    std::printf("wrote %s: %dx%d test card\n", outPath.c_str(), w, h);
    return 0;
}

host::Registrar testcardCommand(host::Command{
    "testcard", "write colour bars over a grey ramp",
    [](CLI::App& cmd) {
        host::addSize(cmd, "SIZE", args.size, 16, 8192, "picture size")->required();
        host::addOutputPicture(cmd, "OUT", args.out)->required();
    },
    runTestcard});

}  // namespace
