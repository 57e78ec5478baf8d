// The importer module as registration finds it beside the media samples:
// the everyday extensions name its file types, and the synthetic sample
// keeps its own.
#include "ff_fixture.h"
#include "tests/plugins/plugin_fixture.h"

namespace {

using plugtest::PluginTest;

class Registration : public PluginTest {};

TEST_F(Registration, EverydayExtensionsNameTheImportersTypes) {
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(REEL_FFMPEG_DIR));
    AddPlugins();
    const auto lines = report();
    const FmPluginReport* line = lineFor(lines, "ffmpeg-import.fmx");
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->accepted) << line->reason;
    using fftest::cc;
    const struct {
        const char* path;
        OSType type;
    } names[] = {
        {"/m/clip.mp4", cc("MPG4")},  {"/m/clip.MOV", cc("MooV")}, {"/m/clip.mkv", cc("MKV ")},
        {"/m/clip.webm", cc("WEBM")}, {"/m/clip.avi", cc("VfW ")}, {"/m/clip.m2ts", cc("MPTS")},
        {"/m/tone.wav", cc("WAVE")},  {"/m/tone.mp3", cc("MP3 ")}, {"/m/tone.flac", cc("FLAC")},
        {"/m/tone.m4a", cc("M4A ")},  {"/m/tone.ogg", cc("OGG ")}, {"/m/shot.png", cc("PNG ")},
        {"/m/shot.jpeg", cc("JPEG")}, {"/m/shot.tif", cc("TIFF")}, {"/m/bars.synth", cc("SYNT")}};
    for (const auto& n : names) EXPECT_EQ(ExtensionToType(n.path), n.type) << n.path;
    // Types only this module reads go to it; the sample keeps its own.
    EXPECT_EQ(GetDrawType(cc("MPG4")), fftest::kHandler);
    EXPECT_EQ(GetDrawType(cc("MKV ")), fftest::kHandler);
    EXPECT_EQ(GetDrawType(cc("SYNT")), cc("SYNT"));
    EXPECT_EQ(GetTypeFlags(cc("JPEG")) & 0x0010, 0x0010) << "pictures are stills";
}

}  // namespace
