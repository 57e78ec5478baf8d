// POSIX files behind a small interface. Errors are reported as system error
// numbers in the numbering FmTranslateError understands (2 file not found,
// 3 path not found, 4 too many open files, 5 access denied, 15 not ready,
// 19 write-protected), or the raw errno plus 1000 for anything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rc::platform {

int32_t systemErrorFromErrno(int err);

// Backslashes become slashes.
std::string normalisePath(const char* path);
// Two paths name the same file: byte-exact after normalising separators.
bool pathsEqual(const char* a, const char* b);

enum class OpenMode { Read, ReadWrite, CreateTruncate };

// A descriptor of 3 or more, or -1 with *sysErr set.
int32_t openFile(const char* path, OpenMode mode, int32_t* sysErr);
bool closeFile(int32_t fd);
// Reads until count bytes or end of file; -1 on failure.
int64_t readFile(int32_t fd, void* buffer, size_t count);
// Writes, retrying partial writes; returns the bytes written (less than
// count only when the system stopped accepting data), or -1.
int64_t writeFile(int32_t fd, const void* buffer, size_t count);
// whence: 0 start, 1 current, 2 end; new position or -1.
int64_t seekFile(int32_t fd, int64_t offset, int whence);
int64_t fileSize(int32_t fd);
bool removeFile(const char* path, int32_t* sysErr);
// Seconds since 1970 of the last modification, or 0.
uint32_t modificationTime(const char* path);

}  // namespace rc::platform
