// Display rectangles of movies inside frames.
#include "aspect_fixture.h"

using namespace aspecttest;

namespace {

FmRect calc(const FmRect* frame, int32_t w, int32_t h, FmPARCode c, bool centre, bool steps) {
    FmRect r{-9, -9, -9, -9};
    FmCalcMovieRect(frame, w, h, c, centre, steps, &r);
    return r;
}

bool same(const FmRect& a, const FmRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

#define EXPECT_RECT(r, l, t, rt, b) EXPECT_PRED2(same, (r), (FmRect{l, t, rt, b}))

class MovieRect : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        SetAGlobal(kSlotPARDisplay, 1);
    }
};

TEST_F(MovieRect, WithoutFrameAndEmpty) {
    const FmPARCode ntsc = code(648, 720);
    EXPECT_RECT(calc(nullptr, 720, 480, ntsc, true, true), 0, 0, 648, 480);
    EXPECT_RECT(calc(nullptr, 720, 480, kPARSquare, false, false), 0, 0, 720, 480);
    const FmRect empty{10, 10, 10, 200};
    EXPECT_RECT(calc(&empty, 720, 480, ntsc, true, false), 0, 0, 0, 0);
    const FmRect inverted{10, 300, 200, 20};
    EXPECT_RECT(calc(&inverted, 720, 480, ntsc, true, false), 0, 0, 0, 0);
    const FmRect frame{0, 0, 800, 600};
    EXPECT_RECT(calc(&frame, 0, 480, ntsc, true, false), 0, 0, 0, 0);
    EXPECT_RECT(calc(&frame, 720, 0, ntsc, true, false), 0, 0, 0, 0);
    EXPECT_RECT(calc(&frame, -720, 480, ntsc, true, false), 0, 0, 0, 0);
    FmCalcMovieRect(&frame, 720, 480, ntsc, 1, 0, nullptr);  // no output: nothing happens
}

TEST_F(MovieRect, FitKeepsTheProportion) {
    const FmRect frame{0, 0, 320, 240};
    // wider than the frame's shape: full width
    EXPECT_RECT(calc(&frame, 1920, 1080, kPARSquare, false, false), 0, 0, 320, 180);
    // taller: full height, width trunc(g x 240)
    EXPECT_RECT(calc(&frame, 1000, 1000, kPARSquare, false, false), 0, 0, 240, 240);
    EXPECT_RECT(calc(&frame, 700, 1000, kPARSquare, false, false), 0, 0, 168, 240);
    // fits already: unchanged
    EXPECT_RECT(calc(&frame, 100, 50, kPARSquare, false, false), 0, 0, 100, 50);
    // the same proportion as the frame takes the width branch
    EXPECT_RECT(calc(&frame, 640, 480, kPARSquare, false, false), 0, 0, 320, 240);
    // 720 x 480 NTSC is 648 x 480 in square pixels
    EXPECT_RECT(calc(&frame, 720, 480, code(648, 720), false, false), 0, 0, 320, 237);
}

TEST_F(MovieRect, WholeSteps) {
    const FmRect frame{0, 0, 800, 600};
    // 4x is tried first
    EXPECT_RECT(calc(&frame, 160, 120, kPARSquare, false, true), 0, 0, 640, 480);
    EXPECT_RECT(calc(&frame, 200, 150, kPARSquare, false, true), 0, 0, 800, 600);
    EXPECT_RECT(calc(&frame, 320, 240, kPARSquare, false, true), 0, 0, 640, 480);
    EXPECT_RECT(calc(&frame, 720, 480, kPARSquare, false, true), 0, 0, 720, 480);
    EXPECT_RECT(calc(&frame, 1920, 1080, kPARSquare, false, true), 0, 0, 480, 270);
    // the height decides as well
    EXPECT_RECT(calc(&frame, 100, 700, kPARSquare, false, true), 0, 0, 50, 350);
    // large sizes step down without overflowing
    const FmRect big{0, 0, INT32_MAX, INT32_MAX};
    EXPECT_RECT(calc(&big, INT32_MAX, INT32_MAX, kPARSquare, false, true), 0, 0, INT32_MAX,
                INT32_MAX);
    EXPECT_RECT(calc(&big, 1 << 29, 1 << 30, code(2, 1), false, true), 0, 0, 1 << 30, 1 << 30);
    // a very tall movie can shrink to no width
    EXPECT_RECT(calc(&frame, 1, 100000, kPARSquare, false, true), 0, 0, 0, 390);
}

TEST_F(MovieRect, CentreAndTheDisplaySwitch) {
    const FmRect frame{100, 50, 901, 651};  // 801 x 601
    EXPECT_RECT(calc(&frame, 720, 480, kPARSquare, true, false), 140, 110, 860, 590);
    EXPECT_RECT(calc(&frame, 720, 480, code(648, 720), true, false), 176, 110, 824, 590);
    SetAGlobal(kSlotPARDisplay, 0);
    EXPECT_RECT(calc(&frame, 720, 480, code(648, 720), true, false), 140, 110, 860, 590);
    EXPECT_RECT(calc(nullptr, 720, 480, code(648, 720), true, false), 0, 0, 720, 480);
    // centring within a frame at negative coordinates
    const FmRect neg{-400, -300, 400, 300};
    SetAGlobal(kSlotPARDisplay, 1);
    EXPECT_RECT(calc(&neg, 101, 51, kPARSquare, true, false), -51, -26, 50, 25);
}

}  // namespace
