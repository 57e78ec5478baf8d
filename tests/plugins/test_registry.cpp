// AddPlugins over a folder of generated modules: kinds, versions, lists,
// handler and importer tables, links, and the bad-module corpus.
#include <sys/stat.h>

#include <algorithm>

#include "tests/plugins/plugin_fixture.h"

using namespace plugtest;

namespace {

Bytes xrefOf(const std::vector<RcXrefEntry>& entries) {
    Bytes b;
    put16(b, int32_t(entries.size()) - 1);
    for (const RcXrefEntry& e : entries) {
        put32(b, e.fileType);
        put32(b, e.handlerType);
        put32(b, e.kind);
        put16(b, e.flags);
    }
    return b;
}

Bytes xrffOf(const std::vector<std::tuple<uint32_t, std::string, std::string>>& entries) {
    Bytes b;
    for (const auto& [type, desc, exts] : entries) {
        put32(b, type);
        putText(b, desc);
        putText(b, exts);
    }
    put32(b, 0);
    return b;
}

bool contains(const std::vector<int16_t>& ids, int16_t id) {
    return id != 0 && std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::vector<std::vector<int16_t>> gStarted;
void recordStarted(const int16_t* ids, int32_t n) {
    gStarted.emplace_back(ids, ids + n);
}

class Registry : public PluginTest {};

TEST_F(Registry, EveryKindJoinsItsList) {
    videoFilter("soften.fmx", 3, "Soften");
    module("echo.fmx", {{cc("TYPE"), 1000, word32(cc("AFlt"))},
                        {cc("FLvs"), 1000, word16(2)},
                        {cc("TEXT"), 1000, text("Echo")}});
    module("wipe3.fmx", {{cc("TYPE"), 1000, word32(cc("SPFX"))},
                         {cc("FXvs"), 1000, word16(3)},
                         {cc("PARM"), 16000, word16(0)}});
    module("device.fmx", {{cc("TYPE"), 1000, word32(cc("DevC"))}});
    module("movie.fmx", {{cc("TYPE"), 1000, word32(cc("ExpD"))},
                         {cc("EXvs"), 1000, word16(2)},
                         {cc("FLAG"), 1000, word16(0x4123)}});
    module("stills.fmx", {{cc("TYPE"), 1000, word32(cc("ExpM"))}, {cc("EXvs"), 1000, word16(2)}});
    // PiPL kind wins over TYPE 1000; TYPE 1001 and 1002 add kinds.
    module("multi.fmx", {{cc("PiPL"), 1, Pipl().kind(cc("VFlt")).name("Multi").build()},
                         {cc("TYPE"), 1000, word32(cc("SPFX"))},
                         {cc("TYPE"), 1001, word32(cc("AFlt"))},
                         {cc("TYPE"), 1002, word32(cc("HDLR"))},
                         {cc("FLvs"), 1000, word16(3)},
                         {cc("DHvs"), 1000, word16(2)},
                         {cc("HDLR"), 1000, text("TITLTitle Designer")},
                         {cc("SUBT"), 1000, text("1 titles")},
                         {cc("HDLR"), 1001, text("FilP")}});
    module("capture.fmx", {{cc("TYPE"), 1000, word32(cc("RECM"))}});
    module("player.fmx", {{cc("TYPE"), 1000, word32(cc("PLYM"))}});
    module("compiler.fmx", {{cc("TYPE"), 1000, word32(cc("CMPM"))}});
    module("sharpen.q7f", {{cc("PiPL"), 1, Pipl(0).name("Sharpen+").build()}});
    module("old.q7f", {{cc("PiMI"), 1, word16(3)}, {cc("Q7FM"), 1, text("\x01\x02OldName", true)}});
    module("auto.q7y", {{cc("PiPL"), 1, Pipl(0).name("Batch").build()}});
    gStarted.clear();
    rc::plugins::hooks::setStartRecordModules(recordStarted);
    rc::plugins::hooks::setStartCompilerModules(recordStarted);

    AddPlugins();
    rc::plugins::hooks::setStartRecordModules(nullptr);
    rc::plugins::hooks::setStartCompilerModules(nullptr);

    const int16_t soften = idOf(dir + "/soften.fmx"), echo = idOf(dir + "/echo.fmx");
    const int16_t wipe = idOf(dir + "/wipe3.fmx"), device = idOf(dir + "/device.fmx");
    const int16_t movie = idOf(dir + "/movie.fmx"), stills = idOf(dir + "/stills.fmx");
    const int16_t multi = idOf(dir + "/multi.fmx"), sharpen = idOf(dir + "/sharpen.q7f");
    const int16_t old = idOf(dir + "/old.q7f"), automation = idOf(dir + "/auto.q7y");
    EXPECT_TRUE(contains(list(kSlotVideoFilters), soften));
    EXPECT_TRUE(contains(list(kSlotVideoFilters), multi));
    EXPECT_TRUE(contains(list(kSlotVideoFilters), sharpen));
    EXPECT_TRUE(contains(list(kSlotVideoFilters), old));
    EXPECT_TRUE(contains(list(kSlotAudioFilters), echo));
    EXPECT_TRUE(contains(list(kSlotAudioFilters), multi));
    EXPECT_TRUE(contains(list(kSlotEffects), wipe));
    EXPECT_FALSE(contains(list(kSlotEffects), multi));  // TYPE 1000 gave way to the PiPL
    EXPECT_TRUE(contains(list(kSlotDeviceControllers), device));
    EXPECT_TRUE(contains(list(kSlotAutomationModules), automation));
    EXPECT_EQ(FmGetHandleSize(reinterpret_cast<Handle>(GetAGlobal(kSlotVideoFilterData))),
              list(kSlotVideoFilters).size() * sizeof(intptr_t));

    // Versions, types and display texts.
    EXPECT_EQ(GetFileVersion(soften), 3);
    EXPECT_EQ(GetFileVersion(device), -1);  // no version: accepted as -1
    EXPECT_EQ(GetFileTypeID(soften), cc("VFlt"));
    EXPECT_EQ(GetFileTypeID(multi), cc("VFlt"));
    EXPECT_EQ(GetFileTypeID(sharpen), cc("Q7FM"));
    char textBuf[260];
    GetFileText(echo, textBuf);
    EXPECT_STREQ(textBuf, "Echo");
    GetFileText(old, textBuf);
    EXPECT_STREQ(textBuf, "OldName");

    // Export list: 13 bits of FileID and the flag bits above them only.
    const std::vector<int16_t> exports = list(kSlotExportModules);
    ASSERT_EQ(exports.size(), 2u);
    EXPECT_EQ(uint16_t(exports[0]), uint16_t(movie | 0x4000));  // 'ExpD' sorts before 'ExpM'
    EXPECT_EQ(uint16_t(exports[1]), uint16_t(stills | 0x2000));
    EXPECT_EQ(GetExportModuleFileID(0), movie);
    EXPECT_EQ(GetExportModuleFileID(1), stills);
    EXPECT_EQ(GetExportModuleFileID(2), 0);

    // Handlers: each type, FilP with its three companions, the subtype list.
    for (OSType t : {cc("TITL"), cc("FilP"), cc("FX_P"), cc("AudP"), cc("VidP")}) {
        int16_t fileID = 0;
        LookupMethod(t, handlerTable, kHandlerMessageProcIndex, &fileID);
        EXPECT_EQ(fileID, multi);
    }
    Handle subtypes = reinterpret_cast<Handle>(GetAGlobal(kSlotHandlerList1));
    ASSERT_EQ(FmGetHandleSize(subtypes), sizeof(FmHandlerListEntry));
    const auto* entry = reinterpret_cast<FmHandlerListEntry*>(*subtypes);
    EXPECT_EQ(OSType{entry->type}, cc("TITL"));
    EXPECT_STREQ(entry->name, "Title Designer");
    EXPECT_STREQ(entry->subtype, "1 titles");

    // Start-up lists: record modules, then compiler modules.
    ASSERT_EQ(gStarted.size(), 2u);
    EXPECT_EQ(gStarted[0], std::vector<int16_t>{idOf(dir + "/capture.fmx")});
    EXPECT_EQ(gStarted[1], std::vector<int16_t>{idOf(dir + "/compiler.fmx")});

    // Match names and the about box.
    EXPECT_EQ(MatchName("soften"), soften);
    EXPECT_EQ(MatchName("Sharpen+"), sharpen);
    EXPECT_NE(std::find(aboutBox().begin(), aboutBox().end(),
                        std::make_pair(intptr_t(38), std::string("Soften"))),
              aboutBox().end());
    EXPECT_NE(std::find(aboutBox().begin(), aboutBox().end(),
                        std::make_pair(intptr_t(40), std::string("wipe3.fmx"))),
              aboutBox().end());
    int32_t loaded = -1, read = -1, cached = -1;
    FmGetPluginScanCounts(&loaded, &read, &cached);
    EXPECT_EQ(loaded, 0);  // kinds and versions come from the files alone
    EXPECT_EQ(cached, 0);
}

TEST_F(Registry, VersionRules) {
    videoFilter("three.fmx", 3, "Three");
    videoFilter("four.fmx", 4, "Four");
    videoFilter("one.fmx", 1, "One");
    module("noversion.fmx", {{cc("TYPE"), 1000, word32(cc("VFlt"))}});
    module("wipe2.fmx", {{cc("TYPE"), 1000, word32(cc("SPFX"))},
                         {cc("FXvs"), 1000, word16(2)},
                         {cc("PARM"), 16000, word16(0)}});
    module("export3.fmx", {{cc("TYPE"), 1000, word32(cc("ExpD"))}, {cc("EXvs"), 1000, word16(3)}});
    module("pfilter.fmx", {{cc("TYPE"), 1000, word32(cc("PFlt"))}, {cc("BNvs"), 1000, word16(4)}});
    AddPlugins();
    EXPECT_NE(idOf(dir + "/three.fmx"), 0);
    for (const char* rejected :
         {"four.fmx", "one.fmx", "noversion.fmx", "wipe2.fmx", "export3.fmx"})
        EXPECT_EQ(idOf(dir + "/" + rejected), 0) << rejected;  // cancelled from the file table
    const int16_t pfilter = idOf(dir + "/pfilter.fmx");
    EXPECT_EQ(GetFileVersion(pfilter), 4);
    const auto lines = report();
    const FmPluginReport* four = lineFor(lines, "four.fmx");
    ASSERT_NE(four, nullptr);
    EXPECT_FALSE(four->accepted);
    EXPECT_EQ(four->version, 4);
    EXPECT_EQ(four->kind, cc("VFlt"));
    EXPECT_STRNE(four->reason, "");

    // PlugVersionCheck on a registered module, by kind.
    EXPECT_EQ(PlugVersionCheck(idOf(dir + "/three.fmx"), cc("VFlt")), 3);
    EXPECT_EQ(PlugVersionCheck(idOf(dir + "/three.fmx"), cc("ExpD")), 0);
    EXPECT_EQ(PlugVersionCheck(idOf(dir + "/three.fmx"), cc("IMPT")), -1);
    EXPECT_EQ(GetFileVersion(idOf(dir + "/three.fmx")), -1);
}

TEST_F(Registry, ImporterResourcesFillTheTypeTables) {
    module(
        "reader.fmx",
        {{cc("TYPE"), 1000, word32(cc("IMPT"))},
         {cc("XREF"), 1000,
          xrefOf({{cc("RDR1"), cc("RDRH"), cc("MooV"), 0x0008},
                  {cc("RDR2"), cc("RDRH"), cc("PICT"), 0x2010}})},
         {cc("XRFF"), 1000,
          xrffOf({{cc("RDR1"), "Reader movie", "rd1;*rdm"}, {cc("RDR2"), "Reader still", "rd2"}})},
         {cc("RCMP"), 1000, word32(0x12345678)},
         {cc("OVRD"), 1000, [] {
              Bytes b;
              put16(b, 1);
              put32(b, cc("RDR1"));
              put16(b, 7);
              putText(b, "over");
              return b;
          }()}});
    // A second importer of the same handler type adds nothing to the tables.
    module("reader2.fmx", {{cc("TYPE"), 1000, word32(cc("IMPT"))},
                           {cc("XREF"), 1000, xrefOf({{cc("RDR3"), cc("RDRH"), cc("MooV"), 0}})}});
    AddPlugins();
    const int16_t reader = idOf(dir + "/reader.fmx"), reader2 = idOf(dir + "/reader2.fmx");
    int16_t fileID = 0;
    LookupMethod(cc("RDRH"), reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable)), 0, &fileID);
    EXPECT_EQ(fileID, reader2);  // the newest registration wins a lookup
    EXPECT_EQ(ExtensionToType("/media/clip.RD1"), cc("RDR1"));
    EXPECT_EQ(ExtensionToType("/media/clip.rdm"), cc("RDR1"));
    EXPECT_EQ(ExtensionToType("/media/clip.rd3"), 0u);
    EXPECT_EQ(GetTypeFlags(cc("RDR2")), 0x2010);
    EXPECT_EQ(GetDrawType(cc("RDR2")), cc("RDRH"));
    EXPECT_EQ(GetDrawType(cc("RDR3")), 0u);
    EXPECT_STREQ(TypeToDescription(cc("RDR2")), "Reader still");
    const std::vector<int16_t> codes = list(kSlotRecompressCodes);
    ASSERT_EQ(codes.size(), 2u);
    Handle ovrd = reinterpret_cast<Handle>(GetAGlobal(kSlotOverrideTable));
    ASSERT_EQ(*reinterpret_cast<int16_t*>(*ovrd), 1);
    const auto* o = reinterpret_cast<RcOvrdEntry*>(*ovrd + 2);
    EXPECT_EQ(int{o->value}, 7);
    EXPECT_STREQ(o->name, "over");
    EXPECT_EQ(MatchName("reader.fmx"), reader);
    // The file table now types media files by their extension.
    const int16_t media = AddFile("/media/clip.rd2", 0, 0, 0);
    EXPECT_EQ(GetFileTypeID(media), cc("RDR2"));
}

TEST_F(Registry, BadModulesAreReportedAndTheScanGoesOn) {
    videoFilter("good.fmx", 3, "Good");
    module("nokind.fmx", {{cc("TEXT"), 1000, text("Nothing")}});
    module("badcount.fmx", {{cc("PiPL"), 1, Pipl().kind(cc("VFlt")).count(1000000).build()}});
    Bytes lying = counted("name");
    lying[0] = 250;
    module("badname.fmx",
           {{cc("PiPL"), 1, Pipl().kind(cc("VFlt")).prop(cc("name"), lying).build()}});
    module("badlength.fmx",
           {{cc("PiPL"), 1,
             Pipl().kind(cc("VFlt")).prop(cc("eMNA"), counted("x"), 0, cc("Q7IM"), 900).build()}});
    module("badxref.fmx",
           {{cc("TYPE"), 1000, word32(cc("IMPT"))}, {cc("XREF"), 1000, word16(400)}});
    module("unknown.fmx", {{cc("TYPE"), 1000, word32(cc("ZZZZ"))}});
    writeFile(dir + "/garbage.fmx", Bytes(300, 0xA5));
    const Bytes whole = buildModule({{cc("TYPE"), 1000, word32(cc("DevC"))}});
    writeFile(dir + "/truncated.fmx", Bytes(whole.begin(), whole.begin() + 80));
    writeFile(dir + "/empty.fmx", Bytes{});
    module("d-vfw.fmx", {{cc("TYPE"), 1000, word32(cc("DevC"))}});
    module("fx-qt.fmx", {{cc("TYPE"), 1000, word32(cc("DevC"))}});
    module(".fmx", {{cc("TYPE"), 1000, word32(cc("DevC"))}});
    module("readme.txt", {{cc("TYPE"), 1000, word32(cc("DevC"))}});
    module("hidden.q7f",
           {{cc("PARM"), 16, word16(0)}, {cc("PiPL"), 1, Pipl(0).name("Hidden").build()}});
    module("noname.q7f", {{cc("PiMI"), 1, word16(2)}, {cc("Q7FM"), 1, text("..Old")}});
    module("effect.xex", {});
    // A module too deep below the folder is not reached.
    std::string deep = dir;
    for (int i = 0; i < kPluginFolderDepth + 1; ++i) {
        deep += "/d";
        mkdir(deep.c_str(), 0755);
    }
    writeModule(deep + "/deep.fmx", {{cc("TYPE"), 1000, word32(cc("DevC"))}});
    std::string shallow = dir + "/d/d/d";
    writeModule(shallow + "/shallow.fmx", {{cc("TYPE"), 1000, word32(cc("DevC"))}});

    AddPlugins();
    EXPECT_NE(idOf(dir + "/good.fmx"), 0);
    EXPECT_NE(idOf(shallow + "/shallow.fmx"), 0);
    EXPECT_EQ(idOf(deep + "/deep.fmx"), 0);
    const auto lines = report();
    for (const char* bad :
         {"nokind.fmx", "badcount.fmx", "badname.fmx", "badlength.fmx", "badxref.fmx",
          "unknown.fmx", "garbage.fmx", "truncated.fmx", "empty.fmx", "d-vfw.fmx", "fx-qt.fmx",
          "hidden.q7f", "noname.q7f", "effect.xex"}) {
        const FmPluginReport* line = lineFor(lines, bad);
        ASSERT_NE(line, nullptr) << bad;
        EXPECT_FALSE(line->accepted) << bad;
        EXPECT_STRNE(line->reason, "") << bad;
        EXPECT_EQ(idOf(dir + "/" + bad), 0) << bad;
    }
    EXPECT_EQ(lineFor(lines, "/.fmx"), nullptr);
    EXPECT_EQ(lineFor(lines, "readme.txt"), nullptr);
    EXPECT_EQ(list(kSlotVideoFilters).size(), 1u);
    EXPECT_EQ(list(kSlotDeviceControllers).size(), 1u);
}

TEST_F(Registry, XEModulesGoToTheirHost) {
    module("effect.xex", {});
    rc::plugins::hooks::setRegisterXEModule([](int16_t) { return true; });
    AddPlugins();
    const int16_t id = idOf(dir + "/effect.xex");
    EXPECT_NE(id, 0);
    EXPECT_EQ(GetFileTypeID(id), cc("eFKT"));
}

TEST_F(Registry, LinksRegisterTheirTargets) {
    const std::string target = outside + "/far.fmx";
    writeModule(target, {{cc("PiPL"), 1, Pipl().kind(cc("VFlt")).name("Far").version(3).build()}});
    ASSERT_EQ(symlink(target.c_str(), (dir + "/shortcut.fmx").c_str()), 0);
    // A link to the same module twice registers it once.
    ASSERT_EQ(symlink(target.c_str(), (dir + "/again.lnk").c_str()), 0);
    // Loops of links, a dangling link, a folder link back to the plug-in folder.
    ASSERT_EQ(symlink((dir + "/loop2.fmx").c_str(), (dir + "/loop1.fmx").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/loop1.fmx").c_str(), (dir + "/loop2.fmx").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/gone.fmx").c_str(), (dir + "/dangling.fmx").c_str()), 0);
    ASSERT_EQ(symlink(dir.c_str(), (dir + "/back").c_str()), 0);
    AddPlugins();
    const int16_t far = idOf(target);
    ASSERT_NE(far, 0);
    EXPECT_EQ(list(kSlotVideoFilters), std::vector<int16_t>{far});
    char path[260], real[PATH_MAX];
    GetFSSpecPath(far, path);
    ASSERT_NE(realpath(target.c_str(), real), nullptr);
    EXPECT_STREQ(path, real);
    const auto lines = report();
    const FmPluginReport* loop = lineFor(lines, "loop1.fmx");
    ASSERT_NE(loop, nullptr);
    EXPECT_FALSE(loop->accepted);
    EXPECT_NE(lineFor(lines, "dangling.fmx"), nullptr);
}

TEST_F(Registry, UnreadableModuleIsSkipped) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    videoFilter("locked.fmx", 3, "Locked");
    chmod((dir + "/locked.fmx").c_str(), 0);
    AddPlugins();
    const auto lines = report();
    const FmPluginReport* line = lineFor(lines, "locked.fmx");
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->accepted);
    EXPECT_TRUE(list(kSlotVideoFilters).empty());
}

TEST_F(Registry, ExportListKeepsWholeFileIDs) {
    // Push the module's FileID past 13 bits.
    for (int i = 0; i < 9000; ++i)
        AddFile(("/media/file" + std::to_string(i) + ".avi").c_str(), 0, 0, cc("MooV"));
    module("late.fmx", {{cc("TYPE"), 1000, word32(cc("ExpD"))},
                        {cc("EXvs"), 1000, word16(2)},
                        {cc("FLAG"), 1000, word16(0x1FFF)}});
    AddPlugins();
    const int16_t late = idOf(dir + "/late.fmx");
    ASSERT_GT(late, 8191);
    const std::vector<int16_t> exports = list(kSlotExportModules);
    ASSERT_EQ(exports.size(), 1u);
    // Flag bits below 13 never reach the packed value.
    EXPECT_EQ(uint16_t(exports[0]), uint16_t(late & 0x1FFF));
    EXPECT_EQ(GetExportModuleFileID(0), late);
}

}  // namespace
