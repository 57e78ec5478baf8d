// Filters described by the animation properties of their PiPL: blending of
// every data type, the declared parameter size, and Imagist-style specs.
#include "keys_test_util.h"

using namespace keystest;

namespace {

// The test module's settings: one value of every data type, then one that
// may not be interpolated (60 bytes).
struct Settings {
    int8_t c;
    int16_t s;
    int32_t l;
    uint8_t uc;
    uint16_t us;
    uint32_t ul;
    int32_t fixed;
    uint32_t ufixed;
    uint8_t extended[12];
    double d;
    float f;
    uint8_t colour[4];
    uint8_t opaque[6];
    int32_t frozen;
} __attribute__((packed));
static_assert(sizeof(Settings) == 60);

Handle handleOfSettings(const Settings& s, size_t lead = 0, int32_t tag = 0) {
    std::vector<uint8_t> b(lead + sizeof s, 0);
    if (lead) std::memcpy(b.data(), &tag, 4);
    for (size_t i = 4; i < lead; ++i) b[i] = uint8_t(0xA0 + tag + i);
    std::memcpy(b.data() + lead, &s, sizeof s);
    return handleOf(b);
}
Settings settingsOf(Handle h, size_t lead = 0) {
    Settings s;
    std::memcpy(&s, *h + lead, sizeof s);
    return s;
}

Settings first() {
    return Settings{-10,
                    -1000,
                    100,
                    10,
                    65535,
                    4000000000u,
                    0x10000,
                    0xFFFF0000u,
                    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                    1.0,
                    1.5f,
                    {0, 255, 10, 200},
                    {1, 1, 1, 1, 1, 1},
                    7};
}
Settings second() {
    return Settings{10,
                    1000,
                    200,
                    250,
                    0,
                    0,
                    0x20000,
                    0,
                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
                    2.0,
                    3.5f,
                    {255, 0, 20, 100},
                    {2, 2, 2, 2, 2, 2},
                    9};
}

void expectBlendAtQuarter(const Settings& r) {
    EXPECT_EQ(r.c, -5);
    EXPECT_EQ(r.s, -500);
    EXPECT_EQ(r.l, 125);
    EXPECT_EQ(r.uc, 70);
    EXPECT_EQ(r.us, 49151);
    EXPECT_EQ(r.ul, 3000000000u);
    EXPECT_EQ(r.fixed, 0x14000);       // 1.0 to 2.0 at 0.25
    EXPECT_EQ(r.ufixed, 0xBFFF4000u);  // 65535.0 to 0 at 0.25: 49151.25
    EXPECT_EQ(r.extended[0], 1);       // 96-bit reals are copied
    EXPECT_EQ(r.extended[11], 12);
    EXPECT_EQ(r.d, 1.25);
    EXPECT_EQ(r.f, 2.0f);
    EXPECT_EQ(r.colour[0], 63);   // 0 to 255
    EXPECT_EQ(r.colour[1], 191);  // 255 to 0: 191.25
    EXPECT_EQ(r.colour[2], 12);   // 10 to 20: 12.5
    EXPECT_EQ(r.colour[3], 175);  // 200 to 100
    EXPECT_EQ(r.opaque[0], 1);    // opaque: copied
    EXPECT_EQ(r.opaque[5], 1);
    EXPECT_EQ(r.frozen, 7);  // not interpolated: copied
}

class Anim : public KeysTest {};

TEST_F(Anim, EveryDataTypeBlends) {
    const int16_t id = module(KEYS_ANIM_MODULE, cc("VFlt"));
    EXPECT_TRUE(CanVary(id));
    Handle a = handleOfSettings(first());
    Handle b = handleOfSettings(second());
    Handle r = InterpolateSingleSpecs(a, b, 60, id, 0.25);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(GetHandleSize(r), 60u);
    expectBlendAtQuarter(settingsOf(r));
    DisposeSingleSpec(r);

    // Through a CompSpec at a quarter of the way.
    Handle comp = NewCompSpec(a, id, 100);
    ASSERT_EQ(InsertSingleSpec(comp, b, 1, 500), noErr);
    Handle out = nullptr;
    ASSERT_TRUE(BuildSingleSpec(comp, id, 200, &out));
    expectBlendAtQuarter(settingsOf(out));
    DisposeSingleSpec(out);
    DisposeCompSpec(comp);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

TEST_F(Anim, NewCompSpecTakesTheDeclaredSize) {
    const int16_t id = module(KEYS_ANIM_MODULE, cc("VFlt"));
    // The 96-bit real counts its 12 declared bytes: 60 in all.
    Handle shortSpec = handleOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    Handle comp = NewCompSpec(shortSpec, id, 0);
    EXPECT_EQ(SingleSpecSize(comp), 60);
    EXPECT_EQ(GetHandleSize(shortSpec), 60u);  // the SingleSpec itself is resized
    std::vector<uint8_t> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    expected.resize(60, 0);
    EXPECT_EQ(bytes(shortSpec), expected);
    DisposeCompSpec(comp);
    Handle longSpec = handleOf(std::vector<uint8_t>(80, 5));
    comp = NewCompSpec(longSpec, id, 0);
    EXPECT_EQ(SingleSpecSize(comp), 60);
    DisposeCompSpec(comp);

    // An Imagist spec leads with its form tag: 64.
    const int16_t imagist = module(KEYS_ANIM_IMAGIST_MODULE, cc("Q7FM"));
    comp = NewCompSpec(longSpec, imagist, 0);
    EXPECT_EQ(SingleSpecSize(comp), 64);
    DisposeCompSpec(comp);

    // Modules without a description keep the SingleSpec's size, an Imagist one too.
    const int16_t fltd = module(KEYS_IMAGIST_MODULE, cc("Q7FM"));
    comp = NewCompSpec(longSpec, fltd, 0);
    EXPECT_EQ(SingleSpecSize(comp), 64);
    DisposeCompSpec(comp);
    Handle twelve = handleOf(std::vector<uint8_t>(12, 3));
    comp = NewCompSpec(twelve, fltd, 0);
    EXPECT_EQ(SingleSpecSize(comp), 12);
    DisposeCompSpec(comp);
    for (Handle h : {shortSpec, longSpec, twelve}) DisposeSingleSpec(h);
}

TEST_F(Anim, ImagistSpecsSkipTheirLeadingBytes) {
    const int16_t id = module(KEYS_ANIM_IMAGIST_MODULE, cc("Q7FM"));
    for (int32_t tag : {1, 3, 0}) {
        const size_t lead = size_t(tag == 0 ? 4 : 8);
        Handle a = handleOfSettings(first(), lead, tag);
        Handle b = handleOfSettings(second(), lead, tag + 0x10);
        Handle r = InterpolateSingleSpecs(a, b, int32_t(GetHandleSize(a)), id, 0.25);
        ASSERT_NE(r, nullptr) << tag;
        const std::vector<uint8_t> v = bytes(r), va = bytes(a);
        EXPECT_TRUE(std::equal(v.begin(), v.begin() + long(lead), va.begin())) << tag;
        expectBlendAtQuarter(settingsOf(r, lead));
        DisposeSingleSpec(r);
        DisposeSingleSpec(a);
        DisposeSingleSpec(b);
    }
}

TEST_F(Anim, APiPLWithoutAnimationInformationUsesFltD) {
    const int16_t id = module(KEYS_PIPL_FLTD_MODULE, cc("VFlt"));
    EXPECT_TRUE(CanVary(id));
    std::vector<uint8_t> va, vb;
    put<int16_t>(va, 0, 100);
    put<int16_t>(va, 2, 0x1111);
    put<int16_t>(va, 4, -100);
    put<int16_t>(vb, 0, 200);
    put<int16_t>(vb, 2, 0x2222);
    put<int16_t>(vb, 4, 100);
    Handle a = handleOf(va), b = handleOf(vb);
    Handle r = InterpolateSingleSpecs(a, b, 6, id, 0.5);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(read<int16_t>(r, 0), 150);
    EXPECT_EQ(read<int16_t>(r, 2), 0x1111);
    EXPECT_EQ(read<int16_t>(r, 4), 0);
    DisposeSingleSpec(r);
    // With size 0 a PiPL means the animation path: nothing to blend.
    r = InterpolateSingleSpecs(a, b, 0, id, 0.5);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(GetHandleSize(r), 0u);
    DisposeSingleSpec(r);
    DisposeSingleSpec(a);
    DisposeSingleSpec(b);
}

}  // namespace
