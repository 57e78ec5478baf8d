#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/surface.h"

namespace {

using rc::platform::Surface;

uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

// Splits a PNG into chunks, checking each chunk's CRC.
std::vector<Chunk> chunksOf(const std::vector<uint8_t>& png) {
    std::vector<Chunk> out;
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        uint32_t len = be32(&png[pos]);
        EXPECT_LE(pos + 12 + len, png.size());
        Chunk c{std::string(png.begin() + pos + 4, png.begin() + pos + 8),
                std::vector<uint8_t>(png.begin() + pos + 8, png.begin() + pos + 8 + len)};
        EXPECT_EQ(be32(&png[pos + 8 + len]), rc::platform::crc32(&png[pos + 4], len + 4)) << c.type;
        out.push_back(std::move(c));
        pos += 12 + len;
    }
    EXPECT_EQ(pos, png.size());
    return out;
}

// Undoes the stored-block zlib stream.
std::vector<uint8_t> inflateStored(const std::vector<uint8_t>& z) {
    std::vector<uint8_t> out;
    EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);  // a valid zlib header
    size_t pos = 2;
    for (;;) {
        uint8_t head = z[pos];
        EXPECT_EQ(head & 6, 0);  // stored
        uint16_t len = z[pos + 1] | z[pos + 2] << 8;
        uint16_t nlen = z[pos + 3] | z[pos + 4] << 8;
        EXPECT_EQ(static_cast<uint16_t>(~len), nlen);
        out.insert(out.end(), z.begin() + pos + 5, z.begin() + pos + 5 + len);
        pos += 5 + len;
        if (head & 1) break;
    }
    EXPECT_EQ(be32(&z[pos]), rc::platform::adler32(out.data(), out.size()));
    EXPECT_EQ(pos + 4, z.size());
    return out;
}

TEST(Png, ChecksumsMatchTheirStandardCheckValues) {
    const char* nine = "123456789";
    EXPECT_EQ(rc::platform::crc32(reinterpret_cast<const uint8_t*>(nine), 9), 0xCBF43926u);
    EXPECT_EQ(rc::platform::adler32(reinterpret_cast<const uint8_t*>("Wikipedia"), 9), 0x11E60398u);
    // Continuing a checksum over pieces gives the same as one pass.
    uint32_t c = rc::platform::crc32(reinterpret_cast<const uint8_t*>(nine), 4);
    EXPECT_EQ(rc::platform::crc32(reinterpret_cast<const uint8_t*>(nine) + 4, 5, c), 0xCBF43926u);
}

TEST(Png, SurfacesRoundTripThroughTheFile) {
    for (int32_t size : {3, 200}) {  // 200 x 200 needs several stored blocks
        Surface s(size, size - 1);
        for (int32_t y = 0; y < s.height; ++y)
            for (int32_t x = 0; x < s.width; ++x)
                s.row(y)[x] = 0xFF000000u | static_cast<uint32_t>(x * 7 % 256) << 16 |
                              static_cast<uint32_t>(y * 13 % 256) << 8 |
                              static_cast<uint32_t>((x + y) % 256);
        std::vector<uint8_t> png = rc::platform::encodePng(s);
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
        auto chunks = chunksOf(png);
        ASSERT_EQ(chunks.size(), 3u);
        EXPECT_EQ(chunks[0].type, "IHDR");
        EXPECT_EQ(be32(&chunks[0].data[0]), static_cast<uint32_t>(s.width));
        EXPECT_EQ(be32(&chunks[0].data[4]), static_cast<uint32_t>(s.height));
        EXPECT_EQ(chunks[0].data[8], 8);
        EXPECT_EQ(chunks[0].data[9], 2);
        EXPECT_EQ(chunks[1].type, "IDAT");
        EXPECT_EQ(chunks[2].type, "IEND");
        std::vector<uint8_t> raw = inflateStored(chunks[1].data);
        ASSERT_EQ(raw.size(), static_cast<size_t>(s.height) * (1 + 3 * s.width));
        for (int32_t y = 0; y < s.height; ++y) {
            const uint8_t* line = &raw[static_cast<size_t>(y) * (1 + 3 * s.width)];
            ASSERT_EQ(line[0], 0);
            for (int32_t x = 0; x < s.width; ++x) {
                uint32_t v = s.at(x, y);
                ASSERT_EQ(line[1 + 3 * x], v >> 16 & 255);
                ASSERT_EQ(line[2 + 3 * x], v >> 8 & 255);
                ASSERT_EQ(line[3 + 3 * x], v & 255);
            }
        }
        std::string path = ::testing::TempDir() + "reel_png_" + std::to_string(getpid()) + ".png";
        ASSERT_TRUE(rc::platform::writePng(s, path));
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<uint8_t> back(png.size() + 1);
        EXPECT_EQ(std::fread(back.data(), 1, back.size(), f), png.size());
        std::fclose(f);
        back.resize(png.size());
        EXPECT_EQ(back, png);
        std::remove(path.c_str());
    }
    Surface empty;
    EXPECT_TRUE(rc::platform::encodePng(empty).empty());
    EXPECT_FALSE(rc::platform::writePng(Surface(2, 2), "/nonexistent-dir/x.png"));
}

TEST(Png, WindowRegistryMapsIdsToSurfaces) {
    Surface a(2, 2), b(3, 3);
    EXPECT_EQ(rc::platform::surfaceForWindow(77), nullptr);
    EXPECT_EQ(rc::platform::getWindowDC(77), nullptr);
    rc::platform::registerWindowSurface(77, &a);
    rc::platform::registerWindowSurface(78, &b);
    EXPECT_EQ(rc::platform::surfaceForWindow(77), &a);
    EXPECT_EQ(rc::platform::surfaceForWindow(78), &b);
    FmDC dc = rc::platform::getWindowDC(78);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->target, &b);
    EXPECT_EQ(dc->windowId, 78u);
    rc::platform::releaseDC(dc);
    rc::platform::unregisterWindowSurface(77);
    EXPECT_EQ(rc::platform::surfaceForWindow(77), nullptr);
    rc::platform::registerWindowSurface(78, nullptr);
    EXPECT_EQ(rc::platform::surfaceForWindow(78), nullptr);
}

}  // namespace
