// The plug-in cache: second starts without reading unchanged modules.
#include "tests/plugins/plugin_fixture.h"

using namespace plugtest;

namespace {

class Cache : public PluginTest {
  protected:
    struct Counts {
        int32_t loaded, read, cached;
    };
    static Counts counts() {
        Counts c{};
        FmGetPluginScanCounts(&c.loaded, &c.read, &c.cached);
        return c;
    }
    void populate() {
        videoFilter("blur.fmx", 3, "Blur");
        videoFilter("glow.fmx", 2, "Glow");
        module("echo.fmx", {{cc("TYPE"), 1000, word32(cc("AFlt"))}, {cc("FLvs"), 1000, word16(2)}});
        module("movie.fmx", {{cc("TYPE"), 1000, word32(cc("ExpD"))},
                             {cc("EXvs"), 1000, word16(2)},
                             {cc("FLAG"), 1000, word16(0x8000)}});
        // Effects and modules of several kinds are never taken from the cache.
        module("wipe.fmx", {{cc("TYPE"), 1000, word32(cc("SPFX"))}, {cc("FXvs"), 1000, word16(3)}});
        module("both.fmx", {{cc("TYPE"), 1000, word32(cc("VFlt"))},
                            {cc("TYPE"), 1001, word32(cc("AFlt"))},
                            {cc("FLvs"), 1000, word16(3)}});
    }
};

TEST_F(Cache, SecondStartRegistersWithoutReading) {
    populate();
    AddPlugins();
    EXPECT_EQ(counts().read, 6);
    EXPECT_EQ(counts().cached, 0);
    const auto firstVideo = list(kSlotVideoFilters).size();
    const auto firstExports = list(kSlotExportModules);
    ASSERT_EQ((stored()[{cc("PlSv"), 1000}].size()), 6 * sizeof(FmPluginCacheRecord));

    restart();
    AddPlugins();
    EXPECT_EQ(counts().cached, 4);
    EXPECT_EQ(counts().read, 2);  // wipe.fmx and both.fmx
    EXPECT_EQ(counts().loaded, 0);
    EXPECT_EQ(list(kSlotVideoFilters).size(), firstVideo);
    EXPECT_EQ(list(kSlotAudioFilters).size(), 2u);  // both.fmx keeps its second kind
    EXPECT_EQ(list(kSlotEffects).size(), 1u);
    const int16_t blur = idOf(dir + "/blur.fmx");
    EXPECT_EQ(GetFileVersion(blur), 3);
    EXPECT_EQ(GetFileTypeID(blur), cc("VFlt"));
    char name[260];
    GetFileText(blur, name);
    EXPECT_STREQ(name, "Blur");
    EXPECT_EQ(MatchName("Blur"), blur);
    const int16_t movie = idOf(dir + "/movie.fmx");
    EXPECT_EQ(list(kSlotExportModules), std::vector<int16_t>{int16_t(uint16_t(movie | 0x8000))});
    const auto firstLines = report();
    const FmPluginReport* line = lineFor(firstLines, "blur.fmx");
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->fromCache);

    // Touching one module makes it read again.
    touch(dir + "/glow.fmx", 10);
    restart();
    AddPlugins();
    EXPECT_EQ(counts().cached, 3);
    EXPECT_EQ(counts().read, 3);
    const auto touchedLines = report();
    ASSERT_NE(lineFor(touchedLines, "glow.fmx"), nullptr);
    EXPECT_FALSE(lineFor(touchedLines, "glow.fmx")->fromCache);

    // A module that is gone leaves the cache.
    std::remove((dir + "/blur.fmx").c_str());
    restart();
    AddPlugins();
    Handle cache = reinterpret_cast<Handle>(GetAGlobal(kSlotPluginCache));
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(FmGetHandleSize(cache), 5 * sizeof(FmPluginCacheRecord));
    EXPECT_EQ(idOf(dir + "/blur.fmx"), 0);
}

TEST_F(Cache, DamagedCacheIsNotTrusted) {
    populate();
    AddPlugins();
    Bytes& records = stored()[{cc("PlSv"), 1000}];
    ASSERT_FALSE(records.empty());
    // A store whose size is no multiple of a record, with a record whose
    // path has no NUL: the partial record and the bad one are dropped.
    auto* recs = reinterpret_cast<FmPluginCacheRecord*>(records.data());
    std::memset(recs[0].path, 'x', sizeof recs[0].path);
    records.resize(records.size() + 100, 0x55);
    int32_t size = int32_t(records.size());
    stored()[{cc("PlSz"), 1000}] =
        Bytes(reinterpret_cast<uint8_t*>(&size), reinterpret_cast<uint8_t*>(&size) + 4);
    restart();
    AddPlugins();
    EXPECT_EQ(counts().cached + counts().read, 6);
    EXPECT_EQ(counts().read, 3);  // the damaged record's module and the two untrusted

    // A size beyond reason is not believed at all.
    size = 0x7FFFFFF0;
    stored()[{cc("PlSz"), 1000}] =
        Bytes(reinterpret_cast<uint8_t*>(&size), reinterpret_cast<uint8_t*>(&size) + 4);
    restart();
    AddPlugins();
    EXPECT_EQ(counts().read, 6);
}

TEST_F(Cache, NoMainWindowMeansNoCache) {
    populate();
    SetAGlobal(kSlotMainWnd, 0);
    rc::platform::destroyAllWindows();
    AddPlugins();
    restart();
    AddPlugins();
    EXPECT_EQ(counts().cached, 0);
    EXPECT_EQ(counts().read, 6);
    EXPECT_TRUE(stored().empty());
}

}  // namespace
