// State of one plug-in scan, shared by the registry's sources.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "plugins/match_table.h"
#include "plugins/plugin_cache.h"
#include "reelcore/plugins.h"

namespace rc::plugins {

struct ReportLine {
    std::string path;
    OSType kind = 0;
    int32_t version = 0;
    std::string matchName;
    bool accepted = false;
    bool fromCache = false;
    std::string reason;
};

struct ExportItem {
    int16_t fileID;
    uint16_t flags;  // bits 13 to 15 only
};

// A canonical path; a type of the library's own keeps the set's code
// inside the library.
struct PathKey {
    std::string text;
    bool operator<(const PathKey& o) const { return text < o.text; }
};

struct Scan {
    PluginCache cache;
    std::vector<int16_t> videoFilters, audioFilters, effects, devices, automation;
    std::vector<int16_t> playback, record, compilers;
    std::vector<ExportItem> exports;
    std::vector<FmHandlerListEntry> handlerLists[3];
    std::vector<int32_t> recompress;
    std::set<PathKey> files;    // canonical paths handled in this scan
    std::set<PathKey> folders;  // canonical folders entered
    Handle matchTable = nullptr;
    MatchIndex matchIndex;
    int filesSeen = 0;
    int32_t read = 0;
    int32_t cached = 0;
    std::vector<ReportLine> report;
};

// Registers a module file found by the scan (canonical path).
void registerModuleFile(Scan& scan, const std::string& path);

// Registers one kind of an open module; false, with the reason, when the
// kind is unknown or its resources are malformed.
bool registerKind(Scan& scan, int16_t fileID, OSType kind, std::string& reason);

// Version check with the version found and the reason for a refusal.
struct VersionVerdict {
    int32_t accepted = 0;  // what PlugVersionCheck returns
    bool found = false;
    int32_t version = 0;
    std::string reason;
};
VersionVerdict checkVersion(int16_t fileID, OSType kind);

// "VFlt" for a kind code.
std::string kindText(OSType kind);

// Handles of the per-kind lists.
Handle handleOfIDs(const std::vector<int16_t>& ids);

}  // namespace rc::plugins
