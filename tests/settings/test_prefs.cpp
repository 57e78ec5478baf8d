// The preferences store: appends, in-place overwrites, reopening, damaged
// files of every kind, saves that fail midway, the 16-bit count, and the
// items SavePrefs and GetPrefs carry.
#include "settings_fixture.h"

#include <sys/stat.h>

#include "platform/safe_save.h"
#include "reelcore/prefs.h"
#include "reelcore/timerecord.h"
#include "settings/prefs_internal.h"

using namespace settest;

namespace {

class Prefs : public SettingsTest {
  protected:
    std::string store;

    void SetUp() override {
        SettingsTest::SetUp();
        store = path("Orvik/Filmoryx/Filmoryx 6.5 Prefs");
        FmSetPrefsPath(store.c_str());
        rc::prefs::resetAppValues();
    }
    void TearDown() override {
        rc::platform::failSafeSaveCommitAt(0);
        FmSetPrefsPath(nullptr);
        rc::prefs::resetAppValues();
        SettingsTest::TearDown();
    }

    FileRef openStore() {
        FileRef f = -1;
        EXPECT_EQ(OpenPrefs(&f), noErr);
        EXPECT_GE(f, 0);
        return f;
    }
    size_t fileSize() { return readFile(store).size(); }

    // The raw directory of the file on disk.
    struct Entry {
        OSType type;
        int16_t id;
        int32_t offset, length;
    };
    std::vector<Entry> entriesOnDisk() {
        std::string bytes = readFile(store);
        std::vector<Entry> out;
        if (bytes.size() < 2) return out;
        uint16_t count = uint16_t(uint8_t(bytes[bytes.size() - 2]) | uint8_t(bytes.back()) << 8);
        size_t at = bytes.size() - 2 - size_t(count) * 14;
        for (uint16_t i = 0; i < count; ++i, at += 14) {
            Entry e;
            std::memcpy(&e.type, &bytes[at], 4);
            std::memcpy(&e.id, &bytes[at + 4], 2);
            std::memcpy(&e.offset, &bytes[at + 6], 4);
            std::memcpy(&e.length, &bytes[at + 10], 4);
            out.push_back(e);
        }
        return out;
    }
    static std::string entryBytes(OSType type, int16_t id, int32_t offset, int32_t length) {
        std::string e(14, '\0');
        std::memcpy(&e[0], &type, 4);
        std::memcpy(&e[4], &id, 2);
        std::memcpy(&e[6], &offset, 4);
        std::memcpy(&e[10], &length, 4);
        return e;
    }
    static std::string countBytes(uint16_t n) { return std::string{char(n & 0xFF), char(n >> 8)}; }
};

TEST_F(Prefs, AppendOverwriteInPlaceAndReopen) {
    EXPECT_EQ(FmGetPrefsPath(nullptr), 1);
    FileRef f = openStore();
    EXPECT_EQ(fileSize(), 2u);  // a new store: only its count
    EXPECT_EQ(readFile(store), std::string(2, '\0'));

    int32_t v = 7;
    ASSERT_EQ(SetPrefItem(f, &v, 4, code("Mina"), 1000), noErr);
    EXPECT_EQ(fileSize(), 20u);  // 4 + 14 + 2
    v = 8;
    ASSERT_EQ(SetPrefItem(f, &v, 4, code("Mina"), 1000), noErr);
    EXPECT_EQ(fileSize(), 20u);  // same length: in place
    ASSERT_EQ(SetPrefItem(f, "abcdef", 6, code("Mina"), 1000), noErr);
    EXPECT_EQ(fileSize(), 20u + 6 + 14);
    auto entries = entriesOnDisk();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, 0u);  // the old entry is dead
    EXPECT_EQ(entries[0].id, 0);
    EXPECT_EQ(entries[1].type, code("Mina"));
    EXPECT_EQ(entries[1].offset, 4);
    EXPECT_EQ(entries[1].length, 6);
    EXPECT_EQ(CountPrefItems(), 1);

    // The same descriptor keeps working after the file was replaced.
    ASSERT_EQ(SetPrefItem(f, "xyzxyz", 6, code("Mina"), 1000), noErr);
    EXPECT_EQ(fileSize(), 20u + 6 + 14);

    ClosePrefs();
    f = openStore();
    char text[6];
    ASSERT_EQ(GetPrefItem(f, text, 6, code("Mina"), 1000, nullptr), noErr);
    EXPECT_EQ(std::string(text, 6), "xyzxyz");
    Handle h = GetPrefItemHandle(f, code("Mina"), 1000);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(FmGetHandleSize(h), 6u);
    FmDisposeHandle(h);

    // A read of another length is absent; with a default it is stored.
    EXPECT_EQ(GetPrefItem(f, &v, 4, code("Mina"), 1000, nullptr), kPrefsAbsent);
    const int32_t fallback = 6;
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Mina"), 1000, &fallback), noErr);
    EXPECT_EQ(v, 6);
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Stil"), 1000, nullptr), kPrefsAbsent);
    const int32_t stil = 150;
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Stil"), 1000, &stil), noErr);
    ClosePrefs();
    f = openStore();  // the next run finds both
    v = 0;
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Stil"), 1000, nullptr), noErr);
    EXPECT_EQ(v, 150);
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Mina"), 1000, nullptr), noErr);
    EXPECT_EQ(v, 6);

    // Another descriptor is not the store.
    EXPECT_EQ(SetPrefItem(f + 100, &v, 4, code("Mina"), 1000), kPrefsNotOpen);
    EXPECT_EQ(SetPrefItem(f, &v, 4, 0, 0), kPrefsBadParam);
    EXPECT_EQ(SetPrefItem(f, nullptr, 4, code("Mina"), 1000), kPrefsBadParam);
}

TEST_F(Prefs, ASaveThatFailsMidwayLeavesTheOldStore) {
    FileRef f = openStore();
    int32_t v = 1;
    ASSERT_EQ(SetPrefItem(f, &v, 4, code("Iwks"), 1000), noErr);
    const std::string before = readFile(store);
    for (int step : {1, 2, 3}) {
        rc::platform::failSafeSaveCommitAt(step);
        EXPECT_NE(SetPrefItem(f, "12345678", 8, code("Iwks"), 1000), noErr) << step;
        rc::platform::failSafeSaveCommitAt(0);
        EXPECT_EQ(readFile(store), before) << step;
        // The store in memory still matches the file.
        v = 0;
        EXPECT_EQ(GetPrefItem(f, &v, 4, code("Iwks"), 1000, nullptr), noErr) << step;
        EXPECT_EQ(v, 1);
    }
    // No temporary files are left beside the store.
    size_t files = 0;
    for (auto& e :
         std::filesystem::directory_iterator(std::filesystem::path(store).parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);

    // A whole SavePrefs that can't be committed leaves the old store too.
    ClosePrefs();
    FmSetPrefValue(code("Iwks"), 99);
    rc::platform::failSafeSaveCommitAt(3);
    EXPECT_NE(SavePrefs(), noErr);
    rc::platform::failSafeSaveCommitAt(0);
    EXPECT_EQ(readFile(store), before);
    f = openStore();
    EXPECT_EQ(CountPrefItems(), 1);
    ClosePrefs();
    // And then it works.
    ASSERT_EQ(SavePrefs(), noErr);
    f = openStore();
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Iwks"), 1000, nullptr), noErr);
    EXPECT_EQ(v, 99);
}

TEST_F(Prefs, DamagedStoresAreSetAsideAndReplaced) {
    std::filesystem::create_directories(std::filesystem::path(store).parent_path());
    const std::string item = "DATA";
    const std::string damaged[] = {
        std::string(1, '\x05'),                                        // shorter than a count
        item + countBytes(3),                                          // count past the file
        item + entryBytes(code("Mina"), 1000, 2, 4) + countBytes(1),   // past the data
        item + entryBytes(code("Mina"), 1000, -1, 4) + countBytes(1),  // negative offset
        item + entryBytes(code("Mina"), 1000, 0, 0x7FFFFFFF) + countBytes(1),  // huge length
    };
    for (const std::string& bytes : damaged) {
        ClosePrefs();
        std::filesystem::remove(store + ".damaged");
        writeFile(store, bytes);
        AlertLog::messages.clear();
        FileRef f = openStore();
        EXPECT_EQ(readFile(store), std::string(2, '\0'));
        EXPECT_EQ(readFile(store + ".damaged"), bytes);
        ASSERT_EQ(AlertLog::messages.size(), 1u);
        EXPECT_NE(AlertLog::messages[0].find("set aside"), std::string::npos);
        int32_t v = 3;
        EXPECT_EQ(SetPrefItem(f, &v, 4, code("Mina"), 1000), noErr);
        EXPECT_EQ(fileSize(), 20u);
    }
    // A well-formed store with dead entries and stale data is fine.
    ClosePrefs();
    const std::string good = item + "XXXX" + entryBytes(0, 0, 0, 4) +
                             entryBytes(code("Mina"), 1000, 4, 4) + countBytes(2);
    writeFile(store, good);
    AlertLog::messages.clear();
    FileRef f = openStore();
    EXPECT_TRUE(AlertLog::messages.empty());
    char text[4];
    ASSERT_EQ(GetPrefItem(f, text, 4, code("Mina"), 1000, nullptr), noErr);
    EXPECT_EQ(std::string(text, 4), "XXXX");
}

TEST_F(Prefs, AStoreThatCannotBeOpenedIsLeftAlone) {
    // A folder where the file should be: it exists, but isn't a store.
    std::filesystem::create_directories(store);
    FileRef f = 5;
    EXPECT_NE(OpenPrefs(&f), noErr);
    EXPECT_EQ(f, -1);
    EXPECT_TRUE(std::filesystem::is_directory(store));
    // Everything runs on the defaults.
    FmSetPrefValue(code("Mina"), 1);
    EXPECT_NE(GetPrefs(), noErr);
    EXPECT_EQ(FmGetPrefValue(code("Mina")), 1);
    int32_t v = 0;
    const int32_t fallback = 6;
    EXPECT_EQ(GetPrefItem(-1, &v, 4, code("Mina"), 1000, &fallback), noErr);
    EXPECT_EQ(v, 6);
    EXPECT_NE(SavePrefs(), noErr);
    EXPECT_TRUE(std::filesystem::is_directory(store));
}

TEST_F(Prefs, TheStoreIsCompactedBeforeItsCountWraps) {
    std::filesystem::create_directories(std::filesystem::path(store).parent_path());
    // 65,534 dead entries and one live item.
    std::string bytes = "LIVE";
    bytes.reserve(4 + 65535 * 14 + 2);
    for (int i = 0; i < 65534; ++i) bytes += entryBytes(0, 0, 0, 4);
    bytes += entryBytes(code("Live"), 1000, 0, 4);
    bytes += countBytes(65535);
    writeFile(store, bytes);
    FileRef f = openStore();
    EXPECT_EQ(CountPrefItems(), 1);
    int32_t v = 42;
    ASSERT_EQ(SetPrefItem(f, &v, 4, code("Next"), 1000), noErr);
    auto entries = entriesOnDisk();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(fileSize(), 4u + 4 + 2 * 14 + 2);
    char text[4];
    ASSERT_EQ(GetPrefItem(f, text, 4, code("Live"), 1000, nullptr), noErr);
    EXPECT_EQ(std::string(text, 4), "LIVE");
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("Next"), 1000, nullptr), noErr);
    EXPECT_EQ(v, 42);
}

TEST_F(Prefs, GetPrefsOnAnEmptyStoreStoresTheDefaults) {
    FmSetPrefValue(code("Stil"), 1);  // replaced by the default
    ASSERT_EQ(GetPrefs(), noErr);
    EXPECT_EQ(FmGetPrefValue(code("Mina")), 6);
    EXPECT_EQ(FmGetPrefValue(code("Stil")), 150);
    EXPECT_EQ(FmGetPrefValue(code("ASav")), -5);
    EXPECT_EQ(FmGetPrefValue(code("MinD")), 1024);
    EXPECT_EQ(FmGetPrefValue(code("MaxW")), 4000);
    EXPECT_EQ(FmGetPrefValue(code("Nope")), 0);
    uint8_t title[kPrefsTitleSize];
    FmGetTitlePrefs(title);
    int32_t head[3];
    std::memcpy(head, title, sizeof head);
    EXPECT_EQ(head[0], 5);
    EXPECT_EQ(head[1], -1);
    EXPECT_EQ(head[2], -1);
    EXPECT_STREQ(reinterpret_cast<const char*>(title + 12), "Arial");
    FmWindowPlace view;
    FmGetWindowPlace(0, &view);
    EXPECT_EQ(view.left, 8);
    EXPECT_EQ(view.width, -1);
    // The defaults went into the store (one batch: the file was written once).
    FileRef f = openStore();
    EXPECT_EQ(CountPrefItems(), 36 + 1);  // the 4-byte values and the title
    int32_t v = 0;
    ASSERT_EQ(GetPrefItem(f, &v, 4, code("TMPO"), 1000, nullptr), noErr);
    EXPECT_EQ(v, 120);
}

TEST_F(Prefs, SaveAndGetCarryEveryItem) {
    InitProjectSettings();
    Handle rich = richBlock();
    blk(rich).video.width = 352;
    ASSERT_EQ(ReplaceGlobalSettings(kSlotProjectSettings, rich), noErr);
    blk(InitProjectSettings()).exportSource[0] = 9;  // the clip word is not kept
    blk(InitProjectSettings()).exportSource[10] = 3;
    blk(rich).video.width = 176;
    ASSERT_EQ(psetSetExportSettings(kPsetKindAudio, rich), noErr);
    psetDisposeSettings(rich);
    FmSetPrefValue(code("TMPO"), 90);
    FmSetPrefValue(code("MaxW"), 1234);  // not saved
    FmSetPrefPath(code("WNam"), "/work/scratch");
    FmSetPrefPath(code("VNam"), "/video");
    Handle dev = FmNewHandleClear(5);
    std::memcpy(*dev, "12345", 5);
    FmSetPrefDevice("DV camera", dev);
    FmDisposeHandle(dev);
    FmWindowPlace dbug{0x8000 | 100, 20, 300, -1, 1, 0};
    FmSetWindowPlace(1, &dbug);
    const TDB pal{0, 25, 1};
    SetPreferredTimeBase(0, &pal);
    ASSERT_EQ(SavePrefs(), noErr);

    // The stored block holds no pointers and no device.
    FileRef f = openStore();
    Handle image = GetPrefItemHandle(f, code("Pset"), 1000);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(FmGetHandleSize(image), uint32_t(kPrefsBlockItemSize));
    const uint8_t* b = reinterpret_cast<const uint8_t*>(*image);
    for (size_t at : {size_t(4 + 8), size_t(4 + 49), size_t(4 + 53 + 4)})  // pointer words
        EXPECT_EQ(std::memcmp(b + at, "\0\0\0\0", 4), 0) << at;
    const size_t device = 1691 - 296 - 52;
    for (size_t i = 0; i < 52 + 4; ++i) ASSERT_EQ(b[device + i], 0) << i;
    EXPECT_EQ(b[device + 52 + 10], 3);
    FmDisposeHandle(image);
    int32_t size = 0;
    ASSERT_EQ(GetPrefItem(f, &size, 4, code("Pset"), 1001, nullptr), noErr);
    EXPECT_EQ(size, 8);  // "compiler"
    EXPECT_EQ(GetPrefItem(f, &size, 4, code("Mset"), 1001, nullptr), kPrefsAbsent);
    ClosePrefs();

    // A new run.
    psetShutdown();
    rc::prefs::resetAppValues();
    InitProjectSettings();
    ASSERT_EQ(GetPrefs(), noErr);
    const PsetBlock& g = blk(InitProjectSettings());
    EXPECT_EQ(+g.video.width, 352);
    EXPECT_EQ(ptrText(g.general.compilerprefs), "compiler");
    EXPECT_EQ(ptrText(g.general.playmodprefs), "playmod");
    EXPECT_EQ(ptrText(g.video.subtypeprefs), "video");
    EXPECT_EQ(ptrText(g.audio.subtypeprefs), "audio");
    EXPECT_EQ(ptrText(g.capture.capprefs), "capture");
    EXPECT_EQ(+g.device.devdata, 0u);
    EXPECT_EQ(g.device.devname[0], 0);
    Handle audio = psetGetExportSettings(kPsetKindAudio);
    EXPECT_EQ(+blk(audio).video.width, 176);
    EXPECT_EQ(FmGetPrefValue(code("TMPO")), 90);
    EXPECT_EQ(FmGetPrefValue(code("MaxW")), 4000);
    char p[kPrefsPathSize];
    FmGetPrefPath(code("WNam"), p);
    EXPECT_STREQ(p, "/work/scratch");
    FmGetPrefPath(code("VNam"), p);
    EXPECT_STREQ(p, "/video");
    char name[32];
    Handle data = nullptr;
    FmGetPrefDevice(name, &data);
    EXPECT_STREQ(name, "DV camera");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(*data, FmGetHandleSize(data)), "12345");
    FmDisposeHandle(data);
    FmWindowPlace back;
    FmGetWindowPlace(1, &back);
    EXPECT_EQ(std::memcmp(&back, &dbug, sizeof back), 0);
    ASSERT_NE(GetPreferredTimeBase(0), nullptr);
    EXPECT_EQ(GetPreferredTimeBase(0)->scale, 25);

    // A second save of the same items keeps the file's size.
    size_t before = fileSize();
    ASSERT_EQ(SavePrefs(), noErr);
    EXPECT_EQ(fileSize(), before);
}

TEST_F(Prefs, ShortWindowItemsAndDamagedBlocksAreIgnored) {
    FileRef f = openStore();
    ASSERT_EQ(SetPrefItem(f, "short", 5, code("SkPf"), 1001), noErr);
    uint8_t image[kPrefsBlockItemSize] = {0};  // zero frame size and time base
    ASSERT_EQ(SetPrefItem(f, image, kPrefsBlockItemSize, code("Pset"), 1000), noErr);
    ClosePrefs();
    InitProjectSettings();
    ASSERT_EQ(GetPrefs(), noErr);
    FmWindowPlace view;
    FmGetWindowPlace(0, &view);
    EXPECT_EQ(view.left, 8);  // the default
    EXPECT_EQ(psetGetOutWidth(nullptr), 640);
}

struct Placed {
    OSType type;
    int32_t rect[4];
    bool move, shown, minimised;
};
std::vector<Placed> gPlaced;
void placeWindow(OSType type, const int32_t rect[4], bool move, bool shown, bool minimised) {
    gPlaced.push_back({type, {rect[0], rect[1], rect[2], rect[3]}, move, shown, minimised});
}
bool mainSize(int32_t* w, int32_t* h) {
    *w = 1000;
    *h = 700;
    return true;
}

TEST_F(Prefs, SetWindowsPlacesViewAndDebugWindows) {
    gPlaced.clear();
    SetWindows();  // no windows: nothing happens
    EXPECT_TRUE(gPlaced.empty());
    rc::settingshooks::setPlaceWindow(placeWindow);
    rc::settingshooks::setMainWindowSize(mainSize);
    FmWindowPlace view{10, 10, 200, 100, 1, 1};
    FmWindowPlace dbug{0x8000 | 300, 0x8000 | 50, 250, -1, 1, 0};
    FmSetWindowPlace(0, &view);
    FmSetWindowPlace(1, &dbug);
    SetWindows();
    rc::settingshooks::setPlaceWindow(nullptr);
    rc::settingshooks::setMainWindowSize(nullptr);
    ASSERT_EQ(gPlaced.size(), 2u);
    EXPECT_EQ(gPlaced[0].type, code("VIEW"));
    EXPECT_FALSE(gPlaced[0].move);
    EXPECT_TRUE(gPlaced[0].minimised);
    EXPECT_EQ(gPlaced[1].type, code("DBUG"));
    EXPECT_TRUE(gPlaced[1].move);
    EXPECT_EQ(gPlaced[1].rect[0], 700);
    EXPECT_EQ(gPlaced[1].rect[1], 650);
    EXPECT_EQ(gPlaced[1].rect[2], 250);
    EXPECT_EQ(gPlaced[1].rect[3], -1);
}

OSErr filePref(int16_t id, void* block, bool set) {
    static uint8_t stored[16];
    if (id != 3) return 2;
    if (set)
        std::memcpy(stored, block, 16);
    else
        std::memcpy(block, stored, 16);
    return noErr;
}

TEST_F(Prefs, FilePreferencesGoThroughTheImporter) {
    uint8_t block[16];
    std::memset(block, 0xAA, sizeof block);
    EXPECT_EQ(GetFilePref(3, block), 2);  // no importer
    for (uint8_t b : block) EXPECT_EQ(b, 0);
    rc::settingshooks::setFilePref(filePref);
    const uint8_t mine[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(SetFilePref(3, mine), noErr);
    EXPECT_EQ(GetFilePref(3, block), noErr);
    EXPECT_EQ(std::memcmp(block, mine, 16), 0);
    EXPECT_EQ(GetFilePref(4, block), 2);
    rc::settingshooks::setFilePref(nullptr);
}

TEST_F(Prefs, ConfigurationKeysAndTheirDefaults) {
    EXPECT_EQ(FmGetConfigInt("override", "NoCompileAsync"), 0);
    EXPECT_EQ(FmGetConfigInt("override", "NumCPUs"), -1);
    EXPECT_EQ(FmGetConfigInt("override", "PixelAspectRatioDisplay"), 1);
    EXPECT_EQ(FmGetConfigInt("override", "PixelAspectRatioCorrection"), 1);
    EXPECT_EQ(FmGetConfigInt("KPT", "AlphaChannelBug"), 1);
    EXPECT_EQ(FmGetConfigInt("KPT", "Unknown"), 0);
    std::string ini = path("app.ini");
    writeFile(ini,
              "[Override]\nnocompileasync=1\nNumCPUs=4\n[KPT]\nAlphaChannelBug=0\n"
              "[Default]\nSettings=\"NTSC DV\"\n");
    static std::string iniPath;
    iniPath = ini;
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(iniPath.c_str()));
    EXPECT_EQ(FmGetConfigInt("override", "NoCompileAsync"), 1);
    EXPECT_EQ(FmGetConfigInt("override", "NumCPUs"), 4);
    EXPECT_EQ(FmGetConfigInt("override", "PixelAspectRatioDisplay"), 1);
    EXPECT_EQ(FmGetConfigInt("KPT", "AlphaChannelBug"), 0);
    char text[64];
    EXPECT_EQ(FmGetConfigString("Default", "Settings", text, sizeof text), 7u);
    EXPECT_STREQ(text, "NTSC DV");
    SetAGlobal(kSlotSettingsFilePath, 0);
}

TEST_F(Prefs, TheDefaultLocationFollowsTheConfigFolder) {
    FmSetPrefsPath(nullptr);
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    char p[kPrefsPathSize];
    ASSERT_EQ(FmGetPrefsPath(p), 1);
    EXPECT_EQ(std::string(p), (dir / "Orvik/Filmoryx/Filmoryx 6.5 Prefs").string());
    FileRef f = openStore();
    EXPECT_TRUE(std::filesystem::exists(dir / "Orvik/Filmoryx/Filmoryx 6.5 Prefs"));
    (void)f;
    ClosePrefs();
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
