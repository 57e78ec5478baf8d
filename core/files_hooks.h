// Hooks through which file access reaches families built later: the plug-in
// registry (type code for an extension) and the file table (a FileID's path).
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::fileshooks {

// Type code for a path's extension; 0 when no plug-in claims it.
using ExtensionToTypeFn = OSType (*)(const char* path);
// Copies the FSSpec of a FileID; false when there is none.
using FileSpecFn = bool (*)(int16_t fileID, FSSpec* out);

void setExtensionToType(ExtensionToTypeFn fn);
void setFileSpecLookup(FileSpecFn fn);

}  // namespace rc::fileshooks
