// Setup of video filters and transitions: the record a setup gets, what goes
// back into the filter list entry or the transition item, bounded names.
#include "filter_fixture.h"

using namespace filtertest;

namespace {

const TDB k100{0, 100, 1};

std::pair<int32_t, int32_t> pairOf(uint32_t word) {
    Handle h = WordToHandle(word);
    int32_t v[2] = {-1, -1};
    if (h && GetHandleSize(h) >= 8) std::memcpy(v, *h, 8);
    return {v[0], v[1]};
}

class Setup : public FilterTest {
  protected:
    static RcFilterListEntry entryFor(int16_t fileID, Handle settings) {
        RcFilterListEntry e{};
        e.fileID = fileID;
        e.compSpec = HandleToWord(settings);
        std::strcpy(e.instanceName, "before");
        return e;
    }
};

TEST_F(Setup, VideoFilterSetupFillsTheRecordAndKeepsWhatTheModuleLeaves) {
    const int16_t probe = testModule("setup_filter", cc("VFlt"));
    const int32_t clip = this->clip(10, 109, k100, 40);
    RcFilterListEntry e = entryFor(probe, NewHandle(8));
    ASSERT_EQ(VidFilterSetup(clip, &k100, 30, &e, nullptr, 0), noErr);
    // part = time - clip start, total = clip width.
    EXPECT_EQ(pairOf(+e.compSpec), std::make_pair(20, 100));
    EXPECT_EQ(std::string(e.instanceName), std::string(31, 'N')) << "bounded and terminated";

    // Time 0 means the clip's marker 0 ...
    std::strcpy(e.instanceName, "before");
    ASSERT_EQ(VidFilterSetup(clip, &k100, 0, &e, nullptr, 0), noErr);
    EXPECT_EQ(pairOf(+e.compSpec).first, 30);
    // ... or, without one, the clip's start.
    const int32_t plain = this->clip(10, 109, k100);
    std::strcpy(e.instanceName, "before");
    ASSERT_EQ(VidFilterSetup(plain, &k100, 0, &e, nullptr, 0), noErr);
    EXPECT_EQ(pairOf(+e.compSpec).first, 0);

    // Asked first (-1), a module content with the present settings is not
    // set up: settings and name stay.
    const uint32_t kept = e.compSpec;
    std::strcpy(e.instanceName, "kept");
    EXPECT_EQ(VidFilterSetup(clip, &k100, 30, &e, nullptr, -1), noErr);
    EXPECT_EQ(+e.compSpec, kept);
    EXPECT_STREQ(e.instanceName, "kept");
    DisposeHandle(WordToHandle(e.compSpec));

    // A failed setup: the settings still go back, the name does not.
    RcFilterListEntry bad = entryFor(testModule("entryless", cc("VFlt")), nullptr);
    EXPECT_EQ(VidFilterSetup(clip, &k100, 30, &bad, nullptr, 0), 1);
    EXPECT_EQ(+bad.compSpec, 0u);
    EXPECT_STREQ(bad.instanceName, "before");

    // The tint sample accepts its defaults without a dialog.
    RcFilterListEntry tint = entryFor(sample("vf-tint", cc("VFlt")), nullptr);
    ASSERT_EQ(VidFilterSetup(clip, &k100, 30, &tint, nullptr, 0), noErr);
    ASSERT_NE(+tint.compSpec, 0u);
    Tint t;
    std::memcpy(&t, *WordToHandle(tint.compSpec), sizeof t);
    EXPECT_EQ(t.amount, 50);
    EXPECT_STREQ(tint.instanceName, "Tint");
    DisposeHandle(WordToHandle(tint.compSpec));
}

TEST_F(Setup, VideoFilterSetupSeesTheFramePassedThroughTheFiltersBeforeIt) {
    const int16_t probe = testModule("setup_filter", cc("VFlt"));
    const int16_t tint = sample("vf-tint", cc("VFlt"));
    // The clip's movie cannot be read, so its frame is transparent black:
    // whatever colour the preview has comes from the filters before.
    const int32_t clip = this->clip(10, 109, k100);
    auto entry = [&](std::vector<std::pair<int32_t, Tint>> k, uint8_t shy) {
        RcFilterListEntry e{};
        e.fileID = tint;
        e.compSpec = HandleToWord(keys<Tint>(tint, k));
        e.shy = shy;
        return e;
    };
    // Fully green, then half-way to red; a switched-off blue tint between.
    const RcFilterListEntry chain[] = {
        entry({{0, {100, {0, 255, 0, 0}}}, {100, {100, {0, 255, 0, 0}}}}, 0),
        entry({{0, {100, {0, 0, 255, 0}}}}, 1),
        entry({{0, {50, {255, 0, 0, 0}}}, {100, {50, {255, 0, 0, 0}}}}, 0)};
    Handle before = NewHandleClear(sizeof chain);
    std::memcpy(*before, chain, sizeof chain);

    auto seenPixel = [&](Handle filters) {
        RcFilterListEntry e = entryFor(probe, nullptr);
        EXPECT_EQ(VidFilterSetup(clip, &k100, 30, &e, filters, 0), noErr);
        Handle s = WordToHandle(e.compSpec);
        uint32_t pixel = 0xDEADBEEF;
        if (s && GetHandleSize(s) >= 12) std::memcpy(&pixel, *s + 8, 4);
        DisposeHandle(s);
        return pixel;
    };
    const uint32_t seen = seenPixel(before);
    EXPECT_EQ(red(seen), tinted(tinted(0, 0, 100), 255, 50));
    EXPECT_EQ(green(seen), tinted(tinted(0, 255, 100), 0, 50));
    EXPECT_EQ(blue(seen), 0) << "the switched-off filter is skipped";
    // Without filters before it, the setup sees the clip's own frame.
    const uint32_t plain = seenPixel(nullptr);
    EXPECT_EQ(red(plain), 0);
    EXPECT_EQ(green(plain), 0);
    // The filters before keep their settings.
    RcFilterListEntry after[3];
    std::memcpy(after, *before, sizeof after);
    EXPECT_EQ(key<Tint>(WordToHandle(after[0].compSpec), 0).amount, 100);
    EXPECT_EQ(key<Tint>(WordToHandle(after[2].compSpec), 1).amount, 50);
    for (const RcFilterListEntry& e : after) DisposeCompSpec(WordToHandle(e.compSpec));
    DisposeHandle(before);
}

TEST_F(Setup, TransitionSetupWritesSettingsPointsAndTitleBackToTheItem) {
    const int16_t probe = testModule("setup_effect", cc("SPFX"));
    TrackItemRec item{};
    item.clipID = moduleClip(probe, k100);
    ASSERT_GT(item.clipID, 0);
    item.transition.source = 1;
    item.transition.startPoint = FmPoint{10, 20};
    item.transition.endPoint = FmPoint{30, 40};
    item.transition.centerPoint = FmPoint{58, 43};
    item.transition.settings = HandleToWord(NewHandle(8));
    ASSERT_EQ(FXSetup(&item, 5, 30, &k100, nullptr), noErr);
    EXPECT_EQ(pairOf(+item.transition.settings), std::make_pair(30, 10))
        << "the given total and the point as stored";
    EXPECT_EQ(+item.transition.reverse, 1);
    EXPECT_EQ(+item.transition.source, 1);
    EXPECT_EQ(+item.transition.startPoint.x, 15);
    EXPECT_EQ(+item.transition.centerPoint.y, 50);
    char title[32];
    int16_t isTitle = 0;
    GetClipTitle(item.clipID, title, &isTitle);
    EXPECT_EQ(std::string(title), std::string(31, 'T'));
    EXPECT_EQ(isTitle, 1);
    DisposeHandle(WordToHandle(item.transition.settings));

    // A module that cannot be reached changes nothing but answers 1.
    TrackItemRec other{};
    other.clipID = moduleClip(testModule("entryless", cc("SPFX")), k100);
    other.transition.startPoint = FmPoint{1, 2};
    EXPECT_EQ(FXSetup(&other, 0, 10, &k100, nullptr), 1);
    EXPECT_EQ(+other.transition.startPoint.x, 1);
    EXPECT_EQ(+other.transition.settings, 0u);
}

}  // namespace
