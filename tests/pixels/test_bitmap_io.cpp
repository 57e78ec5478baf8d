// Bitmaps into buffers (palettised, run-length, 24-bit, malformed input) and
// buffers into BMP and PNG files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixels/bitmap_io.h"
#include "pixel_test_util.h"
#include "platform/surface.h"
#include "reelcore/depthcon.h"
#include "reelcore/memory.h"

using namespace rc::pix;

namespace {

class BitmapTest : public ::testing::Test {
  protected:
    void SetUp() override { pixtest::resetRuntime(); }
    void TearDown() override { rc::pixhooks::setBitmapResource(nullptr); }
};

std::vector<uint8_t> header(int32_t w, int32_t h, int bits, uint32_t compression, uint32_t colors) {
    FmBitmapInfoHeader hdr{};
    hdr.size = 40;
    hdr.width = w;
    hdr.height = h;
    hdr.planes = 1;
    hdr.bitCount = uint16_t(bits);
    hdr.compression = compression;
    hdr.clrUsed = colors;
    std::vector<uint8_t> out(40);
    std::memcpy(out.data(), &hdr, 40);
    for (uint32_t i = 0; i < colors; ++i)
        out.insert(out.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 0});
    return out;
}

uint32_t word(PPixHand p, int32_t x, int32_t y) {
    const PPixRecord* r = reinterpret_cast<const PPixRecord*>(*p);
    uint32_t v;
    std::memcpy(&v, r->pixels + (r->bounds.bottom - 1 - y) * r->rowBytes + 4 * x, 4);
    return v;
}

std::vector<uint8_t> gResource;
Handle fetchResource(int16_t id, intptr_t) {
    if (id != 128) return nullptr;
    Handle h = nullptr;
    PtrToHand(gResource.data(), &h, uint32_t(gResource.size()));
    return h;
}

}  // namespace

TEST_F(BitmapTest, ResourceBitmapsThroughTheirColourTable) {
    // 8-bit run-length: bottom row "5 5 5 1", top row absolute "2 3 4" then 7
    std::vector<uint8_t> rle = header(4, 2, 8, 1, 8);
    rle.insert(rle.end(), {3, 5, 1, 1, 0, 0, 0, 3, 2, 3, 4, 0, 1, 7, 0, 1});
    gResource = rle;
    rc::pixhooks::setBitmapResource(fetchResource);
    PPixHand p = Bmp2PPix(128, 0);
    ASSERT_NE(p, nullptr);
    auto colour = [](uint32_t i) { return i | (2 * i) << 8 | (3 * i) << 16; };  // alpha 0
    const uint32_t top[4] = {2, 3, 4, 7}, bottom[4] = {5, 5, 5, 1};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(word(p, x, 0), colour(top[x])) << x;
        EXPECT_EQ(word(p, x, 1), colour(bottom[x])) << x;
    }
    ppixDispose(p);
    EXPECT_EQ(Bmp2PPix(5, 0), nullptr);  // no such resource
    rc::pixhooks::setBitmapResource(nullptr);
    EXPECT_EQ(Bmp2PPix(128, 0), nullptr);  // the resource files hold no bitmap 128

    // 4-bit and 24-bit, and a 1-bit resource left unfilled
    std::vector<uint8_t> four = header(3, 1, 4, 0, 16);
    four.insert(four.end(), {0x9A, 0xF0, 0, 0});
    p = dibToPPix(four.data(), four.size(), DibRules::Resource);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(word(p, 0, 0), colour(9));
    EXPECT_EQ(word(p, 2, 0), colour(15));
    ppixDispose(p);
    std::vector<uint8_t> bgr = header(2, 1, 24, 0, 0);
    bgr.insert(bgr.end(), {1, 2, 3, 4, 5, 6, 0, 0});
    p = dibToPPix(bgr.data(), bgr.size(), DibRules::Resource);
    EXPECT_EQ(word(p, 1, 0), 0x00060504u);
    ppixDispose(p);
    std::vector<uint8_t> mono = header(8, 1, 1, 0, 2);
    mono.insert(mono.end(), {0xFF, 0, 0, 0});
    p = dibToPPix(mono.data(), mono.size(), DibRules::Resource);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(word(p, 0, 0), 0u);
    ppixDispose(p);
}

TEST_F(BitmapTest, MalformedBitmapsAreRefusedWithoutOverruns) {
    std::vector<uint8_t> good = header(16, 16, 24, 0, 0);
    good.resize(good.size() + 48 * 16);
    PPixHand p = dibToPPix(good.data(), good.size(), DibRules::File);
    ASSERT_NE(p, nullptr);
    ppixDispose(p);
    // one byte short of the rows
    std::vector<uint8_t> shortRows(good.begin(), good.end() - 1);
    EXPECT_EQ(dibToPPix(shortRows.data(), shortRows.size(), DibRules::File), nullptr);
    // a colour table longer than the data, absurd sizes, a bad file offset
    std::vector<uint8_t> table = header(4, 4, 8, 0, 0);
    EXPECT_EQ(dibToPPix(table.data(), table.size(), DibRules::File), nullptr);
    std::vector<uint8_t> huge = header(1 << 20, 1 << 20, 24, 0, 0);
    EXPECT_EQ(dibToPPix(huge.data(), huge.size(), DibRules::File), nullptr);
    std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    file.insert(file.end(), good.begin(), good.end());
    EXPECT_EQ(bmpFileToPPix(file.data(), file.size()), nullptr);
    // Headers of about 50 bytes that once made the reader allocate up to
    // 1 GiB: bit count 0 (no row bytes), a bit count whose rows wrap 32 bits,
    // run-length data claiming 2^28 pixels. Refused before any allocation,
    // each with its reason.
    int32_t status = 0;
    std::vector<uint8_t> zero = header(1 << 14, 1 << 14, 0, 0, 0);
    zero.resize(zero.size() + 16);
    EXPECT_EQ(dibToPPix(zero.data(), zero.size(), DibRules::File, 0, &status), nullptr);
    EXPECT_EQ(status, kPictureUnsupported);
    std::vector<uint8_t> seven = header(4, 4, 7, 0, 0);
    seven.resize(seven.size() + 512);
    EXPECT_EQ(dibToPPix(seven.data(), seven.size(), DibRules::File, 0, &status), nullptr);
    EXPECT_EQ(status, kPictureUnsupported);
    std::vector<uint8_t> wrap = header(1 << 20, 256, 4096, 0, 0);  // 2^32 bits a row
    wrap.resize(wrap.size() + 16);
    EXPECT_EQ(dibToPPix(wrap.data(), wrap.size(), DibRules::File, 0, &status), nullptr);
    EXPECT_EQ(status, kPictureUnsupported);
    std::vector<uint8_t> wide = header(1 << 28, 1, 1, 0, 2);  // a 32 MB row of 16 bytes
    wide.resize(wide.size() + 16);
    EXPECT_EQ(dibToPPix(wide.data(), wide.size(), DibRules::File, 0, &status), nullptr);
    EXPECT_EQ(status, kPictureTruncated);
    std::vector<uint8_t> bigRle = header(1 << 14, 1 << 14, 8, 1, 2);
    bigRle.insert(bigRle.end(), {0, 1});
    EXPECT_EQ(dibToPPix(bigRle.data(), bigRle.size(), DibRules::File, 0, &status), nullptr);
    EXPECT_EQ(status, kPictureTooLarge);
    std::vector<uint8_t> okRle = header(4096, 2048, 8, 1, 2);  // within the run-length limit
    okRle.insert(okRle.end(), {0, 1});
    p = dibToPPix(okRle.data(), okRle.size(), DibRules::File, 0, &status);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(status, 0);
    ppixDispose(p);
    EXPECT_EQ(dibToPPix(shortRows.data(), shortRows.size(), DibRules::File, 0, &status), nullptr);
    EXPECT_EQ(status, kPictureTruncated);
    const uint8_t notBmp[] = "GIF89a and more bytes than a header";
    EXPECT_EQ(bmpFileToPPix(notBmp, sizeof notBmp, &status), nullptr);
    EXPECT_EQ(status, kPictureUnknownFormat);
    // run-length data that runs past rows and ends early is cut off safely
    std::vector<uint8_t> rle = header(3, 2, 8, 1, 4);
    rle.insert(rle.end(), {255, 1, 0, 2, 9, 9, 0, 200, 1});
    p = dibToPPix(rle.data(), rle.size(), DibRules::Resource);
    ASSERT_NE(p, nullptr);
    ppixDispose(p);
}

TEST_F(BitmapTest, BmpAndPngFilesOfABuffer) {
    const FmRect b{0, 0, 5, 3};
    PPixHand p = ppixNew(&b);
    pixtest::randomBytes(reinterpret_cast<uint8_t*>(ppixGetPixels(p)), 5 * 3 * 4);
    const std::vector<uint8_t> bmp = encodeBmp24(p);
    PPixHand back = bmpFileToPPix(bmp.data(), bmp.size());
    ASSERT_NE(back, nullptr);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(word(back, x, y), word(p, x, y) | 0xFF000000u);
    ppixDispose(back);

    // PNG: read back by the picture reader, alpha and all.
    const std::vector<uint8_t> png = encodePng(p, true);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
    int32_t status = -1;
    back = pictureToPPix(png.data(), png.size(), &status);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(status, 0);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(word(back, x, y), word(p, x, y));
    ppixDispose(back);
    ppixDispose(p);
}
