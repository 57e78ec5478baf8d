// Drawing handlers through media access: the sample handler answers every
// selector of "xDrawEntry" (information, frames, sound, open, quiet, close,
// extra requests, start-up and clean-up), built in and as a module.
#include "importer_fixture.h"
#include "media/media_access_internal.h"
#include "reelcore/handlers.h"

extern "C" int16_t drawHandlerEntry(int32_t selector, intptr_t a1, intptr_t a2, intptr_t a3,
                                    intptr_t a4, intptr_t a5, intptr_t a6);

namespace {

using namespace importtest;

constexpr OSType kGrad = cc("GRAD");

class Draw : public ImportTest {
  protected:
    Handle methods = nullptr;
    void SetUp() override {
        ImportTest::SetUp();
        methods = FmNewHandle(0);
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(methods));
        void* entries[8] = {reinterpret_cast<void*>(drawHandlerEntry)};
        ASSERT_EQ(AddMethod(kGrad, entries, methods, 0), 0);
        ASSERT_EQ(Add1XREF(kGrad, kGrad, kGrad, 0), 0);
    }
    void TearDown() override {
        SetAGlobal(kSlotMethodTable, 0);
        FmDisposeHandle(methods);
        ImportTest::TearDown();
    }
    // The handler's call counts, by selector.
    static std::vector<int32_t> calls(int16_t id) {
        std::vector<int32_t> n(12, -1);
        EXPECT_EQ(FileExtra(id, 1, n.data()), 0);
        return n;
    }
};

uint32_t gradient(int32_t frame, int32_t x, int32_t y, int32_t w) {
    return 0xFF000000u | uint32_t(y & 255) << 16 | uint32_t(frame * 2 & 255) << 8 |
           uint32_t(x * 255 / (w - 1));
}

TEST_F(Draw, EverySelectorReachesTheHandler) {
    const int16_t id = addSynth("a.grad", "gradient", kGrad);
    ASSERT_GT(id, 0);
    EXPECT_FALSE(ImporterExists(kGrad));
    const std::vector<int32_t> before = calls(id);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    EXPECT_EQ(info.frame.right, 64);
    EXPECT_EQ(info.video.value, 100);
    EXPECT_EQ(info.mediaFlags, 3);
    ASSERT_EQ(GetInfo(id, &info, 0), 0);  // the cached copy
    EXPECT_EQ(calls(id)[0], before[0] + 1);

    EXPECT_EQ(FileOpen(id), 0);
    EXPECT_EQ(FileQuiet(id), 0);
    EXPECT_EQ(FileClose(id), 0);
    std::vector<int32_t> now = calls(id);
    for (int s : {3, 4, 5}) EXPECT_EQ(now[size_t(s)], before[size_t(s)] + 1) << s;

    // Frames: straight into a world of the same size, cached once.
    const PWorld w = world(64, 48);
    const FmRect r{0, 0, 64, 48};
    const TDB t{10, 25, 1};
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(GetVideo(&t, id, w, &r, 32 | kVideoUseCache, 0), 0);
        for (int32_t y = 0; y < 48; y += 5)
            for (int32_t x = 0; x < 64; x += 7)
                ASSERT_EQ(bgraAt(w, x, y), gradient(10, x, y, 64)) << x << "," << y;
    }
    EXPECT_EQ(calls(id)[1], before[1] + 1);
    // A rectangle inside a bigger world goes through a buffer of its size.
    const PWorld big = world(100, 80);
    const FmRect inner{10, 20, 42, 44};
    ASSERT_EQ(GetVideo(&t, id, big, &inner, 32, 0), 0);
    EXPECT_EQ(bgraAt(big, 10, 20), gradient(10, 0, 0, 32));
    EXPECT_EQ(bgraAt(big, 41, 43), gradient(10, 31, 23, 32));

    // Sound: raw bytes, through the chain, and whole seconds.
    std::vector<uint8_t> bytes(16);
    ASSERT_EQ(GetAudio(id, 1000, 16, bytes.data()), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[size_t(i)], uint8_t(1000 + i));
    ASSERT_EQ(GetAudioVST(id, 1000, 16, bytes.data(), 7), 0);
    EXPECT_EQ(bytes[0], uint8_t(1007));
    std::vector<uint8_t> second(8000);
    ASSERT_EQ(GetAudioSec(2, id, second.data(), 0, 8000, 100), 0);
    for (int i = 0; i < 8000; i += 333) EXPECT_EQ(second[size_t(i)], uint8_t(16000 + i));

    // Start-up goes to one handler; clean-up to every registered one.
    EXPECT_EQ(rc::media::callDrawHandler(kGrad, kDrawStartup, 0, 0, 0, 0, 0, 0), 0);
    DrawCleanup();
    now = calls(id);
    EXPECT_EQ(now[10], before[10] + 1);
    EXPECT_EQ(now[11], before[11] + 1);
    // Requests the handler does not know answer 2.
    EXPECT_EQ(FileExtra(id, 99, bytes.data()), 2);
}

#ifdef REEL_DRAW_MODULE
TEST_F(Draw, ModuleDrawsWhatTheBuiltInCopyDraws) {
    const int16_t module = AddFile(REEL_DRAW_MODULE, 0, 0, cc("HDLR"));
    ASSERT_GT(module, 0);
    ASSERT_EQ(AddMethod(cc("GRDM"), nullptr, methods, module), 0);
    ASSERT_EQ(Add1XREF(cc("GRDM"), cc("GRDM"), cc("GRDM"), 0), 0);
    const int16_t viaModule = addSynth("m.grad", "gradient", cc("GRDM"));
    const int16_t builtIn = addSynth("b.grad", "gradient", kGrad);
    FmMediaInfo a{}, b{};
    ASSERT_EQ(GetInfo(viaModule, &a, 1), 0);
    ASSERT_EQ(GetInfo(builtIn, &b, 1), 0);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    const PWorld wa = world(64, 48), wb = world(64, 48);
    const FmRect r{0, 0, 64, 48};
    const TDB t{42, 25, 1};
    ASSERT_EQ(GetVideo(&t, viaModule, wa, &r, 32, 0), 0);
    ASSERT_EQ(GetVideo(&t, builtIn, wb, &r, 32, 0), 0);
    for (int32_t y = 0; y < 48; y += 3)
        for (int32_t x = 0; x < 64; x += 3) ASSERT_EQ(bgraAt(wa, x, y), bgraAt(wb, x, y));
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 0) << "slot 333 is restored";
    // A module without the entry point answers 2.
    const int16_t empty = addSynth("fake.fmx", "not a module");
    ASSERT_EQ(AddMethod(cc("NOEP"), nullptr, methods, empty), 0);
    EXPECT_EQ(rc::media::callDrawHandler(cc("NOEP"), kDrawGetInfo, 0, 0, 0, 0, 0, 0), 2);
}
#endif

}  // namespace
