#include "platform/path_status.h"

#include <sys/stat.h>

namespace rc::platform {

bool pathStatusReadable(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0;
}

}  // namespace rc::platform
