// AddPlugins: the scan of the plug-in folder, the registration of each
// module file, and the lists, tables and cache it leaves in global slots.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "core/resources_internal.h"
#include "media/file_table_internal.h"
#include "platform/directory.h"
#include "plugins/match_table.h"
#include "plugins/module_call.h"
#include "plugins/pipl_reader.h"
#include "plugins/playback_link.h"
#include "plugins/registry_hooks.h"
#include "plugins/registry_internal.h"
#include "plugins/type_tables.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

namespace rc::plugins {

namespace {

constexpr OSType kPiplType = 0x5069504C;  // 'PiPL'
constexpr int kMaxKinds = 64;
constexpr int kCloseUpEvery = 10;
constexpr const char* kNeverRegistered[] = {"d-vfw.fmx", "d-vfwle.fmx", "d-vfwful.fmx",
                                            "ex-miv.fmx"};
constexpr const char* kNeedQuickTime[] = {"fl-qt.fmx", "fx-qt.fmx"};

// What the last AddPlugins left for queries.
struct Results {
    std::vector<ReportLine> report;
    std::vector<int16_t> exportFileIDs;  // beside the packed values of slot 7
    int32_t loaded = 0, read = 0, cached = 0;
};

Results& results() {
    static Results r;
    return r;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lowerExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool nameIn(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (strcasecmp(name.c_str(), n) == 0) return true;
    return false;
}

void note(Scan& scan, const std::string& path, OSType kind, int32_t version, bool accepted,
          const std::string& reason, bool fromCache = false, const std::string& match = {}) {
    ReportLine line;
    line.path = path;
    line.kind = kind;
    line.version = version;
    line.accepted = accepted;
    line.fromCache = fromCache;
    line.reason = reason;
    line.matchName = match;
    scan.report.push_back(std::move(line));
    if (!accepted) FmDebug(0, "AddPlugins: %s: %s\n", path.c_str(), reason.c_str());
}

void setFileType(int16_t fileID, OSType type) {
    if (FmFileRecord* r = rc::media::findFileRec(fileID)) r->type = type;
}

std::string matchNameOf(int16_t fileID) {
    char name[kMatchNameSize];
    MatchFileID(fileID, name);
    return name;
}

// Kinds whose list membership the cache can restore.
bool cacheRestores(OSType kind) {
    return kind == kRcKindVideoFilter || kind == kRcKindAudioFilter || kind == kRcKindExportD ||
           kind == kRcKindExportM || kind == kRcKindDevice;
}

bool joinsMatchTable(OSType kind) {
    return kind == kRcKindVideoFilter || kind == kRcKindAudioFilter || kind == kRcKindEffect ||
           kind == kRcKindExportD || kind == kRcKindExportM || kind == kRcKindDevice ||
           kind == kRcKindImporter || kind == kRcKindExportFilter;
}

void registerFromCache(Scan& scan, int16_t fileID, const FmPluginCacheRecord& rec,
                       const std::string& path) {
    std::string display, rawMatch, piplName;
    unpackNames(rec, display, rawMatch, piplName);
    setFileType(fileID, rec.kind);
    SetFileText(fileID, display.c_str());
    SetFileVersion(fileID, rec.version);
    rememberNames(fileID, {rawMatch, piplName});
    switch (rec.kind) {
        case kRcKindVideoFilter:
            scan.videoFilters.push_back(fileID);
            break;
        case kRcKindAudioFilter:
            scan.audioFilters.push_back(fileID);
            break;
        case kRcKindDevice:
            scan.devices.push_back(fileID);
            break;
        case kRcKindExportD:
        case kRcKindExportM:
            scan.exports.push_back({fileID, static_cast<uint16_t>(rec.flags & kRcExportFlagMask)});
            break;
        default:
            break;
    }
    std::string match;
    addToMatchTable(scan.matchTable, fileID, &scan.matchIndex, &match);
    ++scan.cached;
    note(scan, path, rec.kind, rec.version, true, {}, true, match);
}

// The module's first PiPL, copied; empty when it has none.
std::vector<uint8_t> firstPipl() {
    int16_t id;
    if (!rc::res::lowestResourceID(kPiplType, &id)) return {};
    Handle h = Get1Resource(kPiplType, id);
    if (h == nullptr || *h == nullptr) return {};
    const uint32_t n = rc::res::resourceDataLength(h);
    return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + n);
}

bool resourceText(OSType type, int16_t id, uint32_t skip, std::string& out) {
    Handle h = Get1Resource(type, id);
    if (h == nullptr || *h == nullptr) return false;
    const uint32_t n = rc::res::resourceDataLength(h);
    if (n < skip) return false;
    out.assign(*h + skip, strnlen(*h + skip, n - skip));
    return true;
}

bool resourceCode(OSType type, int16_t id, OSType& out) {
    Handle h = Get1Resource(type, id);
    if (h == nullptr || *h == nullptr || rc::res::resourceDataLength(h) < 4) return false;
    std::memcpy(&out, *h, 4);
    return true;
}

void cancel(int16_t fileID, bool fileOpen) {
    if (fileOpen) ReleaseRFile(fileID);
    FileCancel(fileID);
}

// A ".fmx" module read from its resources.
void registerFromResources(Scan& scan, int16_t fileID, const std::string& path,
                           const platform::FileStamp& stamp) {
    if (OpenFmxRFile(fileID, 255) == -1) {
        cancel(fileID, false);
        note(scan, path, 0, 0, false, "cannot be read");
        return;
    }
    ++scan.read;
    const std::vector<uint8_t> piplBytes = firstPipl();
    const PiplView pipl(piplBytes.data(), piplBytes.size());
    if (!piplBytes.empty() && (!pipl.wellFormed() || !pipl.stringsReadable())) {
        cancel(fileID, true);
        note(scan, path, 0, 0, false, "malformed PiPL");
        return;
    }

    std::vector<OSType> kinds;
    OSType kind = 0;
    PiplProperty p;
    if (pipl.find(kRcPiPLVendor, kRcPiPLKind, p) && p.length >= 4)
        std::memcpy(&kind, p.data, 4);
    else
        resourceCode(kRcResType, kRcResourceID, kind);
    if (kind != 0) kinds.push_back(kind);
    for (int n = 1; !kinds.empty() && n < kMaxKinds; ++n) {
        if (!resourceCode(kRcResType, static_cast<int16_t>(kRcResourceID + n), kind)) break;
        kinds.push_back(kind);
    }
    if (kinds.empty()) {
        cancel(fileID, true);
        note(scan, path, 0, 0, false, "no kind");
        return;
    }

    std::string display;
    if (!pipl.findCounted(kRcPiPLVendor, kRcPiPLName, display) &&
        !resourceText(kRcResText, kRcResourceID, 0, display))
        display = baseName(path);
    SetFileText(fileID, display.c_str());
    ModuleNames names;
    if (!pipl.findCounted(kRcPiPLVendor, kRcPiPLMatchName, names.rawMatchName))
        names.rawMatchName = display;
    if (!pipl.findCounted(kRcPiPLVendor, kRcPiPLName, names.piplName)) names.piplName = display;
    rememberNames(fileID, names);

    std::vector<OSType> accepted;
    std::vector<size_t> lines;
    int32_t exportFlags = 0;
    bool matchable = false, handlersOnly = true;
    for (OSType k : kinds) {
        const VersionVerdict v = checkVersion(fileID, k);
        std::string reason = v.reason;
        const bool ok = v.accepted != 0 && registerKind(scan, fileID, k, reason);
        lines.push_back(scan.report.size());
        note(scan, path, k, v.found ? v.version : -1, ok, reason);
        if (!ok) continue;
        if (accepted.empty()) setFileType(fileID, k);
        accepted.push_back(k);
        matchable = matchable || joinsMatchTable(k);
        if (k == kRcKindImporter || k == kRcKindDrawing) handlersOnly = false;
        if (k == kRcKindExportD || k == kRcKindExportM) exportFlags = scan.exports.back().flags;
    }
    if (accepted.empty()) {
        cancel(fileID, true);
        return;
    }
    if (handlersOnly &&
        std::find(accepted.begin(), accepted.end(), kRcKindHandler) != accepted.end()) {
        Handle xref = Get1Resource(kRcResXref, kRcResourceID);
        if (xref)
            appendXrefResource(reinterpret_cast<uint8_t*>(*xref),
                               rc::res::resourceDataLength(xref));
        Handle xrff = Get1Resource(kRcResXrff, kRcResourceID);
        if (xrff)
            appendXrffResource(reinterpret_cast<uint8_t*>(*xrff),
                               rc::res::resourceDataLength(xrff));
    }
    std::string match;
    if (matchable) addToMatchTable(scan.matchTable, fileID, &scan.matchIndex, &match);
    for (size_t i : lines)
        if (scan.report[i].accepted) scan.report[i].matchName = match;

    // One record per module; only a module of one kind the cache can
    // restore is trusted next time.
    FmPluginCacheRecord rec{};
    copyCString(path, rec.path, sizeof rec.path);
    packNames(rec, display, names.rawMatchName, names.piplName);
    rec.sizeLow = static_cast<uint32_t>(stamp.size);
    rec.sizeHigh = static_cast<uint32_t>(stamp.size >> 32);
    rec.timeLow = static_cast<uint32_t>(stamp.writeTime);
    rec.timeHigh = static_cast<uint32_t>(stamp.writeTime >> 32);
    rec.kind = accepted.front();
    rec.flags = exportFlags;
    rec.version = GetFileVersion(fileID);
    rec.neverTrust = !(accepted.size() == 1 && cacheRestores(accepted.front()));
    if (path.size() < sizeof rec.path) scan.cache.put(rec);
    ReleaseRFile(fileID);
}

void registerFmx(Scan& scan, const std::string& path) {
    const std::string name = baseName(path);
    if (nameIn(name, {kNeverRegistered[0], kNeverRegistered[1], kNeverRegistered[2],
                      kNeverRegistered[3]}) ||
        (!GetIsQTAvail() && nameIn(name, {kNeedQuickTime[0], kNeedQuickTime[1]}))) {
        note(scan, path, 0, 0, false, "never registered");
        return;
    }
    const int16_t fileID = AddFile(path.c_str(), 0, 0, kRcKindEffect);
    if (fileID == 0) {
        note(scan, path, 0, 0, false, "file table full");
        return;
    }
    FileSubscribe(fileID);
    platform::FileStamp stamp;
    platform::fileStamp(path.c_str(), stamp);
    FmPluginCacheRecord* rec = scan.cache.find(path.c_str());
    if (rec) rec->seen = 1;
    if (rec && !rec->neverTrust && rec->sizeLow == static_cast<uint32_t>(stamp.size) &&
        rec->sizeHigh == static_cast<uint32_t>(stamp.size >> 32) &&
        rec->timeLow == static_cast<uint32_t>(stamp.writeTime) &&
        rec->timeHigh == static_cast<uint32_t>(stamp.writeTime >> 32)) {
        registerFromCache(scan, fileID, *rec, path);
        return;
    }
    registerFromResources(scan, fileID, path, stamp);
}

// Image-editor filters (".Q7F") and automation modules (".Q7Y").
void registerImageModule(Scan& scan, const std::string& path, OSType kind) {
    const int16_t fileID = AddFile(path.c_str(), 0, 0, kind);
    if (fileID == 0) {
        note(scan, path, kind, 0, false, "file table full");
        return;
    }
    setFileType(fileID, kind);
    FileSubscribe(fileID);
    if (OpenFmxRFile(fileID, 255) == -1) {
        cancel(fileID, false);
        note(scan, path, kind, 0, false, "cannot be read");
        return;
    }
    ++scan.read;
    if (Get1Resource(kRcResParm, kRcParmImageFilterHiddenID) != nullptr) {
        cancel(fileID, true);
        note(scan, path, kind, 0, false, "PARM 16: not registered");
        return;
    }
    const std::vector<uint8_t> piplBytes = firstPipl();
    const PiplView pipl(piplBytes.data(), piplBytes.size());
    std::string display;
    bool named = false;
    if (!piplBytes.empty()) {
        if (!pipl.wellFormed() || !pipl.stringsReadable()) {
            cancel(fileID, true);
            note(scan, path, kind, 0, false, "malformed PiPL");
            return;
        }
        if (pipl.version() >= 0) {
            named = true;
            if (!pipl.findCounted(kRcPiPLVendor, kRcPiPLName, display)) display = baseName(path);
        }
    }
    if (!named) {
        Handle info = Get1Resource(kRcResImageFilterInfo, 1);
        int16_t infoVersion = 0;
        if (info && *info && rc::res::resourceDataLength(info) >= 2)
            std::memcpy(&infoVersion, *info, 2);
        named = infoVersion >= 3 && resourceText(kRcResImageFilterName, 1, 2, display);
    }
    if (!named) {
        cancel(fileID, true);
        note(scan, path, kind, 0, false, "no PiPL or PiMI name");
        return;
    }
    SetFileText(fileID, display.c_str());
    ModuleNames names{display, display};
    pipl.findCounted(kRcPiPLVendor, kRcPiPLMatchName, names.rawMatchName);
    rememberNames(fileID, names);
    std::string match;
    if (kind == kRcKindImageFilter) {
        scan.videoFilters.push_back(fileID);
        addToMatchTable(scan.matchTable, fileID, &scan.matchIndex, &match);
    } else {
        scan.automation.push_back(fileID);
    }
    ReleaseRFile(fileID);
    note(scan, path, kind, pipl.version(), true, {}, false, match);
}

void registerXE(Scan& scan, const std::string& path) {
    const int16_t fileID = AddFile(path.c_str(), 0, 0, kRcKindXEEffect);
    if (fileID == 0) {
        note(scan, path, kRcKindXEEffect, 0, false, "file table full");
        return;
    }
    setFileType(fileID, kRcKindXEEffect);
    FileSubscribe(fileID);
    if (!hooks::registerXEModule(fileID)) {
        FileCancel(fileID);
        note(scan, path, kRcKindXEEffect, 0, false, "no XE host took it");
        return;
    }
    note(scan, path, kRcKindXEEffect, GetFileVersion(fileID), true, {}, false, matchNameOf(fileID));
}

void scanFolder(Scan& scan, const std::string& folder, int depth);

void visit(Scan& scan, const std::string& path, platform::EntryKind kind, int depth) {
    std::string target = path;
    if (kind == platform::EntryKind::Link) {
        // A link stands in for a shortcut: its target is what is registered.
        if (!platform::resolvePath(path.c_str(), target)) {
            note(scan, path, 0, 0, false, "link loop or missing target");
            return;
        }
        platform::FileStamp stamp;
        if (!platform::fileStamp(target.c_str(), stamp)) return;
        kind = stamp.isFolder ? platform::EntryKind::Folder
               : stamp.isFile ? platform::EntryKind::File
                              : platform::EntryKind::Other;
    }
    if (kind == platform::EntryKind::Folder) {
        if (depth < kPluginFolderDepth) scanFolder(scan, target, depth + 1);
        return;
    }
    if (kind != platform::EntryKind::File) return;
    const std::string name = baseName(target);
    if (name.size() < 5) return;
    const std::string ext = lowerExtension(name);
    if (ext != "fmx" && ext != "xex" && ext != "q7f" && ext != "q7y") return;
    if (!platform::resolvePath(target.c_str(), target) || !scan.files.insert({target}).second)
        return;  // the same module reached twice
    if (++scan.filesSeen % kCloseUpEvery == 0) CloseUp(0);
    if (!platform::fileReadable(target.c_str())) {
        note(scan, target, 0, 0, false, "cannot be read");
        return;
    }
    if (ext == "fmx")
        registerFmx(scan, target);
    else if (ext == "xex")
        registerXE(scan, target);
    else
        registerImageModule(scan, target, ext == "q7f" ? kRcKindImageFilter : kRcKindAutomation);
}

void scanFolder(Scan& scan, const std::string& folder, int depth) {
    std::string canonical;
    if (!platform::resolvePath(folder.c_str(), canonical) ||
        !scan.folders.insert({canonical}).second)
        return;  // a folder reached again through a link
    std::vector<platform::FolderEntry> entries;
    if (!platform::listFolder(canonical.c_str(), entries)) return;
    std::sort(entries.begin(), entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
                  return a.name < b.name;
              });
    for (const platform::FolderEntry& e : entries)
        visit(scan, canonical + "/" + e.name, e.kind, depth);
}

void replaceSlot(int32_t slot, Handle h) {
    Handle old = reinterpret_cast<Handle>(GetAGlobal(slot));
    if (old) FmDisposeHandle(old);
    SetAGlobal(slot, reinterpret_cast<intptr_t>(h));
}

template <class T>
Handle handleOf(const std::vector<T>& items) {
    Handle h = FmNewHandle(static_cast<uint32_t>(items.size() * sizeof(T)));
    if (h && !items.empty()) std::memcpy(*h, items.data(), items.size() * sizeof(T));
    return h;
}

std::string withoutAmpersands(int16_t fileID) {
    char text[260];
    GetFileText(fileID, text);
    std::string s(text);
    std::erase(s, '&');
    return s;
}

void storeLists(Scan& scan) {
    replaceSlot(kSlotVideoFilters, handleOfIDs(scan.videoFilters));
    replaceSlot(
        kSlotVideoFilterData,
        FmNewHandleClear(static_cast<uint32_t>(scan.videoFilters.size() * sizeof(intptr_t))));
    replaceSlot(kSlotAudioFilters, handleOfIDs(scan.audioFilters));
    replaceSlot(kSlotEffects, handleOfIDs(scan.effects));
    replaceSlot(kSlotDeviceControllers, handleOfIDs(scan.devices));
    replaceSlot(kSlotAutomationModules, handleOfIDs(scan.automation));
    replaceSlot(kSlotRecompressCodes, handleOf(scan.recompress));
    replaceSlot(kSlotHandlerList1, handleOf(scan.handlerLists[0]));
    replaceSlot(kSlotHandlerList2, handleOf(scan.handlerLists[1]));
    replaceSlot(kSlotHandlerList3, handleOf(scan.handlerLists[2]));

    // Export modules by file type, then by name without ampersands. The
    // packed values keep 13 bits of the FileID; the whole FileIDs are kept
    // beside them in the same order.
    std::stable_sort(scan.exports.begin(), scan.exports.end(),
                     [](const ExportItem& a, const ExportItem& b) {
                         const OSType ta = GetFileTypeID(a.fileID), tb = GetFileTypeID(b.fileID);
                         if (ta != tb) return ta < tb;
                         return withoutAmpersands(a.fileID) < withoutAmpersands(b.fileID);
                     });
    std::vector<uint16_t> packed;
    std::vector<int16_t>& whole = results().exportFileIDs;
    whole.clear();
    for (const ExportItem& e : scan.exports) {
        packed.push_back(
            static_cast<uint16_t>((e.fileID & 0x1FFF) | (e.flags & kRcExportFlagMask)));
        whole.push_back(e.fileID);
    }
    replaceSlot(kSlotExportModules, handleOf(packed));
}

}  // namespace

}  // namespace rc::plugins

using namespace rc::plugins;

RC_API void AddPlugins(void) {
    const ResFileRef savedResFile = CurResFile();
    resetModuleLoads();
    forgetAllNames();
    ensureTypeTables();
    Scan scan;
    scan.matchTable = FmNewHandle(0);
    replaceSlot(kSlotMatchTable, scan.matchTable);
    scan.cache.load();

    const auto* folder = reinterpret_cast<const char*>(GetAGlobal(kSlotPluginFolder));
    if (folder && *folder) scanFolder(scan, folder, 0);

    scan.cache.save();
    replaceSlot(kSlotPluginCache, scan.cache.toHandle());

    hooks::startRecordModules(scan.record.data(), static_cast<int32_t>(scan.record.size()));
    rc::playback::startup(scan.playback.data(), static_cast<int32_t>(scan.playback.size()));
    hooks::startCompilerModules(scan.compilers.data(), static_cast<int32_t>(scan.compilers.size()));

    storeLists(scan);
    sortXrefTable();
    CloseUp(0);
    UseResFile(savedResFile);

    Results& r = results();
    r.report = std::move(scan.report);
    r.loaded = moduleLoads();
    r.read = scan.read;
    r.cached = scan.cached;
}

RC_API int16_t GetExportModuleFileID(int32_t index) {
    const auto& ids = results().exportFileIDs;
    return index >= 0 && static_cast<size_t>(index) < ids.size() ? ids[static_cast<size_t>(index)]
                                                                 : 0;
}

RC_API Boolean GetIsQTAvail(void) {
    return 0;
}

RC_API int32_t FmGetPluginReport(int32_t index, FmPluginReport* out) {
    const auto& lines = results().report;
    if (out && index >= 0 && static_cast<size_t>(index) < lines.size()) {
        const ReportLine& l = lines[static_cast<size_t>(index)];
        std::memset(out, 0, sizeof *out);
        copyCString(l.path, out->path, sizeof out->path);
        out->kind = l.kind;
        out->version = l.version;
        copyCString(l.matchName, out->matchName, sizeof out->matchName);
        out->accepted = l.accepted;
        out->fromCache = l.fromCache;
        copyCString(l.reason, out->reason, sizeof out->reason);
    }
    return static_cast<int32_t>(lines.size());
}

RC_API void FmGetPluginScanCounts(int32_t* loaded, int32_t* read, int32_t* cached) {
    const Results& r = results();
    if (loaded) *loaded = r.loaded;
    if (read) *read = r.read;
    if (cached) *cached = r.cached;
}
