// DoImageKey: one superimposed picture keyed and laid over the picture below.
// Every key turns a source pixel into a coverage factor through byte tables;
// the garbage matte limits the coverage (outside it the destination stays).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pixels/ppix_internal.h"
#include "reelcore/depthcon.h"
#include "reelcore/mp.h"
#include "timeline/keying/garbage.h"
#include "timeline/keying/keying_internal.h"
#include "timeline/keying/ramps.h"
#include "timeline/mp_bands.h"

namespace rc::keying {

namespace {

constexpr int32_t kParamErr = -50;

// Rows of a 32-bit picture, top row first.
struct Rows {
    uint8_t* top = nullptr;
    intptr_t stride = 0;
    uint8_t* row(int32_t y) const { return top + stride * y; }
};

Rows rowsOf(const PPixRecord* r) {
    return Rows{reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(r, 0)), -intptr_t{r->rowBytes}};
}

enum class Limit { none, blueToGreen, greenToRedBlue };
enum class AlphaRule { factor, over };

// Everything a row loop needs, read-only while the bands run.
struct KeyJob {
    Rows src, dst, matte;
    int32_t width = 0;
    const uint8_t* garbage = nullptr;  // width bytes a row, 0 outside; null = everywhere
    const uint8_t* M = nullptr;        // the multiply table
    const FmKeySettings* key = nullptr;
    uint32_t o = 0;  // opacity byte
    bool maskOnly = false;
    bool masked = false;  // shadow options: the source alpha limits the coverage
    int32_t type = 0;
    uint8_t ramp[256] = {};  // key value -> factor
    // chroma
    int32_t keyX = 0, keyY = 0, simSq = 0, outerSq = 0;
    uint8_t shadow[256] = {};
    std::vector<uint8_t> blendBySq;  // (distance^2 - simSq - 1) -> factor
    uint8_t over[256] = {}, under[256] = {};
    // multiply and screen: d + (M - d) * w / 255, indexed by M - d + 255
    int16_t towards[511] = {};

    const uint8_t* garbageRow(int32_t y) const {
        return garbage ? garbage + size_t(width) * size_t(y) : nullptr;
    }
    uint32_t mul(uint32_t x, uint32_t y) const { return M[x * 256 + y]; }
};

inline bool outside(const uint8_t* g, int32_t x) {
    return g && !g[x];
}

inline void writeGrey(uint8_t* d, uint32_t v) {
    d[0] = d[1] = d[2] = uint8_t(v);
    d[3] = 255;
}

uint32_t luminance(const FmLumaTables& l, const uint8_t* p) {
    return l.blue[p[0]] + l.green[p[1]] + l.red[p[2]];
}

inline uint32_t channelDistance(const uint8_t* a, const uint8_t* b) {
    const int32_t db = std::abs(int32_t(a[0]) - b[0]), dg = std::abs(int32_t(a[1]) - b[1]),
                  dr = std::abs(int32_t(a[2]) - b[2]);
    return uint32_t(std::max({db, dg, dr}));
}

// Coverage factors of one row: ramp[key value], 0 outside the garbage
// matte, limited by the source alpha in the masked variants.
template <typename KeyValue>
void coverageLoop(const KeyJob& j, int32_t y, uint8_t* cov, KeyValue value) {
    const uint8_t* s = j.src.row(y);
    for (int32_t x = 0; x < j.width; ++x) cov[x] = j.ramp[value(s + 4 * x, x)];
    if (const uint8_t* g = j.garbageRow(y))
        for (int32_t x = 0; x < j.width; ++x)
            if (!g[x]) cov[x] = 0;
    if (j.masked)
        for (int32_t x = 0; x < j.width; ++x) cov[x] = uint8_t(j.mul(cov[x], s[4 * x + 3]));
}

// The coverage of the keys that come down to a factor per pixel.
void coverageRow(const KeyJob& j, int32_t y, uint8_t* cov) {
    const uint8_t* m = j.matte.top ? j.matte.row(y) : nullptr;
    const FmLumaTables& luma = lumaTables();
    const uint8_t keyPixel[4] = {uint8_t(j.key->keyColour >> 16), uint8_t(j.key->keyColour >> 8),
                                 uint8_t(j.key->keyColour), 255};
    static const uint8_t kBlack[4] = {0, 0, 0, 255};
    switch (j.type) {
        case kKeyLuminance:
            coverageLoop(j, y, cov, [&](const uint8_t* p, int32_t) { return luminance(luma, p); });
            break;
        case kKeyBlueScreen:
            coverageLoop(j, y, cov,
                         [](const uint8_t* p, int32_t) { return p[0] * (255u - p[2]) >> 8; });
            break;
        case kKeyGreenScreen:
            coverageLoop(j, y, cov,
                         [](const uint8_t* p, int32_t) { return p[1] * (255u - p[2]) >> 8; });
            break;
        case kKeyNonRed:
            coverageLoop(j, y, cov, [](const uint8_t* p, int32_t) { return 255u - p[2]; });
            break;
        case kKeyRGBDifference:
            coverageLoop(j, y, cov,
                         [&](const uint8_t* p, int32_t) { return channelDistance(p, keyPixel); });
            break;
        case kKeyDifferenceMatte:
            coverageLoop(j, y, cov, [&](const uint8_t* p, int32_t x) {
                return channelDistance(p, m ? m + 4 * x : kBlack);
            });
            break;
        default:  // image and track mattes
            coverageLoop(j, y, cov,
                         [&](const uint8_t*, int32_t x) { return luminance(luma, m + 4 * x); });
            break;
    }
}

// The blend of the threshold keys: g = 255 - f; g = 0 writes the source
// opaque, f = 0 leaves the destination, else M(f, s) + M(g, d).
template <Limit limit, AlphaRule alpha>
void blendLoop(const KeyJob& j, int32_t y, const uint8_t* cov) {
    const uint8_t* s = j.src.row(y);
    uint8_t* d = j.dst.row(y);
    for (int32_t x = 0; x < j.width; ++x, s += 4, d += 4) {
        const uint32_t f = cov[x];
        if (f == 0) continue;
        uint8_t c[3] = {s[0], s[1], s[2]};
        if constexpr (limit == Limit::blueToGreen) c[0] = std::min(c[0], c[1]);
        if constexpr (limit == Limit::greenToRedBlue) c[1] = std::min(c[1], std::max(c[0], c[2]));
        const uint32_t g = 255 - f;
        if (g == 0) {
            d[0] = c[0], d[1] = c[1], d[2] = c[2], d[3] = 255;
            continue;
        }
        const uint8_t* mf = j.M + f * 256;
        const uint8_t* mg = j.M + g * 256;
        d[0] = uint8_t(mf[c[0]] + mg[d[0]]);
        d[1] = uint8_t(mf[c[1]] + mg[d[1]]);
        d[2] = uint8_t(mf[c[2]] + mg[d[2]]);
        if constexpr (alpha == AlphaRule::factor)
            d[3] = uint8_t(f);
        else
            d[3] = uint8_t(f + mg[d[3]]);
    }
}

void blendRow(const KeyJob& j, int32_t y, const uint8_t* cov, Limit limit, AlphaRule alpha) {
    if (alpha == AlphaRule::over)
        blendLoop<Limit::none, AlphaRule::over>(j, y, cov);
    else if (limit == Limit::blueToGreen)
        blendLoop<Limit::blueToGreen, AlphaRule::factor>(j, y, cov);
    else if (limit == Limit::greenToRedBlue)
        blendLoop<Limit::greenToRedBlue, AlphaRule::factor>(j, y, cov);
    else
        blendLoop<Limit::none, AlphaRule::factor>(j, y, cov);
}

void chromaRow(const KeyJob& j, int32_t y) {
    const uint8_t* s = j.src.row(y);
    uint8_t* d = j.dst.row(y);
    const uint8_t* g = j.garbageRow(y);
    const FmChromaTables& ct = chromaTables();
    const FmLumaTables& luma = lumaTables();
    for (int32_t x = 0; x < j.width; ++x, s += 4, d += 4) {
        if (outside(g, x)) {
            if (j.maskOnly) writeGrey(d, 0);
            continue;
        }
        const int32_t dx = ct.xr[s[2]] + ct.xg[s[1]] + ct.xb[s[0]] - j.keyX;
        const int32_t dy = ct.yr[s[2]] + ct.yg[s[1]] + ct.yb[s[0]] - j.keyY;
        const int32_t q = dx * dx + dy * dy;
        if (q <= j.simSq) {
            // keyed out: the destination keeps the source's shadows
            if (j.maskOnly) {
                writeGrey(d, 0);
                continue;
            }
            const uint32_t f = j.shadow[luminance(luma, s)];
            if (f == 0 || f == 255) continue;
            for (int k = 0; k < 3; ++k) d[k] = uint8_t(d[k] * f >> 8);
            d[3] = uint8_t(255 * f >> 8);
        } else if (q <= j.outerSq) {
            uint32_t f = j.blendBySq[size_t(q - j.simSq - 1)];
            if (j.masked) f = j.mul(f, s[3]);
            if (j.maskOnly) {
                writeGrey(d, f);
                continue;
            }
            const uint32_t gg = 255 - f;
            if (gg == 0) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
            } else if (f != 0) {
                for (int k = 0; k < 3; ++k) d[k] = uint8_t((s[k] * f >> 8) + (d[k] * gg >> 8));
                d[3] = uint8_t(f);
            }
        } else if (j.masked) {
            const uint32_t f = j.mul(j.o, s[3]);
            if (j.maskOnly) {
                writeGrey(d, f);
                continue;
            }
            for (int k = 0; k < 4; ++k) d[k] = uint8_t(j.mul(f, s[k]) + j.mul(255 - f, d[k]));
        } else {
            if (j.maskOnly) {
                writeGrey(d, j.o);
                continue;
            }
            for (int k = 0; k < 4; ++k) d[k] = uint8_t(j.over[s[k]] + j.under[d[k]]);
        }
    }
}

void multiplyRow(const KeyJob& j, int32_t y) {
    const uint8_t* s = j.src.row(y);
    uint8_t* d = j.dst.row(y);
    const uint8_t* g = j.garbageRow(y);
    const bool screen = j.type == kKeyScreen;
    for (int32_t x = 0; x < j.width; ++x, s += 4, d += 4) {
        if (j.maskOnly) {
            writeGrey(d, outside(g, x) ? 0 : uint32_t(j.towards[510]));
            continue;
        }
        if (outside(g, x)) continue;
        for (int k = 0; k < 3; ++k) {
            const int32_t m =
                screen ? 255 - int32_t(j.mul(255 - s[k], 255 - d[k])) : j.mul(s[k], d[k]);
            d[k] = uint8_t(d[k] + j.towards[m - d[k] + 255]);
        }
    }
}

// Type 0: the source through the garbage matte at the opacity.
void plainRow(const KeyJob& j, int32_t y) {
    const uint8_t* s = j.src.row(y);
    uint8_t* d = j.dst.row(y);
    const uint8_t* g = j.garbageRow(y);
    const bool reverse = j.key->reverse != 0;
    for (int32_t x = 0; x < j.width; ++x, s += 4, d += 4) {
        const bool in = outside(g, x) == reverse;
        if (j.maskOnly) {
            writeGrey(d, in ? j.o : 0);
        } else if (!in || j.o == 0) {
            continue;
        } else if (j.o == 255) {
            std::memcpy(d, s, 4);
        } else {
            for (int k = 0; k < 4; ++k) d[k] = uint8_t(div255(s[k] * j.o + d[k] * (255 - j.o)));
        }
    }
}

void keyRows(const KeyJob& j, int32_t first, int32_t count) {
    std::vector<uint8_t> cov(size_t(j.width));
    for (int32_t y = first; y < first + count; ++y) {
        switch (j.type) {
            case kKeyNone:
                plainRow(j, y);
                break;
            case kKeyChroma:
                chromaRow(j, y);
                break;
            case kKeyMultiply:
            case kKeyScreen:
                multiplyRow(j, y);
                break;
            default: {
                coverageRow(j, y, cov.data());
                if (j.maskOnly) {
                    uint8_t* d = j.dst.row(y);
                    for (int32_t x = 0; x < j.width; ++x) writeGrey(d + 4 * x, cov[x]);
                    break;
                }
                const bool decided = j.type == kKeyRGBDifference || j.type == kKeyDifferenceMatte ||
                                     j.type == kKeyImageMatte || j.type == kKeyTrackMatte;
                const Limit limit = j.type == kKeyBlueScreen    ? Limit::blueToGreen
                                    : j.type == kKeyGreenScreen ? Limit::greenToRedBlue
                                                                : Limit::none;
                blendRow(j, y, cov.data(), limit, decided ? AlphaRule::over : AlphaRule::factor);
            }
        }
    }
}

// Alpha keys: a coverage table indexed by the source alpha and the blend
// routines of DoNewImpose. Outside the garbage matte the source counts as
// transparent (opaque black when reversed), which the key removes.
int32_t alphaKey(const KeyJob& j, uint32_t opacity, int32_t rows) {
    FmCoverageEntry table[256];
    for (uint32_t a = 0; a < 256; ++a) {
        const uint32_t f =
            j.key->reverse ? j.o - a * j.o / 255 : uint32_t(uint64_t(a) * (opacity + 1) / 65536);
        table[a] = FmCoverageEntry{uint8_t(f), uint8_t(255 - f)};
    }
    if (j.maskOnly) {
        rc::mp::runRowBands(rows, kMPMinSplitRows, [&](int32_t first, int32_t count) {
            for (int32_t y = first; y < first + count; ++y) {
                const uint8_t* s = j.src.row(y);
                const uint8_t* g = j.garbageRow(y);
                uint8_t* d = j.dst.row(y);
                for (int32_t x = 0; x < j.width; ++x)
                    writeGrey(d + 4 * x, outside(g, x) ? 0 : table[s[4 * x + 3]].factor);
            }
        });
        return 0;
    }
    Rows src = j.src;
    std::unique_ptr<uint8_t[]> copy;
    if (j.garbage) {
        const size_t rowLen = size_t(j.width) * 4;
        copy.reset(new (std::nothrow) uint8_t[rowLen * size_t(rows)]);
        if (!copy) return memFullErr;
        const uint8_t fill[4] = {0, 0, 0, uint8_t(j.key->reverse ? 255 : 0)};
        for (int32_t y = 0; y < rows; ++y) {
            uint8_t* row = copy.get() + rowLen * size_t(y);
            std::memcpy(row, j.src.row(y), rowLen);
            const uint8_t* g = j.garbageRow(y);
            for (int32_t x = 0; x < j.width; ++x)
                if (!g[x]) std::memcpy(row + 4 * x, fill, 4);
        }
        src = Rows{copy.get(), intptr_t(rowLen)};
    }
    const int32_t mode = j.type == kKeyBlackAlphaMatte   ? kImposeBlack
                         : j.type == kKeyWhiteAlphaMatte ? kImposeWhite
                                                         : kImposeNormal;
    rc::mp::runRowBands(rows, kMPMinSplitRows, [&](int32_t first, int32_t count) {
        imposeRows(mode, src.row(first), src.stride, j.dst.row(first), j.dst.stride, j.width, count,
                   table);
    });
    return 0;
}

// The tables of the chroma key for this call.
void prepareChroma(KeyJob& j) {
    const FmChromaTables& ct = chromaTables();
    const uint32_t c = j.key->keyColour;
    const uint8_t r = uint8_t(c), g = uint8_t(c >> 8), b = uint8_t(c >> 16);
    j.keyX = ct.xr[r] + ct.xg[g] + ct.xb[b];
    j.keyY = ct.yr[r] + ct.yg[g] + ct.yb[b];
    const int32_t S = j.key->similarity;
    const int32_t W = int32_t(j.key->smoothing * j.o / 255);
    j.simSq = S * S;
    j.outerSq = W > 0 ? (S + W) * (S + W) : j.simSq;
    buildRamp(j.shadow, int32_t(j.key->threshold * j.o / 255), int32_t(j.key->cutoff * j.o / 255),
              255);
    j.blendBySq.resize(size_t(j.outerSq - j.simSq));
    for (int32_t q = j.simSq + 1; q <= j.outerSq; ++q) {
        const int32_t d = std::max(0, int32_t(std::sqrt(double(q))) - S);
        j.blendBySq[size_t(q - j.simSq - 1)] = uint8_t(std::min<uint32_t>(255, d * j.o / W));
    }
    for (uint32_t v = 0; v < 256; ++v) {
        j.over[v] = uint8_t(v * j.o / 255);
        j.under[v] = uint8_t(v * (255 - j.o) / 255);
    }
}

// The factor tables of the keys that come down to one factor per pixel.
void prepareRamp(KeyJob& j) {
    const FmKeySettings& k = *j.key;
    switch (j.type) {
        case kKeyLuminance:
        case kKeyBlueScreen:
        case kKeyGreenScreen:
        case kKeyNonRed:
            buildRamp(j.ramp, int32_t(k.threshold * j.o / 255), int32_t(k.cutoff * j.o / 255), j.o);
            break;
        case kKeyRGBDifference:
        case kKeyDifferenceMatte: {
            // largest channel distance: keyed out up to the similarity, a ramp
            // over the smoothing width, then the opacity
            const uint32_t S = k.similarity, W = k.smoothing;
            for (uint32_t v = 0; v < 256; ++v)
                j.ramp[v] = uint8_t(v <= S ? 0 : v >= S + W ? j.o : (v - S) * j.o / W);
            break;
        }
        default:  // image and track mattes: the matte's brightness (white sums to 253)
            for (uint32_t v = 0; v < 256; ++v) j.ramp[v] = uint8_t(std::min(j.o, v * j.o / 253));
            break;
    }
    if (k.reverse)
        for (uint8_t& f : j.ramp) f = uint8_t(j.o - f);
}

void prepareMultiply(KeyJob& j, uint32_t opacity) {
    const int32_t w = int32_t(uint64_t(j.key->cutoff) * opacity / 65535);
    for (int32_t delta = -255; delta <= 255; ++delta)
        j.towards[delta + 255] = int16_t(delta * w / 255);
}

}  // namespace

}  // namespace rc::keying

using namespace rc::keying;

RC_API int32_t DoImageKey(PPixHand src, PPixHand dst, PPixHand matte, uint8_t* mask,
                          int32_t opacity, const FmKeySettings* key) {
    const PPixRecord* s = rc::pixels::record(src);
    const PPixRecord* d = rc::pixels::record(dst);
    if (!s || !d || !key || !s->pixels || !d->pixels || s->depth != 32 || d->depth != 32)
        return kParamErr;
    if (key->keyType < 0 || key->keyType >= kKeyTypeCount) return kParamErr;
    const int32_t width = std::min(rc::pixels::width(s), rc::pixels::width(d));
    const int32_t height = std::min(rc::pixels::height(s), rc::pixels::height(d));
    if (width <= 0 || height <= 0) return noErr;
    const uint32_t op = uint32_t(std::clamp(opacity, 0, 65535));

    KeyJob job;
    job.src = rowsOf(s);
    job.dst = rowsOf(d);
    job.width = width;
    job.key = key;
    job.type = key->keyType;
    job.o = op >> 8;
    job.maskOnly = key->maskOnly != 0;
    job.masked = key->shadow[0] != 0 || key->shadow[1] != 0;
    job.M = GetMultiplyTable();

    if (key->keyOff) {
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(job.dst.row(y), job.src.row(y), size_t(width) * 4);
        return noErr;
    }

    // The matte picture of the matte keys, at the size of the source.
    PPixHand scaledMatte = nullptr;
    struct Release {
        PPixHand& pix;
        ~Release() {
            if (pix) ppixDispose(pix);
        }
    } release{scaledMatte};
    const bool usesMatte =
        job.type == kKeyImageMatte || job.type == kKeyDifferenceMatte || job.type == kKeyTrackMatte;
    if (usesMatte) {
        if (matte && job.type != kKeyTrackMatte && key->matteFile != 0 && key->matteFile != -1 &&
            drawMatteStill())
            drawMatteStill()(key->matteFile, matte);
        const PPixRecord* m = rc::pixels::record(matte);
        if (m && (!m->pixels || m->depth != 32)) m = nullptr;
        if (!m && job.type != kKeyDifferenceMatte) return noErr;  // nothing to key with
        if (m && (rc::pixels::width(m) < width || rc::pixels::height(m) < height)) {
            const FmRect bounds{0, 0, width, height};
            scaledMatte = ppixNew(&bounds);
            if (!scaledMatte) return memFullErr;
            ppixCopy(matte, scaledMatte, nullptr, nullptr, 0, nullptr);
            m = rc::pixels::record(scaledMatte);
        }
        if (m) job.matte = rowsOf(m);
    }

    // The garbage matte, when the item sets one that leaves part of the frame out.
    std::unique_ptr<uint8_t[]> ownMask;
    FmPoint corners[4];  // the packed record's corners are not aligned
    std::memcpy(corners, reinterpret_cast<const char*>(key) + offsetof(FmKeySettings, garbage),
                sizeof corners);
    if (!garbageUnset(corners)) {
        uint8_t* area = mask;
        if (!area) {
            ownMask.reset(new (std::nothrow) uint8_t[size_t(width) * size_t(height)]);
            if (!ownMask) return memFullErr;
            area = ownMask.get();
        }
        if (rasteriseGarbage(corners, width, height, area)) job.garbage = area;
    }

    switch (job.type) {
        case kKeyAlpha:
        case kKeyBlackAlphaMatte:
        case kKeyWhiteAlphaMatte:
            return alphaKey(job, op, height);
        case kKeyChroma:
            prepareChroma(job);
            break;
        case kKeyMultiply:
        case kKeyScreen:
            prepareMultiply(job, op);
            break;
        case kKeyNone:
            break;
        default:
            prepareRamp(job);
            break;
    }
    rc::mp::runRowBands(height, kMPMinSplitRows,
                        [&](int32_t first, int32_t count) { keyRows(job, first, count); });
    return noErr;
}
