// The cross-reference, file-type text and override tables, and the lookups
// by file type and extension.
#include "plugins/type_tables.h"

#include "plugins/pipl_reader.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "core/files_hooks.h"
#include "core/resources_internal.h"
#include "media/media_hooks.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "ui/method_table.h"

namespace rc::plugins {

namespace {

constexpr OSType kTypePROJ = 0x50524F4A;  // 'PROJ'
constexpr size_t kMaxExtension = 31;

HandlerPriorityFn gPriority = nullptr;

Handle slotHandle(int32_t slot) {
    return reinterpret_cast<Handle>(GetAGlobal(slot));
}

uint32_t sizeOf(Handle h) {
    return h && *h ? FmGetHandleSize(h) : 0;
}

uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint32_t byteReversed(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

// ---- cross-reference table: int16 count - 1, 14-byte entries, zero word ----

std::vector<RcXrefEntry> parseXref(const uint8_t* data, uint32_t length, bool* wellFormed) {
    std::vector<RcXrefEntry> out;
    if (wellFormed) *wellFormed = true;
    if (data == nullptr || length < 2) {
        if (wellFormed) *wellFormed = data == nullptr || length == 0;
        return out;
    }
    int16_t countMinusOne;
    std::memcpy(&countMinusOne, data, 2);
    const int32_t declared = countMinusOne + 1;
    const int32_t fits = static_cast<int32_t>((length - 2) / sizeof(RcXrefEntry));
    if (declared < 0 || declared > fits) {
        if (wellFormed) *wellFormed = false;
        return out;
    }
    out.resize(static_cast<size_t>(declared));
    if (declared > 0) std::memcpy(out.data(), data + 2, out.size() * sizeof(RcXrefEntry));
    return out;
}

bool storeXref(const std::vector<RcXrefEntry>& entries) {
    Handle h = slotHandle(kSlotXrefTable);
    if (h == nullptr || entries.size() > 32767) return false;
    const uint32_t size = 2 + static_cast<uint32_t>(entries.size() * sizeof(RcXrefEntry)) + 4;
    if (FmSetHandleSize(h, size) != noErr) return false;
    const auto countMinusOne = static_cast<int16_t>(static_cast<int32_t>(entries.size()) - 1);
    std::memcpy(*h, &countMinusOne, 2);
    if (!entries.empty()) std::memcpy(*h + 2, entries.data(), entries.size() * sizeof(RcXrefEntry));
    std::memset(*h + size - 4, 0, 4);
    return true;
}

// ---- file-type text table: {type, description, extensions}..., zero word ----

struct TypeText {
    OSType type;
    std::string description;
    std::string extensions;
    uint32_t descriptionOffset;  // in the handle, for TypeToDescription
};

std::vector<TypeText> parseXrff(const uint8_t* data, uint32_t length, bool* wellFormed) {
    std::vector<TypeText> out;
    if (wellFormed) *wellFormed = true;
    uint32_t at = 0;
    auto cString = [&](std::string& text) {
        const void* nul = std::memchr(data + at, 0, length - at);
        if (nul == nullptr) return false;
        const auto n = static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - (data + at));
        text.assign(reinterpret_cast<const char*>(data + at), n);
        at += n + 1;
        return true;
    };
    while (data != nullptr && length - at >= 4) {
        TypeText t;
        t.type = read32(data + at);
        if (t.type == 0) break;
        at += 4;
        t.descriptionOffset = at;
        if (!cString(t.description) || !cString(t.extensions)) {
            if (wellFormed) *wellFormed = false;
            break;
        }
        out.push_back(std::move(t));
    }
    return out;
}

std::vector<TypeText> typeTexts() {
    Handle h = slotHandle(kSlotTypeTextTable);
    return parseXrff(h ? reinterpret_cast<const uint8_t*>(*h) : nullptr, sizeOf(h), nullptr);
}

bool storeXrff(const std::vector<TypeText>& entries) {
    Handle h = slotHandle(kSlotTypeTextTable);
    if (h == nullptr) return false;
    std::string bytes;
    for (const TypeText& t : entries) {
        bytes.append(reinterpret_cast<const char*>(&t.type), 4);
        bytes.append(t.description).push_back('\0');
        bytes.append(t.extensions).push_back('\0');
    }
    bytes.append(4, '\0');
    if (FmSetHandleSize(h, static_cast<uint32_t>(bytes.size())) != noErr) return false;
    std::memcpy(*h, bytes.data(), bytes.size());
    return true;
}

// The extensions of a list, stars dropped; empty items skipped.
std::vector<std::string> splitExtensions(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string ext = list.substr(start, end - start);
        if (!ext.empty() && ext[0] == '*') ext.erase(0, 1);
        if (!ext.empty()) out.push_back(std::move(ext));
        start = end + 1;
    }
    return out;
}

// The extension of the last path component, without its dot; empty if none.
std::string extensionOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    const char* dot = std::strrchr(name, '.');
    return dot ? std::string(dot + 1) : std::string();
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// ---- hooks for the file table ----

uint32_t typeFlagsHook(OSType type) {
    return static_cast<uint32_t>(GetTypeFlags(type));
}

uint32_t drawTypeHook(OSType type) {
    return GetDrawType(type);
}

bool typeHasExtension(OSType type, const char* path) {
    if (type == 0 || path == nullptr) return false;
    const std::string ext = extensionOf(path);
    if (ext.empty()) return false;
    for (const TypeText& t : typeTexts())
        if (t.type == type)
            for (const std::string& e : splitExtensions(t.extensions))
                if (sameText(e, ext)) return true;
    return false;
}

int groupOf(uint16_t flags) {
    // Output order of the groups: none, bit 3, bit 4, bit 1, bit 2.
    if (flags & 0x02) return 3;
    if (flags & 0x08) return 1;
    if (flags & 0x10) return 2;
    if (flags & 0x04) return 4;
    return 0;
}

}  // namespace

void setHandlerPriority(HandlerPriorityFn fn) {
    gPriority = fn;
}

bool ensureTypeTables() {
    if (!slotHandle(kSlotXrefTable)) {
        Handle h = FmNewHandleClear(6);
        if (!h) return false;
        const int16_t empty = -1;
        std::memcpy(*h, &empty, 2);
        SetAGlobal(kSlotXrefTable, reinterpret_cast<intptr_t>(h));
    }
    if (!slotHandle(kSlotTypeTextTable)) {
        Handle h = FmNewHandleClear(4);
        if (!h) return false;
        SetAGlobal(kSlotTypeTextTable, reinterpret_cast<intptr_t>(h));
    }
    if (!slotHandle(kSlotOverrideTable)) {
        Handle h = FmNewHandleClear(2);
        if (!h) return false;
        SetAGlobal(kSlotOverrideTable, reinterpret_cast<intptr_t>(h));
    }
    rc::fileshooks::setExtensionToType(ExtensionToType);
    rc::mediahooks::setGetTypeFlags(typeFlagsHook);
    rc::mediahooks::setGetDrawType(drawTypeHook);
    rc::mediahooks::setTypeHasExtension(typeHasExtension);
    return true;
}

std::vector<RcXrefEntry> xrefEntries() {
    Handle h = slotHandle(kSlotXrefTable);
    return parseXref(h ? reinterpret_cast<const uint8_t*>(*h) : nullptr, sizeOf(h), nullptr);
}

bool appendXrefResource(const uint8_t* data, uint32_t length) {
    bool ok = true;
    const std::vector<RcXrefEntry> added = parseXref(data, length, &ok);
    if (!ok || !ensureTypeTables()) return false;
    std::vector<RcXrefEntry> entries = xrefEntries();
    entries.insert(entries.end(), added.begin(), added.end());
    return storeXref(entries);
}

bool appendXrffResource(const uint8_t* data, uint32_t length) {
    bool ok = true;
    std::vector<TypeText> added = parseXrff(data, length, &ok);
    if (!ok || !ensureTypeTables()) return false;
    std::vector<TypeText> entries = typeTexts();
    for (TypeText& t : added) entries.push_back(std::move(t));
    return storeXrff(entries);
}

bool appendTypeText(OSType type, const std::string& description, const std::string& extensions) {
    if (!ensureTypeTables()) return false;
    std::vector<TypeText> entries = typeTexts();
    entries.push_back({type, description, extensions, 0});
    return storeXrff(entries);
}

void sortXrefTable() {
    std::vector<RcXrefEntry> entries = xrefEntries();
    std::vector<RcXrefEntry> groups[5];
    for (const RcXrefEntry& e : entries) groups[groupOf(e.flags)].push_back(e);
    const std::vector<TypeText> texts = typeTexts();
    auto description = [&texts](OSType type) -> const std::string* {
        for (const TypeText& t : texts)
            if (t.type == type) return &t.description;
        return nullptr;
    };
    static const std::string kNone;
    std::vector<RcXrefEntry> sorted;
    for (auto& group : groups) {
        // Project entries keep their places; the others are ordered by
        // description around them, equal ones in their original order.
        std::vector<RcXrefEntry> movable;
        for (const RcXrefEntry& e : group)
            if (e.fileType != kTypePROJ) movable.push_back(e);
        std::stable_sort(
            movable.begin(), movable.end(), [&](const RcXrefEntry& a, const RcXrefEntry& b) {
                const std::string* da = description(a.fileType);
                const std::string* db = description(b.fileType);
                return strcasecmp((da ? *da : kNone).c_str(), (db ? *db : kNone).c_str()) < 0;
            });
        size_t next = 0;
        for (const RcXrefEntry& e : group)
            sorted.push_back(e.fileType == kTypePROJ ? e : movable[next++]);
    }
    storeXref(sorted);
}

}  // namespace rc::plugins

using namespace rc::plugins;

RC_API OSType ExtensionToType(const char* path) {
    if (path == nullptr) return 0;
    const std::string ext = extensionOf(path);
    if (ext.empty()) return 0;
    const std::vector<TypeText> texts = typeTexts();
    // First extensions first, so a secondary extension of one type never
    // hides the main extension of another.
    for (const TypeText& t : texts) {
        const auto list = splitExtensions(t.extensions);
        if (!list.empty() && sameText(list[0], ext)) return t.type;
    }
    for (const TypeText& t : texts) {
        const auto list = splitExtensions(t.extensions);
        for (size_t i = 1; i < list.size(); ++i)
            if (sameText(list[i], ext)) return t.type;
    }
    return 0;
}

RC_API Boolean TypeToExtension(OSType type, char* out) {
    if (out == nullptr) return 0;
    out[0] = '\0';
    for (const TypeText& t : typeTexts()) {
        if (t.type != type) continue;
        const auto list = splitExtensions(t.extensions);
        if (list.empty() || list[0].size() > kMaxExtension) return 0;
        copyCString(list[0], out, kMaxExtension + 1);
        return 1;
    }
    return 0;
}

RC_API const char* TypeToDescription(OSType type) {
    Handle h = reinterpret_cast<Handle>(GetAGlobal(kSlotTypeTextTable));
    if (h == nullptr || *h == nullptr) return nullptr;
    for (const TypeText& t : typeTexts())
        if (t.type == type) return *h + t.descriptionOffset;
    return nullptr;
}

RC_API Boolean FixFileExtension(OSType type, char* path) {
    char ext[kMaxExtension + 1];
    if (path == nullptr || !TypeToExtension(type, ext)) return 0;
    std::string p(path, strnlen(path, 259));
    size_t name = p.find_last_of("/\\");
    name = name == std::string::npos ? 0 : name + 1;
    const size_t dot = p.rfind('.');
    if (dot != std::string::npos && dot >= name) p.erase(dot);
    p += '.';
    p += ext;
    if (p.size() > 259) return 0;
    std::memcpy(path, p.c_str(), p.size() + 1);
    return 1;
}

RC_API int32_t GetTypeFlags(OSType type) {
    for (const RcXrefEntry& e : xrefEntries())
        if (e.fileType == type || e.fileType == byteReversed(type)) return e.flags;
    return 0;
}

RC_API OSType GetDrawType(OSType type) {
    OSType best = 0;
    int32_t bestPriority = 0;
    for (const RcXrefEntry& e : xrefEntries()) {
        if (e.fileType != type) continue;
        const int32_t priority = gPriority ? gPriority(e.handlerType) : 0;
        if (best == 0 || priority > bestPriority) {
            best = e.handlerType;
            bestPriority = priority;
        }
    }
    return best;
}

RC_API OSType GetHDLRType(OSType type) {
    Handle handlers = rc::ui::handlerTable();
    for (const RcXrefEntry& e : xrefEntries())
        if (e.fileType == type && rc::ui::findMethod(handlers, e.handlerType)) return e.handlerType;
    return 0;
}

RC_API OSErr Add1XREF(OSType fileType, OSType handlerType, OSType kind, int16_t flags) {
    if (!ensureTypeTables()) return memFullErr;
    std::vector<RcXrefEntry> entries = xrefEntries();
    entries.push_back({fileType, handlerType, kind, static_cast<uint16_t>(flags)});
    return storeXref(entries) ? noErr : memFullErr;
}

RC_API OSErr AddOVRDItem(Handle table, Handle items) {
    if (table == nullptr || items == nullptr || *items == nullptr) return nilHandleErr;
    const auto* data = reinterpret_cast<const uint8_t*>(*items);
    const uint32_t length = rc::res::resourceDataLength(items);
    if (length < 2) return noErr;
    int16_t declared;
    std::memcpy(&declared, data, 2);
    std::vector<RcOvrdEntry> added;
    uint32_t at = 2;
    for (int32_t i = 0; i < declared; ++i) {
        if (length - at < 7) break;  // type, value and at least the NUL
        RcOvrdEntry e{};
        e.type = read32(data + at);
        std::memcpy(&e.value, data + at + 4, 2);
        at += 6;
        const void* nul = std::memchr(data + at, 0, length - at);
        if (nul == nullptr) break;
        const auto n = static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - (data + at));
        if (n <= 19) std::memcpy(e.name, data + at, n);
        at += n + 1;
        added.push_back(e);
    }
    const uint32_t oldSize = sizeOf(table);
    int16_t oldCount = 0;
    if (oldSize >= 2) std::memcpy(&oldCount, *table, 2);
    const int32_t keep = std::clamp<int32_t>(oldCount, 0, (oldSize - std::min(oldSize, 2u)) / 27);
    const int32_t total = std::min<int32_t>(keep + static_cast<int32_t>(added.size()), 32767);
    const int32_t take = total - keep < 0 ? 0 : total - keep;
    if (FmSetHandleSize(table, 2 + static_cast<uint32_t>(total) * 27) != noErr) return MemError();
    char* base = *table;
    std::memmove(base + 2 + take * 27, base + 2, static_cast<size_t>(keep) * 27);
    if (take > 0) std::memcpy(base + 2, added.data(), static_cast<size_t>(take) * 27);
    const auto count = static_cast<int16_t>(total);
    std::memcpy(base, &count, 2);
    return noErr;
}
