// Registering each kind of module: version rules, the per-kind lists, and
// the handler, importer and drawing-handler tables.
#include <cstring>

#include "core/resources_internal.h"
#include "plugins/importer_host.h"
#include "plugins/module_call.h"
#include "plugins/pipl_reader.h"
#include "plugins/registry_internal.h"
#include "plugins/type_tables.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/sdk/importer.h"
#include "ui/method_table.h"

namespace rc::plugins {

namespace {

constexpr OSType kPiplType = 0x5069504C;                                  // 'PiPL'
constexpr OSType kPictKind = 0x50494354;                                  // 'PICT'
constexpr OSType kFilterPanel = 0x46696C50;                               // 'FilP'
constexpr OSType kPanelAliases[] = {0x46585F50, 0x41756450, 0x56696450};  // 'FX_P' 'AudP' 'VidP'
constexpr int kMaxHandlers = 1000;

struct VersionRule {
    OSType kind;
    OSType resource;
    int32_t lowest;
    int32_t highest;
};

constexpr VersionRule kRules[] = {
    {kRcKindVideoFilter, kRcResFilterVersion, 2, 3},
    {kRcKindAudioFilter, kRcResFilterVersion, 2, 3},
    {kRcKindEffect, kRcResEffectVersion, 2, 3},
    {kRcKindExportD, kRcResExportVersion, 2, 2},
    {kRcKindExportM, kRcResExportVersion, 2, 2},
    {kRcKindHandler, kRcResHandlerVersion, 2, 2},
    {kRcKindDrawing, kRcResDrawVersion, 2, 2},
    {kRcKindExportFilter, kRcResExportFilterVersion, 4, 4},
    {kRcKindDevice, kRcResDeviceVersion, INT16_MIN, INT16_MAX},
};

const VersionRule* ruleOf(OSType kind) {
    for (const VersionRule& r : kRules)
        if (r.kind == kind) return &r;
    return nullptr;
}

// The bytes of a resource of the current file, bounded; false when absent.
bool resourceBytes(OSType type, int16_t id, const uint8_t*& data, uint32_t& length) {
    Handle h = Get1Resource(type, id);
    if (h == nullptr || *h == nullptr) return false;
    data = reinterpret_cast<const uint8_t*>(*h);
    length = rc::res::resourceDataLength(h);
    return true;
}

Handle methodTable(int32_t slot) {
    auto table = reinterpret_cast<Handle>(GetAGlobal(slot));
    if (table == nullptr) {
        table = FmNewHandle(0);
        if (table) SetAGlobal(slot, reinterpret_cast<intptr_t>(table));
    }
    return table;
}

std::string textOf(const uint8_t* data, uint32_t length) {
    const auto* begin = reinterpret_cast<const char*>(data);
    return std::string(begin, strnlen(begin, length));
}

void tellAboutBox(int32_t code, int16_t fileID) {
    char name[260];
    GetFileText(fileID, name);
    PMSendMessage(kHandlerABT_, code, reinterpret_cast<intptr_t>(name), 0, nullptr, 0);
}

// An importer's or drawing handler's file types from its resources: the
// handler type goes into the importer table, and unless that type was known
// already its cross-references, texts, overrides and recompression code
// join the tables.
bool registerTypeResources(Scan& scan, int16_t fileID, std::string& reason) {
    const uint8_t* xref;
    uint32_t xrefLength;
    if (!resourceBytes(kRcResXref, kRcResourceID, xref, xrefLength)) return false;
    int16_t countMinusOne = -1;
    if (xrefLength >= 2) std::memcpy(&countMinusOne, xref, 2);
    if (xrefLength < 2 + sizeof(RcXrefEntry) || countMinusOne < 0 ||
        static_cast<uint32_t>(countMinusOne + 1) > (xrefLength - 2) / sizeof(RcXrefEntry)) {
        reason = "malformed XREF";
        return false;
    }
    RcXrefEntry first;
    std::memcpy(&first, xref + 2, sizeof first);
    Handle importers = methodTable(kSlotImporterTable);
    const bool known = rc::ui::findMethod(importers, first.handlerType) != nullptr;
    AddMethod(first.handlerType, nullptr, importers, fileID);
    if (known) return true;
    appendXrefResource(xref, xrefLength);
    const uint8_t* data;
    uint32_t length;
    if (resourceBytes(kRcResXrff, kRcResourceID, data, length)) appendXrffResource(data, length);
    if (Handle ovrd = Get1Resource(kRcResOvrd, kRcResourceID))
        AddOVRDItem(reinterpret_cast<Handle>(GetAGlobal(kSlotOverrideTable)), ovrd);
    if (resourceBytes(kRcResRcmp, kRcResourceID, data, length) && length >= 4) {
        int32_t code;
        std::memcpy(&code, data, 4);
        scan.recompress.push_back(code);
    }
    return true;
}

// An importer without 'XREF' lists its file types when asked.
bool registerAskedTypes(int16_t fileID, std::string& reason) {
    const uint8_t* data;
    uint32_t length;
    if (!resourceBytes(kRcResImporterType, kRcResourceID, data, length) || length < 4) {
        reason = "importer without XREF or IMPT resource";
        return false;
    }
    OSType handler;
    std::memcpy(&handler, data, 4);
    AddMethod(handler, nullptr, methodTable(kSlotImporterTable), fileID);
    ModuleCall call(fileID, RC_IMPORT_ENTRY_NAME);
    auto entry = reinterpret_cast<RcImportEntryProc>(call.entry());
    if (entry == nullptr) return true;  // registered, with no file types
    void* host = importerHostRecord();
    for (int32_t index = 0; index < kPluginEnumerationLimit; ++index) {
        RcImportFileType t{};
        const int16_t result = call.run([&](void*) {
            return entry(kRcImportGetIndFileType, host, index, reinterpret_cast<intptr_t>(&t));
        });
        if (result != 0) break;
        t.description[sizeof t.description - 1] = '\0';
        t.extensions[sizeof t.extensions - 1] = '\0';
        const OSType kind = (t.flags & kRcXrefStill) ? kPictKind : t.kind;
        Add1XREF(t.fileType, handler, kind, static_cast<int16_t>(t.flags));
        appendTypeText(t.fileType, t.description, t.extensions);
    }
    return true;
}

// 'HDLR' 1000, 1001 ...: each a type code's four characters and a name.
void registerHandlers(Scan& scan, int16_t fileID) {
    Handle table = methodTable(kSlotMethodTable);
    for (int i = 0; i < kMaxHandlers; ++i) {
        const auto id = static_cast<int16_t>(kRcResourceID + i);
        const uint8_t* data;
        uint32_t length;
        if (!resourceBytes(kRcResHandler, id, data, length)) break;
        if (length < 4) continue;
        const OSType type =
            OSType(data[0]) << 24 | OSType(data[1]) << 16 | OSType(data[2]) << 8 | OSType(data[3]);
        const std::string name = textOf(data + 4, length - 4);
        AddMethod(type, nullptr, table, fileID);
        if (type == kFilterPanel)
            for (OSType alias : kPanelAliases) AddMethod(alias, nullptr, table, fileID);
        const uint8_t* sub;
        uint32_t subLength;
        if (name.empty() || !resourceBytes(kRcResSubtype, id, sub, subLength) || subLength == 0)
            continue;
        FmHandlerListEntry e{};
        e.type = type;
        e.fileID = fileID;
        copyCString(name, e.name, sizeof e.name);
        copyCString(textOf(sub, subLength), e.subtype, sizeof e.subtype);
        const int list = sub[0] == '1' ? 0 : sub[0] == '2' ? 1 : 2;
        scan.handlerLists[list].push_back(e);
    }
}

}  // namespace

std::string kindText(OSType kind) {
    std::string t;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>(kind >> shift);
        t += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return t;
}

VersionVerdict checkVersion(int16_t fileID, OSType kind) {
    VersionVerdict v;
    const VersionRule* rule = ruleOf(kind);
    if (rule == nullptr) {
        SetFileVersion(fileID, -1);
        v.accepted = -1;
        return v;
    }
    const ResFileRef saved = CurResFile();
    if (OpenFmxRFile(fileID, 255) == -1) {
        v.reason = "cannot be read";
        return v;
    }
    int16_t piplID;
    if (rc::res::lowestResourceID(kPiplType, &piplID)) {
        PiplProperty p;
        Handle pipl = Get1Resource(kPiplType, piplID);
        if (PiplView::of(pipl).find(kRcPiPLVendor, kRcPiPLInterface, p) && p.length >= 2) {
            int16_t version;
            std::memcpy(&version, p.data, 2);
            v.found = true;
            v.version = version;
        }
    }
    const uint8_t* data;
    uint32_t length;
    if (!v.found && resourceBytes(rule->resource, kRcResourceID, data, length) && length >= 2) {
        int16_t version;
        std::memcpy(&version, data, 2);
        v.found = true;
        v.version = version;
    }
    const bool needsLatest = (kind == kRcKindEffect || kind == kRcKindVideoFilter) &&
                             Get1Resource(kRcResParm, kRcParmNeedsLatestID) != nullptr;
    ReleaseRFile(fileID);
    UseResFile(saved);

    if (!v.found) {
        if (kind == kRcKindDevice) {
            SetFileVersion(fileID, -1);
            v.accepted = -1;
        } else {
            v.reason = "no version";
        }
        return v;
    }
    if (v.version < rule->lowest || v.version > rule->highest) {
        v.reason = "version " + std::to_string(v.version) + " not accepted";
        return v;
    }
    if (needsLatest && v.version < rule->highest) {
        v.reason = "version " + std::to_string(v.version) + " with PARM 16000";
        return v;
    }
    SetFileVersion(fileID, v.version);
    // Version 0 of a device controller is accepted too; 0 would read as refused.
    v.accepted = v.version != 0 ? v.version : -1;
    return v;
}

bool registerKind(Scan& scan, int16_t fileID, OSType kind, std::string& reason) {
    switch (kind) {
        case kRcKindVideoFilter:
            scan.videoFilters.push_back(fileID);
            tellAboutBox(38, fileID);
            return true;
        case kRcKindAudioFilter:
            scan.audioFilters.push_back(fileID);
            tellAboutBox(38, fileID);
            return true;
        case kRcKindEffect:
            scan.effects.push_back(fileID);
            tellAboutBox(40, fileID);
            return true;
        case kRcKindExportD:
        case kRcKindExportM: {
            uint16_t flags = kRcExportModuleFlag;
            const uint8_t* data;
            uint32_t length;
            if (kind == kRcKindExportD) {
                uint16_t word = 0;
                if (resourceBytes(kRcResFlag, kRcResourceID, data, length) && length >= 2)
                    std::memcpy(&word, data, 2);
                flags = word;
            }
            scan.exports.push_back({fileID, static_cast<uint16_t>(flags & kRcExportFlagMask)});
            tellAboutBox(38, fileID);
            return true;
        }
        case kRcKindExportFilter:
            tellAboutBox(38, fileID);
            return true;
        case kRcKindCompiler:
            scan.compilers.push_back(fileID);
            return true;
        case kRcKindDevice:
            scan.devices.push_back(fileID);
            return true;
        case kRcKindPlayback:
            scan.playback.push_back(fileID);
            return true;
        case kRcKindRecord:
            scan.record.push_back(fileID);
            return true;
        case kRcKindHandler:
            registerHandlers(scan, fileID);
            return true;
        case kRcKindDrawing:
            if (registerTypeResources(scan, fileID, reason)) return true;
            if (reason.empty()) reason = "drawing handler without XREF";
            return false;
        case kRcKindImporter:
            if (registerTypeResources(scan, fileID, reason)) return true;
            return reason.empty() && registerAskedTypes(fileID, reason);
        default:
            reason = "unknown kind";
            return false;
    }
}

Handle handleOfIDs(const std::vector<int16_t>& ids) {
    Handle h = FmNewHandle(static_cast<uint32_t>(ids.size() * 2));
    if (h && !ids.empty()) std::memcpy(*h, ids.data(), ids.size() * 2);
    return h;
}

}  // namespace rc::plugins

RC_API int32_t PlugVersionCheck(int16_t fileID, OSType kind) {
    return rc::plugins::checkVersion(fileID, kind).accepted;
}
