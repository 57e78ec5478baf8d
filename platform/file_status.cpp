#include "platform/file_status.h"

#include <sys/stat.h>

#include <string>

#include "platform/files.h"

namespace rc::platform {

bool pathExists(const char* path) {
    if (!path || !*path) return false;
    struct stat st {};
    return ::stat(normalisePath(path).c_str(), &st) == 0;
}

}  // namespace rc::platform
