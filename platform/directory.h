// Folder listings, symbolic links and file stamps for the plug-in scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rc::platform {

enum class EntryKind { File, Folder, Link, Other };

struct FolderEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

// The entries of a folder, without "." and "..", in the order the system
// gives them. False when the folder cannot be read.
bool listFolder(const char* path, std::vector<FolderEntry>& out);

// The canonical path of what a link (or any path) finally names. False for
// a dangling link, a loop of links or an unreadable path.
bool resolvePath(const char* path, std::string& out);

// Size and last-write time (nanoseconds since 1970) of a path, following
// links.
struct FileStamp {
    uint64_t size = 0;
    uint64_t writeTime = 0;
    bool isFile = false;
    bool isFolder = false;
};
bool fileStamp(const char* path, FileStamp& out);

// True when the file can be opened for reading.
bool fileReadable(const char* path);

}  // namespace rc::platform
