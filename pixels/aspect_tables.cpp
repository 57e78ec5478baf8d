// The two pixel aspect tables (named presets and frame-size defaults) and
// their filling: the library's resource text, built-in texts and the
// user's rules file.
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "pixels/aspect_internal.h"
#include "platform/profile.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

namespace rc::aspect {

namespace {

constexpr ResType kTextType = 0x54455854;  // 'TEXT'
constexpr int32_t kMaxRulesFileBytes = 1 << 20;
constexpr uint32_t kInitialEntries = 16;
constexpr const char* kRulesFileName = "\\Interpretation Rules.txt";
constexpr const char* kBuiltInPresets =
    "0,0=1/1/\"Square Pixels (1.0)\"\n0,0=648/720/\"D1/DV NTSC (0.9)\"\n"
    "0,0=768/720/\"D1/DV PAL (1.067)\"\n";
constexpr const char* kBuiltInDefaults = "720,486=648/720\n720,480=648/720\n720,576=768/720\n";

// A table: a handle of fixed-size entries, grown in steps, with the count
// of entries in use.
template <class Entry>
struct Table {
    Handle entries = nullptr;
    int32_t count = 0;

    Entry* at(int32_t i) const { return reinterpret_cast<Entry*>(*entries) + i; }
    bool grow() {
        const uint32_t have = GetHandleSize(entries) / sizeof(Entry);
        if (static_cast<uint32_t>(count) < have) return true;
        if (have >= (UINT32_MAX / 2) / sizeof(Entry)) return false;
        const uint32_t want = have < 16 ? 16 : have * 2;
        return SetHandleSize(entries, want * sizeof(Entry)) == noErr;
    }
};

// A hasher of our own keeps the index's template code inside the library
// (an instantiation over plain types could be exported as a weak symbol).
struct SizeHash {
    size_t operator()(uint64_t key) const { return std::hash<uint64_t>{}(key); }
};

struct State {
    Table<FmPARPreset> presets;
    Table<FmPARFrameDefault> defaults;
    // Index of the defaults by size, so a long rules file is not quadratic.
    std::unordered_map<uint64_t, int32_t, SizeHash> defaultBySize;
    std::string rulesPath;  // overrides the application folder's file when set
    FmPARLineProc report = nullptr;
    void* refcon = nullptr;
};

State& S() {
    static State s;
    return s;
}

void freeTables() {
    State& s = S();
    if (s.presets.entries) {
        for (int32_t i = 0; i < s.presets.count; ++i) DisposePtr(s.presets.at(i)->name);
        DisposeHandle(s.presets.entries);
    }
    if (s.defaults.entries) DisposeHandle(s.defaults.entries);
    s.presets = {};
    s.defaults = {};
    s.defaultBySize.clear();
}

void reportFile(int32_t outcome) {
    State& s = S();
    if (!s.report) return;
    FmPARLineReport r{};
    r.source = kPARSourceRulesFile;
    r.outcome = outcome;
    s.report(&r, s.refcon);
}

std::string rulesFilePath() {
    State& s = S();
    if (!s.rulesPath.empty()) return s.rulesPath;
    const auto* folder = reinterpret_cast<const FSSpec*>(GetAGlobal(kSlotAppFolder));
    if (!folder || !folder->name[0]) return {};
    char name[256];
    std::strcpy(name, kRulesFileName);
    GetIndString(name, kPARStringList, kPARRulesFileItem);
    std::string path(folder->name, strnlen(folder->name, sizeof folder->name));
    const char* rest = name;
    const bool folderEnds = path.back() == '\\' || path.back() == '/';
    if (folderEnds && (*rest == '\\' || *rest == '/')) ++rest;
    return path + rest;
}

// The rules file read whole; false when missing, unreadable or too large.
bool readRulesFile(std::string* text) {
    const std::string path = rulesFilePath();
    if (path.empty()) {
        reportFile(kPARFileMissing);
        return false;
    }
    FileRef ref = -1;
    if (HOpen(0, 0, path.c_str(), fsRdPerm, &ref) != noErr) {
        reportFile(kPARFileMissing);
        return false;
    }
    int32_t size = 0;
    bool ok = GetEOF(ref, &size) == noErr && size >= 0;
    if (ok && size > kMaxRulesFileBytes) {
        FmDebug(0, "Interpretation rules: %s is over 1 MiB and is not read\n", path.c_str());
        FSClose(ref);
        reportFile(kPARFileTooLarge);
        return false;
    }
    if (ok) {
        text->resize(static_cast<size_t>(size));
        int32_t count = size;
        ok = size == 0 || (FSRead(ref, &count, text->data()) == noErr && count == size);
    }
    FSClose(ref);
    if (!ok) reportFile(kPARFileMissing);
    return ok;
}

}  // namespace

bool resetTables() {
    State& s = S();
    freeTables();
    s.presets.entries = NewHandle(kInitialEntries * sizeof(FmPARPreset));
    s.defaults.entries = NewHandle(kInitialEntries * sizeof(FmPARFrameDefault));
    if (s.presets.entries && s.defaults.entries) return true;
    freeTables();
    return false;
}

bool hasNamedPreset() {
    return S().presets.count > 0;
}

bool appendPreset(std::string_view name, FmPARCode code, int32_t source, int32_t line) {
    auto& t = S().presets;
    if (!t.entries || !t.grow()) return false;
    Ptr copy = NewPtr(static_cast<uint32_t>(name.size() + 1));
    if (!copy) return false;
    std::memcpy(copy, name.data(), name.size());
    copy[name.size()] = '\0';
    *t.at(t.count++) = FmPARPreset{copy, code, source, line};
    return true;
}

namespace {

uint64_t sizeKey(int32_t width, int32_t height) {
    return uint64_t(uint32_t(width)) << 32 | uint32_t(height);
}

}  // namespace

const FmPARFrameDefault* findDefault(int32_t width, int32_t height) {
    const State& s = S();
    const auto it = s.defaultBySize.find(sizeKey(width, height));
    return it == s.defaultBySize.end() ? nullptr : s.defaults.at(it->second);
}

int32_t appendDefault(int32_t width, int32_t height, int32_t numerator, int32_t denominator,
                      int32_t source, int32_t line) {
    auto& t = S().defaults;
    if (findDefault(width, height)) return kPARDefaultSizePresent;
    if (!t.entries || !t.grow()) return kPARDefaultNoRoom;
    try {
        S().defaultBySize.emplace(sizeKey(width, height), t.count);
    } catch (const std::bad_alloc&) {
        return kPARDefaultNoRoom;
    }
    *t.at(t.count++) = FmPARFrameDefault{width, height, numerator, denominator, source, line};
    return kPARDefaultAdded;
}

int32_t presetCount() {
    return S().presets.count;
}

const FmPARPreset* presetAt(int32_t index) {
    const auto& t = S().presets;
    return index >= 0 && index < t.count ? t.at(index) : nullptr;
}

}  // namespace rc::aspect

using namespace rc::aspect;

RC_API int32_t FmPixelAspectRatioInit(void) {
    State& s = S();
    const char* settings = reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
    SetAGlobal(kSlotPARDisplay, rc::platform::getPrivateProfileInt(
                                    "override", "PixelAspectRatioDisplay", 1, settings));
    SetAGlobal(kSlotPARCorrection, rc::platform::getPrivateProfileInt(
                                       "override", "PixelAspectRatioCorrection", 1, settings));

    if (!resetTables()) return -1;

    if (Handle res = GetResource(kTextType, kPARTextResID)) {
        const std::string text(*res, GetHandleSize(res));
        ReleaseResource(res);
        readRules(text, kPARSourceResource, true, s.report, s.refcon);
    }
    if (!hasNamedPreset())
        readRules(kBuiltInPresets, kPARSourceBuiltInPresets, true, s.report, s.refcon);
    std::string rules;
    if (readRulesFile(&rules)) readRules(rules, kPARSourceRulesFile, true, s.report, s.refcon);
    readRules(kBuiltInDefaults, kPARSourceBuiltInDefaults, true, s.report, s.refcon);
    return 0;
}

RC_API void FmPixelAspectRatioShutdown(void) {
    freeTables();
}

RC_API int32_t FmPARPresetCount(void) {
    return S().presets.count;
}

RC_API Boolean FmPARGetPreset(int32_t index, FmPARPreset* out) {
    const FmPARPreset* p = presetAt(index);
    if (!p || !out) return 0;
    *out = *p;
    return 1;
}

RC_API int32_t FmPARFrameDefaultCount(void) {
    return S().defaults.count;
}

RC_API Boolean FmPARGetFrameDefault(int32_t index, FmPARFrameDefault* out) {
    const auto& t = S().defaults;
    if (index < 0 || index >= t.count || !out) return 0;
    *out = *t.at(index);
    return 1;
}

RC_API void FmPARSetRulesPath(const char* path) {
    S().rulesPath = path ? path : "";
}

RC_API FmPARLineProc FmPARSetLineReport(FmPARLineProc proc, void* refcon) {
    State& s = S();
    FmPARLineProc old = s.report;
    s.report = proc;
    s.refcon = refcon;
    return old;
}
