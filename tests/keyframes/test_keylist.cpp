// The key list: creation, times, insertion, replacement, removal, copies and
// disposal, with the arbitrary data of live XE blocks owned once.
#include "keys_test_util.h"

using namespace keystest;

namespace {

std::vector<uint8_t> keyBytes(Handle comp, int32_t index) {
    int32_t time = 0;
    Handle h = GetSingleSpec(comp, index, &time);
    std::vector<uint8_t> b = bytes(h);
    DisposeSingleSpec(h);
    return b;
}

class KeyList : public KeysTest {};

TEST_F(KeyList, NewCompSpecWithAndWithoutSpec) {
    Handle empty = NewCompSpec(nullptr, 0, 7);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CountSingleSpecs(empty), 1);
    EXPECT_EQ(SingleSpecSize(empty), 0);
    EXPECT_EQ(GetSingleSpecTime(empty, 0), 7);
    EXPECT_EQ(GetHandleSize(empty), 20u);
    EXPECT_TRUE(IsVariable(empty));
    int32_t time = -1;
    // An empty key gives no spec, but its time.
    EXPECT_EQ(GetSingleSpec(empty, 0, &time), nullptr);
    EXPECT_EQ(time, 7);
    DisposeCompSpec(empty);

    Handle spec = handleOf({1, 2, 3, 4, 5});
    Handle comp = NewCompSpec(spec, 0, -3);
    ASSERT_NE(comp, nullptr);
    EXPECT_EQ(read<uint32_t>(comp, 0), kCompSpecMagic1);
    EXPECT_EQ(read<uint32_t>(comp, 4), kCompSpecMagic2);
    EXPECT_EQ(SingleSpecSize(comp), 5);
    EXPECT_EQ(GetSingleSpecTime(comp, 0), -3);
    EXPECT_EQ(keyBytes(comp, 0), bytes(spec));
    DisposeSingleSpec(spec);
    DisposeCompSpec(comp);

    // The header alone is not a CompSpec; neither is a block without magic.
    Handle header = handleOf(std::vector<uint8_t>(16, 0));
    write<uint32_t>(header, 0, kCompSpecMagic1);
    write<uint32_t>(header, 4, kCompSpecMagic2);
    EXPECT_FALSE(IsVariable(header));
    SetHandleSize(header, 20);
    EXPECT_TRUE(IsVariable(header));
    write<uint32_t>(header, 4, 0);
    EXPECT_FALSE(IsVariable(header));
    EXPECT_FALSE(IsVariable(nullptr));
    DisposeHandle(header);
}

TEST_F(KeyList, IndexesOutsideTheKeys) {
    Handle a = handleOf({1, 1});
    Handle comp = NewCompSpec(a, 0, 10);
    SetSingleSpecTime(comp, -5, 11);  // negative counts as 0
    EXPECT_EQ(GetSingleSpecTime(comp, 0), 11);
    EXPECT_EQ(GetSingleSpecTime(comp, -1), 11);
    const std::vector<uint8_t> before = bytes(comp);
    SetSingleSpecTime(comp, 1, 99);  // unknown: writes nothing
    EXPECT_EQ(bytes(comp), before);
    EXPECT_EQ(GetSingleSpecTime(comp, 1), 0);
    EXPECT_EQ(GetSingleSpec(comp, 1, nullptr), nullptr);
    EXPECT_EQ(ReplaceSingleSpec(comp, a, 3, 1), -50);
    EXPECT_EQ(bytes(comp), before);
    EXPECT_EQ(RemoveSingleSpec(comp, 2), 1);
    EXPECT_EQ(bytes(comp), before);
    // Not a CompSpec at all.
    EXPECT_EQ(CountSingleSpecs(a), 0);
    EXPECT_EQ(InsertSingleSpec(a, a, 0, 0), -50);
    EXPECT_EQ(GetSingleSpecTime(nullptr, 0), 0);
    DisposeSingleSpec(a);
    DisposeCompSpec(comp);
}

TEST_F(KeyList, InsertAppendsPastTheEndAndMovesLaterKeys) {
    Handle a = handleOf({1, 1, 1});
    Handle b = handleOf({2, 2, 2});
    Handle c = handleOf({3, 3, 3});
    Handle comp = NewCompSpec(a, 0, 0);
    ASSERT_EQ(InsertSingleSpec(comp, c, 50, 200), noErr);  // past the end: appended
    ASSERT_EQ(InsertSingleSpec(comp, b, 1, 100), noErr);
    ASSERT_EQ(CountSingleSpecs(comp), 3);
    EXPECT_EQ(GetHandleSize(comp), 16u + 3 * 7);
    EXPECT_EQ(GetSingleSpecTime(comp, 0), 0);
    EXPECT_EQ(GetSingleSpecTime(comp, 1), 100);
    EXPECT_EQ(GetSingleSpecTime(comp, 2), 200);
    EXPECT_EQ(keyBytes(comp, 1), bytes(b));
    EXPECT_EQ(keyBytes(comp, 2), bytes(c));
    ASSERT_EQ(InsertSingleSpec(comp, c, -4, -100), noErr);  // negative: first
    EXPECT_EQ(GetSingleSpecTime(comp, 0), -100);
    EXPECT_EQ(keyBytes(comp, 1), bytes(a));

    // Another size: min(size, specSize) bytes, the rest zero.
    Handle longer = handleOf({9, 9, 9, 9, 9});
    Handle shorter = handleOf({8});
    ASSERT_EQ(InsertSingleSpec(comp, longer, 4, 300), noErr);
    ASSERT_EQ(InsertSingleSpec(comp, shorter, 5, 400), noErr);
    EXPECT_EQ(keyBytes(comp, 4), (std::vector<uint8_t>{9, 9, 9}));
    EXPECT_EQ(keyBytes(comp, 5), (std::vector<uint8_t>{8, 0, 0}));
    ASSERT_EQ(ReplaceSingleSpec(comp, shorter, 4, 301), noErr);
    EXPECT_EQ(keyBytes(comp, 4), (std::vector<uint8_t>{8, 0, 0}));
    EXPECT_EQ(GetSingleSpecTime(comp, 4), 301);

    // Removal moves later keys down and shrinks the block.
    EXPECT_EQ(RemoveSingleSpec(comp, 0), 5);
    EXPECT_EQ(GetSingleSpecTime(comp, 0), 0);
    EXPECT_EQ(GetHandleSize(comp), 16u + 5 * 7);
    for (int i = 4; i >= 0; --i) EXPECT_EQ(RemoveSingleSpec(comp, i), i);
    EXPECT_EQ(CountSingleSpecs(comp), 0);
    EXPECT_EQ(GetHandleSize(comp), 16u);
    EXPECT_FALSE(IsVariable(comp));

    // A CompSpec without keys takes the size of the next spec.
    ASSERT_EQ(InsertSingleSpec(comp, longer, 0, 5), noErr);
    EXPECT_EQ(SingleSpecSize(comp), 5);
    EXPECT_EQ(keyBytes(comp, 0), bytes(longer));
    for (Handle h : {a, b, c, longer, shorter}) DisposeSingleSpec(h);
    DisposeCompSpec(comp);
}

TEST_F(KeyList, FailedInsertLeavesTheCompSpecAsItWas) {
    Handle a = handleOf(std::vector<uint8_t>(64, 1));
    Handle comp = NewCompSpec(a, 0, 0);
    const std::vector<uint8_t> before = bytes(comp);
    failAbove(100);
    EXPECT_EQ(InsertSingleSpec(comp, a, 0, 5), memFullErr);
    endFaults();
    EXPECT_EQ(bytes(comp), before);
    DisposeSingleSpec(a);
    DisposeCompSpec(comp);
}

TEST_F(KeyList, ArbitraryDataIsOwnedByEveryCopyOnce) {
    XeDouble::install();
    Handle spec =
        buildXe(3, {Param{kXEParamArbitrary, 0, {}, "alpha"}, Param{kXEParamSlider, 0, le32(5)},
                    Param{kXEParamArbitrary, 0, {}, "", true}});
    ASSERT_EQ(XeDouble::live.size(), 1u);
    Handle comp = NewCompSpec(spec, 3, 0);
    ASSERT_NE(comp, nullptr);
    EXPECT_EQ(XeDouble::live.size(), 2u);  // the key has its own copy

    Handle key = GetSingleSpec(comp, 0, nullptr);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(XeDouble::live.size(), 3u);
    EXPECT_NE(dataOf(key, 0), dataOf(spec, 0));
    EXPECT_EQ(XeDouble::text(dataOf(key, 0)), "alpha");
    EXPECT_EQ(dataOf(key, 2), nullptr);  // null data stays null

    ASSERT_EQ(InsertSingleSpec(comp, key, 1, 10), noErr);
    Handle dup = DupCompSpec(comp);
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(XeDouble::live.size(), 6u);
    Handle dupSpec = DupSingleSpec(key);
    EXPECT_EQ(XeDouble::live.size(), 7u);

    // Replacing frees the old key's data; removing frees the removed key's.
    ASSERT_EQ(ReplaceSingleSpec(comp, spec, 1, 10), noErr);
    EXPECT_EQ(XeDouble::live.size(), 7u);
    EXPECT_EQ(RemoveSingleSpec(comp, 0), 1);
    EXPECT_EQ(XeDouble::live.size(), 6u);

    DisposeCompSpec(dup);
    DisposeCompSpec(comp);
    DisposeSingleSpec(dupSpec);
    DisposeSingleSpec(key);
    DisposeSingleSpec(spec);
    EXPECT_TRUE(XeDouble::live.empty());
    EXPECT_EQ(XeDouble::badDisposals, 0);

    // A copy the filter cannot make fails the whole copy.
    spec = buildXe(3, {Param{kXEParamArbitrary, 0, {}, "beta"}});
    XeDouble::failCopies = true;
    EXPECT_EQ(DupSingleSpec(spec), nullptr);
    EXPECT_EQ(NewCompSpec(spec, 3, 0), nullptr);
    XeDouble::failCopies = false;
    DisposeSingleSpec(spec);
    EXPECT_TRUE(XeDouble::live.empty());
}

TEST_F(KeyList, MalformedBlocksAndCompSpecsAreRefused) {
    XeDouble::install();
    Handle spec = buildXe(3, {Param{kXEParamSlider, 0, le32(5)}, Param{kXEParamAngle}});
    Handle comp = NewCompSpec(spec, 3, 0);
    ASSERT_NE(comp, nullptr);
    // An offset outside the block.
    Handle bad = DupSingleSpec(spec);
    write<int32_t>(bad, 28 + 4, 100000);
    EXPECT_EQ(DupSingleSpec(bad), nullptr);
    EXPECT_EQ(NewCompSpec(bad, 3, 0), nullptr);
    EXPECT_EQ(InsertSingleSpec(comp, bad, 1, 1), -50);
    EXPECT_EQ(CountSingleSpecs(comp), 1);
    DisposeSingleSpec(bad);

    // Counts that the Handle does not hold.
    Handle lying = DupCompSpec(comp);
    write<int32_t>(lying, 8, 3);
    EXPECT_EQ(CountSingleSpecs(lying), 0);
    EXPECT_EQ(GetSingleSpec(lying, 0, nullptr), nullptr);
    EXPECT_EQ(DupCompSpec(lying), nullptr);
    write<int32_t>(lying, 8, 1);
    write<int32_t>(lying, 12, -4);
    EXPECT_EQ(SingleSpecSize(lying), 0);
    EXPECT_EQ(FlattenCompSpec(lying), -1);
    DisposeHandle(lying);
    DisposeSingleSpec(spec);
    DisposeCompSpec(comp);
    EXPECT_TRUE(XeDouble::live.empty());
}

}  // namespace
