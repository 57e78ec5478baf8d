// Window data of handler windows: a handle in the "WREFHI" property whose
// second 32-bit word is the handler type.
#pragma once

#include <cstdint>

#include "reelcore/handlers.h"

namespace rc::ui {

inline constexpr const char* kWindowDataProperty = "WREFHI";
inline constexpr const char* kDocumentRefProperty = "DREFHI";
inline constexpr uint32_t kWindowDataTag = 0x52616E64;  // 'Rand'
inline constexpr uint32_t kWindowDataSize = 67;

// True when the value is a live handle of the memory manager (a property
// may hold any reference value). Cheap: no memory is touched.
bool isHandle(intptr_t value);

// The handler type of a window whose window data is a handle of at least
// two words; false otherwise (no window, no data, or a plain reference
// value in the property).
bool windowHandlerType(FmWindow window, OSType& type);

}  // namespace rc::ui
