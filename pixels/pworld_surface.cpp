// Library-owned surfaces for window ids, for hosts without windows.
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <cstring>

#include "pixels/ppix_internal.h"
#include "platform/surface.h"
#include "reelcore/depthcon.h"
#include "reelcore/pworld.h"

namespace {

std::mutex ownedMutex;
std::map<uint32_t, std::unique_ptr<rc::platform::Surface>>& owned() {
    static std::map<uint32_t, std::unique_ptr<rc::platform::Surface>> map;
    return map;
}

}  // namespace

extern "C" {

RC_API int32_t FmCreateWindowSurface(uint32_t window, int32_t width, int32_t height,
                                     int32_t depth) {
    if (width < 1 || height < 1 || static_cast<int64_t>(width) * height > (int64_t{1} << 28))
        return -50;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return -50;
    if (rc::platform::surfaceForWindow(window)) return -50;
    std::lock_guard<std::mutex> lock(ownedMutex);
    try {
        auto s = std::make_unique<rc::platform::Surface>(width, height);
        s->depth = depth;
        rc::platform::registerWindowSurface(window, s.get());
        owned()[window] = std::move(s);
    } catch (const std::bad_alloc&) {
        rc::platform::unregisterWindowSurface(window);
        return memFullErr;
    }
    return 0;
}

RC_API int32_t FmSaveWindowSurfacePNG(uint32_t window, const char* path) {
    rc::platform::Surface* s = rc::platform::surfaceForWindow(window);
    if (!s) return fnfErr;
    if (!path || !rc::platform::writePng(*s, path)) return ioErr;
    return 0;
}

RC_API int32_t FmSaveWindowSurfaceBMP(uint32_t window, const char* path) {
    rc::platform::Surface* s = rc::platform::surfaceForWindow(window);
    if (!s) return fnfErr;
    if (!path) return ioErr;
    // Surface pixels and buffer pixels are both 0xAARRGGBB words, rows top first.
    const FmRect bounds{0, 0, s->width, s->height};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) return memFullErr;
    const PPixRecord* r = rc::pixels::record(pix);
    for (int32_t y = 0; y < s->height; ++y)
        std::memcpy(rc::pixels::rowAddress(r, y), s->row(y), size_t(s->width) * 4);
    const int32_t err = FmWriteBmpFile(pix, path);
    ppixDispose(pix);
    return err == 0 ? 0 : ioErr;
}

RC_API void FmDisposeWindowSurface(uint32_t window) {
    std::lock_guard<std::mutex> lock(ownedMutex);
    auto it = owned().find(window);
    if (it == owned().end()) return;
    rc::platform::unregisterWindowSurface(window);
    owned().erase(it);
}

}  // extern "C"
