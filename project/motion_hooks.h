// Hooks through which the motion settings write and read their sections on a
// stream. Until the motion code installs them, saving writes nothing and
// loading reads nothing (a motion record without sections).
#pragma once

#include "reelcore/project_stream.h"

namespace rc::project::hooks {

using SaveMotionSettingsFn = OSErr (*)(ProjBufHand stream, Handle motion);
using LoadMotionSettingsFn = OSErr (*)(ProjBufHand stream, Handle motion);
void setMotionSettingsCodec(SaveMotionSettingsFn save, LoadMotionSettingsFn load);

}  // namespace rc::project::hooks
