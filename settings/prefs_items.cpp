// The items the library keeps in the preferences store, the application
// values behind them, window placement and the files' preference blocks.
#include <cstring>
#include <new>
#include <string>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/timerecord.h"
#include "settings/prefs_block.h"
#include "settings/prefs_internal.h"
#include "settings/settings_hooks.h"
#include "settings/settings_internal.h"

namespace rc::prefs {

namespace {

using rc::settings::fourCC;
using rc::settings::ProjectSettings;

struct ValueItem {
    OSType type;
    int32_t fallback;
    bool saved;
};

const ValueItem kValues[] = {
    {fourCC("Mina"), 6, true},   {fourCC("Iwks"), 1, true},     {fourCC("BCHC"), 0, true},
    {fourCC("Stil"), 150, true}, {fourCC("TMPO"), 120, true},   {fourCC("StLK"), 0, true},
    {fourCC("SCrZ"), 0, true},   {fourCC("MIDF"), 0, true},     {fourCC("CurD"), 0, true},
    {fourCC("Zoom"), 0, true},   {fourCC("ZMet"), 0, true},     {fourCC("Loop"), 0, true},
    {fourCC("VDly"), 1, true},   {fourCC("MaxW"), 4000, false}, {fourCC("MaxH"), 4000, false},
    {fourCC("ColB"), 0, true},   {fourCC("ClpC"), 1, true},     {fourCC("Lyrm"), 1, true},
    {fourCC("ASav"), -5, true},  {fourCC("AFil"), 30, true},    {fourCC("PVer"), 5, true},
    {fourCC("LyrB"), 1, true},   {fourCC("TipS"), 1, true},     {fourCC("BlkA"), 0, true},
    {fourCC("SnlC"), 0, true},   {fourCC("Strt"), 3, true},     {fourCC("MinD"), 1024, true},
    {fourCC("SafL"), 1, true},   {fourCC("LFad"), 0, true},     {fourCC("PrvF"), 0, true},
    {fourCC("ScrB"), 0, true},   {fourCC("PreR"), 1, true},     {fourCC("PstR"), 1, true},
    {fourCC("DaSW"), 1, true},   {fourCC("MxPW"), 1, true},     {fourCC("EoDW"), 1, true},
};
constexpr size_t kValueCount = sizeof kValues / sizeof kValues[0];

const OSType kPathTypes[] = {fourCC("WNam"), fourCC("VNam"), fourCC("ANam"), fourCC("LDeP")};

struct SettingsItem {
    OSType type;
    int32_t kind;  // 0: the project settings
};
const SettingsItem kSettingsItems[] = {
    {fourCC("Pset"), 0},
    {fourCC("Mset"), kPsetKindMovie},
    {fourCC("Fset"), kPsetKindStill},
    {fourCC("Aset"), kPsetKindAudio},
    {fourCC("Cset"), kPsetKindCustom},
};

constexpr int16_t kBlockId = 1000;
constexpr int16_t kItemId = 1000;
constexpr int16_t kWindowsId = 1001;
constexpr size_t kPlaceCount = 2;  // 'VIEW', 'DBUG'
constexpr OSType kPlaceTypes[kPlaceCount] = {fourCC("VIEW"), fourCC("DBUG")};

struct AppValues {
    int32_t values[kValueCount];
    char paths[4][kPrefsPathSize];
    char deviceName[32];
    Handle deviceData = nullptr;
    uint8_t title[kPrefsTitleSize];
    bool titleSet = false;
    FmWindowPlace places[kPlaceCount];
    bool placesSet = false;

    AppValues() {
        for (size_t i = 0; i < kValueCount; ++i) values[i] = kValues[i].fallback;
        std::memset(paths, 0, sizeof paths);
        std::memset(deviceName, 0, sizeof deviceName);
        std::memset(title, 0, sizeof title);
        std::memset(places, 0, sizeof places);
    }
};

AppValues& A() {
    static AppValues a;
    return a;
}

int valueIndex(OSType type) {
    for (size_t i = 0; i < kValueCount; ++i)
        if (kValues[i].type == type) return int(i);
    return -1;
}

int pathIndex(OSType type) {
    for (int i = 0; i < 4; ++i)
        if (kPathTypes[i] == type) return i;
    return -1;
}

void defaultTitle(uint8_t* t) {
    std::memset(t, 0, kPrefsTitleSize);
    const int32_t head[3] = {5, -1, -1};
    std::memcpy(t, head, sizeof head);
    char text[256] = {0};
    GetIndString(text, 1105, 8);
    std::memcpy(t + 12, text, 256);
    std::memset(text, 0, sizeof text);
    GetIndString(text, 1105, 9);
    std::memcpy(t + 12 + 256, text, 256);
}

// From the application's 'Rect' resource: two positions of four values.
void defaultPlaces(FmWindowPlace* places) {
    std::memset(places, 0, sizeof(FmWindowPlace) * kPlaceCount);
    for (size_t i = 0; i < kPlaceCount; ++i) places[i].width = places[i].height = -1;
    Handle r = GetResource(fourCC("Rect"), 1000);
    if (!r || !*r) return;
    const uint32_t size = FmGetHandleSize(r);
    for (size_t i = 0; i < kPlaceCount && (i + 1) * 16 <= size; ++i) {
        int32_t v[4];
        std::memcpy(v, *r + i * 16, sizeof v);
        places[i].left = v[0];
        places[i].top = v[1];
        places[i].width = v[2];
        places[i].height = v[3];
        places[i].shown = 1;
    }
    ReleaseResource(r);
}

const FmWindowPlace* places() {
    AppValues& a = A();
    if (!a.placesSet) {
        defaultPlaces(a.places);
        a.placesSet = true;
    }
    return a.places;
}

Handle settingsOf(int32_t kind) {
    if (kind == 0) return reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings));
    return rc::settings::exportSettingsIfAny(kind);
}

// The owned blocks in the order of their size items (1001, 1003 … 1009).
Ptr ownedAt(const ProjectSettings& s, int i) {
    switch (i) {
        case 0:
            return s.general.compilerprefs;
        case 1:
            return s.video.subtypeprefs;
        case 2:
            return s.capture.capprefs;
        case 3:
            return s.general.playmodprefs;
        default:
            return s.audio.subtypeprefs;
    }
}

void setOwnedAt(ProjectSettings& s, int i, Ptr p) {
    switch (i) {
        case 0:
            s.general.compilerprefs = p;
            break;
        case 1:
            s.video.subtypeprefs = p;
            break;
        case 2:
            s.capture.capprefs = p;
            break;
        case 3:
            s.general.playmodprefs = p;
            break;
        default:
            s.audio.subtypeprefs = p;
            break;
    }
}

OSErr saveSettings(FileRef f, const SettingsItem& item) {
    ProjectSettings* s = rc::settings::blockOf(settingsOf(item.kind));
    if (!s) return noErr;
    uint8_t image[kPrefsBlockItemSize];
    packBlock(*s, image);
    OSErr err = SetPrefItem(f, image, kPrefsBlockItemSize, item.type, kBlockId);
    for (int i = 0; i < 5 && !err; ++i) {
        Ptr p = ownedAt(*s, i);
        int32_t size = p ? int32_t(FmGetPtrSize(p)) : 0;
        const int16_t sizeId = int16_t(1001 + 2 * i);
        err = SetPrefItem(f, &size, 4, item.type, sizeId);
        if (!err && size > 0) err = SetPrefItem(f, p, size, item.type, int16_t(sizeId + 1));
    }
    return err;
}

void loadSettings(FileRef f, const SettingsItem& item) {
    uint8_t image[kPrefsBlockItemSize];
    if (GetPrefItem(f, image, kPrefsBlockItemSize, item.type, kBlockId, nullptr) != noErr) return;
    Handle h = rc::settings::newBlock();
    if (!h) return;
    ProjectSettings& s = *rc::settings::blockOf(h);
    unpackBlock(image, s);
    for (int i = 0; i < 5; ++i) {
        const int16_t sizeId = int16_t(1001 + 2 * i);
        int32_t size = 0;
        if (GetPrefItem(f, &size, 4, item.type, sizeId, nullptr) != noErr || size <= 0) continue;
        Handle data = GetPrefItemHandle(f, item.type, int16_t(sizeId + 1));
        if (data && FmGetHandleSize(data) == uint32_t(size)) {
            Ptr p = FmNewPtr(uint32_t(size));
            if (p) std::memcpy(p, *data, size_t(size));
            setOwnedAt(s, i, p);
        }
        if (data) FmDisposeHandle(data);
    }
    // A damaged block is not worth more than the defaults.
    if (rc::settings::plausible(s)) {
        if (item.kind == 0)
            ReplaceGlobalSettings(kSlotProjectSettings, h);
        else
            psetSetExportSettings(item.kind, h);
    }
    psetDisposeSettings(h);
}

void saveTimeBase(FileRef f, OSType type, const TDB* t) {
    if (t) SetPrefItem(f, t, sizeof *t, type, kItemId);
}

}  // namespace

}  // namespace rc::prefs

using namespace rc::prefs;
using rc::settings::fourCC;

extern "C" {

RC_API int32_t FmGetPrefValue(OSType type) {
    int i = valueIndex(type);
    return i < 0 ? 0 : A().values[i];
}

RC_API void FmSetPrefValue(OSType type, int32_t value) {
    int i = valueIndex(type);
    if (i >= 0) A().values[i] = value;
}

RC_API void FmGetPrefPath(OSType type, char* out) {
    if (!out) return;
    int i = pathIndex(type);
    std::strncpy(out, i < 0 ? "" : A().paths[i], kPrefsPathSize - 1);
    out[kPrefsPathSize - 1] = 0;
}

RC_API void FmSetPrefPath(OSType type, const char* path) {
    int i = pathIndex(type);
    if (i < 0) return;
    std::memset(A().paths[i], 0, kPrefsPathSize);
    if (path) std::strncpy(A().paths[i], path, kPrefsPathSize - 1);
}

RC_API void FmGetPrefDevice(char* name, Handle* data) {
    AppValues& a = A();
    if (name) std::memcpy(name, a.deviceName, sizeof a.deviceName);
    if (data) {
        *data = a.deviceData;
        if (*data && FmHandToHand(data) != noErr) *data = nullptr;
    }
}

RC_API void FmSetPrefDevice(const char* name, Handle data) {
    AppValues& a = A();
    std::memset(a.deviceName, 0, sizeof a.deviceName);
    if (name) std::strncpy(a.deviceName, name, sizeof a.deviceName - 1);
    if (a.deviceData) FmDisposeHandle(a.deviceData);
    a.deviceData = data;
    if (a.deviceData && FmHandToHand(&a.deviceData) != noErr) a.deviceData = nullptr;
}

RC_API void FmGetTitlePrefs(void* out) {
    AppValues& a = A();
    if (!a.titleSet) {
        defaultTitle(a.title);
        a.titleSet = true;
    }
    if (out) std::memcpy(out, a.title, kPrefsTitleSize);
}

RC_API void FmSetTitlePrefs(const void* prefs) {
    if (!prefs) return;
    std::memcpy(A().title, prefs, kPrefsTitleSize);
    A().titleSet = true;
}

RC_API void FmGetWindowPlace(int32_t which, FmWindowPlace* out) {
    if (out && which >= 0 && which < int32_t(kPlaceCount)) *out = places()[which];
}

RC_API void FmSetWindowPlace(int32_t which, const FmWindowPlace* place) {
    if (!place || which < 0 || which >= int32_t(kPlaceCount)) return;
    places();
    A().places[which] = *place;
}

RC_API OSErr SavePrefs(void) {
    FileRef f = -1;
    OSErr err = OpenPrefs(&f);
    if (err) return err;
    beginBatch();
    AppValues& a = A();
    for (const SettingsItem& item : kSettingsItems)
        if (OSErr e = saveSettings(f, item); e && !err) err = e;
    SetPrefItem(f, places(), int32_t(sizeof(FmWindowPlace) * kPlaceCount), fourCC("SkPf"),
                kWindowsId);
    saveTimeBase(f, fourCC("PrfV"), GetPreferredTimeBase(0));
    saveTimeBase(f, fourCC("CurV"), GetCurrentTimeBase(0));
    saveTimeBase(f, fourCC("PrfA"), GetPreferredTimeBase(1));
    saveTimeBase(f, fourCC("CurA"), GetCurrentTimeBase(1));
    SetPrefItem(f, a.paths[0], int32_t(std::strlen(a.paths[0]) + 1), fourCC("WNam"), kItemId);
    for (int i = 1; i < 4; ++i) SetPrefItem(f, a.paths[i], kPrefsPathSize, kPathTypes[i], kItemId);
    SetPrefItem(f, a.deviceName, sizeof a.deviceName, fourCC("DevN"), kItemId);
    int32_t devSize = a.deviceData ? int32_t(FmGetHandleSize(a.deviceData)) : 0;
    SetPrefItem(f, &devSize, 4, fourCC("DevS"), kItemId);
    if (devSize > 0) SetPrefItem(f, *a.deviceData, devSize, fourCC("DevD"), kItemId);
    uint8_t title[kPrefsTitleSize];
    FmGetTitlePrefs(title);
    SetPrefItem(f, title, kPrefsTitleSize, fourCC("TPrf"), kItemId);
    for (size_t i = 0; i < kValueCount; ++i)
        if (kValues[i].saved) SetPrefItem(f, &a.values[i], 4, kValues[i].type, kItemId);
    OSErr committed = endBatch();
    ClosePrefs();
    return err ? err : committed;
}

RC_API OSErr GetPrefs(void) {
    FileRef f = -1;
    OSErr err = OpenPrefs(&f);
    if (err) return err;  // every item keeps its default
    beginBatch();
    AppValues& a = A();
    for (const SettingsItem& item : kSettingsItems) loadSettings(f, item);

    if (Handle h = GetPrefItemHandle(f, fourCC("SkPf"), kWindowsId)) {
        // Shorter than two entries: ignored.
        if (FmGetHandleSize(h) >= sizeof(FmWindowPlace) * kPlaceCount) {
            places();
            std::memcpy(a.places, *h, sizeof(FmWindowPlace) * kPlaceCount);
        }
        FmDisposeHandle(h);
    }
    TDB t;
    const struct {
        OSType type;
        bool preferred;
        int32_t variant;
    } bases[] = {{fourCC("PrfV"), true, 0},
                 {fourCC("CurV"), false, 0},
                 {fourCC("PrfA"), true, 1},
                 {fourCC("CurA"), false, 1}};
    for (const auto& b : bases) {
        if (GetPrefItem(f, &t, sizeof t, b.type, kItemId, nullptr) != noErr || t.scale <= 0)
            continue;
        if (b.preferred)
            SetPreferredTimeBase(b.variant, &t);
        else
            SetCurrentTimeBase(b.variant, &t);
    }
    if (Handle h = GetPrefItemHandle(f, fourCC("WNam"), kItemId)) {
        size_t n = std::min<size_t>(FmGetHandleSize(h), kPrefsPathSize - 1);
        std::memset(a.paths[0], 0, kPrefsPathSize);
        std::memcpy(a.paths[0], *h, n);
        FmDisposeHandle(h);
    }
    for (int i = 1; i < 4; ++i) {
        char path[kPrefsPathSize];
        if (GetPrefItem(f, path, kPrefsPathSize, kPathTypes[i], kItemId, nullptr) == noErr) {
            path[kPrefsPathSize - 1] = 0;
            std::memcpy(a.paths[i], path, kPrefsPathSize);
        }
    }
    char name[32];
    if (GetPrefItem(f, name, sizeof name, fourCC("DevN"), kItemId, nullptr) == noErr) {
        name[31] = 0;
        std::memcpy(a.deviceName, name, sizeof name);
    }
    int32_t devSize = 0;
    if (GetPrefItem(f, &devSize, 4, fourCC("DevS"), kItemId, nullptr) == noErr && devSize > 0) {
        Handle h = GetPrefItemHandle(f, fourCC("DevD"), kItemId);
        if (h && FmGetHandleSize(h) == uint32_t(devSize)) {
            if (a.deviceData) FmDisposeHandle(a.deviceData);
            a.deviceData = h;
        } else if (h) {
            FmDisposeHandle(h);
        }
    }
    uint8_t fallback[kPrefsTitleSize];
    defaultTitle(fallback);
    GetPrefItem(f, a.title, kPrefsTitleSize, fourCC("TPrf"), kItemId, fallback);
    a.titleSet = true;
    for (size_t i = 0; i < kValueCount; ++i)
        GetPrefItem(f, &a.values[i], 4, kValues[i].type, kItemId, &kValues[i].fallback);
    err = endBatch();
    ClosePrefs();
    return err;
}

RC_API void SetWindows(void) {
    int32_t mainWidth = 0, mainHeight = 0;
    rc::settingshooks::mainWindowSize(&mainWidth, &mainHeight);
    for (size_t i = 0; i < kPlaceCount; ++i) {
        const FmWindowPlace& p = places()[i];
        int32_t rect[4] = {p.left, p.top, p.width, p.height};
        if (p.left & 0x8000) rect[0] = mainWidth - (p.left & 0x7FFF);
        if (p.top & 0x8000) rect[1] = mainHeight - (p.top & 0x7FFF);
        // The view window is only shown or minimised, never moved.
        rc::settingshooks::placeWindow(kPlaceTypes[i], rect, i != 0, p.shown != 0,
                                       p.minimised != 0);
    }
}

RC_API OSErr GetFilePref(int16_t fileID, void* block) {
    if (!block) return kPrefsBadParam;
    OSErr err = rc::settingshooks::filePref(fileID, block, false);
    if (err) std::memset(block, 0, 16);
    return err;
}

RC_API OSErr SetFilePref(int16_t fileID, const void* block) {
    if (!block) return kPrefsBadParam;
    uint8_t copy[16];
    std::memcpy(copy, block, sizeof copy);
    return rc::settingshooks::filePref(fileID, copy, true);
}

}  // extern "C"

namespace rc::prefs {

void resetAppValues() {
    AppValues& a = A();
    if (a.deviceData) FmDisposeHandle(a.deviceData);
    a.~AppValues();
    new (&a) AppValues();
}

}  // namespace rc::prefs
