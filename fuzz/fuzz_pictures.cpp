// Fuzz entry for the picture readers: the bytes as a BMP file, as a packed
// bitmap resource (through Bmp2PPix) and as a PNG file. A buffer that comes
// back must be of a sane size; a refusal must say why.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pixels/bitmap_io.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
}

const uint8_t* gData = nullptr;
size_t gSize = 0;

Handle resourceOfInput(int16_t, intptr_t) {
    Handle h = nullptr;
    if (PtrToHand(gData, &h, uint32_t(gSize)) != 0) return nullptr;
    return h;
}

void checkPicture(PPixHand pix, int32_t status, int64_t limit) {
    if (!pix) {
        check(status != 0);
        return;
    }
    check(status == 0);
    FmRect b;
    ppixGetBounds(pix, &b);
    const int64_t w = b.right - b.left, h = b.bottom - b.top;
    check(w > 0 && h > 0 && w * h <= limit);
    // touch the first and last pixels
    (void)ppixGetPixel(pix, 0, 0);
    (void)ppixGetPixel(pix, int32_t(w - 1), int32_t(h - 1));
    ppixDispose(pix);
}

}  // namespace

extern "C" int fuzz_pictures_entry(const uint8_t* data, size_t size) {
    init();
    // (each result taken before its status is read)
    int32_t status = -1;
    PPixHand pix = rc::pix::bmpFileToPPix(data, size, &status);
    checkPicture(pix, status, kMaxPicturePixels);
    status = -1;
    pix = rc::pix::pngFileToPPix(data, size, &status);
    checkPicture(pix, status, kMaxPicturePixels);
    status = -1;
    pix = rc::pix::dibToPPix(data, size, rc::pix::DibRules::File, 0, &status);
    checkPicture(pix, status, kMaxPicturePixels);
    if (size > 0 && size < (1u << 24)) {
        gData = data;
        gSize = size;
        rc::pixhooks::setBitmapResource(resourceOfInput);
        PPixHand pix = Bmp2PPix(128, 0);
        if (pix) checkPicture(pix, 0, kMaxPicturePixels);
        rc::pixhooks::setBitmapResource(nullptr);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_pictures_entry(data, size);
}
