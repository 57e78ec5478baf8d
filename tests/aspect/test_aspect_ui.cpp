// The preset list of dialogs, descriptions, and the code kept with a file.
#include <string>

#include "aspect_fixture.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/windows.h"

using namespace aspecttest;

namespace {

std::string entryText(FmWindow list, int32_t i, FmPARCode* c = nullptr) {
    char text[300];
    if (!FmPARUIListEntry(list, i, text, sizeof text, c)) return "<none>";
    return text;
}

TEST_F(AspectTest, DescriptionsAndTheirLengths) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    char text[64];
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(648, 720), 0, text, sizeof text), 1);
    EXPECT_STREQ(text, "D1/DV NTSC (0.9)");
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(9, 10), 0, text, sizeof text), 1);  // equal ratio
    EXPECT_STREQ(text, "D1/DV NTSC (0.9)");
    EXPECT_EQ(FmGetPixelAspectRatioDesc(0, 0, text, sizeof text), 0);
    EXPECT_STREQ(text, "Square Pixels (1.0)");
    EXPECT_EQ(FmGetPixelAspectRatioDesc(0, code(768, 720), text, sizeof text), 1);
    EXPECT_STREQ(text, "D1/DV PAL (1.067)");
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(3, 2), 0, text, sizeof text), 1);
    EXPECT_STREQ(text, "1.500");
    // short lengths: terminated inside them, nothing written past
    std::memset(text, 'X', sizeof text);
    FmGetPixelAspectRatioDesc(code(648, 720), 0, text, 5);
    EXPECT_STREQ(text, "D1/D");
    EXPECT_EQ(text[5], 'X');
    std::memset(text, 'X', sizeof text);
    FmGetPixelAspectRatioDesc(code(648, 720), 0, text, 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(text[1], 'X');
    std::memset(text, 'X', sizeof text);
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(648, 720), 0, text, 0), 1);
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(648, 720), 0, text, -3), 1);
    EXPECT_EQ(text[0], 'X');
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(648, 720), 0, nullptr, 10), 1);
}

TEST_F(AspectTest, DialogList) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const FmRect r{0, 0, 100, 100};
    const FmWindow dialog = FmWndCreate(0, &r, "dialog", nullptr, 0);
    ASSERT_NE(dialog, 0u);
    const FmWindow other = FmWndCreate(dialog, &r, "other", nullptr, 0);
    const FmWindow list = FmWndCreate(dialog, &r, "list", nullptr, 0);
    FmWndSetProp(other, "DlgItem", 3);
    FmWndSetProp(list, "DlgItem", 7);
    EXPECT_EQ(FmPARUIListControl(dialog, 7), list);
    EXPECT_EQ(FmPARUIListControl(dialog, 8), 0u);

    // an unset code selects square pixels, as the description says
    FmPARUIInitList(dialog, 7, 0);
    EXPECT_EQ(FmPARUIListCount(list), 8);
    EXPECT_EQ(FmPARUIListSelection(list), 0);
    EXPECT_EQ(FmPARUIPARFromItem(list), kPARSquare);
    EXPECT_TRUE(FmPARUIListEnabled(list));
    char desc[64];
    FmGetPixelAspectRatioDesc(0, 0, desc, sizeof desc);
    EXPECT_EQ(entryText(list, 0), desc);

    // an equal preset is selected, the first of several
    FmPARUIInitList(dialog, 7, code(1296, 1440));
    EXPECT_EQ(FmPARUIListCount(list), 8);
    EXPECT_EQ(FmPARUIListSelection(list), 1);
    EXPECT_EQ(FmPARUIPARFromItem(list), code(648, 720));

    // a code without an equal preset joins this list only, named by its ratio
    FmPARUIInitList(dialog, 7, code(4, 3));
    ASSERT_EQ(FmPARUIListCount(list), 9);
    FmPARCode c = 0;
    EXPECT_EQ(entryText(list, 8, &c), "1.333");
    EXPECT_EQ(c, code(4, 3));
    EXPECT_EQ(FmPARUIListSelection(list), 8);
    EXPECT_EQ(FmPARUIPARFromItem(list), code(4, 3));
    EXPECT_EQ(FmPARPresetCount(), 8);

    // the user picks another entry
    EXPECT_TRUE(FmPARUIListSelect(list, 5));
    EXPECT_EQ(FmPARUIPARFromItem(list), code(2, 1));
    EXPECT_FALSE(FmPARUIListSelect(list, 9));
    EXPECT_EQ(entryText(list, 9), "<none>");

    // no dialog item, no list
    FmPARUIInitList(dialog, 99, 0);
    EXPECT_EQ(FmPARUIListCount(other), 0);
    EXPECT_EQ(FmPARUIPARFromItem(other), 0u);
    EXPECT_EQ(FmPARUIListSelection(other), -1);

    // a single entry leaves the list disabled
    FmPixelAspectRatioShutdown();
    FmPARUIInitList(dialog, 7, code(4, 3));
    EXPECT_EQ(FmPARUIListCount(list), 1);
    EXPECT_FALSE(FmPARUIListEnabled(list));
    EXPECT_EQ(FmPARUIPARFromItem(list), code(4, 3));

    // a destroyed control has no list
    FmWndDestroy(dialog);
    EXPECT_EQ(FmPARUIListCount(list), 0);
    EXPECT_EQ(FmPARUIPARFromItem(list), 0u);
}

TEST_F(AspectTest, FileRecordThroughClips) {
    InitFileQueue();
    InitClipQueue();
    writeRules("");
    const int16_t file = AddFile(rulesPath().c_str(), 0, 0, 0x54455854);
    ASSERT_GT(file, 0);
    int32_t times[12] = {0, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    const TDB tb{0, 25, 1};
    const int32_t clip = AddClip(file, times, &tb, 1);
    ASSERT_GT(clip, 0);
    FmFileRecord* rec = rc::media::findFileRec(file);
    EXPECT_EQ(GetPixelAspectRatio(clip), 0u);  // not described yet
    FmInitPixelAspectRec(&rec->pixelAspect, nullptr, 648, 720);
    EXPECT_EQ(GetPixelAspectRatio(clip), code(648, 720));
    EXPECT_EQ(FmGetPixelAspectRatioForFile(&rec->pixelAspect), 0u);
    EXPECT_EQ(SetPixelAspectRatio(clip, code(4, 3)), code(648, 720));
    EXPECT_EQ(GetPixelAspectRatio(clip), code(4, 3));
    EXPECT_EQ(rec->pixelAspect.original, code(648, 720));  // the importer's stays
    EXPECT_EQ(FmGetPixelAspectRatioForFile(&rec->pixelAspect), code(4, 3));
    // clips without a file
    EXPECT_EQ(GetPixelAspectRatio(clip + 100), 0u);
    EXPECT_EQ(SetPixelAspectRatio(clip + 100, code(4, 3)), 0u);
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
}

}  // namespace
