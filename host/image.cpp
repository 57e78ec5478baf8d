// `reelhost image`: runs one of the library's image operations on a BMP still
// and writes the result as BMP or PNG. The start-up step builds the blitter
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

bool endsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

bool parseNumber(const std::string& text, double lo, double hi, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && value >= lo && value <= hi;
}

int fail(const char* message, const std::string& detail = "") {
    std::fprintf(stderr, "reelhost image: %s%s\n", message, detail.c_str());
    return 1;
}

PPixHand sameSizeBuffer(PPixHand like) {
    FmRect b;
    ppixGetBounds(like, &b);
    return ppixNew(&b);
}

bool writeResult(PPixHand pix, const std::string& path) {
    if (endsWith(path, ".png")) return FmWritePngFile(pix, path.c_str(), 0) == 0;
    return FmWriteBmpFile(pix, path.c_str()) == 0;
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

int runImage(const std::vector<std::string>& args) {
    if (args.empty()) return fail("usage: image OP [ARG] IN.bmp OUT.bmp|OUT.png");
    const std::string& op = args[0];
    const bool needsArg = op == "gamma" || op == "blurmask" || op == "reduce" || op == "depth" ||
                          op == "scale" || op == "smoothscale";
    const size_t want = needsArg ? 4 : 3;
    if (args.size() != want) return fail("usage: image OP [ARG] IN.bmp OUT.bmp|OUT.png");
    const std::string& argText = needsArg ? args[1] : op;
    const std::string& inPath = args[want - 2];
    const std::string& outPath = args[want - 1];
    PPixHand pix = FmReadBmpFile(inPath.c_str());
    if (!pix) return fail("cannot read a BMP image from ", inPath);
    double value = 0;
    Handle packed = nullptr;
    PPixHand out = pix;
    int status = 0;
    if (op == "gamma") {
        if (!parseNumber(argText, 0, 1000, value))
            status = fail("gamma needs tenths, e.g. 15");
        else
            DoGamma(pix, static_cast<int32_t>(value));
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
        if (!parseNumber(argText, 0, 1000, value)) {
            status = fail("blurmask needs a radius");
        } else {
            ppixBlurMask(pix, value, 0);
            AlphaToRGB(pix);  // show the matte
        }
    } else if (op == "reduce") {
        if (!parseNumber(argText, 1, 256, value))
            status = fail("reduce needs a colour count 1-256");
        else if (!reduce(pix, static_cast<int32_t>(value), packed))
            status = fail("out of memory");
    } else if (op == "depth") {
        if (argText != "16") {
            status = fail("depth takes 16 (5-5-5 and back)");
        } else {
            FmRect b;
            ppixGetBounds(pix, &b);
            const int32_t w = b.right - b.left, h = b.bottom - b.top;
            std::vector<uint16_t> tmp(size_t(w) * h);
            DepthCon32To16(ppixGetPixels(pix), tmp.data(), w, h, ppixGetRowbytes(pix), w * 2);
            DepthCon16To32(tmp.data(), ppixGetPixels(pix), w, h, w * 2, ppixGetRowbytes(pix));
        }
    } else if (op == "scale" || op == "smoothscale") {
        int32_t w = 0, h = 0;
        if (std::sscanf(argText.c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1 || w > 16384 ||
            h > 16384) {
            status = fail("scale needs WxH");
        } else {
            const FmRect b{0, 0, w, h};
            out = ppixNew(&b);
            const int32_t smooth = op == "smoothscale" ? kCopySmooth : 0;
            if (!out)
                status = fail("out of memory");
            else
                ppixCopy(pix, out, nullptr, nullptr, smooth, nullptr);
        }
    } else {
        status = fail("unknown operation ", op);
    }
    if (status == 0 && !writeResult(out, outPath)) status = fail("cannot write ", outPath);
    if (status == 0)
        std::printf("wrote %s: %s of %s\n", outPath.c_str(), op.c_str(), inPath.c_str());
    if (packed) DisposeHandle(packed);
    if (out != pix) ppixDispose(out);
    ppixDispose(pix);
    return status;
}

host::Registrar imageCommand(host::Command{
    "image",
    "image OP [ARG] IN.bmp OUT.bmp|OUT.png   run an image operation: gamma TENTHS, median, "
    "blur, gaussian, blurmask RADIUS, reduce COLOURS, depth 16, scale WxH, smoothscale WxH",
    runImage});

}  // namespace
