// Calls from the keyframe code into the XE 4.0 filter host: the registered
// parameters' identifiers and the filter's own handling of arbitrary data.
// The host fills the table when it starts; until then every call answers as
// for a module without filter info: identifier 0, no data, flat size 0.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::keyhooks {

// `slot` is the parameter's slot in the XE block. Every call returns 0 or an
// error; an error makes the whole copy, flatten or blend fail.
struct XeHooks {
    // Identifier word of the module's registered parameter in `slot`.
    uint32_t (*paramIdentifier)(int16_t fileID, int32_t slot);
    OSErr (*arbCopy)(int16_t fileID, int32_t slot, Handle data, Handle* out);
    OSErr (*arbDispose)(int16_t fileID, int32_t slot, Handle data);
    OSErr (*arbFlatSize)(int16_t fileID, int32_t slot, Handle data, int32_t* size);
    // Writes exactly `size` bytes (the flat size it reported) at dst.
    OSErr (*arbFlatten)(int16_t fileID, int32_t slot, Handle data, void* dst, int32_t size);
    OSErr (*arbUnflatten)(int16_t fileID, int32_t slot, const void* src, int32_t size, Handle* out);
    OSErr (*arbInterpolate)(int16_t fileID, int32_t slot, Handle a, Handle b, double fraction,
                            Handle* out);
};

// Installs the host's table (copied); null restores the defaults.
void setXeHooks(const XeHooks* hooks);
const XeHooks& xeHooks();

}  // namespace rc::keyhooks
