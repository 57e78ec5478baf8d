// Importer modules called through their entry point "xImportEntry": the
// module's FileID in slot 333 during the call, and the same pictures as the
// built-in copy of the importer.
#include <dlfcn.h>

#include "importer_fixture.h"
#include "reelcore/handlers.h"
#include "still_files.h"

namespace {

using namespace importtest;

class Modules : public ImportTest {};

#ifdef REEL_SYNTH_MODULE
TEST_F(Modules, SyntheticModuleDrawsWhatTheBuiltInCopyDraws) {
    const int16_t module = AddFile(REEL_SYNTH_MODULE, 0, 0, cc("IMPT"));
    ASSERT_GT(module, 0);
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable));
    ASSERT_EQ(AddMethod(cc("SYNM"), nullptr, table, module), 0);
    ASSERT_EQ(Add1XREF(cc("SYNM"), cc("SYNM"), cc("SYNM"), 0), 0);
    ASSERT_TRUE(ImporterExists(cc("SYNM")));

    const int16_t viaModule = addSynth("m.synth", kDiscText, cc("SYNM"));
    const int16_t builtIn = addSynth("b.synth", kDiscText);
    FmMediaInfo a{}, b{};
    ASSERT_EQ(GetInfo(viaModule, &a, 0), 0);
    ASSERT_EQ(GetInfo(builtIn, &b, 0), 0);
    EXPECT_EQ(std::memcmp(&a.frame, &b.frame, sizeof a.frame), 0);
    EXPECT_EQ(a.video.value, b.video.value);
    const PWorld wa = world(160, 120), wb = world(160, 120);
    const FmRect r{0, 0, 160, 120};
    const TDB t{33, 25, 1};
    ASSERT_EQ(GetVideo(&t, viaModule, wa, &r, 32, 0), 0);
    ASSERT_EQ(GetVideo(&t, builtIn, wb, &r, 32, 0), 0);
    for (int32_t y = 0; y < 120; y += 9)
        for (int32_t x = 0; x < 160; x += 9)
            ASSERT_EQ(ppixGetPixel(pwGetPPix(wa), x, y), ppixGetPixel(pwGetPPix(wb), x, y));
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 0) << "slot 333 is restored";
    EXPECT_EQ(FileClose(viaModule), 0);

    // The module asked to stay loaded: its code is still mapped after the
    // calls returned, so state it keeps between calls stays valid.
    void* stillLoaded = dlopen(REEL_SYNTH_MODULE, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(stillLoaded, nullptr);
    if (stillLoaded) dlclose(stillLoaded);
}
#endif

#ifdef REEL_STILL_MODULE
// The still module reads its file through the host's read callbacks.
TEST_F(Modules, StillModuleReadsThroughTheHost) {
    const int16_t module = AddFile(REEL_STILL_MODULE, 0, 0, cc("IMPT"));
    ASSERT_GT(module, 0);
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable));
    ASSERT_EQ(AddMethod(cc("STIM"), nullptr, table, module), 0);
    ASSERT_EQ(Add1XREF(cc("PNG "), cc("STIM"), cc("PICT"), 0x10), 0);
    const auto colour = [](int32_t x, int32_t y) { return 0xFF000000u | uint32_t(x * 40 + y); };
    const int16_t id =
        AddFile(write("pic.png", makePng(5, 3, false, colour)).c_str(), 0, 0, cc("PNG "));
    ASSERT_EQ(GetFileDraw(id), cc("STIM"));
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    EXPECT_EQ(info.frame.right, 5);
    const PWorld w = world(5, 3);
    const FmRect r{0, 0, 5, 3};
    ASSERT_EQ(GetVideo(nullptr, id, w, &r, 32, 0), 0);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(bgraAt(w, x, y), colour(x, y));
}
#endif

TEST_F(Modules, MissingImporterOrEntryAnswersTwo) {
    EXPECT_EQ(rc::plugins::callImporter(cc("NONE"), kRcImportStartup, 0, 0), 2);
    // A module without code: registered but without an entry point.
    const int16_t id = addSynth("fake.fmx", "not a module");
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable));
    ASSERT_EQ(AddMethod(cc("FAKE"), nullptr, table, id), 0);
    EXPECT_EQ(rc::plugins::callImporter(cc("FAKE"), kRcImportStartup, 0, 0), 2);
    EXPECT_FALSE(importerHasSetup(cc("FAKE")));
}

}  // namespace
