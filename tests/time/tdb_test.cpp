// Time-record arithmetic checked against exact 128-bit rationals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <random>
#include <vector>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/timerecord.h"

namespace {

__extension__ typedef __int128 I128;

I128 floorDiv(I128 n, I128 d) {
    if (d < 0) n = -n, d = -d;
    I128 q = n / d;
    if (n % d != 0 && n < 0) --q;
    return q;
}
I128 ceilDiv(I128 n, I128 d) {
    return -floorDiv(-n, d);
}
bool fits(I128 v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

// An exact rational num/den with den > 0.
struct Q {
    I128 num, den;
};
Q make(I128 n, I128 d) {
    if (d < 0) n = -n, d = -d;
    return {n, d};
}
Q sub(const TDB& a, const TDB& b) {
    return make(I128{a.value} * b.scale - I128{b.value} * a.scale, I128{a.scale} * b.scale);
}
long double toReal(const Q& q) {
    return (long double)q.num / (long double)q.den;
}
I128 gcd(I128 a, I128 b) {
    if (a < 0) a = -a;
    if (b < 0) b = -b;
    while (b != 0) {
        const I128 t = a % b;
        a = b;
        b = t;
    }
    return a;
}
bool reducedFits(Q q) {
    const I128 g = gcd(q.num, q.den);
    return fits(q.num / g) && fits(q.den / g);
}
bool sameRational(const TDB& r, const Q& q) {
    return r.scale != 0 && I128{r.value} * q.den == q.num * r.scale;
}
// floor(x + 1/2) of an exact rational.
I128 roundHalfUp(const Q& q) {
    return floorDiv(2 * q.num + q.den, 2 * q.den);
}

// Records across the usual time bases and hostile extremes.
std::vector<TDB> sampleRecords(unsigned seed, int count) {
    const int32_t scales[] = {25, 2997,      30000,     44100,      48000,        1,
                              24, 600,       INT32_MAX, 1000000007, 65536,        -2997,
                              -1, INT32_MIN, 1 << 30,   999999937,  INT32_MAX - 1};
    const int32_t values[] = {0,       1,          -1,       INT32_MAX,     INT32_MIN,
                              100,     -100,       1001,     INT32_MAX - 1, INT32_MIN + 1,
                              1 << 30, -(1 << 30), 17982000, 123456789,     -987654321};
    std::mt19937 rng(seed);
    std::vector<TDB> out;
    for (int i = 0; i < count; ++i) {
        TDB t{};
        t.scale = scales[rng() % (sizeof scales / sizeof scales[0])];
        switch (rng() % 3) {
            case 0:
                t.value = values[rng() % (sizeof values / sizeof values[0])];
                break;
            case 1:
                t.value = static_cast<int32_t>(rng());
                break;
            default:
                t.value = static_cast<int32_t>(rng() % 200001) - 100000;
                break;
        }
        t.samp = (rng() % 2) ? 1 : 100;
        out.push_back(t);
    }
    return out;
}

class TimeRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
    }
};

TEST_F(TimeRecordTest, ConvTimeMatchesExactRounding) {
    // The documented cases first.
    TDB src{1001, 30000, 7}, out{};
    Boolean exact = 1;
    EXPECT_EQ(TDB_ConvTime(&src, 2997, &out, &exact), 0);
    EXPECT_EQ(out.value, 100);
    EXPECT_EQ(out.scale, 2997);
    EXPECT_EQ(out.samp, 1);
    EXPECT_EQ(exact, 0);
    src = {100, 2997, 100};
    EXPECT_EQ(TDB_ConvTime(&src, 2997, &out, &exact), 0);
    EXPECT_EQ(out.value, 100);
    EXPECT_EQ(exact, 1);
    // Halves go up: 2.5 -> 3, -2.5 -> -2.
    src = {5, 2, 1};
    TDB_ConvTime(&src, 1, &out, nullptr);
    EXPECT_EQ(out.value, 3);
    src = {-5, 2, 1};
    TDB_ConvTime(&src, 1, &out, nullptr);
    EXPECT_EQ(out.value, -2);
    // Zero scales are refused.
    src = {5, 0, 1};
    EXPECT_EQ(TDB_ConvTime(&src, 25, &out, &exact), 5);
    EXPECT_EQ(out.scale, 0);
    src = {5, 25, 1};
    EXPECT_EQ(TDB_ConvTime(&src, 0, &out, nullptr), 5);

    const std::vector<TDB> recs = sampleRecords(1, 4000);
    const int32_t newScales[] = {25, 2997, 30000, 44100, 48000, 1, INT32_MAX, -25, INT32_MIN};
    for (const TDB& r : recs) {
        if (r.scale == 0) continue;
        for (int32_t ns : newScales) {
            TDB o{};
            Boolean ex = 7;
            ASSERT_EQ(TDB_ConvTime(&r, ns, &o, &ex), 0);
            EXPECT_EQ(o.samp, 1);
            const Q x = make(I128{r.value} * ns, r.scale);
            if (ns == r.scale) {
                EXPECT_EQ(o.value, r.value);
                EXPECT_EQ(ex, 1);
                continue;
            }
            const bool overflow =
                x.num > I128{INT32_MAX} * x.den || x.num < I128{INT32_MIN} * x.den;
            if (overflow) {
                EXPECT_EQ(o.scale, 0) << r.value << "/" << r.scale << " -> " << ns;
                EXPECT_EQ(o.value, 0);
            } else {
                EXPECT_EQ(o.scale, ns);
                EXPECT_EQ(I128{o.value}, roundHalfUp(x))
                    << r.value << "/" << r.scale << " -> " << ns;
                EXPECT_EQ(ex, x.num % x.den == 0 ? 1 : 0);
            }
        }
    }
}

TEST_F(TimeRecordTest, SubTimeIsExactOrBoundedOrFails) {
    // Scales 2997 and 25 with new scale 0: the common scale is 74925.
    TDB a{2997 * 3, 2997, 100}, b{25, 25, 1}, out{0, 0, 42};
    ASSERT_EQ(TDB_SubTime(&a, &b, 0, &out), 0);
    EXPECT_EQ(out.scale, 74925);
    EXPECT_EQ(out.value, 2 * 74925);
    EXPECT_EQ(out.samp, 1);
    // Into a new scale the sample size is left alone.
    out = {0, 0, 42};
    ASSERT_EQ(TDB_SubTime(&a, &b, 30, &out), 0);
    EXPECT_EQ(out.value, 60);
    EXPECT_EQ(out.scale, 30);
    EXPECT_EQ(out.samp, 42);
    // A difference that fits but not in the new scale is an error, not a 0.
    a = {INT32_MAX, 1, 1};
    b = {-INT32_MAX, 1, 1};
    TDB big{};
    EXPECT_NE(TDB_SubTime(&a, &b, 0, &big), 0);
    EXPECT_EQ(big.value, INT32_MIN);
    EXPECT_EQ(big.scale, 0);
    a = {2000000000, 1, 1};
    b = {0, 1, 1};
    out = {1, 1, 1};
    EXPECT_NE(TDB_SubTime(&a, &b, 48000, &out), 0);
    EXPECT_EQ(out.value, INT32_MIN);
    EXPECT_EQ(out.scale, 0);

    const std::vector<TDB> left = sampleRecords(2, 3000), right = sampleRecords(3, 3000);
    for (size_t i = 0; i < left.size(); ++i) {
        const TDB& x = left[i];
        const TDB& y = right[i];
        const Q d = sub(x, y);
        TDB r{0, 0, 9};
        const int16_t err = TDB_SubTime(&x, &y, 0, &r);
        const long double real = toReal(d);
        if (reducedFits(d)) {
            ASSERT_EQ(err, 0);
            EXPECT_TRUE(sameRational(r, d)) << x.value << "/" << x.scale << " - " << y.value << "/"
                                            << y.scale << " gave " << r.value << "/" << r.scale;
        } else if (err == 0) {
            // Approximated: the best 32-bit rational with a denominator of
            // at most 2^30 for the difference taken as a double.
            ASSERT_NE(r.scale, 0);
            ASSERT_LE(r.scale, 1 << 30);
            const long double mag = std::fabs(real);
            const long double q = std::min<long double>(1 << 30, 2147483647.0L / (mag + 1));
            const long double bound =
                mag * std::ldexp(1.0L, -52) + 1 / (2 * std::floor(q)) + 1e-12L;
            EXPECT_LE(std::fabs((long double)r.value / r.scale - real), bound)
                << x.value << "/" << x.scale << " - " << y.value << "/" << y.scale;
        } else {
            EXPECT_EQ(err, -1);
            EXPECT_EQ(r.value, INT32_MIN);
            EXPECT_EQ(r.scale, 0);
            EXPECT_GT(std::fabs(real), 2147483000.0L);
        }
        // Into 48000: the exact difference rounded, or an error.
        TDB c{0, 0, 5};
        const int16_t err2 = TDB_SubTime(&x, &y, 48000, &c);
        if (reducedFits(d)) {
            const Q scaled = make(d.num * 48000, d.den);
            const I128 expect = roundHalfUp(scaled);
            const bool over = scaled.num > I128{INT32_MAX} * scaled.den ||
                              scaled.num < I128{INT32_MIN} * scaled.den;
            if (over) {
                EXPECT_NE(err2, 0);
                EXPECT_EQ(c.scale, 0);
            } else {
                ASSERT_EQ(err2, 0);
                EXPECT_EQ(I128{c.value}, expect);
                EXPECT_EQ(c.scale, 48000);
                EXPECT_EQ(c.samp, 5);
            }
        } else if (err2 == 0) {
            EXPECT_LE(std::fabs((long double)c.value - real * 48000),
                      std::fabs(real) * 48000 * std::ldexp(1.0L, -52) +
                          48000.0L / std::min<long double>(1 << 30,
                                                           2147483647.0L / (std::fabs(real) + 1)) +
                          1);
        }
    }
}

TEST_F(TimeRecordTest, CompareTimeHasTheExactSign) {
    const std::vector<TDB> left = sampleRecords(4, 5000), right = sampleRecords(5, 5000);
    for (size_t i = 0; i < left.size(); ++i) {
        for (int k = 0; k < 2; ++k) {
            const TDB& x = left[i];
            const TDB y = k == 0 ? right[i] : TDB{right[i].value, x.scale, 1};
            int32_t r = 12345;
            ASSERT_EQ(TDB_CompareTime(&x, &y, &r), 0);
            const Q d = sub(x, y);
            const int expect = d.num < 0 ? -1 : d.num > 0 ? 1 : 0;
            EXPECT_EQ((r > 0) - (r < 0), expect)
                << x.value << "/" << x.scale << " vs " << y.value << "/" << y.scale;
        }
    }
    TDB x{INT32_MIN, 1, 1}, y{INT32_MAX, 1, 1};
    int32_t r = 0;
    TDB_CompareTime(&x, &y, &r);
    EXPECT_LT(r, 0);
    TDB_CompareTime(&y, &x, &r);
    EXPECT_GT(r, 0);
    y = {INT32_MIN, 7, 1};
    TDB_CompareTime(&x, &y, &r);  // -2^31 s is earlier than -2^31/7 s
    EXPECT_LT(r, 0);
    x = {0, 0, 1};
    EXPECT_EQ(TDB_CompareTime(&x, &y, &r), 5);
}

TEST_F(TimeRecordTest, CountFramesFloorsAndCeilsSigned) {
    TDB ten{10, 1, 1}, ntsc{100, 2997, 100};
    int32_t n = -7;
    ASSERT_EQ(TDB_CountFrames(&ten, &ntsc, 0, &n), 0);
    EXPECT_EQ(n, 299);
    ASSERT_EQ(TDB_CountFrames(&ten, &ntsc, 1, &n), 0);
    EXPECT_EQ(n, 300);
    TDB zero{0, 25, 1};
    TDB_CountFrames(&zero, &ntsc, 1, &n);
    EXPECT_EQ(n, 0);
    TDB minusTen{-10, 1, 1};
    TDB_CountFrames(&minusTen, &ntsc, 0, &n);
    EXPECT_EQ(n, -300);
    TDB_CountFrames(&minusTen, &ntsc, 1, &n);
    EXPECT_EQ(n, -299);
    TDB noDuration{0, 2997, 1};
    n = 77;
    EXPECT_EQ(TDB_CountFrames(&ten, &noDuration, 0, &n), 5);
    EXPECT_EQ(n, 77);

    const std::vector<TDB> times = sampleRecords(6, 3000), durs = sampleRecords(7, 3000);
    for (size_t i = 0; i < times.size(); ++i) {
        const TDB& t = times[i];
        const TDB& d = durs[i];
        for (Boolean up = 0; up < 2; ++up) {
            int32_t c = 424242;
            const int16_t err = TDB_CountFrames(&t, &d, up, &c);
            if (d.value == 0) {
                EXPECT_EQ(err, 5);
                continue;
            }
            const I128 num = I128{t.value} * d.scale, den = I128{t.scale} * d.value;
            const I128 expect = up ? ceilDiv(num, den) : floorDiv(num, den);
            if (fits(expect)) {
                ASSERT_EQ(err, 0);
                EXPECT_EQ(I128{c}, expect);
            } else {
                EXPECT_EQ(err, 1);
                EXPECT_EQ(c, 424242);
            }
        }
    }
}

TEST_F(TimeRecordTest, SmallFunctionsNeverWrap) {
    TDB t{-7, 25, 2};
    EXPECT_EQ(TDB_TotalNumFrames(&t), -3);
    t = {INT32_MIN, 25, -1};
    EXPECT_EQ(TDB_TotalNumFrames(&t), INT32_MAX);
    t.samp = 0;
    EXPECT_EQ(TDB_TotalNumFrames(&t), 1);
    EXPECT_EQ(TDB_FindScale(&t), 25);

    TDB a{0, 30000, 1001}, b{0, 2997, 100};
    EXPECT_EQ(TDB_DivTimeBase(&a, &b), 1u);  // 29.97 / 29.97
    a = {0, 48000, 1};
    b = {0, 25, 1};
    EXPECT_EQ(TDB_DivTimeBase(&a, &b), 1920u);
    // 65536 × 65536 wraps to 0 in 32 bits: the divisor must not.
    a = {0, 1 << 20, 65536};
    b = {0, 65536, 1};
    EXPECT_EQ(TDB_DivTimeBase(&a, &b), 0u);
    a = {0, INT32_MAX, 0};
    b = {0, 0, INT32_MAX};
    EXPECT_EQ(TDB_DivTimeBase(&a, &b), UINT32_MAX);

    TDB from{0, 25, 1}, to{0, 2997, 100};
    EXPECT_EQ(TDB_TimePosConvert(25, &from, &to), 2997);
    EXPECT_EQ(TDB_TimePosConvert(-1, &from, &to), -119);  // truncated toward zero
    EXPECT_EQ(TDB_TimePosConvert(INT32_MAX, &from, &to), INT32_MAX);
    from.scale = 0;
    EXPECT_EQ(TDB_TimePosConvert(5, &from, &to), 0);

    t = {0, 25, 1};
    EXPECT_EQ(MaxLen(&t), 270000);
    t.scale = 48000000;
    EXPECT_EQ(MaxLen(&t), INT32_MAX);
    t.scale = -48000000;
    EXPECT_EQ(MaxLen(&t), INT32_MIN);

    for (int32_t code : {1, 2, 8, 16, 32, 64, 128}) EXPECT_NE(GetRate(code), 22050);
    EXPECT_EQ(GetRate(8), 44100);
    EXPECT_EQ(GetRate(0x110), 48000);  // only the low byte counts
    EXPECT_EQ(GetRate(4), 22050);
    EXPECT_EQ(GetRate(0), 22050);
}

TEST_F(TimeRecordTest, FrameRateToDuration) {
    struct Case {
        double rate;
        int32_t scale, samp;
    };
    const Case cases[] = {{25.0, 25, 1},       {29.97, 2997, 100},  {23.976, 23976, 1000},
                          {12.5, 125, 10},     {59.94, 5994, 100},  {44100.0, 44100, 1},
                          {48000.0, 48000, 1}, {2147.483648, 0, 0}, {96000.5, 960005, 10},
                          {-25.0, -25, 1}};
    for (const Case& c : cases) {
        TDB out{9, 9, 9};
        TDB_FRate2Duration(c.rate, &out);
        EXPECT_EQ(out.value, 0) << c.rate;
        // Whatever digits are kept, the record must give the rate back.
        if (c.samp == 0) {  // too many digits for 32 bits: some decimals go
            EXPECT_NEAR(double(out.scale) / out.samp, c.rate, 1e-5);
            continue;
        }
        EXPECT_EQ(out.scale, c.scale) << c.rate;
        EXPECT_EQ(out.samp, c.samp) << c.rate;
    }
    TDB out{};
    TDB_FRate2Duration(1e12, &out);
    EXPECT_EQ(out.scale, 0);
    TDB_FRate2Duration(NAN, &out);
    EXPECT_EQ(out.scale, 0);
}

TEST_F(TimeRecordTest, TimeBasesLiveInTheirSlots) {
    EXPECT_EQ(GetCurrentTimeBase(0), nullptr);
    EXPECT_EQ(GetPreferredTimeBase(1), nullptr);
    const TDB ntsc{0, 2997, 100}, pal{0, 25, 1};
    SetCurrentTimeBase(0, &ntsc);
    SetCurrentTimeBase(1, &pal);
    SetPreferredTimeBase(0, &pal);
    TDB* current = GetCurrentTimeBase(0);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t>(current), GetAGlobal(21));
    EXPECT_EQ(current->scale, 2997);
    EXPECT_EQ(GetCurrentTimeBase(1)->scale, 25);
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPreferredTimeBase(0)), GetAGlobal(204));
    EXPECT_EQ(GetPreferredTimeBase(1), nullptr);
    // The block is reused, not reallocated.
    SetCurrentTimeBase(0, &pal);
    EXPECT_EQ(GetCurrentTimeBase(0), current);
    EXPECT_EQ(current->scale, 25);
    SetPreferredTimeBase(1, &ntsc);
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPreferredTimeBase(1)), GetAGlobal(205));

    // The file table's media information record holds the two records at
    // the offsets InitTDB writes.
    static_assert(offsetof(FmMediaInfo, audio) == kMediaInfoAudioTDB);
    static_assert(offsetof(FmMediaInfo, video) == kMediaInfoVideoTDB);
    FmMediaInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(InitTDB(&info), &info);
    for (const TDB* t : {&info.audio, &info.video}) {
        EXPECT_EQ(t->value, 0);
        EXPECT_EQ(t->scale, 1);
        EXPECT_EQ(t->samp, 1);
    }
    EXPECT_EQ(info.frame.bottom, static_cast<int32_t>(0xABABABAB));  // left alone
    EXPECT_EQ(info.depth, static_cast<int16_t>(0xABAB));
}

int16_t acceptDoubleSpeed(float* speed) {
    *speed *= 2;
    return kTimeDialogOK;
}
int16_t acceptNtsc(TDB* rate) {
    TDB_SetTimeRecord(0, 2997, 100, rate);
    return kTimeDialogOK;
}

TEST_F(TimeRecordTest, RateDialogsAreReplaceable) {
    float speed = 100.0f;
    TDB rate{0, 25, 1};
    EXPECT_EQ(GetSpeed(&speed), kTimeDialogCancel);
    EXPECT_EQ(speed, 100.0f);
    EXPECT_EQ(GetAlternateRate(&rate), kTimeDialogCancel);
    EXPECT_EQ(rate.scale, 25);
    SetSpeedDialogProc(acceptDoubleSpeed);
    SetAlternateRateDialogProc(acceptNtsc);
    EXPECT_EQ(GetSpeed(&speed), kTimeDialogOK);
    EXPECT_EQ(speed, 200.0f);
    EXPECT_EQ(GetAlternateRate(&rate), kTimeDialogOK);
    EXPECT_EQ(rate.scale, 2997);
    EXPECT_EQ(SetSpeedDialogProc(nullptr), acceptDoubleSpeed);
    EXPECT_EQ(SetAlternateRateDialogProc(nullptr), acceptNtsc);
    EXPECT_EQ(GetSpeed(&speed), kTimeDialogCancel);
    EXPECT_EQ(speed, 200.0f);
}

}  // namespace
