// The general pixel copy against a slow reference written from the rules:
// clipping, the blend table, bit, region and coverage masks, the nearest
// and smoothing scalers, and the utility-table dispatch of ppixCopy.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pixel_test_util.h"
#include "pixels/scale_kernels.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/ppix.h"
#include "reelcore/utility_table.h"

namespace {

// A 32-bit buffer mirrored as a plain image in memory order (row 0 = bottom).
struct Img {
    PPixHand pix = nullptr;
    int32_t w = 0, h = 0;
    FmRect bounds{};
    explicit Img(FmRect b, bool random = true)
        : w(b.right - b.left), h(b.bottom - b.top), bounds(b) {
        pix = ppixNew(&b);
        if (pix && random) pixtest::randomBytes(bytes(), size_t(w) * h * 4);
    }
    ~Img() { ppixDispose(pix); }
    Img(const Img&) = delete;
    uint8_t* bytes() const { return reinterpret_cast<uint8_t*>(ppixGetPixels(pix)); }
    const PPixRecord* rec() const { return reinterpret_cast<const PPixRecord*>(*pix); }
    std::vector<uint8_t> snapshot() const {
        return std::vector<uint8_t>(bytes(), bytes() + size_t(w) * h * 4);
    }
    // pixel at (x, y) in bounds coordinates, y downwards
    uint8_t* at(std::vector<uint8_t>& mem, int32_t x, int32_t y) const {
        return mem.data() + (size_t(bounds.bottom - 1 - y) * w + (x - bounds.left)) * 4;
    }
};

class CopyPixTest : public ::testing::Test {
  protected:
    void SetUp() override { pixtest::resetRuntime(); }
};

// ---- reference scalers on memory-order images of 4-byte pixels ----
using Pixels = std::vector<uint8_t>;

uint8_t lerp(int a, int b, int f) {
    const int d = (b - a) * f;
    return uint8_t(a + (d >= 0 ? d / 256 : -((-d + 255) / 256)));  // floor
}

std::vector<std::pair<int, int>> refRuns(int n, int m) {
    std::vector<std::pair<int, int>> runs;
    const int64_t inc = (int64_t(m) * 65536) / (n - 1);
    int64_t acc = 0;
    int i = 0;
    for (int r = 0; r < m; ++r) {
        if (i >= n) {
            runs.push_back({n - 1, 1});
            continue;
        }
        int start = i;
        while (true) {
            ++i;
            acc += inc;
            if (acc >= 65536 || i >= n) break;
        }
        if (acc >= 65536) acc -= 65536;
        runs.push_back({start, i - start});
    }
    return runs;
}

Pixels refScale(const Pixels& s, int sw, int sh, int dw, int dh, bool smooth) {
    Pixels d(size_t(dw) * dh * 4);
    auto S = [&](int x, int y, int c) { return int(s[(size_t(y) * sw + x) * 4 + c]); };
    auto D = [&](int x, int y, int c) -> uint8_t& { return d[(size_t(y) * dw + x) * 4 + c]; };
    if (!smooth) {
        auto map = [](int n, int m, int i) {
            int64_t step = n == 0   ? 0
                           : m == 1 ? int64_t(n - 1) * 65536
                                    : int64_t(n - 1) * 65536 / (m - 1);
            return int((i * step + 32768) / 65536);
        };
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                for (int c = 0; c < 4; ++c)
                    D(x, y, c) = uint8_t(S(map(sw, dw, x), map(sh, dh, y), c));
        return d;
    }
    if (sw % 2 == 0 && sh % 2 == 0 && dw % 2 == 0 && dh % 2 == 0 && sw == 2 * dw && sh == 2 * dh) {
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                for (int c = 0; c < 4; ++c)
                    D(x, y, c) =
                        uint8_t((S(2 * x, 2 * y, c) / 2 + S(2 * x + 1, 2 * y, c) / 2) / 2 +
                                (S(2 * x, 2 * y + 1, c) / 2 + S(2 * x + 1, 2 * y + 1, c) / 2) / 2);
        return d;
    }
    // one intermediate row of sw pixels (values, or sums with their row count)
    auto horizontal = [&](const std::vector<int64_t>& line, int64_t rowsMerged, int y, bool sums) {
        if (dw < sw) {
            auto runs = refRuns(sw, dw);
            for (int x = 0; x < dw; ++x)
                for (int c = 0; c < 4; ++c) {
                    int64_t t = 0;
                    for (int k = 0; k < runs[x].second; ++k) t += line[(runs[x].first + k) * 4 + c];
                    D(x, y, c) = uint8_t(t / (runs[x].second * (sums ? rowsMerged : 1)));
                }
        } else {
            // a pass that keeps the width takes every pixel as it is
            const int64_t step = dw == sw ? 65536 : int64_t(sw - 1) * 65536 / dw;
            for (int x = 0; x < dw; ++x) {
                const int64_t p = x * step;
                const int i0 = int(p / 65536), i1 = std::min(i0 + 1, sw - 1),
                          f = int((p / 256) % 256);
                for (int c = 0; c < 4; ++c) {
                    const int a = int(line[i0 * 4 + c] / (sums ? rowsMerged : 1));
                    const int b = int(line[i1 * 4 + c] / (sums ? rowsMerged : 1));
                    D(x, y, c) = lerp(a, b, f);
                }
            }
        }
    };
    std::vector<int64_t> line(size_t(sw) * 4);
    if (dh >= sh) {
        const int64_t step = dh == sh ? 65536 : int64_t(sh - 1) * 65536 / dh;
        for (int y = 0; y < dh; ++y) {
            const int64_t p = y * step;
            const int r0 = int(p / 65536), r1 = std::min(r0 + 1, sh - 1), f = int((p / 256) % 256);
            for (int x = 0; x < sw; ++x)
                for (int c = 0; c < 4; ++c) line[x * 4 + c] = lerp(S(x, r0, c), S(x, r1, c), f);
            horizontal(line, 1, y, false);
        }
    } else {
        auto runs = refRuns(sh, dh);
        for (int y = 0; y < dh; ++y) {
            std::fill(line.begin(), line.end(), 0);
            for (int k = 0; k < runs[y].second; ++k)
                for (int x = 0; x < sw; ++x)
                    for (int c = 0; c < 4; ++c) line[x * 4 + c] += S(x, runs[y].first + k, c);
            horizontal(line, runs[y].second, y, true);
        }
    }
    return d;
}

// Extracts a rectangle of an image as a memory-order block.
Pixels block(const Img& img, const std::vector<uint8_t>& mem, const FmRect& r) {
    Pixels out;
    for (int32_t y = r.bottom - 1; y >= r.top; --y)
        for (int32_t x = r.left; x < r.right; ++x) {
            const uint8_t* p =
                mem.data() +
                (size_t(img.bounds.bottom - 1 - y) * img.w + (x - img.bounds.left)) * 4;
            out.insert(out.end(), p, p + 4);
        }
    return out;
}

}  // namespace

TEST_F(CopyPixTest, BlendTableAndOpacityEnds) {
    Img src({0, 0, 9, 7}), dst({0, 0, 9, 7});
    const FmRect r{0, 0, 9, 7};
    std::vector<uint8_t> before = dst.snapshot();
    ASSERT_EQ(ppixCopy(src.pix, dst.pix, &r, &r, kCopyBlend | 0, nullptr), 0);
    EXPECT_EQ(dst.snapshot(), before);  // opacity 0 draws nothing
    ASSERT_EQ(ppixCopy(src.pix, dst.pix, &r, &r, kCopyBlend | 255, nullptr), 0);
    EXPECT_EQ(dst.snapshot(), src.snapshot());
    for (int o : {1, 77, 128, 254}) {
        Img d2({0, 0, 9, 7});
        std::vector<uint8_t> want = d2.snapshot(), s = src.snapshot();
        for (size_t i = 0; i < want.size(); ++i)
            want[i] = uint8_t((want[i] * (255 - o) + 127) / 255 + (s[i] * o + 127) / 255);
        const FmRect inner{2, 1, 6, 5};
        const std::vector<uint8_t> before2 = d2.snapshot();
        std::vector<uint8_t> got;
        ppixCopy(src.pix, d2.pix, &inner, &inner, kCopyBlend | o, nullptr);
        got = d2.snapshot();
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 9; ++x) {
                const bool in = x >= 2 && x < 6 && y >= 1 && y < 5;
                for (int c = 0; c < 4; ++c) {
                    const size_t i = (size_t(6 - y) * 9 + x) * 4 + c;
                    if (in) {
                        ASSERT_EQ(got[i], want[i]) << "opacity " << o;
                    } else {
                        ASSERT_EQ(got[i], before2[i]) << "outside the rectangle";
                    }
                }
            }
    }
}

TEST_F(CopyPixTest, UnscaledCopiesClipToBothBuffers) {
    Img src({0, 0, 20, 15}), dst({-5, 3, 12, 20});
    struct Case {
        FmRect s, d;
    };
    for (Case c : {Case{{-4, -3, 10, 8}, {-8, 1, 6, 12}}, Case{{15, 10, 26, 19}, {0, 10, 11, 19}},
                   Case{{0, 0, 20, 15}, {-5, 3, 15, 18}}}) {
        Img d({-5, 3, 12, 20});
        std::vector<uint8_t> want = d.snapshot(), s = src.snapshot();
        const int dx = c.d.left - c.s.left, dy = c.d.top - c.s.top;
        for (int32_t y = c.s.top; y < c.s.bottom; ++y)
            for (int32_t x = c.s.left; x < c.s.right; ++x) {
                const bool inSrc = x >= 0 && x < 20 && y >= 0 && y < 15;
                const bool inDst = x + dx >= -5 && x + dx < 12 && y + dy >= 3 && y + dy < 20;
                if (inSrc && inDst) std::copy_n(src.at(s, x, y), 4, d.at(want, x + dx, y + dy));
            }
        ASSERT_EQ(ppixCopy(src.pix, d.pix, &c.s, &c.d, 0, nullptr), 0);
        ASSERT_EQ(pixtest::firstDifference(d.snapshot(), want), -1);
    }
    (void)dst;
}

TEST_F(CopyPixTest, BitRegionAndCoverageMasks) {
    const FmRect b{0, 0, 21, 11};
    Img src(b);
    const FmRect sr{1, 2, 18, 10}, dr{3, 0, 20, 8};
    const int32_t mw = 17, mh = 8, rowBytes = ((mw + 15) / 16) * 2;
    std::vector<uint8_t> bits = pixtest::randomVector(size_t(rowBytes) * mh);
    Img cov8({0, 0, 21, 11}, false);
    PPixHand coverage = ppixNew8(&b);
    ASSERT_NE(coverage, nullptr);
    uint8_t* cv = reinterpret_cast<uint8_t*>(ppixGetPixels(coverage));
    pixtest::randomBytes(cv, 21 * 11);
    for (int i = 0; i < 40; ++i) cv[pixtest::rng()() % (21 * 11)] = (i % 2) ? 0 : 255;
    const int32_t covRow = ppixGetRowbytes(coverage);

    const FmRect part1{2, 3, 9, 6}, part2{12, 5, 16, 12};
    FmRgn region = FmNewRectRgn(&part1);
    FmUnionRectRgn(region, &part2);

    for (int mode = 0; mode < 3; ++mode) {
        Img dst(b);
        std::vector<uint8_t> want = dst.snapshot(), s = src.snapshot();
        for (int32_t y = sr.top; y < sr.bottom; ++y)
            for (int32_t x = sr.left; x < sr.right; ++x) {
                int c;
                if (mode == 0) {
                    const int col = x - sr.left, mrow = sr.bottom - 1 - y;
                    c = (bits[mrow * rowBytes + col / 8] >> (7 - col % 8)) & 1 ? 255 : 0;
                } else if (mode == 1) {
                    const bool in =
                        (x >= 2 && x < 9 && y >= 3 && y < 6) || (x >= 12 && x < 16 && y >= 5);
                    c = in ? 255 : 0;
                } else {
                    c = cv[(10 - y) * covRow + x];
                }
                uint8_t* dp = dst.at(want, x + 2, y - 2);
                const uint8_t* sp = src.at(s, x, y);
                if (c == 0) continue;
                if (c == 255) {
                    std::copy_n(sp, 4, dp);
                    continue;
                }
                for (int k = 0; k < 3; ++k)
                    dp[k] = uint8_t(sp[k] + (((255 - c) * (dp[k] - sp[k])) >> 8));
                dp[3] = uint8_t(dp[3] + ((255 - dp[3]) * sp[3] * c >> 16));
            }
        const int32_t flags = mode == 0 ? kCopyBitMask : mode == 2 ? kCopyCoverageMask : 0;
        const void* mask = mode == 0   ? static_cast<const void*>(bits.data())
                           : mode == 1 ? static_cast<const void*>(region)
                                       : static_cast<const void*>(coverage);
        ASSERT_EQ(ppixCopy(src.pix, dst.pix, &sr, &dr, flags, mask), 0);
        ASSERT_EQ(pixtest::firstDifference(dst.snapshot(), want), -1) << "mask mode " << mode;
        if (mode == 0) {  // CopyMask is the same copy through a bit mask
            Img again(b);
            const std::vector<uint8_t> done = dst.snapshot();
            std::copy(done.begin(), done.end(), again.bytes());
            CopyMask(src.rec(), again.rec(), &sr, &dr, 0, bits.data());
            EXPECT_EQ(again.snapshot(), dst.snapshot());
        }
    }
    FmDisposeRgn(region);
    ppixDispose(coverage);
}

TEST_F(CopyPixTest, CoverageAlphaRisesSmoothlyWithCoverage) {
    // source alpha 200 over destination alpha 100: the result must grow with
    // the coverage and meet the copied value without a jump
    const FmRect one{0, 0, 1, 1};
    int previous = 100;
    for (int c = 1; c <= 254; ++c) {
        Img s(one, false), d(one, false), m(one, false);
        PPixHand cov = ppixNew8(&one);
        s.bytes()[3] = 200;
        d.bytes()[3] = 100;
        *reinterpret_cast<uint8_t*>(ppixGetPixels(cov)) = uint8_t(c);
        ppixCopy(s.pix, d.pix, &one, &one, kCopyCoverageMask, cov);
        const int a = d.bytes()[3];
        EXPECT_GE(a, previous) << c;
        EXPECT_EQ(a, 100 + (155 * 200 * c >> 16));
        previous = a;
        ppixDispose(cov);
    }
    EXPECT_LE(previous, 255);
}

TEST_F(CopyPixTest, PlainRectangleRegionIsIgnored) {
    const FmRect b{0, 0, 8, 6};
    Img src(b), dst(b);
    FmRgn whole = FmNewRectRgn(&b);
    ppixCopy(src.pix, dst.pix, &b, &b, 0, whole);
    EXPECT_EQ(dst.snapshot(), src.snapshot());
    FmDisposeRgn(whole);
}

TEST_F(CopyPixTest, ScalersMatchTheReference) {
    struct Case {
        int sw, sh, dw, dh, flags;
    };
    const Case cases[] = {
        {64, 48, 32, 24, 0},  // exact 2:1
        {28, 8, 14, 4, 0},    // exact 2:1, rows of 8 + 4 + 2 outputs
        {64, 48, 33, 24, 0},  // general reduction
        {30, 20, 61, 45, 0},  // nearest enlargement
        {30, 20, 61, 45, kCopySmooth},
        {17, 13, 17, 40, 0},  // only taller: nearest
        {40, 13, 17, 40, 0},  // narrower and taller: smoothing
        {13, 40, 40, 17, 0},  // wider and shorter: smoothing
        {1, 1, 5, 4, kCopySmooth},
        {1, 9, 6, 3, 0},
        {9, 1, 3, 6, kCopySmooth},
        {7, 5, 1, 1, 0},
        {5, 7, 1, 9, 0},
        {3, 2160, 2, 8, 0},             // many rows merge into one
        {24, 18, 24, 17, 0},            // one row fewer, width kept
        {24, 18, 24, 7, 0},             // rows merged, width kept
        {24, 18, 41, 18, kCopySmooth},  // rows kept, wider
        {50, 10, 53, 12, kCopySmooth},  // barely wider: windows of eight and gathers
        {24, 18, 24, 31, kCopySmooth},  // taller, width kept
        {25, 18, 11, 18, 0},            // narrower, rows kept
        // pictures large enough for the kernels to write around the caches
        {1280, 720, 640, 360, 0},
        {640, 360, 1283, 721, kCopySmooth},
    };
    for (int plain = 0; plain < 2; ++plain)
        for (const Case& c : cases) {
            rc::pix::usePlainScaleKernels(plain != 0);
            const FmRect sb{0, 0, c.sw, c.sh}, db{0, 0, c.dw, c.dh};
            // private source memory without spare rows, so any overrun is caught
            std::vector<uint8_t> mem = pixtest::randomVector(size_t(c.sw) * c.sh * 4);
            if (c.sh == 2160) std::fill(mem.begin(), mem.end(), 255);
            PPixHand src = ppixNewPrivate(&sb, mem.data());
            Img dst(db);
            ASSERT_EQ(ppixCopy(src, dst.pix, &sb, &db, c.flags, nullptr), 0);
            const bool smooth = c.dw < c.sw || c.dh < c.sh || (c.flags & kCopySmooth);
            const Pixels want = refScale(mem, c.sw, c.sh, c.dw, c.dh, smooth);
            ASSERT_EQ(pixtest::firstDifference(dst.snapshot(), want), -1)
                << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << (plain ? " plain" : "");
            if (c.sh == 2160) {
                EXPECT_EQ(dst.snapshot(), Pixels(size_t(c.dw) * c.dh * 4, 255));
            }
            ppixDispose(src);
        }
    rc::pix::usePlainScaleKernels(false);
}

// A smoothing pass whose size does not change gives its source back: one row
// fewer at full width keeps every row it takes bit for bit, and a width change
// alone keeps each row's pixels when the height stays.
TEST_F(CopyPixTest, OneToOnePassesGiveTheSourceBack) {
    for (int plain = 0; plain < 2; ++plain) {
        rc::pix::usePlainScaleKernels(plain != 0);
        Img src({0, 0, 192, 108}), shorter({0, 0, 192, 107});
        ASSERT_EQ(ppixCopy(src.pix, shorter.pix, nullptr, nullptr, 0, nullptr), 0);
        const std::vector<uint8_t> s = src.snapshot(), d = shorter.snapshot();
        // 108 -> 107 rows: every run is one row, so destination row r is source row r
        EXPECT_TRUE(std::equal(d.begin(), d.end(), s.begin())) << (plain ? "plain" : "");

        // narrower only: every destination row averages runs of its own row
        Img narrow({0, 0, 97, 108});
        ASSERT_EQ(ppixCopy(src.pix, narrow.pix, nullptr, nullptr, 0, nullptr), 0);
        const std::vector<uint8_t> n = narrow.snapshot();
        const auto runs = refRuns(192, 97);
        for (int y = 0; y < 108; y += 13)
            for (int x = 0; x < 97; ++x)
                for (int c = 0; c < 4; ++c) {
                    int sum = 0;
                    for (int k = 0; k < runs[x].second; ++k)
                        sum += s[(size_t(y) * 192 + runs[x].first + k) * 4 + c];
                    ASSERT_EQ(n[(size_t(y) * 97 + x) * 4 + c], sum / runs[x].second)
                        << x << "," << y;
                }
    }
    rc::pix::usePlainScaleKernels(false);
}

TEST_F(CopyPixTest, TwoToOneAveragesBlocksAndOddWidthUsesGeneralReduction) {
    const FmRect sb{0, 0, 640, 480};
    Img src(sb);
    Img half({0, 0, 320, 240}), odd({0, 0, 321, 240});
    ASSERT_EQ(ppixCopy(src.pix, half.pix, nullptr, nullptr, 0, nullptr), 0);
    ASSERT_EQ(ppixCopy(src.pix, odd.pix, nullptr, nullptr, 0, nullptr), 0);
    std::vector<uint8_t> s = src.snapshot(), h = half.snapshot();
    for (int y = 0; y < 240; y += 37)
        for (int x = 0; x < 320; x += 29)
            for (int c = 0; c < 4; ++c) {
                auto S = [&](int xx, int yy) { return int(s[(size_t(yy) * 640 + xx) * 4 + c]); };
                const int want = (S(2 * x, 2 * y) / 2 + S(2 * x + 1, 2 * y) / 2) / 2 +
                                 (S(2 * x, 2 * y + 1) / 2 + S(2 * x + 1, 2 * y + 1) / 2) / 2;
                ASSERT_EQ(h[(size_t(y) * 320 + x) * 4 + c], want);
            }
    EXPECT_EQ(pixtest::firstDifference(odd.snapshot(), refScale(s, 640, 480, 321, 240, true)), -1);
}

TEST_F(CopyPixTest, ScaledCopyClipsProportionally) {
    Img src({0, 0, 40, 40}), dst({0, 0, 20, 20});
    // the source rectangle hangs 10 pixels off the left: a quarter of it
    const FmRect sr{-10, 0, 30, 40}, dr{0, 0, 20, 20};
    ASSERT_EQ(ppixCopy(src.pix, dst.pix, &sr, &dr, 0, nullptr), 0);
    std::vector<uint8_t> s = src.snapshot();
    const Pixels want = refScale(block(src, s, {0, 0, 30, 40}), 30, 40, 15, 20, true);
    std::vector<uint8_t> d = dst.snapshot();
    EXPECT_EQ(pixtest::firstDifference(block(dst, d, {5, 0, 20, 20}), want), -1);
}

TEST_F(CopyPixTest, PpixCopyUsesTheUtilityTableEntry) {
    static int calls = 0;
    static FmUtilityTable table;
    table = *FmDefaultUtilityTable();
    EXPECT_EQ(table.copyPix, &MyCopyPix);
    EXPECT_EQ(table.version, uint32_t(kUtilityTableVersion));
    table.copyPix = [](const PPixRecord*, const PPixRecord*, const FmRect*, const FmRect*, int32_t,
                       const void*) -> int32_t {
        ++calls;
        return 0;
    };
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&table));
    Img a({0, 0, 4, 4}), b({0, 0, 4, 4});
    ppixCopy(a.pix, b.pix, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(b.snapshot(), a.snapshot());
    table.size = offsetof(FmUtilityTable, copyPix);  // a table too old to hold the entry
    ppixCopy(a.pix, b.pix, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(b.snapshot(), a.snapshot());
    EXPECT_EQ(bn_StretchBits(a.pix, nullptr, nullptr, nullptr, 0, nullptr), -50);
}
