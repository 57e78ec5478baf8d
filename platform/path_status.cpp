#include "platform/path_status.h"

#include "platform/file_status.h"

namespace rc::platform {

bool pathStatusReadable(const char* path) {
    return pathExists(path);
}

}  // namespace rc::platform
