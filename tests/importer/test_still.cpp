// The still importer sample: BMP and PNG pictures compared with their
// sources, hostile BMP headers, frame stores gathered by the host, and
// fields interleaved from the next frame when the project renders fields.
#include "importer_fixture.h"
#include "reelcore/settings.h"
#include "still_files.h"

extern "C" int16_t stillImportEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);

namespace {

using namespace importtest;

constexpr OSType kStil = cc("STIL");

class Still : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        ASSERT_EQ(FmAddBuiltinImporter(kStil, stillImportEntry), 0);
        ASSERT_EQ(Add1XREF(cc("BMP "), kStil, cc("PICT"), 0x10), 0);
        ASSERT_EQ(Add1XREF(cc("PNG "), kStil, cc("PICT"), 0x10), 0);
    }
    void TearDown() override {
        if (Handle s = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings))) {
            psetDisposeSettings(s);
            SetAGlobal(kSlotProjectSettings, 0);
        }
        ImportTest::TearDown();
    }
    int16_t add(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string p = write(name, bytes);
        const bool png = name.size() > 4 && name.substr(name.size() - 4) == ".png";
        return AddFile(p.c_str(), 0, 0, png ? cc("PNG ") : cc("BMP "));
    }
    void renderFields(int32_t order) {
        Handle s = psetNewDefaultSettings();
        ASSERT_NE(s, nullptr);
        psetGetBlock(s)->video.fieldtype = order;
        SetAGlobal(kSlotProjectSettings, reinterpret_cast<intptr_t>(s));
    }
};

// A pattern with every channel changing across the picture.
uint32_t pattern(int32_t x, int32_t y) {
    return uint32_t(40 + 5 * y) << 24 | uint32_t(x * 7 & 255) << 16 | uint32_t(y * 11 & 255) << 8 |
           uint32_t((x + y) * 3 & 255);
}
uint32_t grey(int32_t x, int32_t y) {
    const uint32_t g = uint32_t((x * 13 + y * 29) & 255);
    return 0xFF000000u | g * 0x010101u;
}

TEST_F(Still, PicturesMatchTheirSourcesAtEveryTime) {
    constexpr int32_t W = 37, H = 23;  // odd sizes: BMP rows are padded
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool alpha;
        PixelFn source;
    };
    const Case cases[] = {
        {"up24.bmp", makeBmp(W, H, 24, false, pattern), false, pattern},
        {"down24.bmp", makeBmp(W, H, 24, true, pattern), false, pattern},
        {"grey8.bmp", makeBmp(W, H, 8, false, grey), false, grey},
        {"alpha32.bmp", makeBmp(W, H, 32, false, pattern), true, pattern},
        {"rgb.png", makePng(W, H, false, pattern), false, pattern},
        {"rgba.png", makePng(W, H, true, pattern), true, pattern},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int16_t id = add(c.name, c.bytes);
        ASSERT_GT(id, 0);
        ASSERT_EQ(GetFileDraw(id), kStil);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(id, &info, 1), 0);
        EXPECT_EQ(info.frame.right, W);
        EXPECT_EQ(info.frame.bottom, H);
        EXPECT_EQ(info.depth, c.alpha ? 32 : 24);
        EXPECT_EQ(info.mediaFlags & 1, 1);
        EXPECT_EQ(info.noDuration, 1);
        EXPECT_EQ(info.isFramestore, 0);
        const PWorld w = world(W, H);
        const FmRect r{0, 0, W, H};
        for (int32_t frame : {0, 57}) {
            const TDB t{frame, 30, 1};
            ASSERT_EQ(GetVideo(&t, id, w, &r, 32, 0), 0);
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x) {
                    // Pictures without alpha come out opaque.
                    const uint32_t want = c.alpha ? c.source(x, y) : c.source(x, y) | 0xFF000000u;
                    ASSERT_EQ(bgraAt(w, x, y), want) << x << "," << y;
                }
        }
        // A smaller rectangle gets the picture scaled by the nearest pixel.
        const PWorld half = world(18, 11);
        const FmRect hr{0, 0, 18, 11};
        ASSERT_EQ(GetVideo(nullptr, id, half, &hr, 32, 0), 0);
        EXPECT_EQ(bgraAt(half, 5, 7) & 0xFFFFFF, c.source(5 * W / 18, 7 * H / 11) & 0xFFFFFF);
    }
}

TEST_F(Still, HostileBmpHeadersAreRefused) {
    const std::vector<uint8_t> good = makeBmp(8, 8, 24, false, pattern);
    auto patched = [&](size_t at, uint32_t value, int bytes = 4) {
        std::vector<uint8_t> v = good;
        for (int i = 0; i < bytes; ++i) v[at + size_t(i)] = uint8_t(value >> (8 * i));
        return v;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"short.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 40)},
        {"rows.bmp", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"offset.bmp", patched(10, 0xFFFFFFF0u)},
        {"wide.bmp", patched(18, 0x7FFFFFFF)},
        {"tall.bmp", patched(22, 0x80000000u)},
        {"negative.bmp", patched(18, uint32_t(-8))},
        {"header.bmp", patched(14, 0xFFFFFFFFu)},
        {"depth.bmp", patched(28, 17, 2)},
        {"packed.bmp", patched(30, 1)},
        {"notbmp.bmp", std::vector<uint8_t>(64, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int16_t id = add(c.name, c.bytes);
        FmMediaInfo info{};
        EXPECT_EQ(GetInfo(id, &info, 1), kRcImportBadFile);
    }
    // A palette that claims more colours than the file holds.
    std::vector<uint8_t> pal = makeBmp(8, 8, 8, false, grey);
    pal[46] = 0x00, pal[47] = 0x10;  // 4,096 colours
    const int16_t bad = add("palette.bmp", pal);
    FmMediaInfo info{};
    EXPECT_EQ(GetInfo(bad, &info, 1), kRcImportBadFile);

    // A file cut short after it was described draws black and reports it.
    const int16_t id = add("cut.bmp", good);
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    write("cut.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 60));
    const PWorld w = world(8, 8);
    const FmRect r{0, 0, 8, 8};
    pwFillRect(w, &r, 0xFFFFFF);
    EXPECT_EQ(GetVideo(nullptr, id, w, &r, 32, 0), kRcImportBadFile);
    EXPECT_EQ(bgraAt(w, 3, 3) & 0xFFFFFF, 0u);
}

uint32_t shade(int32_t n) {
    return 0xFF000000u | uint32_t(n * 20) << 16 | uint32_t(255 - n * 20) << 8 | 0x40;
}

TEST_F(Still, FrameStoresReadTheirNumberedFiles) {
    std::string out;
    EXPECT_TRUE(rc::plugins::numberedPath("/a/shot0099.png", 1, out));
    EXPECT_EQ(out, "/a/shot0100.png");
    EXPECT_TRUE(rc::plugins::numberedPath("/a/x99.bmp", 2, out));
    EXPECT_EQ(out, "/a/x101.bmp");
    EXPECT_FALSE(rc::plugins::numberedPath("/dir7/name.png", 1, out));
    EXPECT_FALSE(rc::plugins::numberedPath("/a/1234567890123456789.png", 1, out));

    // shot0008 ... shot0012 follow each other; shot0014 is beyond a gap.
    for (int32_t n = 8; n <= 14; ++n) {
        if (n == 13) continue;
        char name[32];
        std::snprintf(name, sizeof name, "shot%04d.bmp", n);
        add(name, makeBmp(6, 4, 24, n % 2 == 0, [n](int32_t, int32_t) { return shade(n); }));
    }
    const int16_t id = AddFile((dir + "/shot0008.bmp").c_str(), 0, 0, cc("BMP "));
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    EXPECT_EQ(info.isFramestore, 1);
    EXPECT_EQ(info.noDuration, 0);
    EXPECT_EQ(info.video.value / info.video.samp, 5);
    EXPECT_EQ(GetFileIsFramestore(id), 1);
    const PWorld w = world(6, 4);
    const FmRect r{0, 0, 6, 4};
    for (int32_t frame : {0, 3, 4, 9}) {
        SCOPED_TRACE(frame);
        const TDB t{frame, info.video.scale, info.video.samp};
        ASSERT_EQ(GetVideo(&t, id, w, &r, 32 | kVideoUseCache, 0), 0);
        const int32_t file = 8 + std::min(frame, 4);  // past the end: the last frame
        EXPECT_EQ(bgraAt(w, 2, 1), shade(file));
    }
    // A numbered picture without a follower is a plain still.
    const int16_t lone = add("lone7.png", makePng(4, 4, false, grey));
    ASSERT_EQ(GetInfo(lone, &info, 1), 0);
    EXPECT_EQ(info.isFramestore, 0);
    EXPECT_EQ(info.noDuration, 1);

    // A file removed from the middle of the store draws black.
    std::remove((dir + "/shot0010.bmp").c_str());
    const TDB t2{2, info.video.scale > 0 ? 30 : 30, 1};
    EXPECT_EQ(GetVideo(&t2, id, w, &r, 32, 0), kImportCannotOpen);
    EXPECT_EQ(bgraAt(w, 2, 1) & 0xFFFFFF, 0u);
}

TEST_F(Still, FieldsComeFromThisFrameAndTheNext) {
    for (int32_t n = 1; n <= 3; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "f%d.png", n);
        add(name, makePng(4, 6, false, [n](int32_t, int32_t) { return shade(n); }));
    }
    const int16_t id = AddFile((dir + "/f1.png").c_str(), 0, 0, cc("PNG "));
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    ASSERT_EQ(info.video.value / info.video.samp, 3);
    const PWorld w = world(4, 6);
    const FmRect r{0, 0, 4, 6};
    const TDB second{1, info.video.scale, info.video.samp};
    const TDB last{2, info.video.scale, info.video.samp};

    renderFields(1);  // upper field first: odd rows from the next frame
    ASSERT_EQ(GetVideo(&second, id, w, &r, 32, 0), 0);
    for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(bgraAt(w, 1, y), shade(y % 2 ? 3 : 2)) << y;
    // The last frame has no next one: both fields are its own.
    ASSERT_EQ(GetVideo(&last, id, w, &r, 32, 0), 0);
    for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(bgraAt(w, 1, y), shade(3)) << y;

    psetDisposeSettings(reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)));
    renderFields(2);  // lower field first: even rows from the next frame
    ASSERT_EQ(GetVideo(&second, id, w, &r, 32, 0), 0);
    for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(bgraAt(w, 1, y), shade(y % 2 ? 2 : 3)) << y;

    // A still is never split into fields.
    const int16_t still = add("plain.png", makePng(4, 6, false, grey));
    ASSERT_EQ(GetInfo(still, &info, 1), 0);
    ASSERT_EQ(GetVideo(&second, still, w, &r, 32, 0), 0);
    EXPECT_EQ(bgraAt(w, 1, 1), grey(1, 1));
}

}  // namespace
