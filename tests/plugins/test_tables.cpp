// The file-type tables and the match table.
#include <algorithm>

#include "tests/plugins/plugin_fixture.h"

using namespace plugtest;

namespace {

class Tables : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_TRUE(rc::plugins::ensureTypeTables());
    }
    static void text(OSType type, const std::string& desc, const std::string& exts) {
        ASSERT_TRUE(rc::plugins::appendTypeText(type, desc, exts));
    }
};

TEST_F(Tables, ExtensionsAndDescriptions) {
    text(cc("AAAA"), "Alpha", "aaa;*ccc");
    text(cc("BBBB"), "Beta", "bbb;aaa");
    text(cc("CCCC"), "Gamma", "*mpg;mpeg;bbb");
    // First extensions win over secondary ones, whatever the table order.
    EXPECT_EQ(ExtensionToType("/x/clip.aaa"), cc("AAAA"));
    EXPECT_EQ(ExtensionToType("/x/clip.BBB"), cc("BBBB"));
    EXPECT_EQ(ExtensionToType("/x/clip.ccc"), cc("AAAA"));
    EXPECT_EQ(ExtensionToType("/x/clip.mpg"), cc("CCCC"));  // the star is not part of it
    EXPECT_EQ(ExtensionToType("/x/clip.mpeg"), cc("CCCC"));
    EXPECT_EQ(ExtensionToType("/x.aaa/clip"), 0u);  // a dot in a folder name is no extension
    EXPECT_EQ(ExtensionToType("/x/clip."), 0u);
    EXPECT_EQ(ExtensionToType(nullptr), 0u);

    char ext[32];
    ASSERT_TRUE(TypeToExtension(cc("CCCC"), ext));
    EXPECT_STREQ(ext, "mpg");
    EXPECT_FALSE(TypeToExtension(cc("ZZZZ"), ext));
    EXPECT_STREQ(ext, "");
    EXPECT_STREQ(TypeToDescription(cc("BBBB")), "Beta");
    EXPECT_EQ(TypeToDescription(cc("ZZZZ")), nullptr);

    char path[260] = "/media/take.one/clip.old";
    ASSERT_TRUE(FixFileExtension(cc("AAAA"), path));
    EXPECT_STREQ(path, "/media/take.one/clip.aaa");
    char bare[260] = "/media/take.one/clip";
    ASSERT_TRUE(FixFileExtension(cc("BBBB"), bare));
    EXPECT_STREQ(bare, "/media/take.one/clip.bbb");
    // A path that would grow past its buffer is left alone.
    char full[260];
    std::memset(full, 'p', 258);
    full[258] = '\0';
    EXPECT_FALSE(FixFileExtension(cc("AAAA"), full));
    EXPECT_EQ(std::strlen(full), 258u);

    // An extension too long for the caller's buffer is not handed out.
    text(cc("LONG"), "Long", std::string(40, 'e'));
    EXPECT_FALSE(TypeToExtension(cc("LONG"), ext));
}

TEST_F(Tables, CrossReferenceLookups) {
    ASSERT_EQ(Add1XREF(cc("MOVx"), cc("IMP1"), cc("MooV"), 0x0600), noErr);
    ASSERT_EQ(Add1XREF(cc("MOVx"), cc("IMP2"), cc("MooV"), 0), noErr);
    ASSERT_EQ(Add1XREF(cc("TITx"), cc("TITL"), cc("PICT"), 0), noErr);
    EXPECT_EQ(GetTypeFlags(cc("MOVx")), 0x0600);
    EXPECT_EQ(GetTypeFlags(cc("xVOM")), 0x0600);  // byte-reversed code
    EXPECT_EQ(GetTypeFlags(cc("NONE")), 0);
    // The handler with the highest priority; the first one on a tie.
    EXPECT_EQ(GetDrawType(cc("MOVx")), cc("IMP1"));
    rc::plugins::setHandlerPriority([](OSType h) { return h == cc("IMP2") ? 5 : 1; });
    EXPECT_EQ(GetDrawType(cc("MOVx")), cc("IMP2"));
    // Window handler type: only handler types in the handler table count.
    EXPECT_EQ(GetHDLRType(cc("TITx")), 0u);
    AddMethod(cc("TITL"), nullptr, handlerTable, 0);
    EXPECT_EQ(GetHDLRType(cc("TITx")), cc("TITL"));
    EXPECT_EQ(GetHDLRType(cc("MOVx")), 0u);
    // The file table reads flags through the registry.
    const int16_t id = AddFile("/media/a.mov", 0, 0, cc("MOVx"));
    EXPECT_TRUE(GetFileCanWriteTimecode(id));
    EXPECT_TRUE(GetFileCanWriteMetaData(id));
    EXPECT_FALSE(GetFileCantBatchProcess(id));
}

TEST_F(Tables, CrossReferenceSortKeepsGroupsAndProjectEntries) {
    text(cc("ZETA"), "zeta", "z");
    text(cc("ALFA"), "Alfa", "a");
    text(cc("MIKE"), "mike", "m");
    text(cc("BRAV"), "Bravo", "b");
    // group "none" (flags 0): zeta, PROJ, alfa, mike;  bit 3: bravo, alfa;
    // bit 1 wins over bit 3: mike;  bit 2: zeta
    Add1XREF(cc("ZETA"), 1, 0, 0);
    Add1XREF(cc("PROJ"), 2, 0, 0);
    Add1XREF(cc("ALFA"), 3, 0, 0);
    Add1XREF(cc("MIKE"), 4, 0, 0);
    Add1XREF(cc("BRAV"), 5, 0, 0x08);
    Add1XREF(cc("ALFA"), 6, 0, 0x08);
    Add1XREF(cc("MIKE"), 7, 0, 0x0A);
    Add1XREF(cc("ZETA"), 8, 0, 0x04);
    Add1XREF(cc("ALFA"), 9, 0, 0x10);
    rc::plugins::sortXrefTable();
    std::vector<uint32_t> handlers;
    for (const RcXrefEntry& e : rc::plugins::xrefEntries())
        handlers.push_back(uint32_t{e.handlerType});
    // none: alfa, PROJ (kept second), mike, zeta; bit 3; bit 4; bit 1; bit 2.
    EXPECT_EQ(handlers, (std::vector<uint32_t>{3, 2, 4, 1, 6, 5, 9, 7, 8}));
    // The table's byte layout: count minus one, entries, a zero word.
    Handle h = reinterpret_cast<Handle>(GetAGlobal(kSlotXrefTable));
    EXPECT_EQ(*reinterpret_cast<int16_t*>(*h), 8);
    EXPECT_EQ(FmGetHandleSize(h), 2u + 9 * 14 + 4);
}

TEST_F(Tables, OverrideItemsGoInFront) {
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotOverrideTable));
    auto items = [](std::vector<std::pair<std::string, int>> entries, int declared) {
        Bytes b;
        put16(b, declared);
        for (auto& [name, value] : entries) {
            put32(b, cc("OVR1"));
            put16(b, value);
            putText(b, name);
        }
        Handle h = FmNewHandle(uint32_t(b.size()));
        std::memcpy(*h, b.data(), b.size());
        return h;
    };
    // An empty resource on an empty table adds nothing.
    Handle none = items({}, 0);
    ASSERT_EQ(AddOVRDItem(table, none), noErr);
    EXPECT_EQ(*reinterpret_cast<int16_t*>(*table), 0);
    FmDisposeHandle(none);
    Handle first = items({{"first", 1}}, 1);
    ASSERT_EQ(AddOVRDItem(table, first), noErr);
    // A name over 19 characters is stored empty; a count beyond the data
    // takes only what is there.
    Handle second = items({{"second", 2}, {std::string(25, 'n'), 3}}, 500);
    ASSERT_EQ(AddOVRDItem(table, second), noErr);
    ASSERT_EQ(*reinterpret_cast<int16_t*>(*table), 3);
    ASSERT_EQ(FmGetHandleSize(table), 2u + 3 * 27);
    const auto* e = reinterpret_cast<RcOvrdEntry*>(*table + 2);
    EXPECT_STREQ(e[0].name, "second");
    EXPECT_EQ(int{e[1].value}, 3);
    EXPECT_STREQ(e[1].name, "");
    EXPECT_STREQ(e[2].name, "first");
    FmDisposeHandle(first);
    FmDisposeHandle(second);
}

TEST_F(Tables, MatchNameNormalisation) {
    using rc::plugins::normaliseMatchName;
    EXPECT_EQ(normaliseMatchName("ORVKFM Blur", false), "ORVK Blur");
    EXPECT_EQ(normaliseMatchName("ORVK Blur", true), "ORVKXE Blur");
    EXPECT_EQ(normaliseMatchName("ORVK Blur", false), "ORVK Blur");
    EXPECT_EQ(normaliseMatchName("ORVKFM Blur", true), "ORVKFM Blur");
    EXPECT_EQ(normaliseMatchName("ORVK " + std::string(40, 'b'), true).size(), 31u);
}

// Two modules whose match names clash, as registration meets them.
struct Clash {
    std::string firstMatch, firstName, secondMatch, secondName;
};

class MatchTable : public PluginTest {
  protected:
    std::pair<int16_t, int16_t> scan(const Clash& c) {
        module("a-first.fmx", {{cc("PiPL"), 1,
                                Pipl()
                                    .kind(cc("VFlt"))
                                    .version(3)
                                    .name(c.firstName)
                                    .matchName(c.firstMatch)
                                    .build()}});
        module("b-second.fmx", {{cc("PiPL"), 1,
                                 Pipl()
                                     .kind(cc("VFlt"))
                                     .version(3)
                                     .name(c.secondName)
                                     .matchName(c.secondMatch)
                                     .build()}});
        AddPlugins();
        return {idOf(dir + "/a-first.fmx"), idOf(dir + "/b-second.fmx")};
    }
    static std::string matchOf(int16_t id) {
        char name[32];
        return MatchFileID(id, name) ? name : "";
    }
};

TEST_F(MatchTable, ObsoleteModuleStepsAside) {
    auto [first, second] =
        scan({"ORVK Blur", "Gaussian Blur (obsolete)", "ORVK Blur", "Gaussian Blur"});
    EXPECT_EQ(matchOf(first), "ORVKXE Blur");
    EXPECT_EQ(matchOf(second), "ORVK Blur");
    EXPECT_EQ(MatchName("orvk blur"), second);
    EXPECT_EQ(MatchName("ORVKXE Blur"), first);
    EXPECT_EQ(MatchFileID(second, nullptr), 10);
    EXPECT_EQ(list(kSlotVideoFilters).size(), 2u);
}

TEST_F(MatchTable, NewObsoleteModuleStepsAside) {
    auto [first, second] = scan({"ORVK Blur", "Blur", "ORVK Blur", "Blur OBSOLETE"});
    EXPECT_EQ(matchOf(first), "ORVK Blur");
    EXPECT_EQ(matchOf(second), "ORVKXE Blur");
}

TEST_F(MatchTable, FormerFilmModuleNameStepsAside) {
    auto [first, second] = scan({"ORVK Blur", "Blur", "ORVKFM Blur", "Blur"});
    EXPECT_EQ(matchOf(first), "ORVK Blur");
    EXPECT_EQ(matchOf(second), "ORVKXE Blur");
}

TEST_F(MatchTable, OtherClashesKeepTheFirst) {
    auto [a, b] = scan({"ORVK Blur", "Blur", "ORVK Blur", "Blur"});  // same PiPL names
    EXPECT_EQ(matchOf(a), "ORVK Blur");
    EXPECT_EQ(matchOf(b), "");
    restart();
    std::remove((dir + "/a-first.fmx").c_str());
    std::remove((dir + "/b-second.fmx").c_str());
    auto [c, d] = scan({"Plain", "One obsolete", "plain", "Two"});  // not an "ORVK " name
    EXPECT_EQ(matchOf(c), "Plain");
    EXPECT_EQ(matchOf(d), "");
    EXPECT_NE(d, 0);  // still registered, only not matchable
}

}  // namespace
