// The importer host's calls shared with media access.
#pragma once

#include <cstdint>
#include <string>

#include "reelcore/importers.h"

namespace rc::plugins {

// The single call routine: the importer of the handler type gets (selector,
// host record, argument 1, argument 2). 2 without importer or entry point.
int16_t callImporter(OSType handlerType, int32_t selector, intptr_t param1, intptr_t param2);

// The importer's capability record, started on first use; null when the
// type has no importer or its start-up failed.
const RcImporterCapabilities* importerCaps(OSType handlerType);

// The host callback record of slot 329 (made on first use).
RcImportHostRecord* importerHostRecord();

// Fills an access record for the file from its record.
void fillAccess(int16_t fileID, RcImportFileAccess& access);

// Open, quiet and close a file through its importer.
OSErr importOpenFile(int16_t fileID);
OSErr importQuietFile(int16_t fileID);

// The importer's setup for the file (selector 2 twice); keeps or discards
// the preferences by its result.
void runImporterSetup(int16_t fileID, bool showDialog);

// Frame stores: the path of the file `offset` numbers after `first`
// ("shot0009.png" + 2 is "shot0011.png"; the width grows when needed); false
// for an unnumbered name. gatherSequence counts the files of the sequence
// that exist one after the other from `first`, at most `limit`.
bool numberedPath(const char* first, int64_t offset, std::string& out);
int32_t gatherSequence(const char* first, int32_t limit);

// Forgets capability records and class data (shutdown and tests).
void resetImporterHost();

}  // namespace rc::plugins
