// A settings block as the preferences store holds it: the 1966-byte layout
// with 4-byte words where the block keeps pointers, written as 0 (the owned
// data travels in items of its own), the device section cleared and the
// export source's clip word cleared.
#pragma once

#include <cstdint>

#include "reelcore/prefs.h"
#include "settings/settings_block.h"

namespace rc::prefs {

void packBlock(const rc::settings::ProjectSettings& s, uint8_t out[kPrefsBlockItemSize]);
// Fills `s` (owned pointers and the device left null).
void unpackBlock(const uint8_t in[kPrefsBlockItemSize], rc::settings::ProjectSettings& s);

}  // namespace rc::prefs
