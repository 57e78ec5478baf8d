// Shared by the project media and clip record sources.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reelcore/project_records.h"

namespace rc::project {

// A hash index over an ID list or map Handle for the length of one call:
// entries of entrySize bytes whose first field (16-bit for 2-byte entries,
// else 32-bit) is the key; for maps the value sits at valueOffset.
// The library's own hasher keeps the map's code out of the exported symbols.
struct IdHash {
    size_t operator()(int32_t id) const { return size_t(uint32_t(id)); }
};

class IdIndex {
  public:
    IdIndex(Handle h, uint32_t entrySize, uint32_t valueOffset = 4);
    // The value for a key, 0 when absent.
    int32_t lookup(int32_t key) const;
    bool has(int32_t key) const { return ids_.count(key) != 0; }
    // Appends {key, value} to the Handle unless the key is there already.
    OSErr add(int32_t key, int32_t value = 0);

  private:
    int32_t valueAt(uint32_t i) const;
    Handle handle_;
    uint32_t entrySize_;
    uint32_t valueOffset_;
    std::unordered_map<int32_t, int32_t, IdHash> ids_;
};

// Packing lists built from the field offsets of a byte-packed record: one
// stride per field, the last one reaching the record's end, then 0.
std::vector<int32_t> stridesOf(std::initializer_list<size_t> offsets, size_t size);

// The packing lists of the stored records.
const int32_t* fileRecPacking(int32_t version);
const int32_t* clipRecPacking(int32_t version);
const int32_t* offlineInfoPacking();

// Type strings.
constexpr const char* kFileRecType = "SB[16]LC[1]C[1]CLIZC[32]L";
constexpr const char* kFileRecTypeOld = "SB[16]LC[1]C[1]CLIZC[32]";
constexpr const char* kClipRecType = "LLLL2LSS5FL[12]L5L4CC[14]LC[32]LSLWL";
constexpr const char* kClipRecTypeOld = "LLLL2LSS5FL[12]L5L2CC[14]LC[32]LSLWL";
constexpr const char* kOfflineInfoType = "RL6S3LC5LC6LC[32]C[32]C[256]";

// Four-character codes.
constexpr OSType fourCC(const char (&c)[5]) {
    return (OSType(uint8_t(c[0])) << 24) | (OSType(uint8_t(c[1])) << 16) |
           (OSType(uint8_t(c[2])) << 8) | OSType(uint8_t(c[3]));
}

// The progress hook, called with (1, the host's value, tag).
void reportProgress(OSType tag);

// A user-visible message of the project loaders' string list, with OK or
// OK and Cancel; true for OK.
enum class LoadText : int16_t {
    TooFewFileHandles = 1,
    MediaTypeDiffers = 2,
    UnsupportedType = 3,
    PluginTypeDiffers = 4,
    PluginNotLoaded = 5,
    PluginNameDiffers = 6,
};
bool askUser(LoadText text, bool okCancel);

// Skip flags of the load in progress (LocateFile), cleared by LoadFiles.
int32_t& skipFlags();

// Search-folder lists: 266-byte entries, the folder path from byte 6.
Handle newSearchFolders(int16_t folderNumber);
OSErr addSearchFolder(Handle folders, const char* folder);

// True for the names of rendered preview files (without the extension).
bool isPreviewName(const char* fileName);

// The folder part of a path (without the final separator), "" for none.
std::string folderOf(const char* path);

}  // namespace rc::project
