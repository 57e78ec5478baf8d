// EffectCore and DoEffect: a transition module between two pictures, with
// the progress window of the settings, square pixels for modules that want
// them, the alpha marks that tell which source each pixel came from, and the
// borders and anti-aliasing drawn along that edge.
#include <algorithm>
#include <cstring>
#include <vector>

#include "reelcore/aspect.h"
#include "reelcore/depthcon.h"
#include "reelcore/effects.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/pworld.h"
#include "timeline/render/render_hooks.h"
#include "timeline/render/render_internal.h"

namespace rc::render {

namespace {

constexpr uint8_t kMarkSource1 = 31, kMarkSource2 = 0;

RcEffectRecord& recordOf(Handle h) {
    return *reinterpret_cast<RcEffectRecord*>(*h);
}

PPixHand pictureOf(uint32_t word) {
    return WordToHandle(word);
}

bool square(uint32_t aspect) {
    return aspect == 0 || aspect == 1 || aspect == 0x10001;
}

// The alpha bytes of a picture, saved and restored around the module.
struct SavedAlpha {
    PPixHand pix = nullptr;
    std::vector<uint8_t> alpha;
    void save(PPixHand p, uint8_t mark) {
        pix = p;
        const int32_t w = widthOf(p), h = heightOf(p);
        alpha.resize(size_t(w) * size_t(h));
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = rowOf(p, y);
            for (int32_t x = 0; x < w; ++x) {
                alpha[size_t(y) * w + x] = row[4 * x + 3];
                row[4 * x + 3] = mark;
            }
        }
    }
    void restore() {
        if (!pix) return;
        const int32_t w = widthOf(pix), h = heightOf(pix);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = rowOf(pix, y);
            for (int32_t x = 0; x < w; ++x) row[4 * x + 3] = alpha[size_t(y) * w + x];
        }
    }
    uint8_t at(int32_t x, int32_t y) const {
        const int32_t w = widthOf(pix);
        return alpha.empty() ? 255 : alpha[size_t(y) * w + x];
    }
};

// Which source each destination pixel came from: 1 or 2 by the nearer alpha
// mark, 3 once a border covers it.
std::vector<uint8_t> classify(PPixHand dst) {
    const int32_t w = widthOf(dst), h = heightOf(dst);
    std::vector<uint8_t> cls(size_t(w) * size_t(h));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = rowOf(dst, y);
        for (int32_t x = 0; x < w; ++x) cls[size_t(y) * w + x] = row[4 * x + 3] >= 16 ? 1 : 2;
    }
    return cls;
}

// Pixels of class `from` with a 4-neighbour of another class.
std::vector<size_t> edgePixels(const std::vector<uint8_t>& cls, int32_t w, int32_t h,
                               uint8_t from) {
    std::vector<size_t> out;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            if (cls[i] != from) continue;
            const bool edge = (x > 0 && cls[i - 1] != from) || (x + 1 < w && cls[i + 1] != from) ||
                              (y > 0 && cls[i - w] != from) || (y + 1 < h && cls[i + w] != from);
            if (edge) out.push_back(i);
        }
    return out;
}

void drawBorder(PPixHand dst, std::vector<uint8_t>& cls, int32_t passes, uint32_t colour) {
    const int32_t w = widthOf(dst), h = heightOf(dst);
    // 0x00BBGGRR to B, G, R, A bytes.
    const uint8_t bgr[3] = {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour)};
    for (int32_t pass = 0; pass < passes; ++pass) {
        // Each pass eats one pixel into source 2's side of the edge.
        std::vector<size_t> edge;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x;
                if (cls[i] != 2) continue;
                const bool touches = (x > 0 && cls[i - 1] != 2) || (x + 1 < w && cls[i + 1] != 2) ||
                                     (y > 0 && cls[i - w] != 2) || (y + 1 < h && cls[i + w] != 2);
                if (touches) edge.push_back(i);
            }
        for (size_t i : edge) {
            cls[i] = 3;
            uint8_t* p = rowOf(dst, int32_t(i / w)) + 4 * (i % w);
            p[0] = bgr[0], p[1] = bgr[1], p[2] = bgr[2];
        }
    }
}

// Smooths the pixels along class boundaries with their 3 x 3 neighbourhood.
void antiAlias(PPixHand dst, const std::vector<uint8_t>& cls, int32_t passes) {
    const int32_t w = widthOf(dst), h = heightOf(dst);
    std::vector<size_t> edge;
    for (uint8_t c : {uint8_t(1), uint8_t(2), uint8_t(3)}) {
        std::vector<size_t> e = edgePixels(cls, w, h, c);
        edge.insert(edge.end(), e.begin(), e.end());
    }
    std::vector<uint8_t> out(edge.size() * 3);
    for (int32_t pass = 0; pass < passes; ++pass) {
        for (size_t k = 0; k < edge.size(); ++k) {
            const int32_t x = int32_t(edge[k] % w), y = int32_t(edge[k] / w);
            uint32_t sum[3] = {0, 0, 0}, n = 0;
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                    const uint8_t* p = rowOf(dst, yy) + 4 * xx;
                    for (int c = 0; c < 3; ++c) sum[c] += p[c];
                    ++n;
                }
            for (int c = 0; c < 3; ++c) out[k * 3 + c] = uint8_t((sum[c] + n / 2) / n);
        }
        for (size_t k = 0; k < edge.size(); ++k) {
            uint8_t* p = rowOf(dst, int32_t(edge[k] / w)) + 4 * (edge[k] % w);
            std::memcpy(p, &out[k * 3], 3);
        }
    }
}

PPixHand squareCopy(PPixHand src, uint32_t aspect) {
    const FmRect b{0, 0, FmPixelWidthScale(aspect, widthOf(src)), heightOf(src)};
    if (b.right <= 0) return nullptr;
    PPixHand out = ppixNew(&b);
    if (out) {
        ppixCopy(src, out, nullptr, nullptr, 0, nullptr);
        ppixSetPixelAspectRatio(out, 0x10001);
    }
    return out;
}

}  // namespace

}  // namespace rc::render

using namespace rc::render;

RC_API int16_t EffectCore(int16_t fileID, Handle record, uint8_t* mask,
                          const TransitionSettings* settings) {
    (void)mask;
    if (!record || !*record || GetHandleSize(record) < sizeof(RcEffectRecord) || !settings)
        return -50;
    const int32_t savedPart = recordOf(record).part, savedTotal = recordOf(record).total;
    const uint32_t savedSpecs = recordOf(record).specsHandle;
    const RcPoint savedPoints[3] = {recordOf(record).startPoint, recordOf(record).endPoint,
                                    recordOf(record).centerPoint};
    const uint32_t dstWord = recordOf(record).destination;
    const uint32_t srcWords[2] = {recordOf(record).source1, recordOf(record).source2};
    PPixHand dst = pictureOf(dstWord), s1 = pictureOf(srcWords[0]), s2 = pictureOf(srcWords[1]);
    if (!dst || !s1 || !s2) return -50;

    // 1, 2: the progress window of the settings and the reverse flag. The
    // product is taken in 64 bits: long transitions overflow 32.
    {
        RcEffectRecord& r = recordOf(record);
        if (r.total == 0) r.total = 1;
        const int64_t start = settings->startPercent, end = settings->endPercent;
        if (start != 0 || end != 10000) {
            r.part = int32_t(start + (end - start) * int64_t(r.part) / r.total);
            r.total = 10000;
        }
        if (settings->reverse) r.part = r.total - r.part;
        // 3.
        r.specsHandle = settings->settings;
    }

    // 4: square pixels for modules that cannot cope with others.
    PPixHand sq[3] = {nullptr, nullptr, nullptr};
    const uint32_t a1 = ppixGetPixelAspectRatio(s1), a2 = ppixGetPixelAspectRatio(s2);
    const uint32_t ad = ppixGetPixelAspectRatio(dst);
    const intptr_t squareMode = GetAGlobal(kSlotSquarePixelMode);
    const bool borderWidens = settings->borderWidth > 0 && !square(ad) &&
                              FmPixelWidthScale(ad, widthOf(dst)) != widthOf(dst);
    const bool sourcesOdd = squareMode >= 0 && (!square(a1) || !square(a2) || a1 != a2);
    if ((borderWidens || sourcesOdd) && !hooks().anyAspect(fileID)) {
        const int16_t answer = hooks().effect(fileID, kRcEffectAspectQuery, record);
        if ((answer == 0 && squareMode > 0) || (answer & 4)) {
            const uint32_t aspect = !square(a1) ? a1 : !square(a2) ? a2 : ad;
            sq[0] = squareCopy(s1, aspect);
            sq[1] = squareCopy(s2, aspect);
            sq[2] = squareCopy(dst, aspect);
            if (sq[0] && sq[1] && sq[2]) {
                recordOf(record).source1 = HandleToWord(sq[0]);
                recordOf(record).source2 = HandleToWord(sq[1]);
                recordOf(record).destination = HandleToWord(sq[2]);
            }
        }
    }
    PPixHand workDst = pictureOf(recordOf(record).destination);
    PPixHand work1 = pictureOf(recordOf(record).source1);
    PPixHand work2 = pictureOf(recordOf(record).source2);

    // 5: alpha marks when the edge matters.
    const bool marks = settings->antiAliasPasses > 0 || settings->borderWidth > 0;
    SavedAlpha alpha1, alpha2;
    if (marks) {
        alpha1.save(work1, kMarkSource1);
        alpha2.save(work2, kMarkSource2);
    }

    // 6: points from the 117 x 87 reference frame onto the frame.
    {
        RcEffectRecord& r = recordOf(record);
        const int32_t w = widthOf(workDst), h = heightOf(workDst);
        auto map = [&](FmPoint p) {
            return RcPoint{int32_t(int64_t(p.x) * w / 117), int32_t(int64_t(p.y) * h / 87)};
        };
        r.startPoint = map(settings->startPoint);
        r.endPoint = map(settings->endPoint);
        r.centerPoint = map(FmPoint{58, 43});
    }

    // 7: the module.
    const int16_t err = hooks().effect(fileID, kRcEffectProcess, record);
    if (err) {
        fillBlack(workDst);
    } else if (marks) {
        // 8: borders and anti-aliasing along the edge between the sources.
        std::vector<uint8_t> cls = classify(workDst);
        if (settings->borderWidth > 0)
            drawBorder(workDst, cls, settings->borderWidth, settings->borderColor);
        if (settings->antiAliasPasses > 0) antiAlias(workDst, cls, settings->antiAliasPasses);
        // The destination's alpha: that of the source each pixel came from.
        const int32_t w = widthOf(workDst), h = heightOf(workDst);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = rowOf(workDst, y);
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t c = cls[size_t(y) * w + x];
                const bool inside1 = x < widthOf(work1) && y < heightOf(work1);
                const bool inside2 = x < widthOf(work2) && y < heightOf(work2);
                row[4 * x + 3] = c == 3   ? 255
                                 : c == 1 ? (inside1 ? alpha1.at(x, y) : 255)
                                          : (inside2 ? alpha2.at(x, y) : 255);
            }
        }
    }
    if (marks) {
        alpha1.restore();
        alpha2.restore();
    }
    // The square-pixel result back into the real destination.
    if (sq[0] && sq[1] && sq[2]) ppixCopy(sq[2], dst, nullptr, nullptr, 0, nullptr);
    for (PPixHand p : sq)
        if (p) ppixDispose(p);

    // 9: the record as the caller gave it (the field path reuses it).
    RcEffectRecord& r = recordOf(record);
    r.part = savedPart;
    r.total = savedTotal;
    r.specsHandle = savedSpecs;
    r.startPoint = savedPoints[0];
    r.endPoint = savedPoints[1];
    r.centerPoint = savedPoints[2];
    r.source1 = srcWords[0];
    r.source2 = srcWords[1];
    r.destination = dstWord;
    return err;
}

RC_API int16_t DoEffect(int16_t fileID, int32_t part, int32_t total, PWorld world1, PWorld world2,
                        PWorld worldDst, uint8_t arrowFlags, const TransitionSettings* settings,
                        uint8_t previewing, const TDB* tdb) {
    PPixHand p1 = pwGetPPix(world1), p2 = pwGetPPix(world2), pd = pwGetPPix(worldDst);
    if (!p1 || !p2 || !pd || !settings) return -50;
    Handle record = NewHandleClear(sizeof(RcEffectRecord));
    if (!record) return memFullErr;
    const bool same = settings->source == settings->reverse;
    const TDB base = tdb ? *tdb : TDB{0, 30, 1};
    RcEffectRecord& r = recordOf(record);
    r.source1 = HandleToWord(same ? p1 : p2);
    r.source2 = HandleToWord(same ? p2 : p1);
    r.destination = HandleToWord(pd);
    r.part = part;
    r.total = total;
    r.previewing = previewing;
    r.arrowFlags = arrowFlags;
    r.reverse = settings->reverse;
    r.source = settings->source;
    r.version = kRcEffectRecordVersion;
    r.flags = 32;
    r.tdb = reinterpret_cast<const RcTimeBase*>(&base);
    const int16_t err = EffectCore(fileID, record, nullptr, settings);
    if (recordOf(record).sequenceData) hooks().effect(fileID, kRcEffectDisposeData, record);
    DisposeHandle(record);
    return err;
}
