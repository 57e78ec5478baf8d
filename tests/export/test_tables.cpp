// What the export host learns from a module at start-up: the exporter,
// compressor and audio tables with their corrections, lookups, hostile
// descriptions, and the catalog the settings validate against.
#include "tests/export/export_fixture.h"

namespace exporttest {
namespace {

TEST_F(ExportTest, StartupFillsTheThreeTablesAndFindsExporters) {
    const int16_t id = start(REEL_EXPTEST_MODULE);
    ASSERT_EQ(rc::exporthost::exporterCount(), 2);
    RcCompilerInfo first{}, second{};
    ASSERT_TRUE(GetIndexedCompilerEntry(0, &first));
    ASSERT_TRUE(GetIndexedCompilerEntry(1, &second));
    EXPECT_FALSE(GetIndexedCompilerEntry(2, nullptr));
    EXPECT_FALSE(GetIndexedCompilerEntry(-1, nullptr));
    EXPECT_EQ(+first.fileID, id);
    EXPECT_EQ(+first.repeatIndex, 0);
    EXPECT_EQ(+second.repeatIndex, 1);
    // A module that leaves the name empty is listed under its file's text.
    char text[260] = "";
    GetFileText(id, text);
    EXPECT_STREQ(first.name, text);
    EXPECT_STREQ(second.name, "Second");
    EXPECT_STREQ(first.extension, "tst");

    // Custom exporters are counted and indexed among themselves.
    EXPECT_EQ(GetCustomCompilerCount(), 1);
    RcCompilerInfo custom{};
    EXPECT_TRUE(GetIndexedCustomCompilerEntry(0, &custom));
    EXPECT_EQ(+custom.classID, cc("????"));
    EXPECT_FALSE(GetIndexedCustomCompilerEntry(1, &custom));

    // An exact class wins; any other class falls back to '????'.
    RcCompilerInfo found{};
    ASSERT_TRUE(FindCompiler(cc("TEST"), cc("CLS2"), &found));
    EXPECT_EQ(+found.repeatIndex, 1);
    for (OSType anyClass : {cc("ABCD"), cc("????"), OSType(0)}) {
        ASSERT_TRUE(FindCompiler(cc("TEST"), anyClass, &found));
        EXPECT_EQ(+found.repeatIndex, 0);
    }
    EXPECT_FALSE(FindCompiler(cc("NONE"), cc("????"), &found));

    // One video and one audio compressor; 'RAW ' without a name is named.
    ASSERT_EQ(rc::exporthost::compressorCount(), 1);
    RcCompressorInfo c{};
    ASSERT_TRUE(FindCompilerSubtype(id, cc("TEST"), cc("CLS2"), cc("RAW "), &c));
    EXPECT_STREQ(c.name, "Uncompressed");
    EXPECT_EQ(+c.depthMask, 60u);
    EXPECT_EQ(+c.info, 4);
    EXPECT_FALSE(FindCompilerSubtype(id, cc("TEST"), cc("????"), cc("rpza"), &c));
    EXPECT_FALSE(FindCompilerSubtype(int16_t(id + 1), cc("TEST"), cc("????"), cc("RAW "), &c));
    RcAudioCompressorInfo a{};
    ASSERT_TRUE(FindCompilerAudioCompressor(id, cc("TEST"), cc("????"), cc("RAW "), &a));
    EXPECT_STREQ(a.name, "Uncompressed");
    // The format list is the host's copy: the module's code is unloaded now.
    ASSERT_NE(+a.formats, nullptr);
    EXPECT_EQ(+a.formats[0].bits, kRcAudio16Stereo);
    EXPECT_EQ(+a.formats[0].rate, 48000);
    EXPECT_EQ(+a.formats[1].bits, kRcAudio8Mono);
    EXPECT_EQ(+a.formats[2].bits, 0);

    // Shutdown reaches every exporter and empties the tables.
    CompilerShutdown();
    EXPECT_EQ(+state.shutdowns, 2);
    EXPECT_FALSE(GetIndexedCompilerEntry(0, nullptr));
    EXPECT_FALSE(GetIndexedCompilerSubTypeEntry(0, nullptr));
    EXPECT_FALSE(GetIndexedCompilerAudioEntry(0, nullptr));
}

TEST_F(ExportTest, CompressorValuesAreCorrected) {
    state.mode = kExpTestCorrections;
    const int16_t id = start(REEL_EXPTEST_MODULE);
    // The fourth description leaves the code untouched: three compressors.
    ASSERT_EQ(rc::exporthost::compressorCount(), 3);
    RcCompressorInfo raw{}, fixed{};
    ASSERT_TRUE(FindCompilerSubtype(id, cc("TEST"), cc("????"), cc("RAW "), &raw));
    EXPECT_EQ(+raw.minValue, 1);
    EXPECT_EQ(+raw.minWidth, 1);
    EXPECT_EQ(+raw.minHeight, 1);
    EXPECT_EQ(+raw.maxWidth, 4000);   // 0 is listed as 4000
    EXPECT_EQ(+raw.maxHeight, 4000);  // so is 5000
    EXPECT_EQ(+raw.fixedRate, 0);     // a rate value of 0 clears the fixed rate
    EXPECT_EQ(+raw.qualityLimit, 100);
    EXPECT_STREQ(raw.name, "Uncompressed");
    ASSERT_TRUE(FindCompilerSubtype(id, cc("TEST"), cc("????"), cc("fixd"), &fixed));
    EXPECT_EQ(+fixed.fixedRate, 1);
    EXPECT_EQ(+fixed.rateValue, 100);
    EXPECT_EQ(+fixed.rateScale, 2997);
    EXPECT_EQ(+fixed.qualityLimit, -1);
    EXPECT_EQ(+fixed.maxWidth, 720);
    EXPECT_STREQ(fixed.name, "Fixed");
}

TEST_F(ExportTest, HostileDescriptionsAreBounded) {
    // A module that always says another exporter follows is asked 1,000 times.
    state.mode = kExpTestEndless;
    start(REEL_EXPTEST_MODULE);
    ASSERT_EQ(rc::exporthost::exporterCount(), 1000);
    RcCompilerInfo info{};
    ASSERT_TRUE(GetIndexedCompilerEntry(999, &info));
    EXPECT_EQ(+info.repeatIndex, 999);
    EXPECT_EQ(strnlen(info.name, sizeof info.name), sizeof info.name - 1);
    EXPECT_EQ(strnlen(info.extension, sizeof info.extension), sizeof info.extension - 1);
    CompilerShutdown();

    // Names without NUL and a format list without its end.
    state = ExpTestState{};
    state.mode = kExpTestHostile;
    const int16_t id = start(REEL_EXPTEST_MODULE);
    RcCompressorInfo c{};
    ASSERT_TRUE(FindCompilerSubtype(id, cc("TEST"), cc("????"), cc("RAW "), &c));
    EXPECT_EQ(strnlen(c.name, sizeof c.name), sizeof c.name - 1);
    RcAudioCompressorInfo a{};
    ASSERT_TRUE(FindCompilerAudioCompressor(id, cc("TEST"), cc("????"), cc("RAW "), &a));
    EXPECT_EQ(strnlen(a.name, sizeof a.name), sizeof a.name - 1);
    int32_t n = 0;
    while (a.formats[n].bits != 0) ++n;
    EXPECT_EQ(n, 64);  // cut at 64 entries and terminated by the host
    EXPECT_EQ(+a.formats[63].rate, 8063);
}

TEST_F(ExportTest, AModuleWithoutEntryPointIsSkipped) {
    // The test binary's own folder holds no export module: a resource-only
    // file without code gives no entries.
    std::string path = dir + "/empty.fmx";
    { std::ofstream(path) << "not a module"; }
    start(path.c_str());
    EXPECT_EQ(rc::exporthost::exporterCount(), 0);
    EXPECT_EQ(GetCustomCompilerCount(), 0);
}

TEST_F(ExportTest, SettingsValidateAgainstTheTablesAndTheirAudioFormats) {
    start(REEL_EXPTEST_MODULE);
    Handle h = psetNewDefaultSettings();
    PsetBlock& s = *psetGetBlock(h);
    s.general.filetype = cc("NONE");
    s.audio.audrate = 22050;
    s.audio.audsamplesize = 0;
    s.audio.audstereo = 1;
    psetValidateProjectSettings(h, kPsetKindMovie);
    // The only exporter is taken, with its compressor.
    EXPECT_EQ(+s.general.filetype, cc("TEST"));
    EXPECT_EQ(+s.video.subtype, cc("RAW "));
    // 8-bit stereo at 22050 is not offered: the first entry decides.
    EXPECT_EQ(+s.audio.audrate, 48000);
    EXPECT_EQ(+s.audio.audsamplesize, 1);
    EXPECT_EQ(+s.audio.audstereo, 1);
    // 8-bit mono at any rate stands.
    s.audio.audrate = 11025;
    s.audio.audsamplesize = 0;
    s.audio.audstereo = 0;
    psetValidateProjectSettings(h, kPsetKindMovie);
    EXPECT_EQ(+s.audio.audrate, 11025);
    EXPECT_EQ(+s.audio.audsamplesize, 0);
    psetDisposeSettings(h);
}

}  // namespace
}  // namespace exporttest
