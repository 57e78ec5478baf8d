// Whether a path names something the system can report on.
#pragma once

namespace rc::platform {

bool pathExists(const char* path);

}  // namespace rc::platform
