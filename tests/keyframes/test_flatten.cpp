// Flattening and unflattening XE parameter blocks and CompSpecs.
#include "keys_test_util.h"

using namespace keystest;

namespace {

class Flatten : public KeysTest {
  protected:
    void SetUp() override {
        KeysTest::SetUp();
        XeDouble::install();
    }
    void TearDown() override {
        EXPECT_EQ(XeDouble::badDisposals, 0);
        KeysTest::TearDown();
    }
};

// Every parameter type, arbitrary data among them, and two empty slots.
Handle everyType(int16_t fileID, const std::string& data) {
    std::vector<Param> params;
    for (int32_t type : {0, 1, 2, 3, 4, 5, 6, 7, 10, 12, 13})
        params.push_back(Param{type, 0, le32(type * 3 + 1)});
    params.push_back(Param{kXEParamArbitrary, 0, {}, data});
    params.push_back(Param{kXEParamArbitrary, 0, {}, "", true});
    return buildXe(fileID, params, {1, 5});
}

TEST_F(Flatten, SingleSpecRoundTripKeepsValuesAndData) {
    Handle spec = everyType(4, "payload");  // 7 bytes of data
    const std::vector<uint8_t> live = bytes(spec);
    Handle arb = dataOf(spec, 13);
    ASSERT_EQ(XeDouble::live.size(), 1u);
    EXPECT_FALSE(IsSingleSpecFlattened(spec));

    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    EXPECT_TRUE(IsSingleSpecFlattened(spec));
    EXPECT_TRUE(XeDouble::live.empty());  // the live data went with the live form
    // size counts the header: 13 records of 148 bytes, the data record 148 +
    // 4 + 7 padded to 160, the empty data record 152.
    const uint32_t size = 536 + 11 * 148 + 160 + 152;
    EXPECT_EQ(GetHandleSize(spec), size);
    EXPECT_EQ(read<uint32_t>(spec, 12), size);
    EXPECT_EQ(read<int32_t>(spec, 28 + 4 * 1), -1);
    EXPECT_EQ(read<int32_t>(spec, 28 + 4 * 5), -1);
    const int32_t rec = recordAt(spec, 13);
    EXPECT_EQ(read<uint32_t>(spec, size_t(rec)), 1013u);  // identifier word
    EXPECT_EQ(read<uint32_t>(spec, size_t(rec) + 64), 0u);
    EXPECT_EQ(read<int32_t>(spec, size_t(rec) + 148), 7);
    EXPECT_EQ(std::string(*spec + rec + 152, 7), "payload");
    EXPECT_EQ(read<uint32_t>(spec, size_t(recordAt(spec, 0))), 1000u);
    EXPECT_EQ(FlattenSingleSpec(spec), 0);  // already flat: nothing to do
    EXPECT_EQ(GetHandleSize(spec), size);

    ASSERT_EQ(UnflattenSingleSpec(spec), 0);
    EXPECT_FALSE(IsSingleSpecFlattened(spec));
    ASSERT_EQ(GetHandleSize(spec), live.size());
    ASSERT_EQ(XeDouble::live.size(), 1u);
    EXPECT_EQ(XeDouble::text(dataOf(spec, 13)), "payload");
    EXPECT_NE(dataOf(spec, 13), arb);
    EXPECT_EQ(dataOf(spec, 14), nullptr);  // no data stays none
    // Apart from the data Handles the block is what it was.
    std::vector<uint8_t> now = bytes(spec);
    for (int slot : {13, 14}) {
        const size_t at = size_t(recordAt(spec, slot)) + 64;
        std::memset(now.data() + at, 0, 4);
    }
    std::vector<uint8_t> expected = live;
    std::memset(expected.data() + size_t(recordAt(spec, 13)) + 64, 0, 4);
    EXPECT_EQ(now, expected);
    DisposeSingleSpec(spec);
    EXPECT_TRUE(XeDouble::live.empty());
}

TEST_F(Flatten, CompSpecRoundTripAndKeySizes) {
    Handle small = everyType(4, "ab");
    Handle large = everyType(4, std::string(100, 'x'));
    Handle comp = NewCompSpec(small, 4, 0);
    ASSERT_EQ(InsertSingleSpec(comp, large, 1, 50), noErr);
    ASSERT_EQ(XeDouble::live.size(), 4u);
    const int32_t liveSize = SingleSpecSize(comp);

    ASSERT_EQ(FlattenCompSpec(comp), 0);
    EXPECT_TRUE(IsCompSpecFlattened(comp));
    EXPECT_EQ(XeDouble::live.size(), 2u);  // the two originals outside the CompSpec
    // The key size is the larger flattened block; times are kept.
    const int32_t flatLarge = 536 + 11 * 148 + 252 + 152;
    EXPECT_EQ(SingleSpecSize(comp), flatLarge);
    EXPECT_EQ(GetSingleSpecTime(comp, 1), 50);

    // GetSingleSpec unflattens first.
    Handle key1 = GetSingleSpec(comp, 1, nullptr);
    ASSERT_NE(key1, nullptr);
    EXPECT_FALSE(IsCompSpecFlattened(comp));
    EXPECT_EQ(SingleSpecSize(comp), liveSize);
    EXPECT_EQ(XeDouble::text(dataOf(key1, 13)), std::string(100, 'x'));
    Handle key0 = GetSingleSpec(comp, 0, nullptr);
    EXPECT_EQ(XeDouble::text(dataOf(key0, 13)), "ab");
    EXPECT_EQ(read<int32_t>(key0, size_t(recordAt(key0, 4)) + 56), 3 * 3 + 1);
    for (Handle h : {small, large, key0, key1}) DisposeSingleSpec(h);
    DisposeCompSpec(comp);
    EXPECT_TRUE(XeDouble::live.empty());
}

TEST_F(Flatten, UnflattenedKeySizeIsTheLargestKey) {
    // Key 0's block is shorter than key 1's: taking the key size from key 0
    // alone would cut key 1 short.
    Handle a = buildXe(4, {Param{kXEParamSlider, 0, le32(1)}});
    Handle b = buildXe(4, {Param{kXEParamSlider, 0, le32(2)}, Param{kXEParamAngle, 0, le32(3)}});
    Handle comp = NewCompSpec(b, 4, 10);
    ASSERT_EQ(InsertSingleSpec(comp, a, 0, 0), noErr);
    ASSERT_EQ(FlattenCompSpec(comp), 0);
    ASSERT_EQ(UnflattenCompSpec(comp), 0);
    EXPECT_EQ(SingleSpecSize(comp), 536 + 2 * 148);
    Handle key1 = GetSingleSpec(comp, 1, nullptr);
    EXPECT_EQ(read<int32_t>(key1, size_t(recordAt(key1, 1)) + 56), 3);
    for (Handle h : {a, b, key1}) DisposeSingleSpec(h);
    DisposeCompSpec(comp);
}

TEST_F(Flatten, HeaderlessSizeFromOlderFilesIsAccepted) {
    Handle spec = everyType(4, "older");
    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    const std::vector<uint8_t> flat = bytes(spec);
    // Older writers stored the records' total alone.
    write<uint32_t>(spec, 12, GetHandleSize(spec) - 536);
    ASSERT_EQ(UnflattenSingleSpec(spec), 0);
    EXPECT_EQ(XeDouble::text(dataOf(spec, 13)), "older");
    EXPECT_EQ(read<uint32_t>(spec, 12), GetHandleSize(spec));
    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    EXPECT_EQ(bytes(spec), flat);
    DisposeSingleSpec(spec);
}

TEST_F(Flatten, MalformedBlocksAreRefusedUnchanged) {
    Handle spec = everyType(4, "abc");
    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    const size_t rec = size_t(recordAt(spec, 13));
    struct Damage {
        const char* what;
        size_t at;
        int32_t value;
    };
    const Damage damages[] = {
        {"nParams above 127", 24, 128},
        {"offset not 4-aligned", 28 + 4 * 2, 150},
        {"offsets descending", 28 + 4 * 3, 0},
        {"offset past the block", 28 + 4 * 14, 1 << 20},
        {"size past the Handle", 12, 1 << 20},
        {"data length past its record", rec + 148, 1000},
        {"negative data length", rec + 148, -8},
        {"record shorter than its body", 28 + 4 * 2, 148 + 40},
    };
    for (const Damage& d : damages) {
        Handle bad = handleOf(bytes(spec));
        write<int32_t>(bad, d.at, d.value);
        const std::vector<uint8_t> before = bytes(bad);
        EXPECT_EQ(UnflattenSingleSpec(bad), -1) << d.what;
        EXPECT_EQ(bytes(bad), before) << d.what;
        EXPECT_FALSE(IsSingleSpecFlattened(bad)) << d.what;
        Handle comp = NewCompSpec(nullptr, 0, 0);
        EXPECT_EQ(InsertSingleSpec(comp, bad, 0, 0), -50) << d.what;
        DisposeCompSpec(comp);
        DisposeHandle(bad);
    }
    // A block cut short by its Handle.
    SetHandleSize(spec, 600);
    EXPECT_EQ(UnflattenSingleSpec(spec), -1);
    SetHandleSize(spec, 100);
    EXPECT_EQ(UnflattenSingleSpec(spec), -1);
    DisposeHandle(spec);
    EXPECT_TRUE(XeDouble::live.empty());
}

TEST_F(Flatten, OutOfMemoryLeavesTheBlock) {
    Handle spec = everyType(4, "keep");
    const std::vector<uint8_t> before = bytes(spec);
    failAbove(2000);
    EXPECT_EQ(FlattenSingleSpec(spec), -1);
    endFaults();
    EXPECT_EQ(bytes(spec), before);
    EXPECT_EQ(XeDouble::text(dataOf(spec, 13)), "keep");

    Handle comp = NewCompSpec(spec, 4, 0);
    ASSERT_EQ(FlattenCompSpec(comp), 0);
    const std::vector<uint8_t> flat = bytes(comp);
    failAbove(1000);
    EXPECT_EQ(UnflattenCompSpec(comp), -1);
    EXPECT_EQ(GetSingleSpec(comp, 0, nullptr), nullptr);
    int32_t i0, i1;
    Handle out = nullptr;
    EXPECT_FALSE(FindSingleSpecs(comp, 0.0, &i0, &i1, nullptr, nullptr));
    EXPECT_FALSE(BuildSingleSpec(comp, 4, 0.0, &out));
    endFaults();
    EXPECT_EQ(bytes(comp), flat);
    EXPECT_EQ(XeDouble::live.size(), 1u);  // nothing made was kept
    DisposeCompSpec(comp);
    DisposeSingleSpec(spec);
    EXPECT_TRUE(XeDouble::live.empty());
}

TEST_F(Flatten, NonXeBlocksAreLeftAlone) {
    Handle plain = handleOf({1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(FlattenSingleSpec(plain), 0);
    EXPECT_EQ(UnflattenSingleSpec(plain), 0);
    EXPECT_FALSE(IsSingleSpecFlattened(plain));
    Handle comp = NewCompSpec(plain, 0, 0);
    const std::vector<uint8_t> before = bytes(comp);
    EXPECT_EQ(FlattenCompSpec(comp), 0);
    EXPECT_EQ(bytes(comp), before);
    EXPECT_FALSE(IsCompSpecFlattened(comp));
    EXPECT_EQ(FlattenCompSpec(nullptr), 0);
    EXPECT_EQ(FlattenCompSpec(plain), 0);
    DisposeSingleSpec(plain);
    DisposeCompSpec(comp);
}

TEST_F(Flatten, DefaultHostCallsAnswerWithoutFilterInfo) {
    rc::keyhooks::setXeHooks(nullptr);
    Handle spec =
        buildXe(4, {Param{kXEParamArbitrary, 0, {}, "", true}, Param{kXEParamSlider, 0, le32(9)}});
    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    EXPECT_EQ(read<uint32_t>(spec, size_t(recordAt(spec, 0))), 0u);  // identifier 0
    EXPECT_EQ(read<int32_t>(spec, size_t(recordAt(spec, 0)) + 148), 0);
    ASSERT_EQ(UnflattenSingleSpec(spec), 0);
    EXPECT_EQ(dataOf(spec, 0), nullptr);
    EXPECT_EQ(read<int32_t>(spec, size_t(recordAt(spec, 1)) + 56), 9);
    DisposeSingleSpec(spec);
}

}  // namespace
