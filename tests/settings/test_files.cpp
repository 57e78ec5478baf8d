// The settings block through project streams and ".prs" settings files:
// round trips of every section, older files with fewer fields, reads that
// stop at an error, and the named files of the settings folder.
#include "settings_fixture.h"

#include "reelcore/project_stream.h"
#include "reelcore/struct_codec.h"
#include "settings/settings_files.h"

using namespace settest;

namespace {

class Files : public SettingsTest {
  protected:
    // Every field away from its default.
    static Handle oddBlock() {
        Handle h = richBlock();
        PsetBlock& s = blk(h);
        s.general.filetype = code("MOVE");
        s.general.classid = code("Clss");
        s.general.samplesize = 1001;
        s.general.scale = 30000;
        s.general.timeformat = 0x1001E;
        s.general.projectlength = 77;
        s.general.doaudio = 0;
        s.general.range = 2;
        s.general.openwhendone = 0;
        s.general.reserved2 = -5;
        s.video.subtype = code("cvid");
        s.video.width = 720;
        s.video.height = 486;
        s.video.samplesize = 1001;
        s.video.scale = 30000;
        s.video.quality = 75;
        s.video.depth = 32;
        s.video.fieldtype = 2;
        s.video.aspect43 = 0;
        s.video.paletteType = 1;
        s.video.pixelAspect = 0x00090008;
        for (int i = 0; i < 256; ++i) s.video.palette[i] = uint32_t(i * 0x01020304u);
        s.audio.subtype = code("IMA4");
        s.audio.audrate = 48000;
        s.audio.audsamplesize = 0;
        s.audio.audstereo = 0;
        s.audio.interleave = 4;
        s.audio.resampleQ = 2;
        s.audio.dither = 1;
        s.audio.logfade = 1;
        s.audio.previewmintracks = 6;
        s.audio.previewminfilters = 2;
        s.dataRate = PsetDataRate{2500, 7, 0, 1, 1, 3, 4};
        s.keyFrames = PsetKeyFrames{30, 1, 1, 1, 1, 5, 6};
        s.rendering = PsetRendering{1, 1, 1, 1, 1, 8};
        s.special = PsetSpecial{1, 2, 3, 4, 5, 1, 1, 1, 1, 9, 10};
        s.capture.filetype = code("CAPT");
        s.capture.width = 352;
        s.capture.abortondrops = 1;
        s.capture.tcoffset = -3;
        s.capture.audrate = 32000;
        s.capture.reserved2 = 11;
        s.captureInfo = PsetCaptureInfo{1, code("dvsd"), 16, 0x000A000B, 1, 80};
        return h;
    }

    // Everything saved compares equal; owned data as contents.
    static void expectSame(Handle a, Handle b, bool withDevice) {
        PsetBlock x = blk(a), y = blk(b);
        EXPECT_EQ(ptrText(x.general.compilerprefs), ptrText(y.general.compilerprefs));
        EXPECT_EQ(ptrText(x.general.playmodprefs), ptrText(y.general.playmodprefs));
        EXPECT_EQ(ptrText(x.video.subtypeprefs), ptrText(y.video.subtypeprefs));
        EXPECT_EQ(ptrText(x.audio.subtypeprefs), ptrText(y.audio.subtypeprefs));
        EXPECT_EQ(ptrText(x.capture.capprefs), ptrText(y.capture.capprefs));
        x.general.compilerprefs = y.general.compilerprefs = nullptr;
        x.general.playmodprefs = y.general.playmodprefs = nullptr;
        x.video.subtypeprefs = y.video.subtypeprefs = nullptr;
        x.audio.subtypeprefs = y.audio.subtypeprefs = nullptr;
        x.capture.capprefs = y.capture.capprefs = nullptr;
        if (withDevice) {
            EXPECT_STREQ(x.device.devname, y.device.devname);
            Handle dx = WordToHandle(x.device.devdata), dy = WordToHandle(y.device.devdata);
            ASSERT_TRUE(dx && dy);
            EXPECT_EQ(std::string(*dx, FmGetHandleSize(dx)), std::string(*dy, FmGetHandleSize(dy)));
        }
        x.device = y.device = PsetDevice{};
        std::memset(x.exportSource, 0, sizeof x.exportSource);
        std::memset(y.exportSource, 0, sizeof y.exportSource);
        x.video.paletteCount = y.video.paletteCount = 0;
        EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
    }

    std::string writeProject(Handle settings) {
        std::string p = path("project.txt");
        OSErr err = noErr;
        ProjBufHand out = CreateProjBufHandSafe(p.c_str(), kProjBufSize, &err);
        EXPECT_NE(out, nullptr);
        WriteProjText(out, "[HEAD]\r\nsignature=1\r\n");
        EXPECT_EQ(WriteGlobalProjectSettings(out, settings), noErr);
        WriteProjText(out, "[TAIL]\r\nx=1\r\n");
        EXPECT_EQ(CloseProjBufHand(out), noErr);
        return p;
    }

    OSErr readProject(const std::string& p, Handle into) {
        FileRef ref = -1;
        EXPECT_EQ(HOpen(0, 0, p.c_str(), fsRdPerm, &ref), noErr);
        ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
        OSErr err = ReadGlobalProjectSettings(in, into);
        CloseProjBufHand(in);
        FSClose(ref);
        return err;
    }
};

TEST_F(Files, EverySectionRoundTripsThroughAProject) {
    Handle saved = oddBlock();
    std::string p = writeProject(saved);
    std::string text = readFile(p);
    for (const char* tag :
         {"[PTYP]", "[PVID]", "[ASET]", "[DRAT]", "[KFRM]", "[RENO]", "[SPRC]", "[PCAP]", "[PCPI]"})
        EXPECT_NE(text.find(tag), std::string::npos) << tag;
    EXPECT_EQ(text.find("[PDEV]"), std::string::npos);  // projects hold no device
    EXPECT_NE(text.find("compilerprefs=8,636F6D70696C6572\r\n"), std::string::npos);

    Handle loaded = psetNewDefaultSettings();
    Ptr stale = bytes("old");
    blk(loaded).general.compilerprefs = stale;  // freed when replaced
    ASSERT_EQ(readProject(p, loaded), noErr);
    expectSame(saved, loaded, false);
    EXPECT_EQ(+blk(loaded).device.devdata, 0u);

    // Null reads into the global block.
    ASSERT_EQ(readProject(p, nullptr), noErr);
    EXPECT_EQ(psetGetOutWidth(nullptr), 720);
    psetDisposeSettings(saved);
    psetDisposeSettings(loaded);
}

TEST_F(Files, SettingsFileHoldsHeaderDescriptionSectionsAndDevice) {
    Handle saved = oddBlock();
    std::string p = path("My Settings.prs");
    ASSERT_EQ(psetWriteSettingsFile(p.c_str(), saved, "Line one\r\nback\\slash", kPsetKindProject),
              noErr);
    std::string text = readFile(p);
    EXPECT_EQ(text.rfind("[Phdr]\r\n1349739892\r\n1\r\n0\r\n1\r\n0\r\n[Pdat]\r\ndescription=", 0),
              0u);
    size_t order = 0;
    for (const char* tag : {"[Pdat]", "[PTYP]", "[PVID]", "[ASET]", "[DRAT]", "[KFRM]", "[RENO]",
                            "[SPRC]", "[PCAP]", "[PCPI]", "[PDEV]"}) {
        size_t at = text.find(tag);
        ASSERT_NE(at, std::string::npos) << tag;
        EXPECT_GT(at, order) << tag;
        order = at;
    }
    Handle loaded = psetReadSettingsFile(p.c_str(), nullptr);
    ASSERT_NE(loaded, nullptr);
    expectSame(saved, loaded, true);

    FSSpec spec{};
    std::strcpy(spec.name, p.c_str());
    Handle again = psetReadProjectSettings(&spec);
    ASSERT_NE(again, nullptr);
    expectSame(saved, again, true);

    int32_t kind = 0;
    char description[1024];
    ASSERT_EQ(psetReadSettingsFileHeader(p.c_str(), &kind, description, sizeof description), noErr);
    EXPECT_EQ(kind, 1);  // the project dialog's kind is saved as 1
    EXPECT_STREQ(description, "Line one\r\nback\\slash");

    // Without a device name there is no device section.
    blk(saved).device.devname[0] = 0;
    ASSERT_EQ(psetWriteSettingsFile(p.c_str(), saved, "", kPsetKindStill), noErr);
    EXPECT_EQ(readFile(p).find("[PDEV]"), std::string::npos);
    ASSERT_EQ(psetReadSettingsFileHeader(p.c_str(), &kind, nullptr, 0), noErr);
    EXPECT_EQ(kind, kPsetKindStill);
    psetDisposeSettings(saved);
    psetDisposeSettings(loaded);
    psetDisposeSettings(again);
}

// Drops the last value line of a section, as an older writer made it.
std::string withoutLastLine(std::string text, const std::string& tag, const std::string& key) {
    size_t at = text.find(tag);
    size_t line = text.find("\r\n" + key + "=", at);
    size_t end = text.find("\r\n", line + 2);
    return text.erase(line, end - line);
}

TEST_F(Files, OlderFilesWithFewerFieldsReadBack) {
    Handle saved = oddBlock();
    std::string p = path("old.prs");
    ASSERT_EQ(psetWriteSettingsFile(p.c_str(), saved, "old", kPsetKindMovie), noErr);
    std::string text = readFile(p);
    // An audio section before the preview minimums.
    std::string old = withoutLastLine(text, "[ASET]", "subtypeprefs");
    old = withoutLastLine(old, "[ASET]", "previewminfilters");
    old = withoutLastLine(old, "[ASET]", "previewmintracks");
    // General and capture sections without their last fields.
    old = withoutLastLine(old, "[PTYP]", "playmodprefs");
    old = withoutLastLine(old, "[PCAP]", "reserved2");
    // No capture information at all.
    size_t pcpi = old.find("[PCPI]");
    old.erase(pcpi, old.find("[PDEV]") - pcpi);
    writeFile(p, old);

    Handle loaded = psetReadSettingsFile(p.c_str(), nullptr);
    ASSERT_NE(loaded, nullptr);
    const PsetBlock& s = blk(loaded);
    EXPECT_EQ(+s.audio.previewmintracks, 3);
    EXPECT_EQ(+s.audio.previewminfilters, 1);
    EXPECT_EQ(+s.audio.subtypeprefs, nullptr);
    EXPECT_EQ(+s.audio.audrate, 48000);
    EXPECT_EQ(+s.general.playmodprefs, nullptr);
    EXPECT_EQ(ptrText(s.general.compilerprefs), "compiler");
    EXPECT_EQ(+s.capture.reserved2, 0);
    EXPECT_EQ(+s.capture.tcoffset, -3);
    // Without PCPI and without a capture module the information stays invalid.
    EXPECT_EQ(+s.captureInfo.capinfovalid, 0);
    EXPECT_EQ(+s.captureInfo.capvidsubtype, OSType(kPsetCapInfoInvalidSubtype));
    EXPECT_EQ(+s.keyFrames.keyframeevery, 30);
    psetDisposeSettings(saved);
    psetDisposeSettings(loaded);
}

TEST_F(Files, AReadThatStopsAtAnErrorLeavesTheTargetUntouched) {
    Handle saved = oddBlock();
    std::string p = writeProject(saved);
    std::string text = readFile(p);
    Handle target = richBlock();
    blk(target).video.width = 555;
    Ptr prefs = blk(target).general.compilerprefs;

    // A short video section (not an accepted short record).
    std::string cut = withoutLastLine(text, "[PVID]", "palette");
    writeFile(p, cut);
    EXPECT_EQ(readProject(p, target), kStructShort);
    EXPECT_EQ(+blk(target).video.width, 555);
    EXPECT_EQ(+blk(target).general.compilerprefs, prefs);
    EXPECT_EQ(ptrText(prefs), "compiler");

    // A missing data-rate section.
    std::string missing = text;
    size_t at = missing.find("[DRAT]");
    missing.erase(at, missing.find("[KFRM]") - at);
    writeFile(p, missing);
    EXPECT_EQ(readProject(p, target), kStructNotFound);
    EXPECT_EQ(+blk(target).video.width, 555);

    // Sections that read but hold a zero frame size or time base.
    std::string zero = text;
    size_t w = zero.find("width=720");
    zero.replace(w, 9, "width=0");
    writeFile(p, zero);
    EXPECT_EQ(readProject(p, target), kPsetBadFile);
    EXPECT_EQ(+blk(target).video.width, 555);
    OSErr err = noErr;
    std::string prs = path("zero.prs");
    writeFile(prs, zero);
    EXPECT_EQ(psetReadSettingsFile(prs.c_str(), &err), nullptr);
    EXPECT_EQ(err, kPsetBadFile);
    EXPECT_EQ(psetReadSettingsFile(path("absent.prs").c_str(), &err), nullptr);
    EXPECT_EQ(err, fnfErr);

    // Sections out of order are still found.
    std::string reordered = text;
    size_t v = reordered.find("[PVID]"), a = reordered.find("[ASET]");
    std::string video = reordered.substr(v, a - v);
    reordered.erase(v, a - v);
    reordered += video;
    writeFile(p, reordered);
    EXPECT_EQ(readProject(p, target), noErr);
    EXPECT_EQ(+blk(target).video.width, 720);
    psetDisposeSettings(saved);
    psetDisposeSettings(target);
}

TEST_F(Files, NamedFilesInTheSettingsFolder) {
    // Beside the application by default.
    static FSSpec app{};
    std::string appDir = path("app");
    std::snprintf(app.name, sizeof app.name, "%s", appDir.c_str());
    SetAGlobal(kSlotAppFolder, reinterpret_cast<intptr_t>(&app));
    char folder[260];
    ASSERT_EQ(psetGetSettingsFolder(folder), 1);
    EXPECT_EQ(std::string(folder), appDir + "/Settings");
    SetAGlobal(kSlotAppFolder, 0);
    EXPECT_EQ(psetGetSettingsFolder(folder), 0);

    psetSetSettingsFolder(path("nested/Settings").c_str());
    Handle s = oddBlock();
    ASSERT_EQ(rc::settings::saveNamedSettings("Alpha", s, "first", kPsetKindMovie), noErr);
    ASSERT_EQ(rc::settings::saveNamedSettings("Beta.prs", s, "second", kPsetKindMovie), noErr);
    EXPECT_TRUE(AlertLog::messages.empty());
    EXPECT_EQ(rc::settings::settingsFileNames(), (std::vector<std::string>{"Alpha", "Beta"}));

    // Replacing asks first; declining keeps the old file.
    std::string before = readFile(path("nested/Settings/Alpha.prs"));
    AlertLog::answer = kAlertCancel;
    EXPECT_EQ(rc::settings::saveNamedSettings("Alpha", s, "changed", kPsetKindMovie), 1);
    ASSERT_EQ(AlertLog::messages.size(), 1u);
    EXPECT_NE(AlertLog::messages[0].find("already exists"), std::string::npos);
    EXPECT_EQ(readFile(path("nested/Settings/Alpha.prs")), before);

    // Loading warns about an exporter that is not installed.
    AlertLog::messages.clear();
    Handle loaded = rc::settings::loadNamedSettings("Alpha", nullptr);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(AlertLog::messages.size(), 1u);
    EXPECT_NE(AlertLog::messages[0].find("compiler which is not available"), std::string::npos);

    AlertLog::answer = kAlertOK;
    AlertLog::messages.clear();
    EXPECT_EQ(rc::settings::deleteNamedSettings("Beta"), noErr);
    EXPECT_EQ(rc::settings::settingsFileNames(), (std::vector<std::string>{"Alpha"}));
    EXPECT_EQ(rc::settings::deleteNamedSettings("Beta"), fnfErr);
    ASSERT_EQ(AlertLog::messages.size(), 3u);  // two questions, one failure
    EXPECT_NE(AlertLog::messages[0].find("really wish to delete"), std::string::npos);
    EXPECT_EQ(AlertLog::messages[2], "Unable to delete the Settings File.");

    // A folder that can't be made.
    writeFile(path("blocker"), "x");
    psetSetSettingsFolder(path("blocker/Settings").c_str());
    AlertLog::messages.clear();
    EXPECT_NE(rc::settings::saveNamedSettings("Gamma", s, "", kPsetKindMovie), noErr);
    ASSERT_EQ(AlertLog::messages.size(), 1u);
    EXPECT_NE(AlertLog::messages[0].find("Could not create the Settings folder"),
              std::string::npos);
    psetDisposeSettings(s);
    psetDisposeSettings(loaded);
}

TEST_F(Files, DefaultSettingsNameFromTheApplicationOrTheConfiguration) {
    char name[64];
    psetGetDefaultSettingsName(name, sizeof name);
    EXPECT_STREQ(name, "");
    std::string ini = path("app.ini");
    writeFile(ini, "[Default]\nSettings=Broadcast PAL\n");
    static std::string iniPath;
    iniPath = ini;
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(iniPath.c_str()));
    psetGetDefaultSettingsName(name, sizeof name);
    EXPECT_STREQ(name, "Broadcast PAL");
    psetSetDefaultSettingsName("Given");
    psetGetDefaultSettingsName(name, sizeof name);
    EXPECT_STREQ(name, "Given");
    SetAGlobal(kSlotSettingsFilePath, 0);
}

}  // namespace

namespace {

class Palettes : public SettingsTest {};

TEST_F(Palettes, RiffColourTableAndTextPalettes) {
    Handle h = psetNewDefaultSettings();
    // RIFF: two entries, a list chunk before the data.
    std::string riff = "RIFF";
    riff += std::string("\x22\0\0\0", 4) + "PAL " + "LIST" + std::string("\x02\0\0\0", 4) + "ab";
    riff += "data" + std::string("\x0C\0\0\0", 4) + std::string("\x00\x03\x02\x00", 4);
    riff += std::string("\x10\x20\x30\x00\xFF\x00\x80\x00", 8);
    std::string p = path("two.pal");
    writeFile(p, riff);
    ASSERT_EQ(psetLoadPalette(h, p.c_str()), noErr);
    EXPECT_EQ(+blk(h).video.paletteCount, 2);
    EXPECT_EQ(+blk(h).video.paletteType, 1);
    EXPECT_EQ(+blk(h).video.palette[0], 0x102030u);
    EXPECT_EQ(+blk(h).video.palette[1], 0xFF0080u);
    EXPECT_EQ(+blk(h).video.palette[2], 0u);

    // An editor's colour table with a count of 3.
    std::string act(772, '\0');
    act[3] = 1;
    act[4] = 2;
    act[5] = 3;
    act[768] = 0;
    act[769] = 3;
    writeFile(p, act);
    ASSERT_EQ(psetLoadPalette(h, p.c_str()), noErr);
    EXPECT_EQ(+blk(h).video.paletteCount, 3);
    EXPECT_EQ(+blk(h).video.palette[1], 0x010203u);

    writeFile(p, "JASC-PAL\r\n0100\r\n2\r\n255 0 0\r\n0 0 255\r\n");
    ASSERT_EQ(psetLoadPalette(h, p.c_str()), noErr);
    EXPECT_EQ(+blk(h).video.paletteCount, 2);
    EXPECT_EQ(+blk(h).video.palette[0], 0xFF0000u);
    EXPECT_EQ(+blk(h).video.palette[1], 0x0000FFu);

    // Malformed files change nothing.
    const std::string bad[] = {
        "JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n",  // fewer entries than counted
        "JASC-PAL\r\n0100\r\n1\r\n1 2 300\r\n",
        std::string("RIFF\x10\0\0\0PAL data\xFF\0\0\0", 20),  // chunk past the end
        std::string(100, 'x'),
    };
    for (const std::string& b : bad) {
        writeFile(p, b);
        EXPECT_EQ(psetLoadPalette(h, p.c_str()), kPsetBadFile);
        EXPECT_EQ(+blk(h).video.paletteCount, 2);
    }
    EXPECT_EQ(psetLoadPalette(h, path("none.pal").c_str()), fnfErr);
    psetDisposeSettings(h);
}

}  // namespace

namespace {

class NamedWarnings : public SettingsTest {};

const rc::settingshooks::ExportCatalog* gNoCatalog = nullptr;

bool oneExporter(int32_t i, rc::settingshooks::ExporterInfo* out) {
    if (i != 0) return false;
    *out = rc::settingshooks::ExporterInfo{1, code("AVIV"), code("????"), ~0u};
    return true;
}

TEST_F(NamedWarnings, QuickTimeFilesAndInstalledExporters) {
    psetSetSettingsFolder(path("Settings").c_str());
    Handle s = psetNewDefaultSettings();
    ASSERT_EQ(rc::settings::saveNamedSettings("Avi", s, "", kPsetKindMovie), noErr);
    blk(s).general.filetype = code("MooV");
    ASSERT_EQ(rc::settings::saveNamedSettings("Movie", s, "", kPsetKindMovie), noErr);
    const rc::settingshooks::ExportCatalog catalog{oneExporter, nullptr, nullptr};
    gNoCatalog = rc::settingshooks::setExportCatalog(&catalog);
    AlertLog::messages.clear();
    Handle avi = rc::settings::loadNamedSettings("Avi", nullptr);
    EXPECT_TRUE(AlertLog::messages.empty());  // its exporter is installed
    Handle movie = rc::settings::loadNamedSettings("Movie", nullptr);
    ASSERT_EQ(AlertLog::messages.size(), 1u);
    EXPECT_NE(AlertLog::messages[0].find("requires QuickTime"), std::string::npos);
    rc::settingshooks::setExportCatalog(gNoCatalog);
    psetDisposeSettings(s);
    psetDisposeSettings(avi);
    psetDisposeSettings(movie);
}

}  // namespace
