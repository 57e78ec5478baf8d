// The sample modules as registration finds them, and importers whose code
// is asked for their file types.
#include <algorithm>

#include "tests/plugins/plugin_fixture.h"

using namespace plugtest;

namespace {

class Samples : public PluginTest {
  protected:
    void scanFolder(const char* folder) {
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder));
        AddPlugins();
    }
    static int32_t loaded() {
        int32_t n = 0;
        FmGetPluginScanCounts(&n, nullptr, nullptr);
        return n;
    }
};

TEST_F(Samples, EverySampleRegisters) {
    scanFolder(REEL_SAMPLES_DIR);
    const auto lines = report();
    ASSERT_EQ(lines.size(), 6u);
    for (const FmPluginReport& l : lines) EXPECT_TRUE(l.accepted) << l.path << ": " << l.reason;
    const std::string d = REEL_SAMPLES_DIR;
    // Only the importer without XREF had its code run.
    EXPECT_EQ(loaded(), 1);

    const int16_t invert = idOf(d + "/sample-invert.fmx");
    EXPECT_EQ(list(kSlotVideoFilters), std::vector<int16_t>{invert});
    EXPECT_EQ(MatchName("ORVK Invert"), invert);
    EXPECT_EQ(GetFileVersion(invert), 3);
    EXPECT_EQ(list(kSlotEffects), std::vector<int16_t>{idOf(d + "/sample-crossfade.fmx")});
    const int16_t exporter = idOf(d + "/sample-export.fmx");
    EXPECT_EQ(list(kSlotExportModules), std::vector<int16_t>{int16_t(exporter | 0x4000)});
    char name[260];
    GetFileText(exporter, name);
    EXPECT_STREQ(name, "Sample &Export");

    // The window handler: in the handler table and the third list, and it
    // answers a message once its module is loaded by name.
    const int16_t window = idOf(d + "/sample-window.fmx");
    int16_t fileID = 0;
    LookupMethod(cc("SMPL"), handlerTable, kHandlerMessageProcIndex, &fileID);
    EXPECT_EQ(fileID, window);
    Handle third = reinterpret_cast<Handle>(GetAGlobal(kSlotHandlerList3));
    ASSERT_EQ(FmGetHandleSize(third), sizeof(FmHandlerListEntry));
    EXPECT_STREQ(reinterpret_cast<FmHandlerListEntry*>(*third)->name, "Sample Notes");
    intptr_t block[kMessageBlockWords] = {1000};
    EXPECT_EQ(HDLRSendMessage(cc("SMPL"), block), 0);
    EXPECT_EQ(block[1], 1);

    // Importer types from resources, and from the importer that lists them.
    EXPECT_EQ(ExtensionToType("/m/a.SAMPLE"), cc("SMPP"));
    EXPECT_EQ(GetTypeFlags(cc("SMPP")), 0x2010);
    EXPECT_EQ(ExtensionToType("/m/a.lsm"), cc("LST2"));
    EXPECT_EQ(GetDrawType(cc("LST1")), cc("LSTi"));
    const auto entries = rc::plugins::xrefEntries();
    auto lst1 = std::find_if(entries.begin(), entries.end(),
                             [](const RcXrefEntry& e) { return e.fileType == cc("LST1"); });
    ASSERT_NE(lst1, entries.end());
    EXPECT_EQ(uint32_t{lst1->kind}, cc("PICT"));  // a still
    EXPECT_STREQ(TypeToDescription(cc("LST2")), "Listed movie");
    // Groups: none (movies) before bit 4 (stills); by description within.
    std::vector<uint32_t> order;
    for (const RcXrefEntry& e : entries) order.push_back(uint32_t{e.fileType});
    EXPECT_EQ(order, (std::vector<uint32_t>{cc("LST2"), cc("SMPM"), cc("LST1"), cc("SMPP")}));
}

TEST_F(Samples, ImporterEnumerationStopsAfterAThousand) {
    scanFolder(REEL_ENDLESS_DIR);
    size_t mine = 0;
    for (const RcXrefEntry& e : rc::plugins::xrefEntries()) mine += e.handlerType == cc("ENDi");
    EXPECT_EQ(mine, size_t(kPluginEnumerationLimit));
    // Texts without their NUL are cut at the end of their fields.
    const char* description = TypeToDescription(cc("END\0") + 1);
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(std::strlen(description), 255u);
}

TEST_F(Samples, ImporterWithoutEntryPointHasNoTypes) {
    scanFolder(REEL_ENTRYLESS_DIR);
    const auto lines = report();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].accepted);
    EXPECT_EQ(loaded(), 1);
    EXPECT_TRUE(rc::plugins::xrefEntries().empty());
    int16_t fileID = 0;
    LookupMethod(cc("NOEi"), reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable)), 0, &fileID);
    EXPECT_NE(fileID, 0);
}

}  // namespace
