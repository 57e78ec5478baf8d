// Filter: settings built from the keys at the right time, the module called
// by kind and version, settings of non-varying filters kept, square pixels.
#include "filter_fixture.h"

using namespace filtertest;

namespace {

const TDB k100{0, 100, 1};

uint32_t sourceColour(int32_t x, int32_t y) {
    return bgra(uint8_t(20 + 40 * x), uint8_t(200 - 30 * y), uint8_t(7 * x * y), uint8_t(100 + x));
}

class Filters : public FilterTest {
  protected:
    // Runs the tint filter at part / total with frame data for `clipID` (0:
    // none) and checks every pixel against the tint by `amount` towards
    // pure red.
    void expectTintAt(int16_t tint, Handle comp, int32_t clipID, int32_t part, int32_t total,
                      int32_t amount) {
        PPixHand src = picture(4, 3, sourceColour), dst = picture(4, 3);
        Handle data = clipID ? clipData(clipID) : nullptr;
        Handle rec = videoRecord(src, dst, comp, part, total, data);
        ASSERT_EQ(Filter(tint, kRcFilterProcess, rec, nullptr), noErr);
        EXPECT_EQ(video(rec).specsHandle, HandleToWord(comp)) << "the CompSpec goes back";
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 4; ++x) {
                const uint32_t s = sourceColour(x, y), d = at(dst, x, y);
                ASSERT_EQ(red(d), tinted(red(s), 255, amount)) << x << "," << y << " at " << part;
                ASSERT_EQ(green(d), tinted(green(s), 0, amount));
                ASSERT_EQ(blue(d), tinted(blue(s), 0, amount));
                ASSERT_EQ(d >> 24, s >> 24) << "alpha is kept";
            }
        DisposeHandle(rec);
        DisposeHandle(data);
    }
};

TEST_F(Filters, KeysAreEvaluatedAtClipStartPlusWidthTimesPartOverTotal) {
    const int16_t tint = sample("vf-tint", cc("VFlt"));
    ASSERT_TRUE(CanVary(tint));
    Handle comp = keys<Tint>(tint, {{0, {0, {255, 0, 0, 0}}}, {100, {100, {255, 0, 0, 0}}}});
    ASSERT_EQ(CountSingleSpecs(comp), 2);

    // A clip of width 100 from 0 (its out point is its last frame): part 1
    // of 4 is time 25, so a quarter of the way.
    const int32_t clip = this->clip(0, 99, k100);
    ASSERT_EQ(ClipWidth(clip, &k100), 100);
    ASSERT_GT(clip, 0);
    expectTintAt(tint, comp, clip, 1, 4, 25);
    expectTintAt(tint, comp, clip, 0, 4, 0);
    expectTintAt(tint, comp, clip, 4, 4, 100);
    expectTintAt(tint, comp, clip, 3, 5, 60);

    // A clip starting at 40: part 0 is its start, and a zero total (a clip
    // without width) evaluates there instead of dividing by zero.
    const int32_t late = this->clip(40, 89, k100);
    expectTintAt(tint, comp, late, 0, 10, 40);
    expectTintAt(tint, comp, late, 5, 10, 65);
    expectTintAt(tint, comp, late, 3, 0, 40);
    expectTintAt(tint, comp, late, 3, -2, 40);

    // Without a clip the keys count over total from 0.
    expectTintAt(tint, comp, 0, 30, 100, 30);
    expectTintAt(tint, comp, 0, 30, 0, 0);
    EXPECT_EQ(CountSingleSpecs(comp), 2) << "keys are left as they were";
    EXPECT_EQ(key<Tint>(comp, 1).amount, 100);
    DisposeCompSpec(comp);
}

TEST_F(Filters, WithoutSettingsForTheTimeTheSourceIsCopiedAndTheModuleNotCalled) {
    const int16_t bump = testModule("bump", cc("VFlt"));
    ASSERT_FALSE(CanVary(bump));
    // Keys from 10 on: nothing holds at time 5.
    Handle comp = keys<int32_t>(bump, {{10, 1}, {20, 2}});
    PPixHand src = picture(2, 2, sourceColour), dst = picture(2, 2);
    Handle rec = videoRecord(src, dst, comp, 5, 100);
    EXPECT_EQ(Filter(bump, kRcFilterProcess, rec, nullptr), noErr);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(at(dst, x, y), at(src, x, y));
    EXPECT_EQ(key<int32_t>(comp, 0), 1) << "the module did not run";
    EXPECT_EQ(key<int32_t>(comp, 1), 2);

    // A CompSpec that cannot be unflattened fails the filter.
    const FmCompSpecHeader header{kCompSpecMagic1, kCompSpecMagic2, 1, 99};
    Handle bad = handleOf(bytesOfValue(header));
    video(rec).specsHandle = HandleToWord(bad);
    EXPECT_NE(Filter(bump, kRcFilterProcess, rec, nullptr), noErr);
    DisposeHandle(bad);
    DisposeHandle(rec);
    DisposeCompSpec(comp);
}

TEST_F(Filters, NonVaryingSettingsChangedByTheModuleLandInKeysZeroAndOne) {
    const int16_t bump = testModule("bump", cc("VFlt"));
    PPixHand src = picture(2, 2), dst = picture(2, 2);

    Handle two = keys<int32_t>(bump, {{0, 5}, {100, 7}, {200, 9}});
    Handle rec = videoRecord(src, dst, two, 150, 1000);
    ASSERT_EQ(Filter(bump, kRcFilterProcess, rec, nullptr), noErr);
    // Time 150 holds key 1 (7); the module made it 1007.
    EXPECT_EQ(key<int32_t>(two, 0), 1007);
    EXPECT_EQ(key<int32_t>(two, 1), 1007);
    EXPECT_EQ(key<int32_t>(two, 2), 9) << "only keys 0 and 1";
    EXPECT_EQ(GetSingleSpecTime(two, 1), 100) << "times are kept";
    DisposeHandle(rec);
    DisposeCompSpec(two);

    // One key: key 1 does not exist, and the block neither grows nor is
    // written past.
    Handle one = keys<int32_t>(bump, {{0, 5}});
    const uint32_t size = GetHandleSize(one);
    rec = videoRecord(src, dst, one, 0, 10);
    ASSERT_EQ(Filter(bump, kRcFilterProcess, rec, nullptr), noErr);
    EXPECT_EQ(CountSingleSpecs(one), 1);
    EXPECT_EQ(GetHandleSize(one), size);
    EXPECT_EQ(key<int32_t>(one, 0), 1005);
    DisposeHandle(rec);
    DisposeCompSpec(one);

    // A filter that can vary keeps its keys whatever the module does.
    const int16_t tint = sample("vf-tint", cc("VFlt"));
    Handle tk = keys<Tint>(tint, {{0, {10, {1, 2, 3, 0}}}, {100, {90, {1, 2, 3, 0}}}});
    rec = videoRecord(src, dst, tk, 50, 100);
    ASSERT_EQ(Filter(tint, kRcFilterProcess, rec, nullptr), noErr);
    EXPECT_EQ(key<Tint>(tk, 0).amount, 10);
    EXPECT_EQ(key<Tint>(tk, 1).amount, 90);
    DisposeHandle(rec);
    DisposeCompSpec(tk);
}

TEST_F(Filters, UnreachableModulesAnswerOneAndOtherVersionsAreNeverCalled) {
    PPixHand src = picture(2, 2, sourceColour), dst = picture(2, 2);
    const int16_t entryless = testModule("entryless", cc("VFlt"));
    ASSERT_EQ(GetFileVersion(entryless), 3);
    Handle rec = videoRecord(src, dst, nullptr, 0, 1);
    EXPECT_EQ(Filter(entryless, kRcFilterSetup, rec, nullptr), 1);
    EXPECT_EQ(Filter(entryless, 7, rec, nullptr), 1);
    EXPECT_EQ(Filter(4000, kRcFilterSetup, rec, nullptr), 1) << "no such FileID";
    EXPECT_EQ(Filter(entryless, kRcFilterSetup, nullptr, nullptr), 1) << "no record";

    // A version-2 filter gets the older record; the settings and private
    // data it leaves are copied back.
    const int16_t old = testModule("old_video", cc("VFlt"));
    ASSERT_EQ(GetFileVersion(old), 2);
    Handle a = NewHandle(4), b = NewHandle(4);
    DisposeHandle(rec);
    rec = videoRecord(src, dst, a, 42, 100, b);
    EXPECT_EQ(Filter(old, kRcFilterSetup, rec, nullptr), 7);
    EXPECT_EQ(video(rec).specsHandle, HandleToWord(b));
    EXPECT_EQ(video(rec).privateData, HandleToWord(a));
    EXPECT_EQ(blue(at(dst, 0, 1)), 42) << "the module saw the part";

    // Versions 1 and 4 fail without calling the module.
    for (int32_t version : {1, 4, 0}) {
        SetFileVersion(old, version);
        at(dst, 0, 1) = 0;
        EXPECT_NE(Filter(old, kRcFilterSetup, rec, nullptr), noErr) << version;
        EXPECT_EQ(video(rec).specsHandle, HandleToWord(b)) << "untouched";
        EXPECT_EQ(at(dst, 0, 1), 0u);
    }
    DisposeHandle(rec);
    DisposeHandle(a);
    DisposeHandle(b);
}

TEST_F(Filters, AudioFiltersRampFromTheBlockStartSettingsToItsEnd) {
    const int16_t gain = sample("af-gain", cc("AFlt"));
    ASSERT_EQ(GetFileVersion(gain), 3);
    ASSERT_TRUE(CanVary(gain));
    Handle comp = keys<int32_t>(gain, {{0, 100}, {200, 0}});
    std::vector<int16_t> in(100, 1000), out(100, 0);
    Handle rec = NewHandleClear(sizeof(RcAudioFilterRecord));
    auto& r = *reinterpret_cast<RcAudioFilterRecord*>(*rec);
    r.version = kRcAudioFilterRecordVersion;
    r.specsHandle = HandleToWord(comp);
    r.source = in.data();
    r.destination = out.data();
    r.count = 100;
    r.format = kRcAudio16Bit;
    r.rate = 100;
    r.position = 100;
    r.total = 400;
    // Without a clip the keys are in sample frames: gain 50 at 100, 0 at 200.
    ASSERT_EQ(Filter(gain, kRcFilterProcess, rec, nullptr), noErr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(out[size_t(i)], 1000 * (50 - 50 * i / 100) / 100) << i;
    EXPECT_EQ(r.specsHandle, HandleToWord(comp));
    EXPECT_EQ(r.endSpecsHandle, 0u);

    // The end is capped at the clip's length: position 150 + 100 samples in
    // a clip of 170 ends at 170 (gain 15), not 250.
    r.position = 150;
    r.total = 170;
    ASSERT_EQ(Filter(gain, kRcFilterProcess, rec, nullptr), noErr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(out[size_t(i)], 1000 * (25 - 10 * i / 100) / 100) << i;

    // With a clip of 25 frames a second starting at frame 10, sample 100 at
    // 100 a second is one second in: frame 35.
    const int32_t clip = this->clip(10, 210, TDB{0, 25, 1});
    Handle comp2 = keys<int32_t>(gain, {{10, 100}, {110, 0}});
    r.specsHandle = HandleToWord(comp2);
    r.clipID = clip;
    r.position = 100;
    r.total = 0;
    r.count = 1;
    ASSERT_EQ(Filter(gain, kRcFilterProcess, rec, nullptr), noErr);
    EXPECT_EQ(out[0], 1000 * 75 / 100);

    // A version-2 audio filter gets its older record.
    const int16_t old = testModule("old_audio", cc("AFlt"));
    Handle a = NewHandle(4), b = NewHandle(4);
    r.specsHandle = HandleToWord(a);
    r.privateData = HandleToWord(b);
    EXPECT_EQ(Filter(old, 2, rec, nullptr), 7);
    EXPECT_EQ(r.specsHandle, HandleToWord(b));
    EXPECT_EQ(r.privateData, HandleToWord(a));
    EXPECT_EQ(reinterpret_cast<uint8_t*>(out.data())[0], 0x5A);
    DisposeHandle(a);
    DisposeHandle(b);
    DisposeHandle(rec);
    DisposeCompSpec(comp);
    DisposeCompSpec(comp2);
}

TEST_F(Filters, FiltersThatAskForSquarePixelsRunOnScaledCopies) {
    const int16_t square = testModule("square", cc("VFlt"));
    Handle comp = NewCompSpec(nullptr, square, 0);
    auto run = [&](int16_t selector, uint32_t aspect) {
        PPixHand src = picture(10, 4, sourceColour), dst = picture(10, 4);
        ppixSetPixelAspectRatio(src, aspect);
        Handle rec = videoRecord(src, dst, comp, 0, 1);
        EXPECT_EQ(Filter(square, selector, rec, nullptr), noErr);
        DisposeHandle(rec);
        return at(dst, 9, 3);
    };
    // 2:1 pixels: the module sees a picture 20 wide, scaled back into 10.
    uint32_t p = run(kRcFilterProcess, 0x20001);
    EXPECT_EQ(red(p), 20);
    EXPECT_EQ(green(p), 0);
    p = run(kRcFilterSetup, 0x20001);
    EXPECT_EQ(red(p), 20);
    EXPECT_EQ(green(p), 1);
    // Square, unset, or switched off: the pictures as they are.
    EXPECT_EQ(red(run(kRcFilterProcess, 0x10001)), 10);
    EXPECT_EQ(red(run(kRcFilterProcess, 1)), 10);
    EXPECT_EQ(red(run(kRcFilterProcess | kRcFilterNoAspect, 0x20001)), 10);
    SetAGlobal(kSlotSquarePixelMode, -1);
    EXPECT_EQ(red(run(kRcFilterProcess, 0x20001)), 10);
    DisposeCompSpec(comp);
}

}  // namespace

namespace {

struct Levels {
    int16_t black, white;
    uint32_t flags;
};

TEST_F(Filters, LevelsSampleBlendsItsFltDValuesAndCopiesItsFlags) {
    const int16_t lv = sample("vf-levels", cc("VFlt"));
    ASSERT_TRUE(CanVary(lv));
    Handle comp = keys<Levels>(lv, {{0, {0, 255, 1}}, {100, {40, 200, 0}}});
    auto colour = [](int32_t x, int32_t y) {
        return bgra(uint8_t(19 * x + y), uint8_t(250 - 31 * x), uint8_t(60 * y), uint8_t(9 + x));
    };
    PPixHand src = picture(9, 4, colour), dst = picture(9, 4);
    Handle rec = videoRecord(src, dst, comp, 50, 100);
    ASSERT_EQ(Filter(lv, kRcFilterProcess, rec, nullptr), noErr);
    // Half way: black 20, white 227 (truncated); the flags of the earlier
    // key (keep alpha) are copied, not blended.
    auto level = [](uint8_t v) {
        return uint8_t(v <= 20 ? 0 : v >= 227 ? 255 : (v - 20) * 255 / (227 - 20));
    };
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 9; ++x) {
            const uint32_t s = colour(x, y), d = at(dst, x, y);
            ASSERT_EQ(red(d), level(red(s))) << x << "," << y;
            ASSERT_EQ(green(d), level(green(s)));
            ASSERT_EQ(blue(d), level(blue(s)));
            ASSERT_EQ(d >> 24, s >> 24);
        }
    DisposeHandle(rec);
    DisposeCompSpec(comp);
}

}  // namespace
