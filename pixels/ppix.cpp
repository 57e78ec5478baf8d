// Pixel buffers: creation with the memory check, disposal by the real
// owner of the pixel memory, accessors, fills and pixel exchange.
#include <emmintrin.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "pixels/ppix_internal.h"
#include "pixels/ppix_region.h"
#include "reelcore/depthcon.h"
#include "platform/meminfo.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace rc::pixels {

namespace {

constexpr size_t kPixelAlignment = 64;

struct Geometry {
    int64_t width = 0;
    int64_t height = 0;
};

bool geometryOf(const FmRect* bounds, Geometry& g) {
    if (!bounds) return false;
    g.width = static_cast<int64_t>(bounds->right) - bounds->left;
    g.height = static_cast<int64_t>(bounds->bottom) - bounds->top;
    return g.width >= 0 && g.height >= 0 && g.width <= INT32_MAX && g.height <= INT32_MAX;
}

// Bytes of the pixel block: height + 2 rows, in 64 bits; 0 when too large.
uint64_t blockBytes(const Geometry& g, int64_t rowBytes) {
    uint64_t bytes = static_cast<uint64_t>(g.height + 2) * static_cast<uint64_t>(rowBytes);
    return bytes > kMaxPixelBytes ? 0 : bytes;
}

char* allocatePixels(uint64_t bytes) {
    size_t rounded = (static_cast<size_t>(bytes) + kPixelAlignment - 1) & ~(kPixelAlignment - 1);
    if (rounded == 0) rounded = kPixelAlignment;
    return static_cast<char*>(std::aligned_alloc(kPixelAlignment, rounded));
}

void setLowMemory() {
    SetAGlobal(kSlotLowMemory, 1);
}

// True when the system can spare `bytes` and still keep the reserve of
// slot 295.
bool memoryAllows(uint64_t bytes) {
    uint64_t available = rc::platform::availableMemory();
    if (available == 0) return true;  // figures unreadable: let the allocation decide
    intptr_t reserve = GetAGlobal(kSlotMemoryReserve);
    uint64_t keep = reserve > 0 ? static_cast<uint64_t>(reserve) : 0;
    return bytes < available && available - bytes >= keep;
}

PPixHand newRecord(const FmRect* bounds, int32_t rowBytes, int32_t depth, char* pixels) {
    Handle h = NewHandleClear(sizeof(PPixRecord));
    if (!h) return nullptr;
    auto* r = reinterpret_cast<PPixRecord*>(*h);
    r->bounds = *bounds;
    r->rowBytes = rowBytes;
    r->depth = depth;
    r->pixels = pixels;
    return h;
}

PPixHand newOwned(const FmRect* bounds, int32_t depth, bool checkMemory) {
    Geometry g;
    if (!geometryOf(bounds, g)) return nullptr;
    int32_t rowBytes = depth == 32 ? CalcRowBytes(static_cast<int32_t>(g.width), 32)
                                   : static_cast<int32_t>(g.width);
    if (rowBytes == 0 && g.width != 0) return nullptr;
    uint64_t bytes = blockBytes(g, rowBytes);
    if (bytes == 0 && rowBytes != 0) {
        setLowMemory();
        return nullptr;
    }
    if (checkMemory && !memoryAllows(bytes)) {
        setLowMemory();
        return nullptr;
    }
    char* pixels = allocatePixels(bytes);
    if (!pixels) {
        setLowMemory();
        return nullptr;
    }
    PPixHand h = newRecord(bounds, rowBytes, depth, pixels);
    if (!h) std::free(pixels);
    return h;
}

void fillRect(PPixHand pix, const FmRect* rect, uint32_t colour, uint32_t alpha) {
    PPixRecord* r = record(pix);
    if (!r || !r->pixels) return;
    FmRect area{0, 0, width(r), height(r)};
    if (rect) {
        area.left = std::max(area.left, rect->left);
        area.top = std::max(area.top, rect->top);
        area.right = std::min(area.right, rect->right);
        area.bottom = std::min(area.bottom, rect->bottom);
    }
    if (area.left >= area.right || area.top >= area.bottom) return;
    const size_t count = static_cast<size_t>(area.right - area.left);
    // A fill much larger than the caches would only push out what they hold,
    // and plain stores read every line before writing it: stream instead.
    const bool stream = r->depth == 32 &&
                        count * 4 * static_cast<size_t>(area.bottom - area.top) >= kStreamFillBytes;
    // From the rectangle's bottom row upward in memory.
    for (int32_t y = area.bottom - 1; y >= area.top; --y) {
        char* row = rowAddress(r, y);
        if (stream)
            streamWords(reinterpret_cast<uint32_t*>(row) + area.left, count,
                        pixelFromColour(colour, alpha));
        else if (r->depth == 32)
            fillWords(reinterpret_cast<uint32_t*>(row) + area.left, count,
                      pixelFromColour(colour, alpha));
        else
            std::memset(row + area.left, static_cast<int>(colour & 0xFF), count);
    }
    if (stream) streamFence();
}

std::atomic<rc::pixhooks::CopyFn> copyHook{nullptr};

}  // namespace

void fillWords(uint32_t* dst, size_t count, uint32_t value) {
    size_t i = 0;
    while (i < count && (reinterpret_cast<uintptr_t>(dst + i) & 15) != 0) dst[i++] = value;
    const __m128i v = _mm_set1_epi32(static_cast<int>(value));
    for (; i + 16 <= count; i += 16) {
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + i), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + i + 4), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + i + 8), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + i + 12), v);
    }
    for (; i + 4 <= count; i += 4) _mm_store_si128(reinterpret_cast<__m128i*>(dst + i), v);
    for (; i < count; ++i) dst[i] = value;
}

void streamWords(uint32_t* dst, size_t count, uint32_t value) {
    size_t i = 0;
    while (i < count && (reinterpret_cast<uintptr_t>(dst + i) & 15) != 0) dst[i++] = value;
    const __m128i v = _mm_set1_epi32(static_cast<int>(value));
    for (; i + 16 <= count; i += 16) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), v);
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 4), v);
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 8), v);
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 12), v);
    }
    for (; i + 4 <= count; i += 4) _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), v);
    for (; i < count; ++i) dst[i] = value;
}

void streamFence() {
    // streamed stores are weakly ordered: make them visible before the
    // buffer is handed on (to another thread, or read back)
    _mm_sfence();
}

PPixHand newHostAllocated(const FmRect* bounds) {
    auto alloc = reinterpret_cast<PPixHostAlloc>(GetAGlobal(kSlotHostPixelAlloc));
    Geometry g;
    if (!alloc || !geometryOf(bounds, g)) return nullptr;
    int32_t rowBytes = CalcRowBytes(static_cast<int32_t>(g.width), 32);
    if (rowBytes == 0 && g.width != 0) return nullptr;
    uint64_t bytes = blockBytes(g, rowBytes);
    if (bytes == 0 && rowBytes != 0) return nullptr;
    char* pixels = static_cast<char*>(alloc(static_cast<uint32_t>(bytes)));
    if (!pixels) return nullptr;
    PPixHand h = newRecord(bounds, rowBytes, 32, pixels);
    if (!h) {
        if (auto release = reinterpret_cast<PPixHostFree>(GetAGlobal(kSlotHostPixelFree)))
            release(pixels);
        return nullptr;
    }
    record(h)->allocatorMark = kPPixRandMark;
    return h;
}

int32_t copyNearest(PPixHand src, PPixHand dst, const FmRect* srcRect, const FmRect* dstRect) {
    PPixRecord* s = record(src);
    PPixRecord* d = record(dst);
    if (!s || !d || !s->pixels || !d->pixels) return -50;
    if (s->depth != d->depth) return -50;
    const FmRect sr = srcRect ? *srcRect : s->bounds;
    const FmRect dr = dstRect ? *dstRect : d->bounds;
    const int64_t sw = static_cast<int64_t>(sr.right) - sr.left;
    const int64_t sh = static_cast<int64_t>(sr.bottom) - sr.top;
    const int64_t dw = static_cast<int64_t>(dr.right) - dr.left;
    const int64_t dh = static_cast<int64_t>(dr.bottom) - dr.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return 0;
    const int bytes = s->depth == 32 ? 4 : 1;
    const int32_t top = std::max(dr.top, d->bounds.top);
    const int32_t bottom = std::min(dr.bottom, d->bounds.bottom);
    const int32_t left = std::max(dr.left, d->bounds.left);
    const int32_t right = std::min(dr.right, d->bounds.right);
    for (int32_t y = top; y < bottom; ++y) {
        int64_t sy = sr.top + (y - static_cast<int64_t>(dr.top)) * sh / dh;
        if (sy < s->bounds.top || sy >= s->bounds.bottom) continue;
        const char* srow = rowAddress(s, static_cast<int32_t>(sy - s->bounds.top));
        char* drow = rowAddress(d, y - d->bounds.top);
        for (int32_t x = left; x < right; ++x) {
            int64_t sx = sr.left + (x - static_cast<int64_t>(dr.left)) * sw / dw;
            if (sx < s->bounds.left || sx >= s->bounds.right) continue;
            std::memcpy(drow + static_cast<int64_t>(x - d->bounds.left) * bytes,
                        srow + (sx - s->bounds.left) * bytes, bytes);
        }
    }
    return 0;
}

}  // namespace rc::pixels

namespace rc::pixhooks {
void setCopy(CopyFn fn) {
    rc::pixels::copyHook.store(fn);
}
namespace {
int32_t generalCopy(PPixHand src, PPixHand dst, const FmRect* srcRect, const FmRect* dstRect) {
    // The general copy works on 32-bit buffers; 8-bit masks copy by nearest pixel.
    if (ppixGetDepth(src) == 8 && ppixGetDepth(dst) == 8)
        return rc::pixels::copyNearest(src, dst, srcRect, dstRect);
    return ppixCopy(src, dst, srcRect, dstRect, 0, nullptr);
}
}  // namespace
CopyFn copy() {
    CopyFn fn = rc::pixels::copyHook.load();
    return fn ? fn : &generalCopy;
}
}  // namespace rc::pixhooks

using namespace rc::pixels;

extern "C" {

RC_API PPixHand ppixNew(const FmRect* bounds) {
    return newOwned(bounds, 32, true);
}

RC_API PPixHand ppixNew8(const FmRect* bounds) {
    return newOwned(bounds, 8, false);
}

RC_API PPixHand ppixNewPrivate(const FmRect* bounds, void* pixels) {
    Geometry g;
    if (!geometryOf(bounds, g)) return nullptr;
    int32_t rowBytes = CalcRowBytes(static_cast<int32_t>(g.width), 32);
    if (rowBytes == 0 && g.width != 0) return nullptr;
    PPixHand h = newRecord(bounds, rowBytes, 32, static_cast<char*>(pixels));
    if (h) record(h)->privateMark = kPPixRandMark;
    return h;
}

RC_API int32_t ppixDispose(PPixHand pix) {
    PPixRecord* r = record(pix);
    if (!pix) return 0;
    if (r) {
        if (r->privateMark == kPPixRandMark) {
            // the caller's memory
        } else if (r->allocatorMark == kPPixRandMark) {
            auto release = reinterpret_cast<PPixHostFree>(GetAGlobal(kSlotHostPixelFree));
            if (release && r->pixels) release(r->pixels);
        } else {
            std::free(r->pixels);
        }
        if (r->savedFieldStates) DisposeHandle(WordToHandle(r->savedFieldStates));
    }
    DisposeHandle(pix);
    return 0;
}

RC_API void ppixGetBounds(PPixHand pix, FmRect* bounds) {
    PPixRecord* r = record(pix);
    if (r && bounds) *bounds = r->bounds;
}

RC_API int32_t ppixGetRowbytes(PPixHand pix) {
    PPixRecord* r = record(pix);
    return r ? r->rowBytes : 0;
}

RC_API int32_t ppixGetDepth(PPixHand pix) {
    PPixRecord* r = record(pix);
    return r ? r->depth : 0;
}

RC_API int32_t ppixGetPixelFormat(PPixHand pix) {
    PPixRecord* r = record(pix);
    return r ? r->pixelFormat : 0;
}

RC_API char* ppixGetPixels(PPixHand pix) {
    PPixRecord* r = record(pix);
    return r ? r->pixels : nullptr;
}

RC_API uint32_t ppixGetPixelAspectRatio(PPixHand pix) {
    PPixRecord* r = record(pix);
    return r ? r->pixelAspectRatio : 0;
}

RC_API void ppixSetPixelAspectRatio(PPixHand pix, uint32_t ratio) {
    if (PPixRecord* r = record(pix)) r->pixelAspectRatio = ratio;
}

RC_API char* ppixTopLine(char* pixels, int32_t rowBytes, int32_t height) {
    return pixels + static_cast<int64_t>(rowBytes) * (static_cast<int64_t>(height) - 1);
}

RC_API char* ppixNextLine(char* row, int32_t rowBytes) {
    return row - rowBytes;
}

RC_API int32_t ppixLockPixels(PPixHand) {
    return 0;
}
RC_API int32_t ppixUnlockPixels(PPixHand) {
    return 0;
}

RC_API uint32_t ppixGetPixel(PPixHand pix, int32_t x, int32_t y) {
    PPixRecord* r = record(pix);
    // Tested against the width and height, so buffers whose bounds do not
    // start at 0, 0 never read outside their memory.
    if (!r || !r->pixels || x < 0 || y < 0 || x >= width(r) || y >= height(r)) return 0xFFFFFF;
    const char* row = rowAddress(r, y);
    if (r->depth == 8) return static_cast<uint8_t>(row[x]);
    uint32_t v;
    std::memcpy(&v, row + static_cast<int64_t>(x) * 4, 4);
    return v & 0xFFFFFF;
}

RC_API void ppixFillRect(PPixHand pix, const FmRect* rect, uint32_t colour) {
    fillRect(pix, rect, colour, 0xFF);
}

RC_API void ppixFillRectTransparent(PPixHand pix, const FmRect* rect, uint32_t colour) {
    fillRect(pix, rect, colour, 0);
}

RC_API void ppixFillRgn(PPixHand pix, FmRgn region, uint32_t colour) {
    PPixRecord* r = record(pix);
    if (!r || !r->pixels || !region) return;
    const uint32_t value = pixelFromColour(colour, 0xFF);
    forEachRegionSpan(*region, FmRect{0, 0, width(r), height(r)},
                      [&](int32_t y, int32_t left, int32_t right) {
                          char* row = rowAddress(r, y);
                          if (r->depth == 32)
                              fillWords(reinterpret_cast<uint32_t*>(row) + left,
                                        static_cast<size_t>(right - left), value);
                          else
                              std::memset(row + left, static_cast<int>(colour & 0xFF),
                                          static_cast<size_t>(right - left));
                      });
}

RC_API int32_t ppixSwapPixels(PPixHand a, PPixHand b) {
    PPixRecord* ra = record(a);
    PPixRecord* rb = record(b);
    if (!ra || !rb) return nilHandleErr;
    if (a == b) return 0;
    const bool sameGeometry = std::memcmp(&ra->bounds, &rb->bounds, sizeof(FmRect)) == 0 &&
                              ra->depth == rb->depth && ra->rowBytes == rb->rowBytes;
    const bool plain = ra->activeField == 0 && rb->activeField == 0 && ra->savedFieldStates == 0 &&
                       rb->savedFieldStates == 0;
    if (!sameGeometry || !plain) {
        // Different buffers keep their own memory: the picture is copied.
        return rc::pixhooks::copy()(a, b, &ra->bounds, &rb->bounds);
    }
    std::swap(ra->pixels, rb->pixels);
    // The marks travel with the memory so each block is freed by its owner.
    std::swap(ra->allocatorMark, rb->allocatorMark);
    std::swap(ra->privateMark, rb->privateMark);
    for (PPixRecord* r : {ra, rb}) {
        if (!r->frameBase) continue;
        intptr_t offset =
            reinterpret_cast<intptr_t>(r->pixels) - reinterpret_cast<intptr_t>(r->frameBase);
        r->frameBase = r->pixels;
        r->field1Start =
            reinterpret_cast<char*>(reinterpret_cast<intptr_t>(r->field1Start) + offset);
        r->field2Start =
            reinterpret_cast<char*>(reinterpret_cast<intptr_t>(r->field2Start) + offset);
    }
    return 0;
}

RC_API int32_t CalcRowBytes(int32_t width, int32_t depth) {
    if (width < 0) return 0;
    const int64_t w = width;
    int64_t bytes;
    switch (depth) {
        case 32:
            bytes = w * 4;
            return bytes > INT32_MAX ? 0 : static_cast<int32_t>(bytes);
        case 24:
            bytes = w * 3;
            break;
        case 16:
            bytes = w * 2;
            break;
        case 8:
            bytes = w;
            break;
        case 4:
            bytes = (w + 1) / 2;
            break;
        case 1:
            bytes = (w + 7) / 8;
            break;
        default:
            return 0;
    }
    bytes = (bytes + 3) & ~int64_t{3};
    return bytes > INT32_MAX ? 0 : static_cast<int32_t>(bytes);
}

RC_API int64_t CalcPPixSize(const FmRect* bounds) {
    Geometry g;
    if (!geometryOf(bounds, g)) return 160;
    return static_cast<int64_t>(g.width) * 4 * g.height + 160;
}

}  // extern "C"
