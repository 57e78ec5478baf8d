// Paths of a frame beside the plain one: the square-pixel question a
// transition is spared when its PiPL declares any aspect, the real-time
// render by the timeline window's playback module, and letterboxed clips on
// the field path.
#include <algorithm>

#include "reelcore/clips.h"
#include "reelcore/effects.h"

#include "render_fixture.h"

namespace {

using namespace rendertest;

std::vector<int16_t> selectors;
std::vector<int32_t> sourceWidths;
int16_t aspectAnswer = 0;
bool declaresAnyAspect = false;

int16_t copyingEffect(int16_t, int16_t selector, Handle record) {
    selectors.push_back(selector);
    const auto& r = *reinterpret_cast<RcEffectRecord*>(*record);
    if (selector == kRcEffectAspectQuery) return aspectAnswer;
    PPixHand a = WordToHandle(r.source1), d = WordToHandle(r.destination);
    sourceWidths.push_back(widthOf(a));
    for (int32_t y = 0; y < heightOf(d); ++y)
        for (int32_t x = 0; x < widthOf(d); ++x) at(d, x, y) = at(a, x, y);
    return 0;
}

bool anyAspect(int16_t) {
    return declaresAnyAspect;
}

// The playback module of the timeline window, as the render core sees it.
struct RealTime {
    intptr_t module = 0;
    int32_t canRender = 0, answer = 0, calls = 0;
    int32_t time = 0, mode = -1, size = 0;
    void* destination = nullptr;
};
RealTime rt;

intptr_t playModule() {
    return rt.module;
}
int32_t canRender(intptr_t module) {
    EXPECT_EQ(module, rt.module);
    return rt.canRender;
}
int32_t renderRT(intptr_t module, int32_t time, intptr_t, int32_t mode, void* dst, int32_t size) {
    EXPECT_EQ(module, rt.module);
    ++rt.calls;
    rt.time = time;
    rt.mode = mode;
    rt.destination = dst;
    rt.size = size;
    return rt.answer;
}

int16_t noWindow(OSType) {
    return 1;
}

// Bar i's centre column in a 160-pixel frame.
int32_t barX(int32_t i) {
    return (2 * i + 1) * 160 / 14;
}

void clearTo(PPixHand pix, Pixel p) {
    for (int32_t y = 0; y < heightOf(pix); ++y)
        for (int32_t x = 0; x < widthOf(pix); ++x) at(pix, x, y) = p;
}

class PathsTest : public RenderTest {
  protected:
    std::vector<PPixHand> pictures;
    void SetUp() override {
        RenderTest::SetUp();
        selectors.clear();
        sourceWidths.clear();
        aspectAnswer = 0;
        declaresAnyAspect = false;
        rt = RealTime{};
        const rc::render::Hooks hooks{copyingEffect, nullptr,   noWindow, anyAspect,
                                      playModule,    canRender, renderRT};
        rc::render::setHooks(&hooks);
    }
    void TearDown() override {
        for (PPixHand p : pictures) ppixDispose(p);
        SetAGlobal(kSlotRealTime, 0);
        SetAGlobal(kSlotSquarePixelMode, 0);
        RenderTest::TearDown();
    }
    PPixHand picture(int32_t w, int32_t h, uint32_t aspect) {
        const FmRect b{0, 0, w, h};
        PPixHand pix = ppixNew(&b);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) at(pix, x, y) = Pixel{uint8_t(x), 50, 90, 255};
        ppixSetPixelAspectRatio(pix, aspect);
        pictures.push_back(pix);
        return pix;
    }
};

TEST_F(PathsTest, ATransitionDeclaringAnyAspectIsNotAskedForSquarePixels) {
    SetAGlobal(kSlotSquarePixelMode, 1);
    constexpr uint32_t kNarrow = 648u << 16 | 720u;  // pixels 0.9 as wide as tall
    PPixHand a = picture(40, 8, kNarrow), b = picture(40, 8, kNarrow), d = picture(40, 8, kNarrow);
    TransitionSettings s{};
    s.endPercent = 10000;
    auto run = [&] {
        Handle h = NewHandleClear(sizeof(RcEffectRecord));
        owned.push_back(h);
        auto& r = *reinterpret_cast<RcEffectRecord*>(*h);
        r.source1 = HandleToWord(a);
        r.source2 = HandleToWord(b);
        r.destination = HandleToWord(d);
        r.part = 1;
        r.total = 2;
        r.version = kRcEffectRecordVersion;
        return EffectCore(3, h, nullptr, &s);
    };
    // Not declared: asked, and an answer of 0 with slot 396 positive gives
    // the module square pixels (the sources widened to 36 of 40).
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(selectors, (std::vector<int16_t>{kRcEffectAspectQuery, kRcEffectProcess}));
    ASSERT_EQ(sourceWidths.size(), 1u);
    EXPECT_EQ(sourceWidths[0], 36);
    EXPECT_EQ(widthOf(d), 40);
    // Declared in the PiPL: the module runs on the pictures as they are.
    declaresAnyAspect = true;
    selectors.clear();
    sourceWidths.clear();
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(selectors, (std::vector<int16_t>{kRcEffectProcess}));
    ASSERT_EQ(sourceWidths.size(), 1u);
    EXPECT_EQ(sourceWidths[0], 40);
    for (int32_t x : {0, 17, 39}) EXPECT_EQ(at(d, x, 3), at(a, x, 3)) << x;
}

TEST_F(PathsTest, ThePlaybackModuleRendersIntoTheDestinationOrEndsTheFrame) {
    abTracks({item(bars, 0, 10)}, {});
    setup();
    PPixHand dst = ctx().destination;
    const int32_t bytes = ppixGetRowbytes(dst) * 120;
    // Real time off, or no module, or a module that cannot: software only.
    rt.module = 9;
    rt.canRender = 1;
    render(3);
    EXPECT_EQ(rt.calls, 0);
    SetAGlobal(kSlotRealTime, 1);
    rt.canRender = 0;
    render(3);
    EXPECT_EQ(rt.calls, 0);
    EXPECT_EQ(at(dst, barX(1), 60), barColour(1));

    // A module that renders gets the destination and its size; the frame
    // then goes on in software.
    rt.canRender = 1;
    rt.answer = 1;
    clearTo(dst, Pixel{1, 2, 3, 4});
    const FmRect r = ctx().frame;
    EXPECT_FALSE(EffectFrame(context, 1, 3, &kBase, &r, 0x220, 3, table, 0, nullptr));
    EXPECT_EQ(rt.calls, 1);
    EXPECT_EQ(rt.time, 3);
    EXPECT_EQ(rt.mode, 2);
    EXPECT_EQ(rt.destination, static_cast<void*>(dst));
    EXPECT_EQ(rt.size, bytes);
    EXPECT_EQ(at(dst, barX(1), 60), barColour(1));

    // A module that fails ends the frame: the destination is as it was.
    rt.answer = 0;
    clearTo(dst, Pixel{1, 2, 3, 4});
    EXPECT_FALSE(EffectFrame(context, 1, 3, &kBase, &r, 0x120, 3, table, 0, nullptr));
    EXPECT_EQ(rt.calls, 2);
    EXPECT_EQ(rt.mode, 1);
    EXPECT_EQ(at(dst, barX(1), 60), (Pixel{1, 2, 3, 4}));
    // Without a track table the module is never asked.
    EffectFrame(context, 1, 3, &kBase, &r, 0x20, 3, nullptr, 0, nullptr);
    EXPECT_EQ(rt.calls, 2);
}

TEST_F(PathsTest, TheFieldPathLetterboxesAClipKeptAtItsAspectAsTheFramePathDoes) {
    // A picture twice as wide as the frame's shape: bars above and below.
    const int16_t wide =
        addSynth("wide.synth", "kind bars\nwidth 320\nheight 80\nrate 25\nframes 50\n");
    ASSERT_GT(wide, 0);
    Handle a = item(wide, 0, 10);
    SetClipAspect(rec(a)->clipID, 1);
    SetClipAspectColor(rec(a)->clipID, 0x0000FF);  // 0x00BBGGRR: red
    abTracks({a}, {});
    setup();
    std::vector<Pixel> frame;
    PPixHand out = render(2);
    for (int32_t y = 0; y < 120; ++y) frame.push_back(at(out, barX(2), y));
    EXPECT_EQ(frame[5], (Pixel{0, 0, 255, 0}));  // the bars carry no alpha
    EXPECT_EQ(frame[60], barColour(2));
    EXPECT_EQ(frame[114], (Pixel{0, 0, 255, 0}));
    for (int32_t flags : {0x120, 0x220}) {
        out = render(2, flags);
        int32_t differ = 0;
        for (int32_t y = 0; y < 120; ++y) differ += !(at(out, barX(2), y) == frame[size_t(y)]);
        // Only the rows at the bars' edges may round to the other side.
        EXPECT_LE(differ, 2) << "flags 0x" << std::hex << flags;
        EXPECT_EQ(at(out, barX(2), 5), (Pixel{0, 0, 255, 0}));
        EXPECT_EQ(at(out, barX(2), 60), barColour(2));
        EXPECT_EQ(at(out, barX(2), 114), (Pixel{0, 0, 255, 0}));
    }
}

}  // namespace
