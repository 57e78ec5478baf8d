/* A transition that wipes from source 1 to source 2 with a straight edge.
   The edge is square to the line from the record's start point to its end
   point and sweeps the picture in that direction: at part 0 every pixel
   shows source 1, at part == total every pixel shows source 2. Points that
   coincide wipe from left to right.

   Each pixel centre is projected onto the direction (in half-pixel units, so
   everything stays in integers); q is that projection counted from the
   smallest one in the picture and range the largest q. A pixel shows source
   2 when q * total < part * (range + 1). Whole pixels are copied, alpha
   included: the host reads the alpha marks it put into the sources to find
   the edge for its borders and anti-aliasing. */
#include "reelcore/sdk/effect.h"

typedef struct Band {
    const RcPixelBuffer* a;
    const RcPixelBuffer* b;
    const RcPixelBuffer* out;
    int32_t width, height;
    int32_t firstRow, endRow; /* image rows, 0 the top one */
    int64_t dx, dy;           /* the wipe's direction */
    int64_t lowest;           /* the smallest projection in the picture */
    int64_t part, total, range;
} Band;

enum { kMaxBands = 16 };

static const uint32_t* imageRow(const RcPixelBuffer* p, int32_t height, int32_t y) {
    return (const uint32_t*)(p->pixels + (int64_t)p->rowBytes * (height - 1 - y));
}

static int64_t project(const Band* band, int32_t x, int32_t y) {
    return (2 * (int64_t)x + 1) * band->dx + (2 * (int64_t)y + 1) * band->dy;
}

static void wipeBand(void* block) {
    const Band* band = (const Band*)block;
    const int64_t limit = band->part * (band->range + 1);
    for (int32_t y = band->firstRow; y < band->endRow; ++y) {
        const uint32_t* a = imageRow(band->a, band->height, y);
        const uint32_t* b = imageRow(band->b, band->height, y);
        uint32_t* out = (uint32_t*)imageRow(band->out, band->height, y);
        for (int32_t x = 0; x < band->width; ++x) {
            const int64_t q = project(band, x, y) - band->lowest;
            out[x] = q * band->total < limit ? b[x] : a[x];
        }
    }
}

static int32_t smaller(int32_t x, int32_t y) {
    return x < y ? x : y;
}

static int32_t widthOf(const RcPixelBuffer* p) {
    return p->bounds.right - p->bounds.left;
}

static int32_t heightOf(const RcPixelBuffer* p) {
    return p->bounds.bottom - p->bounds.top;
}

static int16_t wipe(const RcEffectRecord* r) {
    if (!r->source1 || !r->source2 || !r->destination || r->total <= 0) return kRcModuleUnsupported;
    const RcPixelBuffer* a = RC_PIXELS(r->source1);
    const RcPixelBuffer* b = RC_PIXELS(r->source2);
    const RcPixelBuffer* out = RC_PIXELS(r->destination);
    /* The pictures share one size in practice; rows are addressed from the
       bottom of each, so the three must agree on the height. */
    if (heightOf(a) != heightOf(out) || heightOf(b) != heightOf(out)) return kRcModuleUnsupported;
    const int32_t width = smaller(smaller(widthOf(a), widthOf(b)), widthOf(out));
    const int32_t height = heightOf(out);
    if (width <= 0 || height <= 0) return 0;

    Band shape;
    shape.a = a;
    shape.b = b;
    shape.out = out;
    shape.width = width;
    shape.height = height;
    shape.dx = (int64_t)r->endPoint.x - r->startPoint.x;
    shape.dy = (int64_t)r->endPoint.y - r->startPoint.y;
    if (shape.dx == 0 && shape.dy == 0) shape.dx = 1;
    /* Keep the products well inside 64 bits for any points. */
    while (shape.dx > 65535 || shape.dx < -65535 || shape.dy > 65535 || shape.dy < -65535) {
        shape.dx /= 2;
        shape.dy /= 2;
    }
    if (shape.dx == 0 && shape.dy == 0) shape.dx = 1;
    /* The extremes of a linear function over the picture lie at its corners. */
    const int64_t corners[4] = {project(&shape, 0, 0), project(&shape, width - 1, 0),
                                project(&shape, 0, height - 1),
                                project(&shape, width - 1, height - 1)};
    int64_t low = corners[0], high = corners[0];
    for (int i = 1; i < 4; ++i) {
        if (corners[i] < low) low = corners[i];
        if (corners[i] > high) high = corners[i];
    }
    shape.lowest = low;
    shape.range = high - low;
    shape.total = r->total;
    shape.part = r->part < 0 ? 0 : r->part > r->total ? r->total : r->part;

    int32_t bands = r->host ? r->host->lockBands(kMaxBands) : 1;
    if (bands < 1) bands = 1;
    if (bands > kMaxBands) bands = kMaxBands;
    Band blocks[kMaxBands];
    for (int32_t i = 0; i < bands; ++i) {
        blocks[i] = shape;
        blocks[i].firstRow = (int32_t)((int64_t)height * i / bands);
        blocks[i].endRow = (int32_t)((int64_t)height * (i + 1) / bands);
    }
    if (bands > 1)
        r->host->runBands(bands, wipeBand, blocks, (int32_t)sizeof(Band));
    else
        wipeBand(&blocks[0]);
    return 0;
}

RC_MODULE_ENTRY int16_t xEffect(int16_t selector, RcHandle record) {
    RcEffectRecord* r = (RcEffectRecord*)*record;
    switch (selector) {
        case kRcEffectProcess:
            return wipe(r);
        case kRcEffectSetup:
            return 0; /* the points are the settings */
        case kRcEffectAspectQuery:
            return 0;
        default:
            return kRcModuleUnsupported;
    }
}
