// Match names: the names by which projects find plug-in modules again.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "reelcore/types.h"

namespace rc::plugins {

// What a module calls itself: its match name as given (PiPL match name, else
// display text) and its PiPL name (else display text).
struct ModuleNames {
    std::string rawMatchName;
    std::string piplName;
};

// Remembers a module's names so the match table need not read it again.
void rememberNames(int16_t fileID, const ModuleNames& names);
void forgetAllNames();
// The remembered names, else read from the module.
ModuleNames namesOf(int16_t fileID);

// Entry index by lower-case match name, kept by a scan that adds many
// modules to one table.
struct NameHash {
    size_t operator()(const std::string& s) const { return std::hash<std::string>()(s); }
};
struct MatchIndex {
    std::unordered_map<std::string, uint32_t, NameHash> byName;
};

// AddToMatchTable with an index (may be null: the table is searched) and
// the name the module got (empty when it was not added).
bool addToMatchTable(Handle table, int16_t fileID, MatchIndex* index, std::string* added);

// "ORVK " becomes "ORVKXE " for XE effects; for all others "ORVKFM "
// becomes "ORVK ". At most 31 characters.
std::string normaliseMatchName(const std::string& raw, bool xeModule);

}  // namespace rc::plugins
