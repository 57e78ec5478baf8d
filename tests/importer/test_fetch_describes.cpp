// A frame fetched from a file nobody has described yet: the fetch reads the
// description itself, so the frame number, the picture size and the aspect
// bars are those of the file rather than of empty defaults.
#include "importer_fixture.h"

namespace {

using namespace importtest;

class FetchDescribes : public ImportTest {
  protected:
    static uint32_t rgb(PWorld w, int32_t x, int32_t y) {
        return ppixGetPixel(pwGetPPix(w), x, y) & 0xFFFFFF;
    }
};

TEST_F(FetchDescribes, FramesOfUndescribedFilesMatchDescribedOnes) {
    // The disc of the last frame (249 at 25 frames per second) lies at the
    // right; 30 frames per second, the empty default, would ask for 299.
    const int16_t fresh = addSynth("disc1.synth", kDiscText);
    const int16_t known = addSynth("disc2.synth", kDiscText);
    ASSERT_GT(fresh, 0);
    ASSERT_GT(known, 0);
    ASSERT_EQ(rc::media::findFileRec(fresh)->info.mediaFlags, 0);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(known, &info, 0), 0);
    const PWorld a = world(320, 240), b = world(320, 240);
    const FmRect r{0, 0, 320, 240};
    const TDB last{249, 25, 1};
    ASSERT_EQ(GetVideo(&last, fresh, a, &r, 32, 0), 0);
    ASSERT_EQ(GetVideo(&last, known, b, &r, 32, 0), 0);
    EXPECT_EQ(rgb(a, 280, 120), 0xDC0000u);
    for (int32_t x : {10, 40, 160, 280, 310}) EXPECT_EQ(rgb(a, x, 120), rgb(b, x, 120)) << x;
    EXPECT_NE(rc::media::findFileRec(fresh)->info.mediaFlags, 0);
    EXPECT_EQ(rc::media::findFileRec(fresh)->info.frame.right, 320);

    // Through a clip kept at its aspect: the bars need the picture's size.
    const int16_t wide =
        addSynth("wide.synth", "kind bars\nwidth 320\nheight 120\nrate 25\nframes 10\n");
    ASSERT_GT(wide, 0);
    const int32_t clip = NewClip(wide, nullptr, kClipVideo);
    SetClipAspect(clip, 1);
    SetClipAspectColor(clip, 0x0000FF);  // 0x00BBGGRR: red
    const TDB t{0, 25, 1};
    ASSERT_EQ(GetClipVideo(&t, clip, a, &r, 32), 0);
    EXPECT_EQ(rgb(a, 10, 10), 0xFF0000u);
    EXPECT_EQ(rgb(a, 10, 230), 0xFF0000u);
    EXPECT_EQ(rgb(a, 10, 120), 0xBFBFBFu);
}

}  // namespace
