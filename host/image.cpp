// `reelhost image`: runs one of the library's image operations on a BMP or
// PNG still and writes the result as BMP or PNG. The start-up step builds the blitter
// suites and hands the library's utility table to slot 81.
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/imagefilters.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"
#include "reelcore/utility_table.h"

namespace {

bool startBlitters(const host::Options& options) {
    // this executable's processor always has the vector units the suite needs
    if (GetAGlobal(kSlotIsMMX) == 0) SetAGlobal(kSlotIsMMX, 1);
    if (GetAGlobal(kSlotUtilityTable) == 0)
        SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(FmDefaultUtilityTable()));
    const BNSuite* suite = FmBNInitialize();
    if (options.debug) std::fprintf(stderr, "reelhost: blitters: %s\n", suite->name);
    return true;
}

void stopBlitters() {
    SetAGlobal(kSlotBlitterSuite, 0);
}

host::Registrar blitterStep(host::Step{460, "blitter suites", startBlitters, stopBlitters});

void printBlitters(FILE* out) {
    const auto* suite = reinterpret_cast<const BNSuite*>(GetAGlobal(kSlotBlitterSuite));
    std::fprintf(out, "blitter suite (slot 403): %s\n", suite ? suite->name : "(none)");
}
host::Registrar info(host::InfoSection{460, printBlitters});

int fail(const char* message, const std::string& detail = "") {
    std::fprintf(stderr, "reelhost image: %s%s\n", message, detail.c_str());
    return 1;
}

PPixHand sameSizeBuffer(PPixHand like) {
    FmRect b;
    ppixGetBounds(like, &b);
    return ppixNew(&b);
}

// Reduces to an optimal palette of n colours: `packed` receives the 8-bit
// bitmap, and `pix` is repainted with the reduced colours.
bool reduce(PPixHand pix, int32_t colours, Handle& packed) {
    FmRect b;
    ppixGetBounds(pix, &b);
    FmBitmapInfoHeader hdr{};
    hdr.size = 40;
    hdr.width = b.right - b.left;
    hdr.height = b.bottom - b.top;
    hdr.planes = 1;
    hdr.bitCount = 32;
    char* bits = ppixGetPixels(pix);
    Handle hist = InitHistogram(nullptr);
    if (!hist) return false;
    std::vector<uint8_t> lookup(kPalLookupBytes);
    DibHistogram(&hdr, bits, 0, 0, -1, -1, hist);
    FmLogPalette* pal = HistogramPalette(hist, lookup.data(), colours);
    FreeHistogram(hist);
    if (!pal) return false;
    packed = DibReduce(&hdr, bits, pal, lookup.data());
    if (packed) {
        // show the reduced colours in the 32-bit buffer too
        const auto* p = reinterpret_cast<const uint8_t*>(*packed);
        const uint32_t* table = reinterpret_cast<const uint32_t*>(p + 40);
        const uint8_t* idx = p + 40 + 4 * pal->count;
        const int32_t w = hdr.width, rowBytes = (w + 3) & ~3;
        DepthCon8To32(idx, bits, w, hdr.height, rowBytes, ppixGetRowbytes(pix), table);
    }
    DisposePtr(reinterpret_cast<Ptr>(pal));
    return packed != nullptr;
}

// What the command line gives `image`; one sub-command per operation.
struct ImageArgs {
    std::string op;
    double amount = 0;  // gamma tenths, blur radius
    int64_t colours = 0;
    host::Size size;
    std::string in, out;
} args;

int runImage() {
    const std::string& op = args.op;
    const std::string& inPath = args.in;
    const std::string& outPath = args.out;
    std::string why;
    PPixHand pix = host::readPicture(inPath, why);
    if (!pix) return fail("cannot read ", inPath + ": " + why);
    Handle packed = nullptr;
    PPixHand out = pix;
    int status = 0;
    if (op == "gamma") {
        DoGamma(pix, static_cast<int32_t>(args.amount));
    } else if (op == "median" || op == "blur" || op == "gaussian") {
        out = sameSizeBuffer(pix);
        if (!out)
            status = fail("out of memory");
        else if (op == "median")
            DoMedian(pix, out);
        else if (op == "blur")
            DoBlur(pix, out);
        else
            DoGaussian(pix, out);
    } else if (op == "blurmask") {
        ppixBlurMask(pix, args.amount, 0);
        AlphaToRGB(pix);  // show the matte
    } else if (op == "reduce") {
        if (!reduce(pix, static_cast<int32_t>(args.colours), packed))
            status = fail("out of memory");
    } else if (op == "depth") {
        FmRect b;
        ppixGetBounds(pix, &b);
        const int32_t w = b.right - b.left, h = b.bottom - b.top;
        std::vector<uint16_t> tmp(size_t(w) * h);
        DepthCon32To16(ppixGetPixels(pix), tmp.data(), w, h, ppixGetRowbytes(pix), w * 2);
        DepthCon16To32(tmp.data(), ppixGetPixels(pix), w, h, w * 2, ppixGetRowbytes(pix));
    } else if (op == "scale" || op == "smoothscale") {
        const FmRect b{0, 0, args.size.width, args.size.height};
        out = ppixNew(&b);
        const int32_t smooth = op == "smoothscale" ? kCopySmooth : 0;
        if (!out)
            status = fail("out of memory");
        else
            ppixCopy(pix, out, nullptr, nullptr, smooth, nullptr);
    }
    if (status == 0 && host::writePicture(out, outPath) != 0)
        status = fail("cannot write ", outPath);
    if (status == 0)
        std::printf("wrote %s: %s of %s\n", outPath.c_str(), op.c_str(), inPath.c_str());
    if (packed) DisposeHandle(packed);
    if (out != pix) ppixDispose(out);
    ppixDispose(pix);
    return status;
}

// Each operation is a sub-command of `image` with its own argument.
void declareImage(CLI::App& cmd) {
    cmd.require_subcommand(1);
    auto op = [&cmd](const char* name, const char* help) {
        CLI::App* sub = cmd.add_subcommand(name, help);
        sub->callback([name] { args.op = name; });
        return sub;
    };
    auto files = [](CLI::App* sub) {
        host::addInputPicture(*sub, "IN", args.in)->required();
        host::addOutputPicture(*sub, "OUT", args.out)->required();
    };
    CLI::App* sub = op("gamma", "gamma correction");
    host::addNumber(*sub, "TENTHS", args.amount, 0, 1000, "gamma in tenths, e.g. 15")->required();
    files(sub);
    files(op("median", "3x3 median"));
    files(op("blur", "3x3 box blur"));
    files(op("gaussian", "3x3 gaussian blur"));
    sub = op("blurmask", "blur the alpha matte and show it");
    host::addNumber(*sub, "RADIUS", args.amount, 0, 1000, "blur radius in pixels")->required();
    files(sub);
    sub = op("reduce", "reduce to an optimal palette");
    host::addInteger(*sub, "COLOURS", args.colours, 1, 256, "palette size")->required();
    files(sub);
    sub = op("depth", "through 16-bit 5-5-5 pixels and back");
    host::addInteger(*sub, "DEPTH", args.colours, 16, 16, "16 (the only depth)")->required();
    files(sub);
    for (const char* name : {"scale", "smoothscale"}) {
        sub =
            op(name, name[0] == 's' && name[1] == 'm' ? "scale, filtered" : "scale, nearest pixel");
        host::addSize(*sub, "SIZE", args.size, 1, 16384, "new size")->required();
        files(sub);
    }
}

host::Registrar imageCommand(host::Command{"image", "run an image operation on a picture",
                                           declareImage, runImage});

}  // namespace
