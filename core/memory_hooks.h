// Hooks through which the memory manager reaches families built on top of
// it: the frame cache, the main window and the resource map.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::memhooks {

using PurgeAllFn = void (*)();
using LowMemoryNoticeFn = void (*)(int32_t message);
using ResourceGoneFn = void (*)(Handle h);

// Empties the frame cache before the last allocation attempt.
void setPurgeAll(PurgeAllFn fn);
// Tells the hidden main window that memory is short (messages 105, then 95).
void setLowMemoryNotice(LowMemoryNoticeFn fn);
// A resource handle is being disposed of or purged: drop its map entry.
void setResourceGone(ResourceGoneFn fn);

// Size of the trailer that follows a resource handle's data.
constexpr uint32_t kResourceTrailerSize = 10;

}  // namespace rc::memhooks
