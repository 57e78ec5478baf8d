// Effect, Export and Device: the transition samples against references
// computed here, older records, the state put back after a call.
#include <cfenv>

#include "filter_fixture.h"
#include "reelcore/importers.h"
#include "reelcore/mp.h"
#include "reelcore/utility_table.h"

using namespace filtertest;

namespace {

uint32_t colourA(int32_t x, int32_t y) {
    return bgra(uint8_t(10 * x), uint8_t(250 - 9 * y), uint8_t(x * y), 255);
}
uint32_t colourB(int32_t x, int32_t y) {
    return bgra(uint8_t(255 - 3 * y), uint8_t(5 * x), 200, uint8_t(30 + x + y));
}

uint8_t dissolved(uint8_t a, uint8_t b, int32_t part, int32_t total) {
    const uint32_t w = uint32_t(int64_t(part) * 256 / total);
    return uint8_t((a * (256 - w) + b * w + 128) >> 8);
}

class Effects : public FilterTest {
  protected:
    void expectDissolve(int16_t fx, int32_t w, int32_t h, int32_t part, int32_t total) {
        PPixHand a = picture(w, h, colourA), b = picture(w, h, colourB), d = picture(w, h);
        Handle rec = effectRecord(a, b, d, part, total);
        ASSERT_EQ(Effect(fx, kRcEffectProcess, rec), noErr);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int shift = 0; shift < 32; shift += 8)
                    ASSERT_EQ(uint8_t(at(d, x, y) >> shift),
                              dissolved(uint8_t(at(a, x, y) >> shift),
                                        uint8_t(at(b, x, y) >> shift), part, total))
                        << x << "," << y << " byte " << shift / 8 << " at " << part << "/" << total;
        DisposeHandle(rec);
    }
};

TEST_F(Effects, DissolveBlendsTheSourcesByPartOverTotalInBands) {
    const int16_t fx = sample("fx-dissolve", cc("SPFX"));
    ASSERT_EQ(GetFileVersion(fx), 3);
    expectDissolve(fx, 7, 5, 0, 4);
    expectDissolve(fx, 7, 5, 1, 4);
    expectDissolve(fx, 7, 5, 2, 3);
    expectDissolve(fx, 7, 5, 4, 4);
    // With workers the rows are cut into bands; the result is the same.
    SetAGlobal(kSlotSettingsFilePath, 0);
    InitMP();
    expectDissolve(fx, 33, 401, 5, 9);
    TerminateMP();
}

TEST_F(Effects, EffectFillsTheHostWordsAndCallsByVersion) {
    const int16_t cut = sample("fx-cut", cc("SPFX"));
    PPixHand a = picture(3, 2, colourA), b = picture(3, 2, colourB), d = picture(3, 2);
    FmUtilityTable table = *FmDefaultUtilityTable();
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&table));
    SetAGlobal(kSlotHostUtilities, 0x1234);
    SetAGlobal(kSlotCurrentHandlerFile, 77);
    Handle rec = effectRecord(a, b, d, 1, 2);
    std::memset(effect(rec).title, 'x', sizeof effect(rec).title);
    ASSERT_EQ(Effect(cut, kRcEffectProcess, rec), noErr);
    EXPECT_EQ(effect(rec).utilities, &table);
    EXPECT_EQ(effect(rec).hostData, 0x1234);
    EXPECT_NE(effect(rec).host, nullptr);
    EXPECT_EQ(effect(rec).title[31], '\0') << "the title is a C string";
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 77) << "the current module is put back";
    EXPECT_EQ(at(d, 2, 1), at(a, 2, 1)) << "before its end the cut shows source 1";
    effect(rec).part = 2;
    ASSERT_EQ(Effect(cut, kRcEffectProcess, rec), noErr);
    EXPECT_EQ(at(d, 2, 1), at(b, 2, 1));
    EXPECT_EQ(Effect(cut, 9, rec), kRcModuleUnsupported) << "the module's own answer";
    EXPECT_EQ(Effect(testModule("entryless", cc("SPFX")), 0, rec), 1);
    EXPECT_EQ(Effect(cut, 0, nullptr), 1);
    DisposeHandle(rec);
    SetAGlobal(kSlotUtilityTable, 0);

    // Version 2: the older record, settings and private data copied back.
    const int16_t old = testModule("old_effect", cc("SPFX"));
    ASSERT_EQ(GetFileVersion(old), 2);
    Handle s = NewHandle(4), p = NewHandle(4);
    rec = effectRecord(a, b, d, 17, 20);
    effect(rec).specsHandle = HandleToWord(s);
    effect(rec).privateData = HandleToWord(p);
    EXPECT_EQ(Effect(old, kRcEffectProcess, rec), noErr);
    EXPECT_EQ(effect(rec).specsHandle, HandleToWord(p));
    EXPECT_EQ(effect(rec).privateData, HandleToWord(s));
    EXPECT_EQ(blue(at(d, 0, 1)), 17);
    SetFileVersion(old, 4);
    EXPECT_NE(Effect(old, kRcEffectProcess, rec), noErr);
    EXPECT_EQ(effect(rec).specsHandle, HandleToWord(p)) << "a version-4 module is not called";
    DisposeHandle(rec);
    DisposeHandle(s);
    DisposeHandle(p);
}

TEST_F(Effects, ExportResetsTheFloatingPointStateAndSlot333) {
    const int16_t fp = testModule("fpround", cc("ExpM"));
    SetAGlobal(kSlotCurrentHandlerFile, 5);
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    EXPECT_EQ(Export(fp, kRcExportFrame, nullptr), noErr);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST) << "the module's rounding mode is undone";
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 5);
    EXPECT_EQ(Export(fp, kRcExportStartup, nullptr), 3);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    // A missing entry: 1, and the state is reset all the same.
    std::fesetround(FE_DOWNWARD);
    EXPECT_EQ(Export(testModule("entryless", cc("ExpM")), kRcExportFrame, nullptr), 1);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

TEST_F(Effects, DeviceCallsAreNotReentered) {
    const int16_t dev = testModule("reenter", cc("DevC"));
    Handle rec = NewHandleClear(sizeof(RcDeviceRecord));
    auto& d = *reinterpret_cast<RcDeviceRecord*>(*rec);
    d.privateData = reinterpret_cast<intptr_t>(&Device);
    d.argument = dev;
    ASSERT_EQ(Device(dev, kRcDeviceCommand, &rec), noErr);
    EXPECT_EQ(d.timecode, 1) << "only the outer call reached the module";
    EXPECT_EQ(d.status, 1) << "the inner call was refused";
    EXPECT_EQ(GetAGlobal(kSlotDeviceBusy), 0);
    // The guard is released: the next call runs.
    ASSERT_EQ(Device(dev, kRcDeviceStatus, &rec), noErr);
    EXPECT_EQ(d.timecode, 2);
    // A call while another runs (the guard set) answers 1 at once.
    SetAGlobal(kSlotDeviceBusy, 1);
    EXPECT_EQ(Device(dev, kRcDeviceStatus, &rec), 1);
    EXPECT_EQ(d.timecode, 2);
    SetAGlobal(kSlotDeviceBusy, 0);
    EXPECT_EQ(Device(testModule("entryless", cc("DevC")), kRcDeviceStatus, &rec), 1);
    EXPECT_EQ(GetAGlobal(kSlotDeviceBusy), 0);
    DisposeHandle(rec);
}

}  // namespace
