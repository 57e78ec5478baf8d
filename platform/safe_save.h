// Saving without ever destroying the previous file: the new content goes to a
// temporary file in the target's folder, which replaces the target by an
// atomic rename only after it has been written and forced to disk.
#pragma once

#include <cstdint>
#include <string>

namespace rc::platform {

struct SafeSaveFile {
    int32_t fd = -1;
    std::string tempPath;
    std::string targetPath;
};

// Creates the temporary file (mode copied from an existing target). 0, or a
// system error number (FmTranslateError numbering) .
int32_t beginSafeSave(const char* targetPath, SafeSaveFile& file);
// Forces the temporary to disk, closes it and renames it over the target. On
// failure the temporary is removed and the target left as it was; returns 0
// or a system error number.
int32_t commitSafeSave(SafeSaveFile& file);
// Closes and removes the temporary.
void abortSafeSave(SafeSaveFile& file);

// Cuts or extends an open file to `length` bytes; 0 or a system error number.
int32_t truncateFile(int32_t fd, int64_t length);

// Test hook: make the next commit fail at a step (1 sync, 2 close, 3 rename;
// 0 off).
void failSafeSaveCommitAt(int step);

}  // namespace rc::platform
