// File status queries that the string routines need.
#pragma once

namespace rc::platform {

// True when the system can report the status of the file at path.
bool pathStatusReadable(const char* path);

}  // namespace rc::platform
