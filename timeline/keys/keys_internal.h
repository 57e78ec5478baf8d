// Shared internals of the keyframe family: key copies without unflattening,
// the module-side parameter descriptions, and blending entry points.
#pragma once

#include <cstdint>

#include "reelcore/types.h"
#include "timeline/keys/layout.h"

namespace rc::keys {

// A new SingleSpec copying key `index` of a checked CompSpec (no unflatten);
// null when specSize is 0 or memory runs out.
Handle copyKey(Handle comp, const CompView& view, int32_t index);
// Key index after the rules of the key list: negative counts as 0; -1 when
// there is no such key.
int32_t keyIndex(const CompView& view, int32_t index);

// The module's declared parameter size (0 when it declares none), with its
// resource fork opened and the current resource file restored.
int32_t declaredSpecSize(int16_t fileID);
// Resizes a SingleSpec to the declared size when there is one and it
// differs; new bytes are zero. False when the resize failed.
bool resizeToDeclaredSize(Handle spec, int16_t fileID);

// XE blending of two blocks (unflattened in place first); null when either is
// not a well-formed XE block or the filter's calls fail.
Handle blendXe(Handle s0, Handle s1, double fraction);

}  // namespace rc::keys
