// The general pixel copy: clipping, the blend table, masks, and the nearest
// and smoothing scalers.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pixels/blitters_internal.h"
#include "pixels/copypix_internal.h"
#include "pixels/ppix_internal.h"
#include "pixels/ppix_region.h"
#include "pixels/scale_kernels.h"

namespace rc::pix {
namespace {

struct BlendTable {
    uint8_t dstPart[256], srcPart[256];
};

void makeBlendTable(int o, BlendTable& t) {
    for (int i = 0; i < 256; ++i) {
        t.dstPart[i] = static_cast<uint8_t>((i * (255 - o) + 127) / 255);
        t.srcPart[i] = static_cast<uint8_t>((i * o + 127) / 255);
    }
}

bool isEmpty(const FmRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

FmRect intersect(const FmRect& a, const FmRect& b) {
    return FmRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
}

FmRect shifted(const FmRect& r, int32_t dx, int32_t dy) {
    return FmRect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool sameRect(const FmRect& a, const FmRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int32_t widthOf(const FmRect& r) {
    return r.right - r.left;
}
int32_t heightOf(const FmRect& r) {
    return r.bottom - r.top;
}

// Address of pixel (x, y) in the buffer's coordinates (y downwards).
uint8_t* pixelAt(const PixView& v, int32_t x, int32_t y) {
    return v.pixels + static_cast<intptr_t>(v.bounds.bottom - 1 - y) * v.rowBytes +
           static_cast<intptr_t>(x - v.bounds.left) * (v.depth / 8);
}

// Writes n source pixels over the destination: a plain copy, the blend
// table, or per-pixel coverage (0 leaves, 255 copies or blends, others mix).
void composeRow(const uint8_t* s, uint8_t* d, int32_t n, const uint8_t* cov, const BlendTable* bt) {
    if (!cov) {
        if (!bt) {
            std::memmove(d, s, static_cast<size_t>(n) * 4);
            return;
        }
        for (int32_t i = 0; i < 4 * n; ++i) d[i] = bt->dstPart[d[i]] + bt->srcPart[s[i]];
        return;
    }
    for (int32_t x = 0; x < n; ++x) {
        const int c = cov[x];
        if (c == 0) continue;
        const uint8_t* sp = s + 4 * x;
        uint8_t* dp = d + 4 * x;
        if (c == 255) {
            if (bt)
                for (int i = 0; i < 4; ++i) dp[i] = bt->dstPart[dp[i]] + bt->srcPart[sp[i]];
            else
                std::memcpy(dp, sp, 4);
            continue;
        }
        for (int i = 0; i < 3; ++i)
            dp[i] = static_cast<uint8_t>(sp[i] + (((255 - c) * (dp[i] - sp[i])) >> 8));
        // alpha grows with coverage, weighted like the colours
        const int da = dp[3];
        dp[3] = static_cast<uint8_t>(da + (((255 - da) * sp[3] * c) >> 16));
    }
}

// Mask reader in source-buffer coordinates.
struct MaskReader {
    enum Kind { kNone, kBits, kCoverage } kind = kNone;
    const uint8_t* bits = nullptr;
    FmRect bitsRect{};  // the rectangle the bit rows cover
    int32_t bitsRow = 0;
    const PixView* coverage = nullptr;

    uint8_t at(int32_t x, int32_t y) const {
        if (kind == kBits) {
            if (x < bitsRect.left || x >= bitsRect.right || y < bitsRect.top ||
                y >= bitsRect.bottom)
                return 0;
            const int32_t col = x - bitsRect.left;
            const uint8_t* row = bits + static_cast<intptr_t>(bitsRect.bottom - 1 - y) * bitsRow;
            return ((row[col >> 3] >> (7 - (col & 7))) & 1) ? 255 : 0;
        }
        const FmRect& b = coverage->bounds;
        if (x < b.left || x >= b.right || y < b.top || y >= b.bottom) return 0;
        return *pixelAt(*coverage, x, y);
    }
};

// True when the two buffers' memory may share bytes.
bool overlaps(const PixView& a, const PixView& b) {
    auto span = [](const PixView& v, const uint8_t*& lo, const uint8_t*& hi) {
        const intptr_t bytes =
            static_cast<intptr_t>(std::abs(v.rowBytes)) * std::max(0, heightOf(v.bounds));
        lo = v.rowBytes < 0 ? v.pixels - bytes : v.pixels;
        hi = lo + bytes + static_cast<intptr_t>(std::abs(v.rowBytes));
    };
    const uint8_t *alo, *ahi, *blo, *bhi;
    span(a, alo, ahi);
    span(b, blo, bhi);
    return alo < bhi && blo < ahi;
}

bool plainRectRegion(const FmRegion& r, const FmRect& rect) {
    return rc::pixels::regionIsRectangle(r) && sameRect(rc::pixels::regionBounds(r), rect);
}

// Moves edges of `a` inside `bounds`; each cut moves the matching edge of `b`
// by the proportional amount (sizes taken before any cut).
void clipScaled(FmRect& a, const FmRect& bounds, FmRect& b) {
    const int64_t aw = widthOf(a), ah = heightOf(a), bw = widthOf(b), bh = heightOf(b);
    if (aw <= 0 || ah <= 0) return;
    if (a.left < bounds.left) {
        b.left += static_cast<int32_t>((int64_t{bounds.left} - a.left) * bw / aw);
        a.left = bounds.left;
    }
    if (a.right > bounds.right) {
        b.right -= static_cast<int32_t>((int64_t{a.right} - bounds.right) * bw / aw);
        a.right = bounds.right;
    }
    if (a.top < bounds.top) {
        b.top += static_cast<int32_t>((int64_t{bounds.top} - a.top) * bh / ah);
        a.top = bounds.top;
    }
    if (a.bottom > bounds.bottom) {
        b.bottom -= static_cast<int32_t>((int64_t{a.bottom} - bounds.bottom) * bh / ah);
        a.bottom = bounds.bottom;
    }
}

// ---- Scalers ----

struct Run {
    int32_t start, count;
};

// Groups n source items into m < n runs: an accumulator advanced by
// (m << 16) / (n - 1) per item closes a run when it reaches 65536 and keeps
// the excess. A run never reaches past the last item.
std::vector<Run> makeRuns(int32_t n, int32_t m) {
    std::vector<Run> runs(m);
    const int64_t inc = (int64_t{m} << 16) / (n - 1);
    int64_t acc = 0;
    int32_t i = 0;
    for (int32_t r = 0; r < m; ++r) {
        if (i >= n) {
            runs[r] = {n - 1, 1};
            continue;
        }
        const int32_t start = i;
        do {
            ++i;
            acc += inc;
        } while (acc < 65536 && i < n);
        if (acc >= 65536) acc -= 65536;
        runs[r] = {start, i - start};
    }
    return runs;
}

// Positions of the interpolating scaler: index, the next index (kept inside
// the source) and the 8-bit weight.
struct Taps {
    std::vector<int32_t> i0, i1, f;
};

Taps interpTaps(int32_t n, int32_t m) {
    Taps t;
    t.i0.resize(m), t.i1.resize(m), t.f.resize(m);
    const int64_t step = (int64_t{n - 1} << 16) / m;
    for (int32_t x = 0; x < m; ++x) {
        const int64_t p = x * step;
        const int32_t i0 = static_cast<int32_t>(p >> 16);
        t.i0[x] = i0;
        t.i1[x] = std::min(i0 + 1, n - 1);
        t.f[x] = static_cast<int32_t>((p >> 8) & 255);
    }
    return t;
}

std::vector<int32_t> nearestMap(int32_t n, int32_t m) {
    std::vector<int32_t> map(m);
    int64_t step = 0;
    if (n > 0) step = m == 1 ? (int64_t{n - 1} << 16) : (int64_t{n - 1} << 16) / (m - 1);
    for (int32_t x = 0; x < m; ++x)
        map[x] = static_cast<int32_t>(std::min<int64_t>((x * step + 0x8000) >> 16, n - 1));
    return map;
}

// Produces destination rows in memory order (bottom first) from a source
// rectangle given by its bottom row and a stride.
class Scaler {
  public:
    Scaler(const uint8_t* src, intptr_t stride, int32_t sw, int32_t sh, int32_t dw, int32_t dh,
           bool smooth)
        : src_(src), stride_(stride), sw_(sw), sh_(sh), dw_(dw), dh_(dh) {
        if (!smooth) {
            mode_ = kNearest;
            cols_ = nearestMap(sw, dw);
            rowsMap_ = nearestMap(sh, dh);
        } else if (sw % 2 == 0 && sh % 2 == 0 && dw % 2 == 0 && dh % 2 == 0 && dw * 2 == sw &&
                   dh * 2 == sh) {
            mode_ = kHalf;
        } else {
            if (dh == sh) {
                // rows keep their size: each one goes straight to the
                // horizontal pass (interpolating at step (n - 1) / n would
                // only blur it)
                mode_ = kSameRows;
            } else if (dh > sh) {
                mode_ = kEnlargeRows;
                rowTaps_ = interpTaps(sh, dh);
                line_.resize(static_cast<size_t>(sw) * 4);
            } else {
                mode_ = kReduceRows;
                rowRuns_ = makeRuns(sh, dh);
                sums_.resize(static_cast<size_t>(sw) * 4);
                line_.resize(static_cast<size_t>(sw) * 4);
            }
            if (dw < sw)
                colRuns_ = makeRuns(sw, dw);
            else if (dw > sw)
                colTaps_ = interpTaps(sw, dw);
        }
    }

    void row(int32_t r, uint8_t* out) {
        switch (mode_) {
            case kNearest:
                pickPixels(src_ + rowsMap_[r] * stride_, out, cols_.data(), dw_);
                break;
            case kHalf: {
                const uint8_t* a = src_ + (2 * r) * stride_;
                halvePixels(a, a + stride_, out, dw_, stream_);
                break;
            }
            case kSameRows:
                horizontalFromLine(src_ + r * stride_, out);
                break;
            case kEnlargeRows: {
                const uint8_t* a = src_ + rowTaps_.i0[r] * stride_;
                const uint8_t* b = src_ + rowTaps_.i1[r] * stride_;
                // columns that keep their size take the rows' mix directly
                uint8_t* mixed = dw_ == sw_ ? out : line_.data();
                lerpBytes(a, b, mixed, 4 * sw_, rowTaps_.f[r]);
                if (mixed != out) horizontalFromLine(mixed, out);
                break;
            }
            case kReduceRows: {
                const Run& run = rowRuns_[r];
                if (run.count == 1 && dw_ >= sw_) {
                    // a single row needs no sums
                    horizontalFromLine(src_ + run.start * stride_, out);
                    break;
                }
                std::fill(sums_.begin(), sums_.end(), 0u);
                for (int32_t k = 0; k < run.count; ++k)
                    addBytes(sums_.data(), src_ + (run.start + k) * stride_, 4 * sw_);
                const uint32_t j = static_cast<uint32_t>(run.count);
                if (dw_ < sw_) {
                    for (int32_t x = 0; x < dw_; ++x) {
                        const Run& cr = colRuns_[x];
                        const uint32_t div = j * static_cast<uint32_t>(cr.count);
                        for (int i = 0; i < 4; ++i) {
                            uint32_t t = 0;
                            for (int32_t k = 0; k < cr.count; ++k)
                                t += sums_[4 * (cr.start + k) + i];
                            out[4 * x + i] = static_cast<uint8_t>(t / div);
                        }
                    }
                } else if (dw_ == sw_) {
                    divideSums(sums_.data(), out, 4 * sw_, j);
                } else {
                    divideSums(sums_.data(), line_.data(), 4 * sw_, j);
                    horizontalFromLine(line_.data(), out);
                }
                break;
            }
        }
    }

    // Rows go straight to a destination that is not read back before the
    // whole picture is done, and the picture is far larger than the caches:
    // the kernels may write around them. finishStreaming() afterwards.
    void streamLargeOutput() {
        const uint64_t bytes = (uint64_t(sw_) * uint64_t(sh_) + uint64_t(dw_) * uint64_t(dh_)) * 4;
        stream_ = mode_ != kNearest && bytes >= rc::pixels::kStreamFillBytes;
    }
    bool streams() const { return stream_; }

  private:
    void horizontalFromLine(const uint8_t* s, uint8_t* out) {
        if (dw_ < sw_) {
            for (int32_t x = 0; x < dw_; ++x) {
                const Run& cr = colRuns_[x];
                for (int i = 0; i < 4; ++i) {
                    uint32_t t = 0;
                    for (int32_t k = 0; k < cr.count; ++k) t += s[4 * (cr.start + k) + i];
                    out[4 * x + i] = static_cast<uint8_t>(t / static_cast<uint32_t>(cr.count));
                }
            }
        } else if (dw_ == sw_) {
            std::memcpy(out, s, static_cast<size_t>(sw_) * 4);  // a 1:1 pass copies
        } else {
            lerpPixels(s, sw_, out, colTaps_.i0.data(), colTaps_.i1.data(), colTaps_.f.data(), dw_,
                       stream_);
        }
    }

    enum Mode { kNearest, kHalf, kSameRows, kEnlargeRows, kReduceRows } mode_;
    const uint8_t* src_;
    intptr_t stride_;
    int32_t sw_, sh_, dw_, dh_;
    std::vector<int32_t> cols_, rowsMap_;
    Taps rowTaps_, colTaps_;
    std::vector<Run> rowRuns_, colRuns_;
    std::vector<uint32_t> sums_;
    std::vector<uint8_t> line_;
    bool stream_ = false;
};

}  // namespace

void scaleRect(const uint8_t* src, int32_t srcStride, int32_t sw, int32_t sh, uint8_t* dst,
               int32_t dstStride, int32_t dw, int32_t dh, bool smooth) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    Scaler scaler(src, srcStride, sw, sh, dw, dh, smooth);
    for (int32_t r = 0; r < dh; ++r) scaler.row(r, dst + static_cast<intptr_t>(r) * dstStride);
}

void regionToBits(const FmRegion& region, const FmRect& rect, uint8_t* bits) {
    const int32_t w = widthOf(rect), h = heightOf(rect);
    if (w <= 0 || h <= 0) return;
    const int32_t rowBytes = maskRowBytes(w);
    std::memset(bits, 0, static_cast<size_t>(rowBytes) * h);
    rc::pixels::forEachRegionSpan(region, rect, [&](int32_t y, int32_t left, int32_t right) {
        uint8_t* row = bits + static_cast<intptr_t>(rect.bottom - 1 - y) * rowBytes;
        for (int32_t x = left; x < right; ++x) {
            const int32_t col = x - rect.left;
            row[col >> 3] |= static_cast<uint8_t>(0x80 >> (col & 7));
        }
    });
}

void copyPix(const PixView& src, const PixView& dst, const FmRect& srcRect, const FmRect& dstRect,
             int32_t flags, const CopyMaskArg& mask) {
    if (isEmpty(srcRect) || isEmpty(dstRect) || !src.pixels || !dst.pixels) return;
    const bool blend = (flags & kCopyBlend) != 0;
    const int opacity = flags & 0xFF;
    if (blend && opacity == 0) return;
    BlendTable table;
    const BlendTable* bt = nullptr;
    if (blend && opacity != 255) {
        makeBlendTable(opacity, table);
        bt = &table;
    }

    MaskReader reader;
    std::vector<uint8_t> regionBits;
    if (flags & kCopyBitMask) {
        if (mask.bits) {
            reader.kind = MaskReader::kBits;
            reader.bits = mask.bits;
            reader.bitsRect = srcRect;
            reader.bitsRow = maskRowBytes(widthOf(srcRect));
        }
    } else if (flags & kCopyCoverageMask) {
        if (mask.coverage && mask.coverage->pixels && mask.coverage->depth == 8) {
            reader.kind = MaskReader::kCoverage;
            reader.coverage = mask.coverage;
        }
    } else if (mask.region && !plainRectRegion(*mask.region, srcRect)) {
        regionBits.resize(static_cast<size_t>(maskRowBytes(widthOf(srcRect))) * heightOf(srcRect));
        regionToBits(*mask.region, srcRect, regionBits.data());
        reader.kind = MaskReader::kBits;
        reader.bits = regionBits.data();
        reader.bitsRect = srcRect;
        reader.bitsRow = maskRowBytes(widthOf(srcRect));
    }
    const bool masked = reader.kind != MaskReader::kNone;
    const bool sameSize =
        widthOf(srcRect) == widthOf(dstRect) && heightOf(srcRect) == heightOf(dstRect);

    // whole buffer onto whole buffer: one block move or suite row copies
    if (sameSize && !bt && !masked && sameRect(srcRect, src.bounds) &&
        sameRect(dstRect, dst.bounds) && src.rowBytes == dst.rowBytes) {
        const int32_t w = widthOf(srcRect), h = heightOf(srcRect);
        if (src.rowBytes == w * 4)
            std::memmove(dst.pixels, src.pixels, static_cast<size_t>(w) * 4 * h);
        else
            callSuiteEntry(kBNCopy32, src.pixels, dst.pixels, w, h, src.rowBytes, dst.rowBytes);
        return;
    }

    std::vector<uint8_t> cov;
    if (sameSize) {
        const int32_t dx = dstRect.left - srcRect.left, dy = dstRect.top - srcRect.top;
        FmRect s = intersect(srcRect, src.bounds);
        s = intersect(s, shifted(dst.bounds, -dx, -dy));
        if (isEmpty(s)) return;
        const int32_t w = widthOf(s), h = heightOf(s);
        if (masked) cov.resize(w);
        // rows run towards the source when the two overlap in one buffer
        const bool upward = pixelAt(dst, s.left + dx, s.top + dy) > pixelAt(src, s.left, s.top);
        for (int32_t k = 0; k < h; ++k) {
            const int32_t y = upward ? s.top + k : s.bottom - 1 - k;
            if (masked)
                for (int32_t x = 0; x < w; ++x) cov[x] = reader.at(s.left + x, y);
            composeRow(pixelAt(src, s.left, y), pixelAt(dst, s.left + dx, y + dy), w,
                       masked ? cov.data() : nullptr, bt);
        }
        return;
    }

    FmRect s = srcRect, d = dstRect;
    clipScaled(s, src.bounds, d);
    clipScaled(d, dst.bounds, s);
    s = intersect(s, src.bounds);
    d = intersect(d, dst.bounds);
    if (isEmpty(s) || isEmpty(d)) return;
    const int32_t sw = widthOf(s), sh = heightOf(s), dw = widthOf(d), dh = heightOf(d);
    const bool smooth = dw < sw || dh < sh || (flags & kCopySmooth);
    Scaler scaler(pixelAt(src, s.left, s.bottom - 1), src.rowBytes, sw, sh, dw, dh, smooth);
    // Plain copies into another block write each scaled row in place; blends,
    // masks and copies within one block go through a row of their own.
    if (!bt && !masked && !overlaps(src, dst)) {
        scaler.streamLargeOutput();
        for (int32_t r = 0; r < dh; ++r) scaler.row(r, pixelAt(dst, d.left, d.bottom - 1 - r));
        if (scaler.streams()) finishStreaming();
        return;
    }
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[static_cast<size_t>(dw) * 4]);
    if (!line) return;
    std::vector<int32_t> maskCols, maskRows;
    if (masked) {
        cov.resize(dw);
        maskCols = nearestMap(sw, dw);
        maskRows = nearestMap(sh, dh);
    }
    for (int32_t r = 0; r < dh; ++r) {
        scaler.row(r, line.get());
        if (masked) {
            const int32_t sy = s.bottom - 1 - maskRows[r];
            for (int32_t x = 0; x < dw; ++x) cov[x] = reader.at(s.left + maskCols[x], sy);
        }
        composeRow(line.get(), pixelAt(dst, d.left, d.bottom - 1 - r), dw,
                   masked ? cov.data() : nullptr, bt);
    }
}

}  // namespace rc::pix
