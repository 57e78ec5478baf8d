// Blending values: the animation-type and FltD-kind tables, the FltD and
// animation walks, and FltD and Imagist modules built for the test.
#include <unistd.h>

#include <cmath>

#include "keys_test_util.h"
#include "timeline/keys/blend.h"

using namespace keystest;
using namespace rc::keys;

namespace {

template <class T>
std::vector<uint8_t> raw(T v) {
    std::vector<uint8_t> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}
template <class T>
T as(const std::vector<uint8_t>& b, size_t at = 0) {
    T v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

// Blends one animation parameter of `type` (interpolate flag set).
template <class T>
T animBlend(int32_t type, T a, T b, double f) {
    std::vector<uint8_t> va = raw(a), vb = raw(b), out(sizeof(T), 0xEE);
    const AnimParam p{type, kRcAnimParamInterpolate, int32_t(sizeof(T))};
    blendAnim(&p, 1, {va.data(), va.size(), vb.data(), vb.size(), out.data(), out.size()}, 0, f);
    return as<T>(out);
}
template <class T>
T fltdBlend(int16_t kind, T a, T b, double f) {
    std::vector<uint8_t> va = raw(a), vb = raw(b), out(sizeof(T), 0xEE);
    const FmFltDEntry e{kind, 1};
    EXPECT_TRUE(blendFltD(
        &e, 1, {va.data(), va.size(), vb.data(), vb.size(), out.data(), out.size()}, 0, f));
    return as<T>(out);
}

TEST(BlendValues, EveryAnimationType) {
    EXPECT_EQ(animBlend<int8_t>(kRcAnimInt8, -10, 10, 0.25), -5);
    EXPECT_EQ(animBlend<int8_t>(kRcAnimInt8, 0, -1, 0.5), 0);  // -0.5 truncates toward zero
    EXPECT_EQ(animBlend<int16_t>(kRcAnimInt16, -1000, 1000, 0.75), 500);
    EXPECT_EQ(animBlend<int16_t>(kRcAnimInt16, 0, -3, 0.5), -1);
    EXPECT_EQ(animBlend<int32_t>(kRcAnimInt32, -100000, 100001, 0.5), 0);
    EXPECT_EQ(animBlend<int32_t>(kRcAnimInt32, INT32_MIN, INT32_MAX, 1.0), INT32_MAX);
    EXPECT_EQ(animBlend<uint8_t>(kRcAnimUInt8, 10, 250, 0.5), 130);
    EXPECT_EQ(animBlend<uint16_t>(kRcAnimUInt16, 65535, 0, 0.25), 49151);
    EXPECT_EQ(animBlend<uint32_t>(kRcAnimUInt32, 4000000000u, 0, 0.5), 2000000000u);
    EXPECT_EQ(animBlend<int32_t>(kRcAnimFixed, 0x10000, 0x20000, 0.5), 0x18000);
    EXPECT_EQ(animBlend<int32_t>(kRcAnimFixed, -0x10000, 0, 0.3), -45875);  // -0.7 * 65536
    EXPECT_EQ(animBlend<uint32_t>(kRcAnimUFixed, 0xFFFF0000u, 0, 0.5), 0x7FFF8000u);
    EXPECT_EQ(animBlend<double>(kRcAnimDouble, 1.0, 2.0, 0.1), 1.0 + (2.0 - 1.0) * 0.1);
    EXPECT_EQ(animBlend<float>(kRcAnimFloat, 1.5f, 3.5f, 0.25), 2.0f);
    EXPECT_EQ(animBlend<float>(kRcAnimFloat, 0.0f, 1.0f, 1.0 / 3), float(1.0 / 3));
    // Colour: each byte unsigned.
    EXPECT_EQ(animBlend<uint32_t>(kRcAnimColor, 0xC80AFF00u, 0x641400FFu, 0.5), 0x960F7F7Fu);
    // Opaque, 96-bit reals and unknown types are copied at their declared size.
    for (int32_t type : {int32_t(kRcAnimOpaque), int32_t(kRcAnimExtended96), 13, -1})
        EXPECT_EQ(animBlend<uint64_t>(type, 0x1122334455667788u, 0, 0.5), 0x1122334455667788u)
            << type;
    // Out of range fractions stay inside the value's width.
    EXPECT_EQ(animBlend<int8_t>(kRcAnimInt8, 100, 120, 2.0), 127);
    EXPECT_EQ(animBlend<uint8_t>(kRcAnimUInt8, 10, 5, 5.0), 0);
    EXPECT_EQ(animBlend<int16_t>(kRcAnimInt16, 7, 9, NAN), 7);
}

TEST(BlendValues, EveryFltDKindAndTheNumberingsDiffer) {
    EXPECT_EQ(fltdBlend<int8_t>(kFltDChar, -10, 10, 0.25), -5);
    EXPECT_EQ(fltdBlend<int16_t>(kFltDShort, -1000, 1000, 0.75), 500);
    EXPECT_EQ(fltdBlend<int32_t>(kFltDLong, 0, -7, 0.5), -3);
    EXPECT_EQ(fltdBlend<uint8_t>(kFltDUnsignedChar, 10, 250, 0.5), 130);
    EXPECT_EQ(fltdBlend<uint16_t>(kFltDUnsignedShort, 65535, 0, 0.25), 49151);
    EXPECT_EQ(fltdBlend<uint32_t>(kFltDUnsignedLong, 4000000000u, 0, 0.5), 2000000000u);
    // Kinds 7 and 8 are 64-bit reals, 9 a float; as animation types 7 and 8
    // are 16.16 fixed.
    EXPECT_EQ(fltdBlend<double>(kFltDDouble, 1.0, 2.0, 0.1), 1.0 + (2.0 - 1.0) * 0.1);
    EXPECT_EQ(fltdBlend<double>(kFltDDouble2, -4.0, 4.0, 0.75), 2.0);
    EXPECT_EQ(fltdBlend<float>(kFltDFloat, 1.5f, 3.5f, 0.25), 2.0f);
    EXPECT_EQ(animValueType(7).kind, ValueKind::Fixed);
    EXPECT_EQ(fltdValueType(7).kind, ValueKind::Real);
    EXPECT_EQ(animValueType(9).kind, ValueKind::Copy);
    EXPECT_EQ(fltdValueType(9).kind, ValueKind::Float);
}

TEST(BlendValues, WalksStopAtTheEndOfTheShortestBlock) {
    // A copy run, then a 32-bit value that s1 is too short to hold: copied.
    const std::vector<uint8_t> a = {1, 2, 3, 10, 0, 0, 0, 50};
    const std::vector<uint8_t> b = {9, 9, 9, 20, 0};
    std::vector<uint8_t> out(10, 0xEE);
    const FmFltDEntry table[] = {{kFltDCopy, 3}, {kFltDLong, 1}, {kFltDLong, 1}};
    ASSERT_TRUE(blendFltD(
        table, 3, {a.data(), a.size(), b.data(), b.size(), out.data(), out.size()}, 0, 0.5));
    // The value at 3 is in s0 and the result but past s1: s0's bytes; the
    // value at 7 runs past s0: the walk stops and s0's last byte is copied.
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 10, 0, 0, 0, 50, 0xEE, 0xEE}));

    // A kind above 9 makes the table unusable: nothing written.
    std::vector<uint8_t> untouched(8, 0xEE);
    const FmFltDEntry bad[] = {{kFltDLong, 1}, {10, 1}};
    EXPECT_FALSE(
        blendFltD(bad, 2, {a.data(), a.size(), a.data(), a.size(), untouched.data(), 8}, 0, 0.5));
    EXPECT_EQ(untouched, std::vector<uint8_t>(8, 0xEE));
    const FmFltDEntry negative[] = {{-1, 1}};
    EXPECT_FALSE(blendFltD(negative, 1, {a.data(), 8, a.data(), 8, untouched.data(), 8}, 0, 0.5));

    // Animation: declared size for copies, the type's width for blends.
    const std::vector<uint8_t> a2 = {10, 0xAA, 0xBB, 0, 0, 100, 7};
    const std::vector<uint8_t> b2 = {20, 0xCC, 0xDD, 0, 0, 200, 8};
    std::vector<uint8_t> out2(7, 0xEE);
    const AnimParam params[] = {{kRcAnimUInt8, kRcAnimParamInterpolate, 1},
                                {kRcAnimInt16, 0, 2},  // not interpolated: copied
                                {kRcAnimInt32, kRcAnimParamInterpolate, 1},  // blended at 4 bytes
                                {kRcAnimInt8, kRcAnimParamInterpolate, 1}};
    blendAnim(params, 4, {a2.data(), 7, b2.data(), 7, out2.data(), 7}, 0, 0.5);
    // The long at 3 spans bytes 3..6: 0x07640000 to 0x08C80000 gives 0x08160000.
    EXPECT_EQ(out2, (std::vector<uint8_t>{15, 0xAA, 0xBB, 0, 0, 0x16, 0x08}));
}

class ModuleBlend : public KeysTest {};

// Parameter bytes for the FltD test module: s8, s16, s32, u8, u16, u32, two
// doubles, a float, 3 copied bytes and 3 trailing bytes.
std::vector<uint8_t> fltdSpec(int8_t c, int16_t s, int32_t l, uint8_t uc, uint16_t us, uint32_t ul,
                              double d1, double d2, float f, uint8_t tail) {
    std::vector<uint8_t> b(40, 0);
    put(b, 0, c);
    put(b, 1, s);
    put(b, 3, l);
    put(b, 7, uc);
    put(b, 8, us);
    put(b, 10, ul);
    put(b, 14, d1);
    put(b, 22, d2);
    put(b, 30, f);
    for (size_t i = 34; i < 40; ++i) b[i] = uint8_t(tail + i);
    return b;
}

TEST_F(ModuleBlend, FltDModuleBlendsEveryKindAndCopiesTheRest) {
    const int16_t id = module(KEYS_FLTD_MODULE, cc("VFlt"));
    EXPECT_TRUE(CanVary(id));
    Handle a = handleOf(fltdSpec(-10, -1000, 100, 10, 65535, 4000000000u, 1.0, -4.0, 1.5f, 0));
    Handle b = handleOf(fltdSpec(10, 1000, 200, 250, 0, 0, 2.0, 4.0, 3.5f, 100));
    Handle r = InterpolateSingleSpecs(a, b, 40, id, 0.25);
    ASSERT_NE(r, nullptr);
    const std::vector<uint8_t> v = bytes(r);
    EXPECT_EQ(as<int8_t>(v, 0), -5);
    EXPECT_EQ(as<int16_t>(v, 1), -500);
    EXPECT_EQ(as<int32_t>(v, 3), 125);
    EXPECT_EQ(as<uint8_t>(v, 7), 70);
    EXPECT_EQ(as<uint16_t>(v, 8), 49151);
    EXPECT_EQ(as<uint32_t>(v, 10), 3000000000u);
    EXPECT_EQ(as<double>(v, 14), 1.25);
    EXPECT_EQ(as<double>(v, 22), -2.0);
    EXPECT_EQ(as<float>(v, 30), 2.0f);
    for (size_t i = 34; i < 40; ++i) EXPECT_EQ(v[i], uint8_t(i)) << i;  // s0's bytes
    DisposeSingleSpec(r);

    // A larger result: the bytes past s0 are zero.
    r = InterpolateSingleSpecs(a, b, 44, id, 0.25);
    ASSERT_EQ(GetHandleSize(r), 44u);
    EXPECT_EQ(bytes(r)[43], 0);
    DisposeSingleSpec(r);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

TEST_F(ModuleBlend, ModulesWithoutAWayToBlend) {
    const int16_t bad = module(KEYS_FLTD_BAD_MODULE, cc("VFlt"));
    const int16_t plain = module(KEYS_PLAIN_MODULE, cc("AFlt"));
    char path[] = "/tmp/reelkeysXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "not a module", 12), 12);
    close(fd);
    const int16_t broken = module(path, cc("VFlt"));

    Handle a = handleOf(le32(0));
    Handle b = handleOf(le32(100));
    EXPECT_TRUE(CanVary(bad));  // it has a table, if an unusable one
    EXPECT_FALSE(CanVary(plain));
    EXPECT_FALSE(CanVary(broken));
    for (int16_t id : {bad, plain, broken, int16_t(0), int16_t(999)})
        EXPECT_EQ(InterpolateSingleSpecs(a, b, 4, id, 0.5), nullptr) << id;

    // Without blending the earlier key holds until the next one (steps).
    Handle comp = NewCompSpec(a, bad, 0);
    ASSERT_EQ(InsertSingleSpec(comp, b, 1, 10), noErr);
    for (int16_t id : {bad, plain, broken}) {
        Handle out = nullptr;
        ASSERT_TRUE(BuildSingleSpec(comp, id, 9.5, &out));
        EXPECT_EQ(bytes(out), le32(0));
        DisposeSingleSpec(out);
        ASSERT_TRUE(BuildSingleSpec(comp, id, 10, &out));
        EXPECT_EQ(bytes(out), le32(100));
        DisposeSingleSpec(out);
    }
    DisposeCompSpec(comp);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
    unlink(path);
}

TEST_F(ModuleBlend, ImagistFormTagsKeepTheirLeadingBytes) {
    const int16_t id = module(KEYS_IMAGIST_MODULE, cc("Q7FM"));
    auto spec = [](int32_t tag, int32_t w1, int32_t w2, int32_t w3) {
        std::vector<uint8_t> b;
        for (int32_t v : {tag, w1, w2, w3}) put(b, b.size(), v);
        return handleOf(b);
    };
    struct Case {
        int32_t tag;
        int32_t offset;
    };
    for (Case c : {Case{0, 4}, Case{1, 8}, Case{2, 4}, Case{3, 8}, Case{5, 4}, Case{4, 0}}) {
        Handle a = spec(c.tag, 100, 200, 300);
        Handle b = spec(c.tag, 300, 400, 500);
        EXPECT_EQ(SpecDataOffset(a), c.offset) << c.tag;
        Handle r = InterpolateSingleSpecs(a, b, 16, id, 0.5);
        ASSERT_NE(r, nullptr) << c.tag;
        const std::vector<uint8_t> v = bytes(r);
        // The table's two longs blend from the data offset on; the rest is s0's.
        std::vector<int32_t> expected = {c.tag, 100, 200, 300};
        const std::vector<int32_t> other = {c.tag, 300, 400, 500};
        for (int k = 0; k < 2 && c.offset / 4 + k < 4; ++k) {
            const int i = c.offset / 4 + k;
            expected[size_t(i)] =
                expected[size_t(i)] + (other[size_t(i)] - expected[size_t(i)]) / 2;
        }
        for (int i = 0; i < 4; ++i) EXPECT_EQ(as<int32_t>(v, size_t(4 * i)), expected[size_t(i)]);
        DisposeSingleSpec(r);
        DisposeSingleSpec(a);
        DisposeSingleSpec(b);
    }
    EXPECT_EQ(SpecDataOffset(nullptr), 0);
}

TEST_F(ModuleBlend, TheCurrentResourceFileIsRestored) {
    const int16_t fltd = module(KEYS_FLTD_MODULE, cc("VFlt"));
    const int16_t plain = module(KEYS_PLAIN_MODULE, cc("AFlt"));
    const int16_t xe = module(KEYS_XE_MODULE, cc("eFKT"));
    // Another module is current; every call that opens a fork gives it back.
    const ResFileRef other = OpenResFile(KEYS_IMAGIST_MODULE);
    ASSERT_GT(other, 0);
    ASSERT_EQ(CurResFile(), other);
    Handle a = handleOf(std::vector<uint8_t>(40, 1));
    Handle b = handleOf(std::vector<uint8_t>(40, 3));
    for (int16_t id : {fltd, plain, xe}) {
        CanVary(id);
        EXPECT_EQ(CurResFile(), other) << id;
        DisposeSingleSpec(InterpolateSingleSpecs(a, b, 40, id, 0.5));
        EXPECT_EQ(CurResFile(), other) << id;
        DisposeCompSpec(NewCompSpec(a, id, 0));
        EXPECT_EQ(CurResFile(), other) << id;
    }
    CloseResFile(other);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

}  // namespace
