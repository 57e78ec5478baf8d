// Evaluating a CompSpec at a time: the keys around it, the blend, XE
// blocks, and a linear scan as reference.
#include <random>

#include "keys_test_util.h"

using namespace keystest;

namespace {

class Build : public KeysTest {};

// A CompSpec of 4-byte keys for the FltD module (whose first value is a
// signed byte; the test keys hold small values there).
Handle compOf(const std::vector<std::pair<int32_t, int32_t>>& keys, int16_t id) {
    Handle comp = nullptr;
    for (size_t i = 0; i < keys.size(); ++i) {
        std::vector<uint8_t> b(40, 0);
        put(b, 3, keys[i].second);  // the signed 32-bit value of the table
        Handle spec = handleOf(b);
        if (!comp)
            comp = NewCompSpec(spec, id, keys[i].first);
        else
            EXPECT_EQ(InsertSingleSpec(comp, spec, int32_t(i), keys[i].first), noErr);
        DisposeSingleSpec(spec);
    }
    return comp;
}

int32_t valueAt(Handle comp, int16_t id, double t, bool* found) {
    Handle out = nullptr;
    *found = BuildSingleSpec(comp, id, t, &out);
    if (!*found || !out) return INT32_MIN;
    const int32_t v = read<int32_t>(out, 3);
    DisposeSingleSpec(out);
    return v;
}

TEST_F(Build, EdgesOfTheKeyList) {
    const int16_t id = module(KEYS_FLTD_MODULE, cc("VFlt"));
    bool found;
    Handle one = compOf({{10, 42}}, id);
    EXPECT_EQ(valueAt(one, id, 10, &found), 42);  // a copy of the only key
    EXPECT_TRUE(found);
    valueAt(one, id, 9.99, &found);
    EXPECT_FALSE(found);
    valueAt(one, id, 10.01, &found);
    EXPECT_FALSE(found);
    DisposeCompSpec(one);

    // Keys 0, 100, 100, 200: the later of two keys at one time wins.
    Handle comp = compOf({{0, 0}, {100, 1000}, {100, 2000}, {200, 3000}}, id);
    int32_t i0, i1;
    ASSERT_TRUE(FindSingleSpecs(comp, 100, &i0, &i1, nullptr, nullptr));
    EXPECT_EQ(i0, 2);
    EXPECT_EQ(i1, 1);
    EXPECT_EQ(valueAt(comp, id, 100, &found), 2000);
    EXPECT_EQ(valueAt(comp, id, 0, &found), 0);
    EXPECT_EQ(valueAt(comp, id, 200, &found), 3000);
    EXPECT_EQ(valueAt(comp, id, 25, &found), 250);
    EXPECT_EQ(valueAt(comp, id, 150, &found), 2500);  // from the later key at 100
    EXPECT_EQ(valueAt(comp, id, 99.9999, &found), 999);
    valueAt(comp, id, -0.5, &found);
    EXPECT_FALSE(found);
    valueAt(comp, id, NAN, &found);
    EXPECT_FALSE(found);
    Handle s0 = nullptr, s1 = nullptr;
    EXPECT_FALSE(FindSingleSpecs(comp, 200.5, &i0, &i1, &s0, &s1));
    EXPECT_EQ(s0, nullptr);
    EXPECT_EQ(s1, nullptr);
    DisposeCompSpec(comp);

    Handle empty = NewCompSpec(nullptr, id, 0);
    RemoveSingleSpec(empty, 0);
    valueAt(empty, id, 0, &found);
    EXPECT_FALSE(found);
    EXPECT_FALSE(BuildSingleSpec(nullptr, id, 0, &s0));
    DisposeCompSpec(empty);
}

TEST_F(Build, EmptyKeysAndCopiesThatFail) {
    const int16_t id = module(KEYS_FLTD_MODULE, cc("VFlt"));
    // Keys without parameters: true, no spec, so a parameterless filter runs.
    Handle empty = NewCompSpec(nullptr, id, 0);
    ASSERT_EQ(InsertSingleSpec(empty, nullptr, 1, 10), noErr);
    Handle out = handleOf({1});
    Handle old = out;
    EXPECT_TRUE(BuildSingleSpec(empty, id, 5, &out));
    EXPECT_EQ(out, nullptr);
    DisposeHandle(old);
    DisposeCompSpec(empty);

    // A key that cannot be copied for lack of memory: false, not a filter
    // run without its parameters.
    Handle comp = compOf({{0, 0}, {10, 100}}, id);
    failAbove(32);
    EXPECT_FALSE(BuildSingleSpec(comp, id, 5, &out));
    EXPECT_EQ(out, nullptr);
    endFaults();
    bool found;
    EXPECT_EQ(valueAt(comp, id, 5, &found), 50);
    DisposeCompSpec(comp);
}

TEST_F(Build, MatchesALinearScanOnRandomKeys) {
    const int16_t id = module(KEYS_FLTD_MODULE, cc("VFlt"));
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + int(rng() % 40);
        std::vector<std::pair<int32_t, int32_t>> keys;
        int32_t t = int32_t(rng() % 50) - 25;
        for (int i = 0; i < n; ++i) {
            t += int32_t(rng() % 4);  // repeated times happen
            keys.push_back({t, int32_t(rng() % 20001) - 10000});
        }
        Handle comp = compOf(keys, id);
        for (int probe = 0; probe < 60; ++probe) {
            const double at = double(int32_t(rng() % 200) - 50) / 2.0;
            // Reference: last key at or before, first key at or after.
            int last = -1, first = -1;
            for (int i = 0; i < n; ++i) {
                if (keys[size_t(i)].first <= at) last = i;
                if (first < 0 && keys[size_t(i)].first >= at) first = i;
            }
            bool found;
            const int32_t got = valueAt(comp, id, at, &found);
            if (last < 0 || first < 0) {
                EXPECT_FALSE(found) << at;
                continue;
            }
            ASSERT_TRUE(found) << at;
            const auto& k0 = keys[size_t(last)];
            const auto& k1 = keys[size_t(first)];
            const double d = double(k1.first) - k0.first;
            int32_t expected = k0.second;
            if (d != 0)
                expected = int32_t(std::trunc(k0.second + (double(k1.second) - k0.second) *
                                                              ((at - k0.first) / d)));
            EXPECT_EQ(got, expected) << "round " << round << " at " << at;
        }
        DisposeCompSpec(comp);
    }
}

// ---- XE blocks ----

class XeBlend : public KeysTest {
  protected:
    void SetUp() override {
        KeysTest::SetUp();
        XeDouble::install();
        xe = module(KEYS_XE_MODULE, cc("eFKT"));
    }
    void TearDown() override {
        EXPECT_TRUE(XeDouble::live.empty());
        EXPECT_EQ(XeDouble::badDisposals, 0);
        KeysTest::TearDown();
    }
    int16_t xe = 0;
};

std::vector<uint8_t> bodyOf(int32_t a, int32_t b = 0) {
    std::vector<uint8_t> v = le32(a);
    const std::vector<uint8_t> w = le32(b);
    v.insert(v.end(), w.begin(), w.end());
    return v;
}

Handle xeKey(int16_t fid, int32_t base, const std::string& data, bool frozen = false) {
    return buildXe(
        fid,
        {Param{kXEParamSlider, 0, le32(-10 * base)},
         Param{kXEParamFixedSlider, 0, le32(0x10000 * base + base - 1)},
         Param{kXEParamAngle, 0, le32(90 * base)},
         Param{kXEParamColor, 0, {uint8_t(10 * base), uint8_t(255 - base), 0, uint8_t(base)}},
         Param{kXEParamPoint, 0, bodyOf(100 * base, -100 * base)},
         Param{kXEParamFloatSlider, 0, le64f(0.5 * base)}, Param{kXEParamCheckbox, 0, le32(base)},
         Param{kXEParamPopup, 0, le32(base)}, Param{kXEParamLayer, 0, le32(base)},
         Param{kXEParamPath, 0, le32(base)}, Param{kXEParamArbitrary, 0, {}, data},
         Param{kXEParamSlider, frozen ? uint32_t(kXEParamCannotInterp) : 0u, le32(base)},
         Param{kXEParamArbitrary, frozen ? uint32_t(kXEParamCannotInterp) : 0u, {}, data}});
}

int32_t intAt(Handle h, int32_t slot, int at = 0) {
    return read<int32_t>(h, size_t(recordAt(h, slot)) + 56 + size_t(at));
}

TEST_F(XeBlend, EveryTypeBlendsOrIsCarried) {
    Handle a = xeKey(xe, 1, "A");
    Handle b = xeKey(xe, 3, "B", true);
    Handle r = InterpolateSingleSpecs(a, b, 0, xe, 0.25);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(intAt(r, 0), -15);      // -10 to -30
    EXPECT_EQ(intAt(r, 1), 0x18000);  // 0x10000 to 0x30002, as an integer
    EXPECT_EQ(intAt(r, 2), 135);      // 90 to 270
    EXPECT_EQ(read<uint32_t>(r, size_t(recordAt(r, 3)) + 56),
              uint32_t(15 | 253 << 8 | 0 << 16 | 1 << 24));  // 10->30, 254->252, 0, 1->3
    EXPECT_EQ(intAt(r, 4, 0), 150);
    EXPECT_EQ(intAt(r, 4, 4), -150);
    EXPECT_EQ(read<double>(r, size_t(recordAt(r, 5)) + 56), 0.75);
    for (int32_t slot : {6, 7, 8, 9}) EXPECT_EQ(intAt(r, slot), 1) << slot;  // carried
    EXPECT_EQ(XeDouble::text(dataOf(r, 10)), "A|B@0.25");
    // Slot 11 and 12 are frozen in s1 only: s0's flags decide, so they blend.
    EXPECT_EQ(intAt(r, 11), 1);
    DisposeSingleSpec(r);

    // Frozen in s0: the value holds and the data is s0's, copied.
    r = InterpolateSingleSpecs(b, a, 0, xe, 0.5);
    EXPECT_EQ(intAt(r, 11), 3);
    EXPECT_EQ(XeDouble::text(dataOf(r, 12)), "B");
    EXPECT_NE(dataOf(r, 12), dataOf(b, 12));
    EXPECT_EQ(intAt(r, 0), -20);
    DisposeSingleSpec(r);

    // Fractions outside 0...1 are clamped.
    r = InterpolateSingleSpecs(a, b, 0, xe, -2.0);
    EXPECT_EQ(intAt(r, 0), -10);
    EXPECT_EQ(XeDouble::text(dataOf(r, 10)), "A|B@0.00");
    DisposeSingleSpec(r);
    r = InterpolateSingleSpecs(a, b, 0, xe, 7.0);
    EXPECT_EQ(intAt(r, 0), -30);
    EXPECT_EQ(intAt(r, 4, 4), -300);
    DisposeSingleSpec(r);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

TEST_F(XeBlend, SlotsMissingOrOfAnotherTypeInS1KeepS0) {
    Handle a = buildXe(xe, {Param{kXEParamSlider, 0, le32(10)}, Param{kXEParamSlider, 0, le32(10)},
                            Param{kXEParamArbitrary, 0, {}, "mine"}});
    Handle b =
        buildXe(xe, {Param{kXEParamAngle, 0, le32(90)}, Param{kXEParamSlider, 0, le32(30)}}, {2});
    Handle r = InterpolateSingleSpecs(a, b, 0, xe, 0.5);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(intAt(r, 0), 10);  // another type in s1
    EXPECT_EQ(intAt(r, 1), 20);
    EXPECT_EQ(XeDouble::text(dataOf(r, 2)), "mine");  // absent from s1
    EXPECT_NE(dataOf(r, 2), dataOf(a, 2));
    EXPECT_EQ(XeDouble::interpolations, 0);
    DisposeSingleSpec(r);
    // Not an XE block: no blend.
    Handle plain = handleOf(std::vector<uint8_t>(600, 0));
    EXPECT_EQ(InterpolateSingleSpecs(a, plain, 0, xe, 0.5), nullptr);
    DisposeHandle(plain);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

TEST_F(XeBlend, FlatKeysInACompSpecBuildLiveSpecs) {
    Handle a = xeKey(xe, 1, "A");
    Handle b = xeKey(xe, 3, "B");
    Handle comp = NewCompSpec(a, xe, 0);
    ASSERT_EQ(InsertSingleSpec(comp, b, 1, 100), noErr);
    ASSERT_EQ(FlattenCompSpec(comp), 0);
    EXPECT_TRUE(CanVary(xe));
    Handle out = nullptr;
    ASSERT_TRUE(BuildSingleSpec(comp, xe, 50, &out));
    EXPECT_FALSE(IsSingleSpecFlattened(out));
    EXPECT_EQ(intAt(out, 0), -20);
    EXPECT_EQ(XeDouble::text(dataOf(out, 10)), "A|B@0.50");
    DisposeSingleSpec(out);
    ASSERT_TRUE(BuildSingleSpec(comp, xe, 100, &out));
    EXPECT_EQ(intAt(out, 0), -30);
    EXPECT_EQ(XeDouble::text(dataOf(out, 10)), "B");
    DisposeSingleSpec(out);
    DisposeCompSpec(comp);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

}  // namespace
