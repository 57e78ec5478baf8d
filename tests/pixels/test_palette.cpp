// Histogram, palette builder, inverse lookup and pixel reduction on small
// synthetic bitmaps with known answers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixel_test_util.h"
#include "reelcore/imagefilters.h"
#include "reelcore/memory.h"

namespace {

// A packed bitmap: header, colour table, rows (bottom-up, padded to 4).
struct Dib {
    std::vector<uint8_t> mem;
    FmBitmapInfoHeader* header() { return reinterpret_cast<FmBitmapInfoHeader*>(mem.data()); }
    uint8_t* bits() { return mem.data() + 40 + 4 * header()->clrUsed; }
    int32_t rowBytes() const {
        auto* h = reinterpret_cast<const FmBitmapInfoHeader*>(mem.data());
        return ((h->width * h->bitCount + 31) / 32) * 4;
    }
};

Dib makeDib(int32_t w, int32_t h, int bits, uint32_t colors = 0) {
    Dib d;
    const int32_t rowBytes = ((w * bits + 31) / 32) * 4;
    d.mem.assign(40 + 4 * colors + size_t(rowBytes) * h, 0);
    FmBitmapInfoHeader* hdr = d.header();
    hdr->size = 40;
    hdr->width = w;
    hdr->height = h;
    hdr->planes = 1;
    hdr->bitCount = uint16_t(bits);
    hdr->clrUsed = colors;
    return d;
}

uint32_t code15(int r, int g, int b) {
    return uint32_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

class PaletteTest : public ::testing::Test {
  protected:
    void SetUp() override { pixtest::resetRuntime(); }
};

}  // namespace

TEST_F(PaletteTest, HistogramCountsDirectAndIndexedBitmaps) {
    Handle hist = InitHistogram(nullptr);
    ASSERT_NE(hist, nullptr);
    EXPECT_EQ(GetHandleSize(hist), uint32_t(kHistogramBytes));
    EXPECT_EQ(InitHistogram(hist), hist);
    // 24-bit: 5 x 3 with a known colour in the top-left 2 x 2 corner
    Dib d = makeDib(5, 3, 24);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            uint8_t* p = d.bits() + (2 - y) * d.rowBytes() + 3 * x;
            const bool corner = x < 2 && y < 2;
            p[0] = corner ? 200 : 8, p[1] = corner ? 100 : 16, p[2] = corner ? 50 : 24;
        }
    ASSERT_EQ(DibHistogram(d.header(), d.bits(), 0, 0, 2, 2, hist), 1);
    const uint32_t* counts = reinterpret_cast<const uint32_t*>(*hist);
    EXPECT_EQ(counts[code15(50, 100, 200)], 4u);
    ASSERT_EQ(DibHistogram(d.header(), nullptr, 0, 0, -1, -1, hist), 1);  // bits follow the header
    EXPECT_EQ(counts[code15(50, 100, 200)], 8u);
    EXPECT_EQ(counts[code15(24, 16, 8)], 11u);
    // 4-bit through the colour table
    Dib p = makeDib(3, 1, 4, 2);
    uint8_t* table = p.mem.data() + 40;
    table[4] = 255, table[5] = 0, table[6] = 0;  // index 1: blue
    p.bits()[0] = 0x10;                          // pixels 1, 0, 0
    ASSERT_EQ(DibHistogram(p.header(), nullptr, 0, 0, -1, -1, hist), 1);
    EXPECT_EQ(counts[code15(0, 0, 255)], 1u);
    EXPECT_EQ(counts[0], 2u);
    EXPECT_EQ(DibHistogram(nullptr, nullptr, 0, 0, -1, -1, hist), 0);
    EXPECT_EQ(DibHistogram(d.header(), nullptr, 0, 0, -1, -1, nullptr), 0);
    // a saturated counter stays at the top
    reinterpret_cast<uint32_t*>(*hist)[code15(50, 100, 200)] = 0xFFFFFFFFu;
    DibHistogram(d.header(), nullptr, 0, 0, -1, -1, hist);
    EXPECT_EQ(counts[code15(50, 100, 200)], 0xFFFFFFFFu);
    FreeHistogram(hist);
}

TEST_F(PaletteTest, ThreeColoursGiveThreeBoxesWithExactLookups) {
    Handle hist = InitHistogram(nullptr);
    uint32_t* counts = reinterpret_cast<uint32_t*>(*hist);
    const int colours[3][3] = {{248, 0, 0}, {0, 248, 0}, {40, 80, 120}};
    const uint32_t population[3] = {500, 300, 100};
    for (int i = 0; i < 3; ++i)
        counts[code15(colours[i][0], colours[i][1], colours[i][2])] = population[i];
    std::vector<uint8_t> lookup(kPalLookupBytes, 0xEE);
    FmLogPalette* pal = HistogramPalette(hist, lookup.data(), 236);
    ASSERT_NE(pal, nullptr);
    ASSERT_EQ(pal->count, 3);
    for (int i = 0; i < 3; ++i) {
        // boxes are ordered by population; a single-level box of level v gives
        // ((v * N + N / 2) * 255 / N) >> 5
        const uint32_t code = code15(colours[i][0], colours[i][1], colours[i][2]);
        EXPECT_EQ(lookup[code], i);
        const FmPaletteEntry& e = pal->entries[i];
        const uint32_t n = population[i];
        auto level = [n](int v) { return int((((uint64_t(v / 8) * n + n / 2) * 255) / n) >> 5); };
        EXPECT_EQ(e.red, level(colours[i][0]));
        EXPECT_EQ(e.green, level(colours[i][1]));
        EXPECT_EQ(e.blue, level(colours[i][2]));
    }
    DisposePtr(reinterpret_cast<Ptr>(pal));

    // above 236 colours: 256 entries with the fixed colours at both ends
    pal = HistogramPalette(hist, nullptr, 256);
    ASSERT_NE(pal, nullptr);
    ASSERT_EQ(pal->count, 256);
    EXPECT_EQ(pal->entries[0].red, 0);
    EXPECT_EQ(pal->entries[255].red, 255);
    EXPECT_EQ(pal->entries[255].blue, 255);
    EXPECT_EQ(pal->entries[13].red, 0);  // unused boxes are black
    DisposePtr(reinterpret_cast<Ptr>(pal));
    FreeHistogram(hist);
}

TEST_F(PaletteTest, LargeCountsAreHalvedAndCutsKeepBothSidesPopulated) {
    Handle hist = InitHistogram(nullptr);
    uint32_t* counts = reinterpret_cast<uint32_t*>(*hist);
    // two colours far apart with a huge count: halving must keep both
    counts[code15(0, 0, 0)] = 3000000;
    counts[code15(255, 255, 255)] = 1;
    counts[code15(255, 0, 255)] = 70000;
    std::vector<uint8_t> lookup(kPalLookupBytes);
    FmLogPalette* pal = HistogramPalette(hist, lookup.data(), 236);
    ASSERT_NE(pal, nullptr);
    for (uint32_t i = 0; i < 32768; ++i) ASSERT_LE(counts[i], 65535u);
    EXPECT_EQ(counts[code15(255, 255, 255)], 0u);  // 1 halves to 0
    // no empty box is made: as many entries as distinct colours left
    EXPECT_EQ(pal->count, 2);
    EXPECT_NE(lookup[code15(0, 0, 0)], lookup[code15(255, 0, 255)]);
    DisposePtr(reinterpret_cast<Ptr>(pal));

    // an empty histogram gives one black box
    std::memset(counts, 0, kHistogramBytes);
    pal = HistogramPalette(hist, lookup.data(), 10);
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(pal->count, 1);
    EXPECT_EQ(pal->entries[0].red + pal->entries[0].green + pal->entries[0].blue, 0);
    DisposePtr(reinterpret_cast<Ptr>(pal));
    FreeHistogram(hist);
}

TEST_F(PaletteTest, LookupPicksTheNearestEntry) {
    std::vector<uint8_t> palMem(4 + 4 * 4);
    auto* pal = reinterpret_cast<FmLogPalette*>(palMem.data());
    pal->version = 0x300;
    pal->count = 4;
    const uint8_t e[4][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 200}};
    for (int i = 0; i < 4; ++i) pal->entries[i] = FmPaletteEntry{e[i][0], e[i][1], e[i][2], 0};
    std::vector<uint8_t> lookup(kPalLookupBytes);
    MakePalLookup(lookup.data(), pal);
    for (uint32_t code = 0; code < 32768; code += 97) {
        const int r = (code >> 10) * 8, g = ((code >> 5) & 31) * 8, b = (code & 31) * 8;
        int best = 0, bestD = 1 << 30;
        for (int i = 0; i < 4; ++i) {
            const int d = (r - e[i][0]) * (r - e[i][0]) + (g - e[i][1]) * (g - e[i][1]) +
                          (b - e[i][2]) * (b - e[i][2]);
            if (d < bestD) bestD = d, best = i;
        }
        ASSERT_EQ(lookup[code], best) << code;
    }

    // reduction maps through the lookup; DibReduce packs header, table and rows
    Dib d = makeDib(7, 3, 32);
    pixtest::randomBytes(d.bits(), size_t(d.rowBytes()) * 3);
    Dib out = makeDib(7, 3, 8);
    uint8_t* outBits = out.bits();
    ASSERT_EQ(ReducePixels(d.header(), d.bits(), out.header(), outBits, pal, lookup.data()), 1);
    EXPECT_EQ(out.header()->clrUsed, 4u);
    Handle packed = DibReduce(d.header(), d.bits(), pal, lookup.data());
    ASSERT_NE(packed, nullptr);
    const uint8_t* pk = reinterpret_cast<const uint8_t*>(*packed);
    EXPECT_EQ(reinterpret_cast<const FmBitmapInfoHeader*>(pk)->bitCount, 8);
    EXPECT_EQ(pk[40 + 4 * 2 + 2], 255);  // entry 2 (red) stored as B, G, R, 0
    const uint8_t* rows = pk + 40 + 16;
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 7; ++x) {
            const uint8_t* p = d.bits() + y * d.rowBytes() + 4 * x;
            const uint8_t want = lookup[code15(p[2], p[1], p[0])];
            ASSERT_EQ(outBits[y * 8 + x], want);
            ASSERT_EQ(rows[y * 8 + x], want);
        }
    DisposeHandle(packed);
    EXPECT_EQ(DibReduce(nullptr, nullptr, pal, lookup.data()), nullptr);
}
