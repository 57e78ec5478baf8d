// Hooks through which the motion settings write and read their sections on a
// stream: SaveMotionSettings and LoadMotionSettings unless replaced. Null
// hooks write nothing and read nothing (a motion record without sections).
#pragma once

#include "reelcore/project_stream.h"

namespace rc::project::hooks {

using SaveMotionSettingsFn = OSErr (*)(ProjBufHand stream, Handle motion);
using LoadMotionSettingsFn = OSErr (*)(ProjBufHand stream, Handle motion);
void setMotionSettingsCodec(SaveMotionSettingsFn save, LoadMotionSettingsFn load);

}  // namespace rc::project::hooks
