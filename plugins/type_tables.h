// The file-type tables: cross-reference (slot 20), file-type text (slot 237)
// and override (slot 263). Each lives in a handle of the byte layout other
// parts of the program read; these helpers keep that layout and never trust
// the lengths a module's resources give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/sdk/kinds.h"
#include "reelcore/types.h"

namespace rc::plugins {

// Creates the three tables when their slots are empty; installs the lookups
// the file table uses. False when memory ran out.
bool ensureTypeTables();

// Appends the entries of an 'XREF' resource's bytes; false when malformed.
bool appendXrefResource(const uint8_t* data, uint32_t length);
// Appends the entries of an 'XRFF' resource's bytes; false when malformed.
bool appendXrffResource(const uint8_t* data, uint32_t length);
// Appends one text entry.
bool appendTypeText(OSType type, const std::string& description, const std::string& extensions);

// The entries of the cross-reference table (bounded by the handle's size).
std::vector<RcXrefEntry> xrefEntries();
// Sorts the cross-reference table into its groups, each by description.
void sortXrefTable();

// Priority of an importer's handler type among importers of the same file
// type; supplied by the importer host (default 0 for every handler).
using HandlerPriorityFn = int32_t (*)(OSType handlerType);
void setHandlerPriority(HandlerPriorityFn fn);

}  // namespace rc::plugins
