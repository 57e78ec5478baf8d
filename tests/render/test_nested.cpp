// Nested timelines: an item whose file is a timeline shows that timeline at
// the item's local time, as deep as slot 92 allows, and transparent black
// (class 1) beyond.
#include "render_fixture.h"

namespace {

using namespace rendertest;

class NestedTest : public RenderTest {
  protected:
    void TearDown() override {
        SetAGlobal(kSlotNestingDepth, 0);
        RenderTest::TearDown();
    }
    // A 'LAYR' file showing `inner`.
    int16_t nestedFile(const std::string& name, Handle inner) {
        const int16_t id = AddFile((dir + "/" + name).c_str(), 0, 0, kFileTypeNested);
        EXPECT_GT(id, 0);
        Handle block = NewHandle(sizeof(FmNestedTimeline));
        const FmNestedTimeline nested{kNestedTimelineTag, HandleToWord(inner)};
        std::memcpy(*block, &nested, sizeof nested);
        reinterpret_cast<FmFileRecord*>(*FindFile(id))->handlerData = block;
        return id;
    }
    // A table of one A track holding `items`.
    Handle tableOf(const std::vector<Handle>& items) {
        Handle saved = table;
        table = NewHandle(0);
        owned.push_back(table);
        abTracks(items, {});
        std::swap(saved, table);
        return saved;
    }
    static int16_t classAt(int32_t frame, Handle t) {
        int32_t time = frame;
        return TimeInfo(&time, 0x20, &kBase, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, t);
    }
};

TEST_F(NestedTest, NestedTimelinesRenderUpToTheDepthOfSlot92) {
    // Inner: the disc from frame 0; middle: the inner timeline from its
    // frame 5; outer: the middle one from frame 2 at time 10.
    Handle inner = tableOf({item(disc, 0, 50)});
    const int16_t innerFile = nestedFile("inner.layr", inner);
    Handle middle = tableOf({item(innerFile, 0, 40, 5)});
    const int16_t middleFile = nestedFile("middle.layr", middle);
    abTracks({item(middleFile, 10, 30, 2)}, {});
    setup();

    // What the disc shows at its frame 5 + 2 + 3 = 10, straight from its file.
    Handle direct = tableOf({item(disc, 0, 50)});
    std::swap(table, direct);
    auto picture = [&](int32_t frame, int32_t flags = 0x20) {
        std::vector<Pixel> seen;
        PPixHand p = render(frame, flags);
        for (int32_t y = 0; y < 120; y += 7)
            for (int32_t x = 0; x < 160; x += 9) seen.push_back(at(p, x, y));
        return seen;
    };
    const std::vector<Pixel> expected = picture(10), expectedFields = picture(10, 0x120);
    std::swap(table, direct);
    const std::vector<Pixel> clear(expected.size(), Pixel{0, 0, 0, 0});
    ASSERT_NE(expected, clear);

    // Depth 0 (the default) follows no nested timeline; 1 the middle one
    // only, whose inner timeline then stays empty.
    EXPECT_EQ(picture(13), clear);
    EXPECT_EQ(classAt(13, table), kRenderNothing);
    SetAGlobal(kSlotNestingDepth, 1);
    EXPECT_EQ(picture(13), clear);
    EXPECT_EQ(classAt(13, table), kRenderNothing);
    // Depth 2 reaches the disc.
    SetAGlobal(kSlotNestingDepth, 2);
    EXPECT_EQ(picture(13), expected);
    EXPECT_NE(classAt(13, table), kRenderNothing);
    EXPECT_NE(classAt(13, table), kRenderDirect);
    // Outside the outer item: nothing. On the field path each field of the
    // nested timeline is made as the disc's own fields are.
    EXPECT_EQ(picture(35), clear);
    EXPECT_EQ(picture(13, 0x120), expectedFields);

    // A 'LAYR' file without a timeline block renders nothing.
    const int16_t empty = AddFile((dir + "/empty.layr").c_str(), 0, 0, kFileTypeNested);
    Handle lone = tableOf({item(empty, 0, 10)});
    std::swap(table, lone);
    EXPECT_EQ(picture(3), clear);
    EXPECT_EQ(classAt(3, table), kRenderNothing);
    std::swap(table, lone);
}

}  // namespace
