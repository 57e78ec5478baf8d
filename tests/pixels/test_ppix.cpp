#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixels/ppix_internal.h"
#include "pixels/ppix_region.h"
#include "platform/meminfo.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"

namespace {

class PixelBuffers : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        rc::platform::overrideAvailableMemory(0);
    }
    void TearDown() override {
        rc::platform::overrideAvailableMemory(0);
        rc::pixhooks::setCopy(nullptr);
    }
};

PPixRecord* rec(PPixHand h) {
    return reinterpret_cast<PPixRecord*>(*h);
}

uint32_t wordAt(PPixHand h, int32_t x, int32_t y) {
    PPixRecord* r = rec(h);
    uint32_t v;
    int32_t height = r->bounds.bottom - r->bounds.top;
    std::memcpy(&v, r->pixels + static_cast<int64_t>(r->rowBytes) * (height - 1 - y) + x * 4, 4);
    return v;
}

TEST_F(PixelBuffers, RowBytesForEveryDepth) {
    EXPECT_EQ(CalcRowBytes(3, 24), 12);
    EXPECT_EQ(CalcRowBytes(5, 1), 4);
    EXPECT_EQ(CalcRowBytes(9, 1), 4);
    EXPECT_EQ(CalcRowBytes(33, 1), 8);
    EXPECT_EQ(CalcRowBytes(7, 4), 4);
    EXPECT_EQ(CalcRowBytes(9, 4), 8);
    EXPECT_EQ(CalcRowBytes(10, 8), 12);
    EXPECT_EQ(CalcRowBytes(3, 16), 8);
    EXPECT_EQ(CalcRowBytes(10, 32), 40);
    EXPECT_EQ(CalcRowBytes(0, 24), 0);
    // Wide rows are not cut to 16 bits.
    EXPECT_EQ(CalcRowBytes(30000, 24), 90000);
    EXPECT_EQ(CalcRowBytes(40000, 16), 80000);
    // Bad input gives 0 rather than a wrapped size.
    EXPECT_EQ(CalcRowBytes(-4, 32), 0);
    EXPECT_EQ(CalcRowBytes(10, 12), 0);
    EXPECT_EQ(CalcRowBytes(600000000, 32), 0);
    FmRect r{5, 5, 15, 25};
    EXPECT_EQ(CalcPPixSize(&r), 40 * 20 + 160);
    FmRect wide{0, 0, 60000, 20000};
    EXPECT_EQ(CalcPPixSize(&wide), int64_t{60000} * 4 * 20000 + 160);
}

TEST_F(PixelBuffers, NewBuffersDescribeTheirMemory) {
    FmRect b{10, 20, 14, 23};
    PPixHand p = ppixNew(&b);
    ASSERT_NE(p, nullptr);
    FmRect got{};
    ppixGetBounds(p, &got);
    EXPECT_EQ(std::memcmp(&got, &b, sizeof b), 0);
    EXPECT_EQ(ppixGetRowbytes(p), 16);
    EXPECT_EQ(ppixGetDepth(p), 32);
    EXPECT_EQ(ppixGetPixelFormat(p), 0);
    EXPECT_EQ(ppixGetPixelAspectRatio(p), 0u);
    EXPECT_EQ(rec(p)->privateMark, 0u);
    EXPECT_EQ(rec(p)->allocatorMark, 0u);
    ppixSetPixelAspectRatio(p, 0x000A000B);
    EXPECT_EQ(ppixGetPixelAspectRatio(p), 0x000A000Bu);
    EXPECT_EQ(ppixLockPixels(p), 0);
    EXPECT_EQ(ppixUnlockPixels(p), 0);
    // Two spare rows beyond the height belong to the buffer.
    std::memset(ppixGetPixels(p), 0xAB, 16 * 5);
    EXPECT_EQ(ppixDispose(p), 0);

    FmRect odd{0, 0, 5, 3};
    PPixHand m = ppixNew8(&odd);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ppixGetRowbytes(m), 5);
    EXPECT_EQ(ppixGetDepth(m), 8);
    std::memset(ppixGetPixels(m), 1, 5 * 5);
    ppixDispose(m);

    FmRect backwards{10, 10, 5, 20};
    EXPECT_EQ(ppixNew(&backwards), nullptr);
    EXPECT_EQ(ppixNew(nullptr), nullptr);
    EXPECT_EQ(ppixDispose(nullptr), 0);
    EXPECT_EQ(ppixGetDepth(nullptr), 0);
    EXPECT_EQ(ppixGetPixels(nullptr), nullptr);
    EXPECT_EQ(ppixGetPixel(nullptr, 0, 0), 0xFFFFFFu);
}

TEST_F(PixelBuffers, MemoryCheckRefusesBuffersTheSystemCannotSpare) {
    FmRect b{0, 0, 100, 100};  // 102 rows x 400 bytes
    const uint64_t block = 102 * 400;
    rc::platform::overrideAvailableMemory(block);
    EXPECT_EQ(ppixNew(&b), nullptr);
    EXPECT_EQ(GetAGlobal(kSlotLowMemory), 1);

    SetAGlobal(kSlotLowMemory, 0);
    rc::platform::overrideAvailableMemory(block + 1000);
    SetAGlobal(kSlotMemoryReserve, 1001);
    EXPECT_EQ(ppixNew(&b), nullptr);
    EXPECT_EQ(GetAGlobal(kSlotLowMemory), 1);

    SetAGlobal(kSlotLowMemory, 0);
    SetAGlobal(kSlotMemoryReserve, 1000);
    PPixHand p = ppixNew(&b);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(GetAGlobal(kSlotLowMemory), 0);
    ppixDispose(p);

    // Masks skip the check.
    rc::platform::overrideAvailableMemory(1);
    PPixHand m = ppixNew8(&b);
    EXPECT_NE(m, nullptr);
    ppixDispose(m);

    // (height + 2) x row bytes beyond what a block may hold is refused, not
    // wrapped into a small allocation.
    rc::platform::overrideAvailableMemory(0);
    FmRect huge{0, 0, 40000, 40000};
    EXPECT_EQ(ppixNew(&huge), nullptr);
    EXPECT_EQ(GetAGlobal(kSlotLowMemory), 1);
}

TEST_F(PixelBuffers, RowsAreAddressedFromTheBottom) {
    FmRect b{10, 20, 14, 23};  // 4 x 3, not at the origin
    PPixHand p = ppixNew(&b);
    ASSERT_NE(p, nullptr);
    char* pixels = ppixGetPixels(p);
    const int32_t rb = ppixGetRowbytes(p);
    char* row = ppixTopLine(pixels, rb, 3);
    EXPECT_EQ(row, pixels + 2 * rb);
    for (int32_t y = 0; y < 3; ++y, row = ppixNextLine(row, rb)) {
        for (int32_t x = 0; x < 4; ++x) {
            uint32_t v = 0x7F000000u | static_cast<uint32_t>(y * 16 + x);
            std::memcpy(row + x * 4, &v, 4);
        }
    }
    EXPECT_EQ(row, pixels - rb);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(ppixGetPixel(p, x, y), static_cast<uint32_t>(y * 16 + x)) << x << "," << y;
    // The top-left pixel is the first of the last row in memory.
    uint32_t first;
    std::memcpy(&first, pixels + 2 * rb, 4);
    EXPECT_EQ(first & 0xFFFFFF, ppixGetPixel(p, 0, 0));
    // Points outside the width and height read white, whatever the bounds'
    // right and bottom are.
    EXPECT_EQ(ppixGetPixel(p, -1, 0), 0xFFFFFFu);
    EXPECT_EQ(ppixGetPixel(p, 0, -1), 0xFFFFFFu);
    EXPECT_EQ(ppixGetPixel(p, 4, 0), 0xFFFFFFu);
    EXPECT_EQ(ppixGetPixel(p, 12, 0), 0xFFFFFFu);
    EXPECT_EQ(ppixGetPixel(p, 0, 3), 0xFFFFFFu);
    EXPECT_EQ(ppixGetPixel(p, 0, 22), 0xFFFFFFu);
    ppixDispose(p);
}

TEST_F(PixelBuffers, FillsStoreTheColourAsOpaqueOrTransparentWords) {
    FmRect b{0, 0, 5, 4};
    PPixHand p = ppixNew(&b);
    ASSERT_NE(p, nullptr);
    const int32_t rb = ppixGetRowbytes(p);
    char* spare = ppixGetPixels(p) + 4 * rb;  // the two spare rows
    std::memset(spare, 0x5A, 2 * rb);

    ppixFillRect(p, nullptr, 0x000000FF);  // red
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(wordAt(p, x, y), 0xFFFF0000u);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(ppixGetPixels(p));
    EXPECT_EQ(bytes[0], 0x00);  // B
    EXPECT_EQ(bytes[1], 0x00);  // G
    EXPECT_EQ(bytes[2], 0xFF);  // R
    EXPECT_EQ(bytes[3], 0xFF);  // A

    FmRect part{-3, 1, 2, 3};
    ppixFillRectTransparent(p, &part, 0x00332211);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            bool inside = x < 2 && y >= 1 && y < 3;
            ASSERT_EQ(wordAt(p, x, y), inside ? 0x00112233u : 0xFFFF0000u) << x << "," << y;
        }
    FmRect outside{7, 0, 9, 2};
    ppixFillRect(p, &outside, 0);
    FmRect empty{2, 2, 2, 4};
    ppixFillRect(p, &empty, 0);
    EXPECT_EQ(wordAt(p, 2, 2), 0xFFFF0000u);
    for (int32_t i = 0; i < 2 * rb; ++i) ASSERT_EQ(static_cast<uint8_t>(spare[i]), 0x5A);
    ppixDispose(p);

    // Wide rows of every alignment fill exactly their span.
    FmRect wide{0, 0, 67, 2};
    PPixHand w = ppixNew(&wide);
    ASSERT_NE(w, nullptr);
    ppixFillRect(w, nullptr, 0);
    std::vector<uint32_t> model(67, 0xFF000000u);
    for (int32_t left = 0; left < 5; ++left) {
        FmRect span{left, 1, 67 - 2 * left, 2};
        const uint32_t colour = 0x00010203u + static_cast<uint32_t>(left);
        ppixFillRect(w, &span, colour);
        for (int32_t x = left; x < 67 - 2 * left; ++x) model[x] = 0xFF000201u | (3u + left) << 16;
        for (int32_t x = 0; x < 67; ++x) ASSERT_EQ(wordAt(w, x, 1), model[x]) << left << ":" << x;
        ASSERT_EQ(wordAt(w, 0, 0), 0xFF000000u);
    }
    ppixDispose(w);

    PPixHand m = ppixNew8(&b);
    ppixFillRect(m, nullptr, 0x00000007);
    EXPECT_EQ(ppixGetPixel(m, 4, 3), 7u);
    ppixDispose(m);
}

// Fills of several megabytes take the streaming path: rows of every
// alignment still get exactly their span, and what lies outside is kept.
TEST_F(PixelBuffers, LargeFillsStreamExactlyTheirSpan) {
    FmRect b{0, 0, 1283, 1100};  // 5.6 MB, odd row length
    PPixHand p = ppixNew(&b);
    ASSERT_NE(p, nullptr);
    ppixFillRect(p, nullptr, 0x00445566);
    FmRect inner{3, 1, 1282, 1099};  // 1279 x 1098: still above the streaming size
    ppixFillRect(p, &inner, 0x00010203);
    for (int32_t y = 0; y < 1100; ++y)
        for (int32_t x = 0; x < 1283; ++x) {
            const bool inside = x >= 3 && x < 1282 && y >= 1 && y < 1099;
            ASSERT_EQ(wordAt(p, x, y), inside ? 0xFF030201u : 0xFF665544u) << x << "," << y;
        }
    ppixDispose(p);
}

TEST_F(PixelBuffers, RegionFillCoversExactlyTheRegion) {
    FmRect b{0, 0, 12, 9};
    PPixHand p = ppixNew(&b);
    ASSERT_NE(p, nullptr);
    ppixFillRect(p, nullptr, 0);
    std::vector<FmRect> parts = {{1, 1, 5, 4}, {3, 2, 8, 6}, {10, 7, 20, 20}, {-5, -5, 1, 1}};
    FmRgn rgn = FmNewRectRgn(&parts[0]);
    ASSERT_NE(rgn, nullptr);
    for (size_t i = 1; i < parts.size(); ++i) EXPECT_EQ(FmUnionRectRgn(rgn, &parts[i]), 0);
    FmRect nothing{4, 4, 4, 9};
    EXPECT_EQ(FmUnionRectRgn(rgn, &nothing), 0);
    EXPECT_NE(FmUnionRectRgn(nullptr, &nothing), 0);
    ppixFillRgn(p, rgn, 0x0000FF00);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 12; ++x) {
            bool inside = false;
            for (const FmRect& r : parts)
                inside |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            ASSERT_EQ(wordAt(p, x, y), inside ? 0xFF00FF00u : 0xFF000000u) << x << "," << y;
        }
    EXPECT_FALSE(rc::pixels::regionIsRectangle(*rgn));
    FmDisposeRgn(rgn);
    FmRgn single = FmNewRectRgn(&parts[1]);
    EXPECT_TRUE(rc::pixels::regionIsRectangle(*single));
    ppixFillRgn(p, nullptr, 0);  // no region: nothing
    FmDisposeRgn(single);
    ppixDispose(p);
}

TEST_F(PixelBuffers, SwapExchangesMemoryOnlyBetweenIdenticalBuffers) {
    FmRect b{0, 0, 6, 4};
    std::vector<uint32_t> mine(6 * 6, 0);
    PPixHand a = ppixNewPrivate(&b, mine.data());
    PPixHand c = ppixNew(&b);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(rec(a)->privateMark, static_cast<uint32_t>(kPPixRandMark));
    ppixFillRect(a, nullptr, 0x00000011);
    EXPECT_EQ(mine[0], 0xFF110000u);  // the caller's memory holds the pixels
    ppixFillRect(c, nullptr, 0x00000022);
    char* cPixels = ppixGetPixels(c);
    // Field access prepared on c: the field pointers must follow the memory.
    rec(c)->frameBase = cPixels;
    rec(c)->field1Start = cPixels;
    rec(c)->field2Start = cPixels + ppixGetRowbytes(c);

    EXPECT_EQ(ppixSwapPixels(a, c), 0);
    EXPECT_EQ(ppixGetPixels(a), cPixels);
    EXPECT_EQ(ppixGetPixels(c), reinterpret_cast<char*>(mine.data()));
    EXPECT_EQ(ppixGetPixel(a, 0, 0), 0x220000u);
    EXPECT_EQ(ppixGetPixel(c, 0, 0), 0x110000u);
    EXPECT_EQ(rec(a)->privateMark, 0u);
    EXPECT_EQ(rec(c)->privateMark, static_cast<uint32_t>(kPPixRandMark));
    EXPECT_EQ(rec(c)->frameBase, reinterpret_cast<char*>(mine.data()));
    EXPECT_EQ(rec(c)->field1Start, reinterpret_cast<char*>(mine.data()));
    EXPECT_EQ(rec(c)->field2Start, reinterpret_cast<char*>(mine.data()) + 24);
    rec(c)->frameBase = rec(c)->field1Start = rec(c)->field2Start = nullptr;

    // Same size, different position: a copy, each keeps its memory.
    FmRect moved{1, 0, 7, 4};
    PPixHand d = ppixNew(&moved);
    ppixFillRect(d, nullptr, 0x00000033);
    char* dPixels = ppixGetPixels(d);
    EXPECT_EQ(ppixSwapPixels(a, d), 0);
    EXPECT_EQ(ppixGetPixels(d), dPixels);
    EXPECT_EQ(ppixGetPixels(a), cPixels);

    // Different size: the picture is copied into b, scaled.
    FmRect small{0, 0, 3, 2};
    PPixHand e = ppixNew(&small);
    ppixFillRect(e, nullptr, 0);
    FmRect leftHalf{0, 0, 3, 4};
    ppixFillRect(a, &leftHalf, 0x000000FF);
    char* ePixels = ppixGetPixels(e);
    EXPECT_EQ(ppixSwapPixels(a, e), 0);
    EXPECT_EQ(ppixGetPixels(e), ePixels);
    EXPECT_EQ(ppixGetPixel(e, 0, 0), 0xFF0000u);
    // the reduction averages source columns 2 (red) and 3 (0x22)
    EXPECT_EQ(ppixGetPixel(e, 1, 1), 0x900000u);
    EXPECT_EQ(ppixGetPixel(e, 2, 1), 0x220000u);

    // An active field forces a copy even between identical buffers.
    rec(c)->activeField = 1;
    EXPECT_EQ(ppixSwapPixels(a, c), 0);
    EXPECT_EQ(ppixGetPixels(c), reinterpret_cast<char*>(mine.data()));
    EXPECT_EQ(mine[0] & 0xFFFFFF, ppixGetPixel(a, 0, 3));
    rec(c)->activeField = 0;

    // The private memory went to c, which must not free it; a frees c's old block.
    ppixDispose(a);
    ppixDispose(c);
    ppixDispose(d);
    ppixDispose(e);
    EXPECT_EQ(ppixSwapPixels(nullptr, e), nilHandleErr);

    // Masks of different sizes: the mask is copied, scaled by nearest pixel.
    FmRect m4{0, 0, 4, 2}, m2{0, 0, 2, 1};
    PPixHand big = ppixNew8(&m4), little = ppixNew8(&m2);
    ppixFillRect(big, nullptr, 9);
    FmRect right{2, 0, 4, 2};
    ppixFillRect(big, &right, 200);
    ppixFillRect(little, nullptr, 0);
    char* littlePixels = ppixGetPixels(little);
    EXPECT_EQ(ppixSwapPixels(big, little), 0);
    EXPECT_EQ(ppixGetPixels(little), littlePixels);
    EXPECT_EQ(ppixGetPixel(little, 0, 0), 9u);
    EXPECT_EQ(ppixGetPixel(little, 1, 0), 200u);
    ppixDispose(big);
    ppixDispose(little);
}

int hostAllocs = 0;
std::vector<void*> hostFreed;
void* hostAlloc(uint32_t n) {
    ++hostAllocs;
    return std::malloc(n);
}
void hostFree(void* p) {
    hostFreed.push_back(p);
    std::free(p);
}

TEST_F(PixelBuffers, HostAllocatedMemoryGoesBackToTheHost) {
    FmRect b{0, 0, 8, 8};
    EXPECT_EQ(rc::pixels::newHostAllocated(&b), nullptr);  // no allocator yet
    SetAGlobal(kSlotHostPixelAlloc, reinterpret_cast<intptr_t>(&hostAlloc));
    SetAGlobal(kSlotHostPixelFree, reinterpret_cast<intptr_t>(&hostFree));
    hostAllocs = 0;
    hostFreed.clear();
    PPixHand h = rc::pixels::newHostAllocated(&b);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(hostAllocs, 1);
    EXPECT_EQ(rec(h)->allocatorMark, static_cast<uint32_t>(kPPixRandMark));
    char* hostPixels = ppixGetPixels(h);
    PPixHand own = ppixNew(&b);
    // After a swap the host block belongs to `own` and is freed through it.
    EXPECT_EQ(ppixSwapPixels(h, own), 0);
    ppixDispose(h);
    EXPECT_TRUE(hostFreed.empty());
    ppixDispose(own);
    ASSERT_EQ(hostFreed.size(), 1u);
    EXPECT_EQ(hostFreed[0], hostPixels);
}

}  // namespace
