// The match table (slot 361): 34-byte entries of FileID and match name.
#include "plugins/match_table.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "plugins/pipl_reader.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"

namespace rc::plugins {

namespace {

constexpr char kPrefix[] = "ORVK ";
constexpr char kFmPrefix[] = "ORVKFM ";
constexpr char kXePrefix[] = "ORVKXE ";
constexpr size_t kMaxMatchName = kMatchNameSize - 1;

std::unordered_map<int16_t, ModuleNames>& names() {
    static std::unordered_map<int16_t, ModuleNames> n;
    return n;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string cut(std::string s) {
    if (s.size() > kMaxMatchName) s.resize(kMaxMatchName);
    return s;
}

// "ORVK rest" -> "ORVKXE rest".
std::string xeForm(const std::string& name) {
    return cut(kXePrefix + name.substr(std::strlen(kPrefix)));
}

bool containsObsolete(const std::string& s) {
    return strcasestr(s.c_str(), "obsolete") != nullptr;
}

std::string entryName(const FmMatchEntry& e) {
    return std::string(e.name, strnlen(e.name, sizeof e.name));
}

FmMatchEntry makeEntry(int16_t fileID, const std::string& name) {
    FmMatchEntry e{};
    e.fileID = fileID;
    copyCString(name, e.name, sizeof e.name);
    return e;
}

uint32_t entryCount(Handle table) {
    return table && *table ? FmGetHandleSize(table) / sizeof(FmMatchEntry) : 0;
}

FmMatchEntry entryAt(Handle table, uint32_t i) {
    FmMatchEntry e;
    std::memcpy(&e, *table + i * sizeof e, sizeof e);
    e.name[sizeof e.name - 1] = '\0';
    return e;
}

void setEntry(Handle table, uint32_t i, const FmMatchEntry& e) {
    std::memcpy(*table + i * sizeof e, &e, sizeof e);
}

bool append(Handle table, const FmMatchEntry& e) {
    const uint32_t n = entryCount(table);
    if (FmSetHandleSize(table, (n + 1) * sizeof e) != noErr) return false;
    setEntry(table, n, e);
    return true;
}

}  // namespace

void rememberNames(int16_t fileID, const ModuleNames& n) {
    names()[fileID] = n;
}

void forgetAllNames() {
    names().clear();
}

ModuleNames namesOf(int16_t fileID) {
    auto it = names().find(fileID);
    if (it != names().end()) return it->second;
    ModuleNames n;
    char text[260];
    GetFileText(fileID, text);
    Handle pipl = GetPiPLHandle(fileID);
    const PiplView view = PiplView::of(pipl);
    if (!view.findCounted(kRcPiPLVendor, kRcPiPLMatchName, n.rawMatchName)) n.rawMatchName = text;
    if (!view.findCounted(kRcPiPLVendor, kRcPiPLName, n.piplName)) n.piplName = text;
    if (pipl) FmDisposeHandle(pipl);
    return n;
}

std::string normaliseMatchName(const std::string& raw, bool xeModule) {
    if (xeModule && startsWith(raw, kPrefix)) return xeForm(raw);
    if (!xeModule && startsWith(raw, kFmPrefix))
        return cut(kPrefix + raw.substr(std::strlen(kFmPrefix)));
    return cut(raw);
}

namespace {

std::string lowered(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

bool addToMatchTable(Handle table, int16_t fileID, MatchIndex* index, std::string* added) {
    if (added) added->clear();
    if (table == nullptr || fileID == 0) return false;
    const ModuleNames mine = namesOf(fileID);
    const bool xe = GetFileTypeID(fileID) == kRcKindXEEffect;
    std::string name = normaliseMatchName(mine.rawMatchName, xe);

    const uint32_t n = entryCount(table);
    uint32_t clash = n;
    if (index) {
        auto it = index->byName.find(lowered(name));
        if (it != index->byName.end() && it->second < n) clash = it->second;
    } else {
        for (uint32_t i = 0; i < n && clash == n; ++i)
            if (strcasecmp(entryAt(table, i).name, name.c_str()) == 0) clash = i;
    }
    auto appendMine = [&]() {
        if (!append(table, makeEntry(fileID, name))) return false;
        if (index) index->byName.emplace(lowered(name), n);
        if (added) *added = name;
        return true;
    };
    if (clash == n) return appendMine();

    // Two modules under one name stay apart only in the "ORVK " family and
    // only when one of them can be told apart as the one to move aside.
    const FmMatchEntry existing = entryAt(table, clash);
    const std::string existingName = entryName(existing);
    if (existing.fileID == fileID || !startsWith(existingName, kPrefix)) return false;
    const ModuleNames theirs = namesOf(existing.fileID);
    const bool mineFm = startsWith(mine.rawMatchName, kFmPrefix);
    const bool theirsFm = startsWith(theirs.rawMatchName, kFmPrefix);
    bool moveMine = false, moveTheirs = false;
    if (mineFm != theirsFm) {
        moveMine = mineFm;
        moveTheirs = theirsFm;
    } else if (mine.piplName != theirs.piplName) {
        const bool mineObsolete = containsObsolete(mine.piplName);
        const bool theirsObsolete = containsObsolete(theirs.piplName);
        moveMine = mineObsolete && !theirsObsolete;
        moveTheirs = theirsObsolete && !mineObsolete;
    }
    if (!moveMine && !moveTheirs) return false;
    if (moveTheirs) {
        const std::string moved = xeForm(existingName);
        setEntry(table, clash, makeEntry(existing.fileID, moved));
        if (index) {
            index->byName.erase(lowered(existingName));
            index->byName.emplace(lowered(moved), clash);
        }
    } else {
        name = xeForm(name);
    }
    return appendMine();
}

}  // namespace rc::plugins

using namespace rc::plugins;

RC_API int16_t MatchName(const char* name) {
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotMatchTable));
    if (name == nullptr) return 0;
    const uint32_t n = entryCount(table);
    for (uint32_t i = 0; i < n; ++i) {
        const FmMatchEntry e = entryAt(table, i);
        if (strcasecmp(e.name, name) == 0) return e.fileID;
    }
    return 0;
}

RC_API int32_t MatchFileID(int16_t fileID, char* dst) {
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotMatchTable));
    const uint32_t n = entryCount(table);
    for (uint32_t i = 0; i < n; ++i) {
        const FmMatchEntry e = entryAt(table, i);
        if (e.fileID != fileID) continue;
        if (dst) std::memcpy(dst, e.name, sizeof e.name);
        return static_cast<int32_t>(std::strlen(e.name)) + 1;
    }
    if (dst) dst[0] = '\0';
    return 0;
}

RC_API Boolean AddToMatchTable(int16_t fileID, Handle table) {
    return addToMatchTable(table, fileID, nullptr, nullptr);
}
