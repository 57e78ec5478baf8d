// Named settings files in the settings folder, as the dialogs use them.
#pragma once

#include <string>
#include <vector>

#include "reelcore/types.h"

namespace rc::settings {

// The path of a named settings file (".prs" added), empty without a folder.
std::string settingsFilePath(const char* name);
// Names of the settings files in the folder, without ".prs", sorted.
std::vector<std::string> settingsFileNames();
// Makes the folder when missing, asks before replacing a file, writes it and
// tells the user about a failure. 1 when the user declined to replace.
OSErr saveNamedSettings(const char* name, Handle settings, const char* description, int32_t kind);
// Asks, deletes and tells the user about a failure; 1 when declined.
OSErr deleteNamedSettings(const char* name);
// Reads a named file, warning when its exporter is not installed.
Handle loadNamedSettings(const char* name, OSErr* error);

}  // namespace rc::settings
