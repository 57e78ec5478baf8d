// Folders and file replacement for the settings and preferences files:
// making folder chains, listing a folder, renaming, and pointing an open
// descriptor at a file that replaced the one it had open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rc::platform {

// Makes the folder and any missing parents; true when it exists afterwards.
bool makeFolders(const char* path);
// Names (not paths) of the regular files in a folder whose name ends with
// `suffix` (compared without regard to case), sorted; empty when the folder
// can't be read.
std::vector<std::string> listFolder(const char* path, const char* suffix);
// Renames, replacing an existing target; 0 or a system error number.
int32_t renamePath(const char* from, const char* to);
// Opens `path` for reading and writing and makes descriptor `fd` refer to
// it (the old file is closed); 0 or a system error number.
int32_t reopenDescriptor(int32_t fd, const char* path);
// $XDG_CONFIG_HOME, else $HOME/.config; empty when neither is known.
std::string userConfigFolder();

}  // namespace rc::platform
