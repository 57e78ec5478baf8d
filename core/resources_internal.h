// Internal view of the resource manager for the other runtime families,
// reelhost and tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/resource_container.h"
#include "reelcore/types.h"

namespace rc::res {

#pragma pack(push, 1)
// The 10 bytes after a resource handle's data and name.
struct ResourceTrailer {
    int16_t id;
    uint32_t type;
    uint32_t nameOffset;  // also the data length
};
#pragma pack(pop)
static_assert(sizeof(ResourceTrailer) == 10, "the resource trailer is 10 bytes");

inline constexpr int kMapEntries = 200;

// The length of a resource handle's data (without its name and trailer);
// for any other handle its size.
uint32_t resourceDataLength(Handle h);

struct OpenFileInfo {
    int32_t ref;
    std::string path;
    uint32_t resources;
    uint32_t strings;
    bool isDefault;
    bool isCurrent;
};
std::vector<OpenFileInfo> openFiles();
// Entries of the resource map in use.
int mapEntriesInUse();

// The lowest ID of a type in the current resource file; false when the
// file has none of that type.
bool lowestResourceID(ResType type, int16_t* id);

// Loads a container from a module file into `out`. Returns noErr, or
// memFullErr (-108) when the file cannot be read or is malformed.
int16_t readModuleResources(const char* path, Container& out);

}  // namespace rc::res
