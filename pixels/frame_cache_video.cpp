// Video frames in the cache: copying a rectangle of a buffer in (at 24 or 32
// bits) and back out (always at 32 bits), through the row converters.
#include <algorithm>
#include <climits>

#include "pixels/frame_cache_index.h"
#include "reelcore/depthcon.h"
#include "reelcore/ppix.h"

namespace {

using namespace rc::framecache;

const PPixRecord* recordOf(Handle pix) {
    return pix && *pix ? reinterpret_cast<const PPixRecord*>(*pix) : nullptr;
}

// Memory rows of a 32-bit buffer that may be addressed from its pixel
// pointer. While one field is active the pointer steps two frame rows at a
// time, so only the rows of that field lie inside the frame.
int64_t usableRows(const PPixRecord* r) {
    const int64_t height = int64_t(r->bounds.bottom) - r->bounds.top;
    if (height <= 0 || r->rowBytes <= 0) return 0;
    if (r->activeField == 0 || !r->frameBase) return height;
    const int64_t frameRow = r->rowBytes / 2;
    const int64_t left = (r->frameBase + frameRow * height) - r->pixels;
    if (frameRow <= 0 || left < frameRow) return 0;
    return (left - frameRow) / r->rowBytes + 1;
}

// A 32-bit buffer whose rows hold its width: the only kind frames are
// copied from or to.
bool usable32(const PPixRecord* r) {
    if (!r || r->depth != 32 || !r->pixels) return false;
    const int64_t width = int64_t(r->bounds.right) - r->bounds.left;
    return width > 0 && r->rowBytes >= width * 4;
}

}  // namespace

RC_API Boolean AddFrame(int32_t file, int32_t frame, const FmRect* rect, int32_t depth,
                        Handle srcPix) {
    if (!head() || !rect || (depth != 24 && depth != 32)) return 0;
    const PPixRecord* src = recordOf(srcPix);
    if (!src || !usable32(src)) return 0;
    const int64_t width = int64_t(rect->right) - rect->left;
    const int64_t height = int64_t(rect->bottom) - rect->top;
    const int64_t srcWidth = int64_t(src->bounds.right) - src->bounds.left;
    // The whole rectangle must lie in the source: a partial copy would be
    // cached as if it were the frame.
    if (width <= 0 || height <= 0 || rect->left < 0 || rect->top < 0 || rect->right > srcWidth ||
        rect->bottom > usableRows(src))
        return 0;
    const int64_t bytes = width * height * (depth / 8);
    if (bytes > INT32_MAX) return 0;

    FBlock b = getEntry(kCacheKindVideo, int32_t(bytes));
    if (!b) return 0;
    FrameCacheEntry* e = entryOf(b);
    e->kind = kCacheKindVideo;
    e->file = file;
    e->position = frame;
    e->widthOrFormat = int32_t(width);
    e->heightOrRate = int32_t(height);
    e->depth = int16_t(depth);
    // Memory row `top`, column `left`, stepping up through memory as the
    // stored rows do.
    src = recordOf(srcPix);
    const char* from = src->pixels + int64_t(src->rowBytes) * rect->top + int64_t(rect->left) * 4;
    void* to = e->data->address;
    const int32_t storedRow = int32_t(width * (depth / 8));
    if (depth == 32)
        Copy32(from, to, int32_t(width), int32_t(height), src->rowBytes, storedRow);
    else
        DepthCon32To24(from, to, int32_t(width), int32_t(height), src->rowBytes, storedRow);
    InsertFrame(b);
    return 1;
}

RC_API Boolean GetFrame(FBlock entry, int32_t x, int32_t y, Handle dstPix) {
    FBlock h = head();
    if (!h || !entry || !entry->address || entry == h || entry == tail()) return 0;
    const FrameCacheEntry* e = entryOf(entry);
    if (e->kind != kCacheKindVideo || !e->data || (e->depth != 24 && e->depth != 32)) return 0;
    const int64_t width = e->widthOrFormat, height = e->heightOrRate;
    const int64_t pixelBytes = e->depth / 8;
    if (width <= 0 || height <= 0 || int64_t(GetFBlockSize(e->data)) < width * height * pixelBytes)
        return 0;
    const PPixRecord* dst = recordOf(dstPix);
    if (!dst || !usable32(dst)) return 0;
    InsertFrame(entry);
    e = entryOf(entry);

    // The part of the frame that lands inside the destination.
    const int64_t dstWidth = int64_t(dst->bounds.right) - dst->bounds.left;
    const int64_t col0 = std::max<int64_t>(0, -int64_t(x));
    const int64_t col1 = std::min<int64_t>(width, dstWidth - x);
    const int64_t row0 = std::max<int64_t>(0, -int64_t(y));
    const int64_t row1 = std::min<int64_t>(height, usableRows(dst) - y);
    if (col0 >= col1 || row0 >= row1) return 0;

    const char* from = e->data->address + (row0 * width + col0) * pixelBytes;
    char* to = dst->pixels + (y + row0) * int64_t(dst->rowBytes) + (x + col0) * 4;
    const int32_t cols = int32_t(col1 - col0), rows = int32_t(row1 - row0);
    const int32_t storedRow = int32_t(width * pixelBytes);
    if (e->depth == 32)
        Copy32(from, to, cols, rows, storedRow, dst->rowBytes);
    else
        DepthCon24To32(from, to, cols, rows, storedRow, dst->rowBytes);
    return 1;
}
