#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <vector>

#include "pixels/ppix_internal.h"
#include "platform/surface.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/pworld.h"

namespace {

using rc::platform::Surface;

class PixelWorlds : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_EQ(pwInit(), 0);
    }
    void TearDown() override {
        pwShutdown();
        rc::platform::unregisterWindowSurface(kWindow);
    }
    static constexpr uint32_t kWindow = 42;
};

// A 4 x 3 buffer whose pixel (x, y) is 0x00RRGGBB = (x * 40, y * 60, 7).
PPixHand patternBuffer() {
    FmRect b{0, 0, 4, 3};
    PPixHand p = ppixNew(&b);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            FmRect one{x, y, x + 1, y + 1};
            ppixFillRect(
                p, &one,
                0x00070000u | static_cast<uint32_t>(y * 60) << 8 | static_cast<uint32_t>(x * 40));
        }
    return p;
}

uint32_t patternAt(int32_t x, int32_t y) {
    return static_cast<uint32_t>(x * 40) << 16 | static_cast<uint32_t>(y * 60) << 8 | 7;
}

TEST_F(PixelWorlds, TableEntriesOfEveryKind) {
    FmRect b{0, 0, 16, 9};
    PWorld w = 0;
    ASSERT_EQ(NewPWorld(&w, &b), 0);
    EXPECT_GE(w, 1);
    EXPECT_EQ(pwIsPixWorld(w), 1);
    EXPECT_EQ(pwGetDepth(w), 32);
    EXPECT_EQ(pwGetNeedsDoubleBuffering(w), 0);
    EXPECT_EQ(pwGetWnd(w), 0u);
    PPixHand pix = pwGetPPix(w);
    ASSERT_NE(pix, nullptr);
    EXPECT_EQ(GetPWorldBits(w), pix);
    FmRect got{};
    pwGetBounds(w, &got);
    EXPECT_EQ(std::memcmp(&got, &b, sizeof b), 0);
    pwFillRect(w, nullptr, 0x000000FF);  // a pixel world fills transparent
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(ppixGetPixels(pix)), 0x00FF0000u);

    PWorld win = RegPWorldWnd(kWindow);
    ASSERT_NE(win, 0);
    EXPECT_EQ(pwIsPixWorld(win), 0);
    EXPECT_EQ(pwGetWnd(win), kWindow);
    EXPECT_EQ(pwGetPPix(win), nullptr);
    EXPECT_EQ(pwGetNeedsDoubleBuffering(win), 1);
    EXPECT_EQ(pwGetDepth(win), 32);
    SetAGlobal(kSlotScreenDepth, 16);
    EXPECT_EQ(pwGetDepth(win), 16);
    pwGetBounds(win, &got);  // no surface yet: empty
    EXPECT_EQ(got.right, 0);
    Surface s(20, 10);
    rc::platform::registerWindowSurface(kWindow, &s);
    pwGetBounds(win, &got);
    EXPECT_EQ(got.right, 20);
    EXPECT_EQ(got.bottom, 10);

    FmDC dc = rc::platform::createMemoryDC(&s);
    PWorld port = 0;
    ASSERT_EQ(pwNew(&port, &b, reinterpret_cast<intptr_t>(dc), kPWorldPort), 0);
    EXPECT_EQ(pwIsOffscreenWithPort(port), 1);
    EXPECT_EQ(pwIsOffscreenWithPort(win), 0);
    FmDC out = nullptr;
    pwGetOnscreenInfo(port, &out);
    EXPECT_EQ(out, dc);
    pwGetOnscreenInfo(win, &out);
    EXPECT_EQ(out, nullptr);
    pwSetOnscreenInfo(win, &dc);
    pwGetOnscreenInfo(win, &out);
    EXPECT_EQ(out, dc);

    // Numbers outside the table and free entries give the neutral answers.
    for (PWorld bad : {0, 201, -3}) {
        EXPECT_EQ(pwGetNeedsDoubleBuffering(bad), 1);
        EXPECT_EQ(pwGetDepth(bad), 0);
        EXPECT_EQ(pwGetPPix(bad), nullptr);
        EXPECT_EQ(pwIsPixWorld(bad), 0);
        EXPECT_EQ(pwDispose(bad), 0);
    }
    EXPECT_EQ(pwDispose(w), 0);
    EXPECT_EQ(pwGetPPix(w), nullptr);
    EXPECT_EQ(pwGetDepth(w), 0);
    PWorld again = RegPWorldBits(pix = ppixNew(&b), 1);
    EXPECT_EQ(again, w);  // the first free entry is reused
    pwDispose(again);     // owned: the buffer goes with it
    rc::platform::releaseDC(dc);
}

TEST_F(PixelWorlds, FullTableIsReportedPerKind) {
    FmRect b{0, 0, 2, 2};
    PPixHand shared = ppixNew(&b);
    std::vector<PWorld> taken;
    for (int i = 0; i < kPWorldCount; ++i) {
        PWorld w = 0;
        ASSERT_EQ(pwNew(&w, &b, reinterpret_cast<intptr_t>(shared), kPWorldPixels), 0);
        taken.push_back(w);
    }
    EXPECT_EQ(taken.front(), 1);
    EXPECT_EQ(taken.back(), kPWorldCount);
    PWorld w = 99;
    EXPECT_EQ(pwNew(&w, &b, 0, kPWorldPixels), 1);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(pwNew(&w, &b, kWindow, kPWorldWindow), memFullErr);
    EXPECT_EQ(RegPWorldBits(shared, 0), 0);
    EXPECT_EQ(RegPWorldWnd(kWindow), 0);
    pwDispose(taken[57]);
    EXPECT_EQ(RegPWorldWnd(kWindow), taken[57]);
    pwShutdown();  // none of these own the shared buffer
    EXPECT_EQ(GetAGlobal(kSlotPWorldTable), 0);
    EXPECT_EQ(ppixGetDepth(shared), 32);
    ppixDispose(shared);
    EXPECT_EQ(RegPWorldWnd(kWindow), 0);  // no table
    ASSERT_EQ(pwInit(), 0);
}

TEST_F(PixelWorlds, DrawingIntoAWindowSurface) {
    Surface s(10, 8, 0xFF101010u);
    rc::platform::registerWindowSurface(kWindow, &s);
    PPixHand p = patternBuffer();
    PWorld win = RegPWorldWnd(kWindow);
    FmRect dst{2, 1, 6, 4};
    ASSERT_EQ(PPixToWind(p, win, nullptr, &dst), 0);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            bool inside = x >= 2 && x < 6 && y >= 1 && y < 4;
            uint32_t expect = inside ? 0xFF000000u | patternAt(x - 2, y - 1) : 0xFF101010u;
            ASSERT_EQ(s.at(x, y), expect) << x << "," << y;
        }

    // Doubled: every source pixel covers 2 x 2; the clip rectangle holds.
    FmDC dc = rc::platform::getWindowDC(kWindow);
    ASSERT_NE(dc, nullptr);
    dc->clipped = true;
    dc->clip = FmRect{0, 0, 5, 8};
    FmRect big{0, 0, 8, 6};
    EXPECT_EQ(ppixToScreen(p, dc, nullptr, &big), 0);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 5; ++x)
            ASSERT_EQ(s.at(x, y), 0xFF000000u | patternAt(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(s.at(5, 1), 0xFF000000u | patternAt(3, 0));  // clipped: left from the first draw
    EXPECT_EQ(s.at(6, 1), 0xFF101010u);
    rc::platform::releaseDC(dc);

    // A window world filled paints an opaque background.
    pwFillRect(win, nullptr, 0x00030201);
    EXPECT_EQ(s.at(9, 7), 0xFF010203u);
    // The same through a registered-for-the-call window.
    PWorld src = RegPWorldBits(p, 1);
    FmRect srcPart{1, 1, 3, 2};
    FmRect at{0, 0, 2, 1};
    EXPECT_EQ(pwPWorldToWind(src, kWindow, &srcPart, &at), 0);
    EXPECT_EQ(s.at(0, 0), 0xFF000000u | patternAt(1, 1));
    EXPECT_EQ(s.at(1, 0), 0xFF000000u | patternAt(2, 1));
    EXPECT_EQ(s.at(2, 0), 0xFF010203u);
    EXPECT_EQ(pwPWorldToScreen(src, win, &srcPart, &at), 0);
    EXPECT_EQ(RegPWorldWnd(kWindow + 1), win + 2);  // the temporary entry was freed

    // No window surface, no context: nothing drawn.
    EXPECT_EQ(PPixToWind(p, RegPWorldWnd(7), nullptr, nullptr), 1);
    EXPECT_EQ(ppixToScreen(p, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(PPixToWind(p, src, nullptr, nullptr), 1);  // not a window
}

TEST_F(PixelWorlds, ScreenDepthsAndPrinters) {
    PPixHand p = patternBuffer();
    Surface s(4, 3);
    FmDC dc = rc::platform::createMemoryDC(&s);

    // 16-bit surfaces keep five bits per channel.
    s.depth = 16;
    EXPECT_EQ(PPixToScreen(p, dc, nullptr, nullptr), 0);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            ASSERT_EQ(s.at(x, y), 0xFF000000u | (patternAt(x, y) & 0xF8F8F8));
    s.depth = 32;

    // An 8-bit screen shows dithered colours of the cube palette.
    SetAGlobal(kSlotScreenDepth, 8);
    FmRect grey{0, 0, 16, 16};
    PPixHand g = ppixNew(&grey);
    ppixFillRect(g, nullptr, 0x00808080);
    Surface big(16, 16);
    FmDC bigDc = rc::platform::createMemoryDC(&big);
    EXPECT_EQ(ppixToScreen(g, bigDc, nullptr, nullptr), 0);
    int sum = 0;
    for (uint32_t v : big.pixels) {
        uint32_t r = v >> 16 & 255;
        ASSERT_TRUE(r == 102 || r == 153) << r;
        ASSERT_EQ(v & 0xFFFFFF, r << 16 | r << 8 | r);
        sum += static_cast<int>(r);
    }
    const int mean = sum / 256;
    EXPECT_NEAR(mean, 128, 6);
    // Pure colours hit the palette exactly; a given palette is used as set.
    ppixFillRect(g, nullptr, 0x00FF0000);  // blue
    EXPECT_EQ(ppixToScreen(g, bigDc, nullptr, nullptr), 0);
    EXPECT_EQ(big.at(5, 5), 0xFF0000FFu);
    std::vector<uint8_t> palBytes(4 + 256 * 4, 0);
    auto* pal = reinterpret_cast<FmLogPalette*>(palBytes.data());
    pal->version = 0x300;
    pal->count = 256;
    pal->entries[15] = FmPaletteEntry{9, 8, 7, 0};  // index of pure blue: 10 + 5
    SetAGlobal(kSlotScreenPalette, reinterpret_cast<intptr_t>(pal));
    EXPECT_EQ(ppixToScreen(g, bigDc, nullptr, nullptr), 0);
    EXPECT_EQ(big.at(0, 0), 0xFF090807u);
    EXPECT_EQ(bigDc->palette, nullptr);  // selected back
    // Different widths on an 8-bit screen go through a scaled copy first.
    FmRect half{0, 0, 8, 16};
    ppixFillRect(g, &half, 0x000000FF);
    SetAGlobal(kSlotScreenPalette, 0);
    FmRect narrow{0, 0, 8, 8};
    EXPECT_EQ(ppixToScreen(g, bigDc, nullptr, &narrow), 0);
    EXPECT_EQ(big.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(big.at(7, 7), 0xFF0000FFu);
    SetAGlobal(kSlotScreenDepth, 0);

    // A printer gets the picture through a 24-bit bitmap.
    dc->kind = rc::platform::DeviceKind::Printer;
    SetAGlobal(kSlotDrawDibWidth, 0);
    std::fill(s.pixels.begin(), s.pixels.end(), 0u);
    EXPECT_EQ(ppixToScreen(p, dc, nullptr, nullptr), 0);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(s.at(x, y), 0xFF000000u | patternAt(x, y));
    EXPECT_EQ(GetAGlobal(kSlotDrawDibWidth), 0);  // only the display path touches it
    rc::platform::releaseDC(dc);
    rc::platform::releaseDC(bigDc);
    ppixDispose(g);
    ppixDispose(p);
}

TEST_F(PixelWorlds, BitmapsMadeAndFilledFromBuffers) {
    Ptr d8 = CreateDIB(10, 3, 8);
    ASSERT_NE(d8, nullptr);
    auto* h8 = reinterpret_cast<FmBitmapInfoHeader*>(d8);
    EXPECT_EQ(h8->size, 40u);
    EXPECT_EQ(h8->planes, 1);
    EXPECT_EQ(h8->compression, 0u);
    EXPECT_EQ(h8->bitCount, 8);
    EXPECT_EQ(h8->sizeImage, static_cast<uint32_t>(CalcRowBytes(10, 8) * 3));
    EXPECT_EQ(GetPtrSize(d8), 40u + 512u + 36u);
    auto* indices = reinterpret_cast<uint16_t*>(d8 + 40);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(indices[i], i);
    DisposePtr(d8);
    PPixHand p = patternBuffer();

    for (int depth : {16, 24, 32}) {
        Ptr d = CreateDIB(4, 3, depth);
        ASSERT_NE(d, nullptr);
        auto* h = reinterpret_cast<FmBitmapInfoHeader*>(d);
        EXPECT_EQ(GetPtrSize(d), 40u + static_cast<uint32_t>(CalcRowBytes(4, depth)) * 3);
        ASSERT_EQ(PPixToDib(p, h, nullptr), 0);
        const uint8_t* bits = reinterpret_cast<uint8_t*>(d) + 40;
        const int32_t stride = CalcRowBytes(4, depth);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 4; ++x) {
                const uint8_t* px = bits + stride * (2 - y) + x * (depth / 8);
                uint32_t want = patternAt(x, y);
                if (depth == 16) {
                    uint32_t v = px[0] | px[1] << 8;
                    ASSERT_EQ(v, ((want >> 19) & 31) << 10 | ((want >> 11) & 31) << 5 |
                                     ((want >> 3) & 31));
                } else {
                    ASSERT_EQ(px[0], want & 255);
                    ASSERT_EQ(px[1], want >> 8 & 255);
                    ASSERT_EQ(px[2], want >> 16 & 255);
                }
            }
        DisposePtr(d);
    }
    // An 8-bit bitmap with a colour table takes the nearest palette entries.
    std::vector<uint8_t> dib(40 + 4 * 4 + 4 * 3, 0);
    auto* h = reinterpret_cast<FmBitmapInfoHeader*>(dib.data());
    *h = FmBitmapInfoHeader{40, 4, 3, 1, 8, 0, 12, 0, 0, 4, 0};
    std::vector<uint8_t> palBytes(4 + 4 * 4, 0);
    auto* pal = reinterpret_cast<FmLogPalette*>(palBytes.data());
    pal->count = 4;
    pal->entries[0] = {0, 0, 0, 0};
    pal->entries[1] = {120, 0, 0, 0};
    pal->entries[2] = {0, 120, 0, 0};
    pal->entries[3] = {120, 120, 0, 0};
    ASSERT_EQ(PPixToDib(p, h, pal), 0);
    const uint8_t* idx = dib.data() + 40 + 16;
    EXPECT_EQ(idx[2 * 4 + 0], 0);     // (0, 0, 7) -> black (top row is the last in memory)
    EXPECT_EQ(idx[2 * 4 + 3], 1);     // (120, 0, 7)
    EXPECT_EQ(idx[0 * 4 + 0], 2);     // (0, 120, 7)
    EXPECT_EQ(idx[0 * 4 + 3], 3);     // (120, 120, 7)
    EXPECT_EQ(dib[40 + 4 + 2], 120);  // entry 1 written as B, G, R, 0
    // Without a palette the picture's own colours make one (an RGB colour
    // table of 256 entries before the bits).
    std::vector<uint8_t> own(40 + 256 * 4 + CalcRowBytes(4, 8) * 3, 0);
    auto* oh = reinterpret_cast<FmBitmapInfoHeader*>(own.data());
    *oh = FmBitmapInfoHeader{40, 4, 3, 1, 8, 0, 0, 0, 0, 256, 0};
    ASSERT_EQ(PPixToDib(p, oh, nullptr), 0);
    const uint8_t* table = own.data() + 40;
    const uint8_t* ownBits = table + 256 * 4;
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            const uint8_t index = ownBits[CalcRowBytes(4, 8) * (2 - y) + x];
            const uint32_t want = patternAt(x, y);
            EXPECT_NEAR(table[index * 4 + 0], int(want & 255), 8) << x << "," << y;
            EXPECT_NEAR(table[index * 4 + 1], int(want >> 8 & 255), 8) << x << "," << y;
            EXPECT_NEAR(table[index * 4 + 2], int(want >> 16 & 255), 8) << x << "," << y;
        }
    h->bitCount = 12;
    EXPECT_NE(PPixToDib(p, h, pal), 0);

    // CreateDIB's 1-, 4- and 8-bit layout holds 16-bit palette indices, not
    // colours: PPixToDib writes 8-bit pixels as indices after them and keeps
    // the table, and refuses what it cannot write, touching nothing. The
    // block is copied ahead of a guard zone that must stay as it was.
    for (int depth : {1, 4, 8}) {
        SCOPED_TRACE(depth);
        Ptr made = CreateDIB(4, 3, depth);
        ASSERT_NE(made, nullptr);
        const size_t size = GetPtrSize(made);
        std::vector<uint8_t> block(size + 1024, 0xCD);
        std::memcpy(block.data(), made, size);
        DisposePtr(made);
        const std::vector<uint8_t> before = block;
        auto* header = reinterpret_cast<FmBitmapInfoHeader*>(block.data());
        if (depth != 8) {
            EXPECT_NE(PPixToDib(p, header, pal), 0);
            EXPECT_EQ(block, before);
            continue;
        }
        EXPECT_NE(PPixToDib(p, header, nullptr), 0);  // indices of no palette
        EXPECT_EQ(block, before);
        ASSERT_EQ(PPixToDib(p, header, pal), 0);
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + 40 + 512, before.begin()));
        EXPECT_TRUE(
            std::equal(block.begin() + long(size), block.end(), before.begin() + long(size)));
        const uint8_t* bits = block.data() + 40 + 512;
        EXPECT_EQ(bits[2 * 4 + 0], 0);  // the same nearest entries as above
        EXPECT_EQ(bits[2 * 4 + 3], 1);
        EXPECT_EQ(bits[0 * 4 + 0], 2);
        EXPECT_EQ(bits[0 * 4 + 3], 3);
    }
    EXPECT_EQ(CreateDIB(-1, 3, 24), nullptr);
    EXPECT_EQ(CreateDIB(4, 3, 12), nullptr);
    ppixDispose(p);
}

}  // namespace

namespace {

TEST_F(PixelWorlds, LibrarySurfacesForWindowIds) {
    EXPECT_EQ(FmCreateWindowSurface(9, 0, 5, 32), -50);
    EXPECT_EQ(FmCreateWindowSurface(9, 5, 5, 12), -50);
    ASSERT_EQ(FmCreateWindowSurface(9, 6, 4, 32), 0);
    EXPECT_EQ(FmCreateWindowSurface(9, 6, 4, 32), -50);  // already has one
    Surface* s = rc::platform::surfaceForWindow(9);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width, 6);
    PWorld win = RegPWorldWnd(9);
    pwFillRect(win, nullptr, 0x00FF8040);
    EXPECT_EQ(s->at(5, 3), 0xFF4080FFu);
    EXPECT_EQ(FmSaveWindowSurfacePNG(10, "/tmp/never.png"), fnfErr);
    EXPECT_EQ(FmSaveWindowSurfacePNG(9, "/nonexistent-dir/x.png"), ioErr);
    // Surfaces the window model registers are not the library's to remove.
    Surface theirs(2, 2);
    rc::platform::registerWindowSurface(11, &theirs);
    FmDisposeWindowSurface(11);
    EXPECT_EQ(rc::platform::surfaceForWindow(11), &theirs);
    rc::platform::unregisterWindowSurface(11);
    FmDisposeWindowSurface(9);
    EXPECT_EQ(rc::platform::surfaceForWindow(9), nullptr);
    EXPECT_EQ(FmCreateWindowSurface(9, 2, 2, 16), 0);
    FmDisposeWindowSurface(9);
}

}  // namespace

namespace {

int copies = 0;
int32_t countingCopy(PPixHand src, PPixHand dst, const FmRect* s, const FmRect* d) {
    ++copies;
    ppixFillRect(dst, nullptr, 0x00ABCDEF);  // a recognisable result
    (void)src;
    (void)s;
    (void)d;
    return 0;
}

TEST_F(PixelWorlds, LargeScaledDrawsAndSwapsGoThroughTheInstalledCopy) {
    FmRect wideBounds{0, 0, 1000, 4};
    PPixHand wide = ppixNew(&wideBounds);
    ASSERT_NE(wide, nullptr);
    for (int32_t x = 0; x < 1000; x += 100) {
        FmRect stripe{x, 0, x + 100, 4};
        ppixFillRect(wide, &stripe, static_cast<uint32_t>(x / 100));
    }
    Surface s(20, 2);
    FmDC dc = rc::platform::createMemoryDC(&s);
    FmRect small{0, 0, 20, 2};
    // Wider than 800 and scaled: drawn from a scaled copy of the picture.
    EXPECT_EQ(ppixToScreen(wide, dc, nullptr, &small), 0);
    for (int32_t x = 0; x < 20; ++x)
        ASSERT_EQ(s.at(x, 1), 0xFF000000u | static_cast<uint32_t>(x / 2) << 16);

    rc::pixhooks::setCopy(&countingCopy);
    copies = 0;
    EXPECT_EQ(ppixToScreen(wide, dc, nullptr, &small), 0);
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(s.at(3, 0), 0xFFEFCDABu);
    FmRect otherBounds{0, 0, 10, 10};
    PPixHand other = ppixNew(&otherBounds);
    EXPECT_EQ(ppixSwapPixels(wide, other), 0);
    EXPECT_EQ(copies, 2);
    EXPECT_EQ(ppixGetPixel(other, 9, 9), 0xEFCDABu);
    // Unscaled and small draws need no copy.
    FmRect part{0, 0, 20, 2};
    EXPECT_EQ(ppixToScreen(wide, dc, &part, &part), 0);
    EXPECT_EQ(copies, 2);
    rc::pixhooks::setCopy(nullptr);
    rc::platform::releaseDC(dc);
    ppixDispose(other);
    ppixDispose(wide);
}

}  // namespace
