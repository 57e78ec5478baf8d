// PNG files: the encoder's output read back by libpng itself, and the
// reader over every colour type and bit depth, written here by libpng.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pixel_test_util.h"
#include "pixels/bitmap_io.h"
#include "platform/png.h"
#include "platform/surface.h"
#include "reelcore/depthcon.h"
#include "reelcore/ppix.h"

namespace {

using rc::platform::Surface;

struct Decoded {
    uint32_t width = 0, height = 0;
    int colourType = -1, bitDepth = 0;
    std::vector<uint8_t> bytes;  // as stored: R, G, B (, A)
};

// libpng's simplified reader, independent of the library's own.
Decoded decodeWithLibpng(const std::vector<uint8_t>& file) {
    Decoded d;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return d;
    d.width = image.width;
    d.height = image.height;
    d.colourType =
        (image.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    d.bitDepth = 8;
    image.format = (image.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    d.bytes.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, d.bytes.data(), 0, nullptr)) d.bytes.clear();
    return d;
}

// A picture with smooth areas, edges and noise: what compresses like a frame.
void fillFrame(Surface& s) {
    for (int32_t y = 0; y < s.height; ++y)
        for (int32_t x = 0; x < s.width; ++x) {
            uint32_t r = uint32_t(x * 255 / std::max(1, s.width - 1));
            uint32_t g = (x / 16 + y / 16) % 2 ? 200 : 40;
            uint32_t b = uint32_t(pixtest::rng()() >> 29);
            s.row(y)[x] = 0xFF000000u | r << 16 | g << 8 | (y & 0xF0) | b;
        }
}

TEST(Png, SurfacesAreCompressedAndReadBackExactly) {
    for (int32_t size : {1, 3, 200}) {
        Surface s(size, size + 1);
        fillFrame(s);
        std::vector<uint8_t> png = rc::platform::encodePng(s);
        ASSERT_GT(png.size(), 8u);
        EXPECT_TRUE(rc::platform::looksLikePng(png.data(), png.size()));
        Decoded d = decodeWithLibpng(png);
        ASSERT_EQ(d.width, uint32_t(s.width));
        ASSERT_EQ(d.height, uint32_t(s.height));
        EXPECT_EQ(d.colourType, PNG_COLOR_TYPE_RGB);
        ASSERT_EQ(d.bytes.size(), size_t(s.width) * s.height * 3);
        for (int32_t y = 0; y < s.height; ++y)
            for (int32_t x = 0; x < s.width; ++x) {
                const uint32_t v = s.at(x, y);
                const uint8_t* p = &d.bytes[(size_t(y) * s.width + x) * 3];
                ASSERT_EQ(p[0], v >> 16 & 255) << x << "," << y;
                ASSERT_EQ(p[1], v >> 8 & 255);
                ASSERT_EQ(p[2], v & 255);
            }
        if (size == 200) {  // far below the 120 KB of its raw rows
            EXPECT_LT(png.size(), size_t(s.width) * s.height * 3 / 2);
        }
        std::string path = ::testing::TempDir() + "reel_png_" + std::to_string(getpid()) + ".png";
        ASSERT_TRUE(rc::platform::writePng(s, path));
        std::vector<uint8_t> back;
        ASSERT_TRUE(rc::pix::readFile(path, back));
        EXPECT_EQ(back, png);
        std::remove(path.c_str());
    }
    // A flat 640 x 480 picture is a few kilobytes, not 922 KB.
    Surface flat(640, 480, 0xFF3366CCu);
    EXPECT_LT(rc::platform::encodePng(flat).size(), 8000u);
    Surface empty;
    EXPECT_TRUE(rc::platform::encodePng(empty).empty());
    EXPECT_FALSE(rc::platform::writePng(Surface(2, 2), "/nonexistent-dir/x.png"));
}

TEST(Png, BuffersWithAndWithoutAlpha) {
    pixtest::resetRuntime();
    const FmRect b{0, 0, 7, 5};
    PPixHand p = ppixNew(&b);
    ASSERT_NE(p, nullptr);
    pixtest::randomBytes(reinterpret_cast<uint8_t*>(ppixGetPixels(p)),
                         size_t(ppixGetRowbytes(p)) * 5);
    for (bool alpha : {false, true}) {
        std::vector<uint8_t> png = rc::pix::encodePng(p, alpha);
        Decoded d = decodeWithLibpng(png);
        ASSERT_EQ(d.width, 7u);
        EXPECT_EQ(d.colourType, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
        const size_t n = alpha ? 4 : 3;
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x) {
                const uint8_t* px = reinterpret_cast<const uint8_t*>(ppixGetPixels(p)) +
                                    size_t(4 - y) * size_t(ppixGetRowbytes(p)) +
                                    4 * size_t(x);  // bottom-up
                const uint8_t* q = &d.bytes[(size_t(y) * 7 + x) * n];
                EXPECT_EQ(q[0], px[2]);
                EXPECT_EQ(q[1], px[1]);
                EXPECT_EQ(q[2], px[0]);
                if (alpha) {
                    EXPECT_EQ(q[3], px[3]);
                }
            }
        // and our reader gives the same pixels back
        int32_t status = -1;
        PPixHand back = rc::pix::pictureToPPix(png.data(), png.size(), &status);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(status, 0);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x) {
                const uint32_t want = ppixGetPixel(p, x, y), got = ppixGetPixel(back, x, y);
                EXPECT_EQ(got, want);
            }
        ppixDispose(back);
    }
    ppixDispose(p);
}

// A PNG written by libpng from 16-bit samples (one per channel) of the given
// colour type and depth; palette pictures index `palette`.
struct Sample {
    uint16_t c[4];
};
std::vector<uint8_t> writeWithLibpng(int colourType, int depth, uint32_t w, uint32_t h,
                                     const std::vector<Sample>& px, bool interlace = false,
                                     const std::vector<png_color>& palette = {},
                                     const std::vector<uint8_t>& paletteAlpha = {},
                                     const png_color_16* transparent = nullptr) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, depth, colourType,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!paletteAlpha.empty() || transparent)
        png_set_tRNS(png, info, paletteAlpha.empty() ? nullptr : paletteAlpha.data(),
                     int(paletteAlpha.size()), transparent);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    // Pack each row at the file's depth.
    std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(w * channels * 2 + 8, 0));
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* r = rows[y].data();
        size_t bit = 0;
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                const uint16_t v = px[y * w + x].c[c];
                if (depth == 16) {
                    r[bit / 8] = uint8_t(v >> 8);
                    r[bit / 8 + 1] = uint8_t(v);
                } else if (depth == 8) {
                    r[bit / 8] = uint8_t(v);
                } else {
                    r[bit / 8] |= uint8_t(v << (8 - depth - bit % 8));
                }
                bit += size_t(depth);
            }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// 0xAARRGGBB of the pixel at (x, y) of a buffer, y from the top.
uint32_t argb(PPixHand p, int32_t x, int32_t y) {
    FmRect b;
    ppixGetBounds(p, &b);
    const int32_t height = b.bottom - b.top;
    uint32_t v;
    std::memcpy(
        &v, ppixGetPixels(p) + size_t(ppixGetRowbytes(p)) * size_t(height - 1 - y) + 4 * size_t(x),
        4);
    return v;
}

TEST(Png, ReaderTakesEveryColourTypeAndDepth) {
    pixtest::resetRuntime();
    const uint32_t w = 5, h = 3;
    std::vector<Sample> px(w * h);
    for (uint32_t i = 0; i < w * h; ++i)
        px[i] = Sample{{uint16_t(i * 4000), uint16_t(65535 - i * 3000), uint16_t(i * 257),
                        uint16_t(i * 4369)}};
    auto to8 = [](uint16_t v) { return uint32_t((v * 255u + 32895u) >> 16); };  // rounded
    struct Case {
        const char* name;
        int type, depth;
        bool interlace;
    } cases[] = {{"grey 8", PNG_COLOR_TYPE_GRAY, 8, false},
                 {"grey 16", PNG_COLOR_TYPE_GRAY, 16, false},
                 {"grey+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
                 {"rgb 8", PNG_COLOR_TYPE_RGB, 8, false},
                 {"rgb 16", PNG_COLOR_TYPE_RGB, 16, true},
                 {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
                 {"rgba 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Sample> in = px;
        if (c.depth == 8)
            for (auto& s : in)
                for (auto& v : s.c) v = uint16_t(v >> 8);
        std::vector<uint8_t> file = writeWithLibpng(c.type, c.depth, w, h, in, c.interlace);
        ASSERT_FALSE(file.empty());
        int32_t status = -1;
        PPixHand p = rc::pix::pictureToPPix(file.data(), file.size(), &status);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(status, 0);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const Sample& s = in[y * w + x];
                auto eight = [&](uint16_t v) { return c.depth == 16 ? to8(v) : uint32_t(v); };
                const bool grey =
                    c.type == PNG_COLOR_TYPE_GRAY || c.type == PNG_COLOR_TYPE_GRAY_ALPHA;
                const uint32_t r = eight(s.c[0]), g = grey ? r : eight(s.c[1]),
                               b = grey ? r : eight(s.c[2]);
                uint32_t a = 255;
                if (c.type == PNG_COLOR_TYPE_GRAY_ALPHA) a = eight(s.c[1]);
                if (c.type == PNG_COLOR_TYPE_RGB_ALPHA) a = eight(s.c[3]);
                EXPECT_EQ(argb(p, int32_t(x), int32_t(y)), a << 24 | r << 16 | g << 8 | b)
                    << x << "," << y;
            }
        ppixDispose(p);
    }

    // Palette pictures of 1, 2, 4 and 8 bits, with a transparency chunk.
    std::vector<png_color> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(png_color{uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 7)});
    for (int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE(depth);
        const int colours = std::min(16, 1 << depth);
        std::vector<Sample> idx(w * h);
        for (uint32_t i = 0; i < w * h; ++i) idx[i].c[0] = uint16_t(i % uint32_t(colours));
        std::vector<uint8_t> alpha = {0, 128};
        std::vector<png_color> used(palette.begin(), palette.begin() + colours);
        std::vector<uint8_t> file =
            writeWithLibpng(PNG_COLOR_TYPE_PALETTE, depth, w, h, idx, false, used, alpha);
        PPixHand p = rc::pix::pictureToPPix(file.data(), file.size(), nullptr);
        ASSERT_NE(p, nullptr);
        for (uint32_t i = 0; i < w * h; ++i) {
            const png_color& e = palette[idx[i].c[0]];
            const uint32_t a = idx[i].c[0] < 2 ? alpha[idx[i].c[0]] : 255;
            EXPECT_EQ(argb(p, int32_t(i % w), int32_t(i / w)),
                      a << 24 | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue)
                << i;
        }
        ppixDispose(p);
    }
    // Grey of 1 bit: 0 black, 1 white; one grey level made transparent.
    std::vector<Sample> bits(w * h);
    for (uint32_t i = 0; i < w * h; ++i) bits[i].c[0] = uint16_t(i % 2);
    png_color_16 key{};
    key.gray = 1;
    std::vector<uint8_t> file =
        writeWithLibpng(PNG_COLOR_TYPE_GRAY, 1, w, h, bits, false, {}, {}, &key);
    PPixHand mono = rc::pix::pictureToPPix(file.data(), file.size(), nullptr);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(argb(mono, 0, 0), 0xFF000000u);
    EXPECT_EQ(argb(mono, 1, 0), 0x00FFFFFFu);
    ppixDispose(mono);
}

TEST(Png, DamagedFilesAreRefusedWithAReason) {
    pixtest::resetRuntime();
    std::vector<Sample> px(64 * 64);
    for (uint32_t i = 0; i < px.size(); ++i) px[i] = Sample{{uint16_t(i & 255), 3, 9, 0}};
    std::vector<uint8_t> good = writeWithLibpng(PNG_COLOR_TYPE_RGB, 8, 64, 64, px);
    ASSERT_GT(good.size(), 100u);
    int32_t status = 0;
    std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
    EXPECT_EQ(rc::pix::pictureToPPix(cut.data(), cut.size(), &status), nullptr);
    EXPECT_EQ(status, kPictureTruncated);
    std::vector<uint8_t> bad = good;
    bad[12] = 'X';  // IHDR's name: a critical chunk libpng does not know
    EXPECT_EQ(rc::pix::pictureToPPix(bad.data(), bad.size(), &status), nullptr);
    EXPECT_EQ(status, kPictureMalformed);
    // A header claiming 60000 x 60000 pixels in a 100-byte file.
    std::vector<Sample> one(1);
    std::vector<uint8_t> tiny = writeWithLibpng(PNG_COLOR_TYPE_RGB, 8, 1, 1, one);
    tiny[16] = 0, tiny[17] = 0, tiny[18] = 0xEA, tiny[19] = 0x60;  // width
    tiny[20] = 0, tiny[21] = 0, tiny[22] = 0xEA, tiny[23] = 0x60;  // height
    const uint32_t crc = uint32_t(::crc32(::crc32(0, nullptr, 0), &tiny[12], 17));
    tiny[29] = uint8_t(crc >> 24), tiny[30] = uint8_t(crc >> 16), tiny[31] = uint8_t(crc >> 8),
    tiny[32] = uint8_t(crc);
    EXPECT_EQ(rc::pix::pictureToPPix(tiny.data(), tiny.size(), &status), nullptr);
    EXPECT_EQ(status, kPictureTooLarge);
    const uint8_t text[] = "plain text, not a picture";
    EXPECT_EQ(rc::pix::pictureToPPix(text, sizeof text, &status), nullptr);
    EXPECT_EQ(status, kPictureUnknownFormat);
}

}  // namespace
