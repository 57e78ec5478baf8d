// Loading one filter, transition, device or export-effect module by path for
// the reelhost commands that drive it (host/filter.cpp, host/device.cpp).
#pragma once

#include <string>

#include "reelcore/types.h"

namespace host {

// The module registered under its own kind (PiPL, else 'TYPE' 1000, else
// `fallback`) with the version its resources declare; 0 when it cannot be
// added. `declared` (may be null) receives the kind the module declares, or
// `fallback` when it declares none. The caller cancels it with FileCancel.
int16_t registerEffectModule(const std::string& path, OSType fallback, OSType* declared = nullptr);

}  // namespace host
