// What time display needs from families that are not here yet: the project
// time base and the per-file time format. Each hook answers the empty case
// until its owner installs the real accessor.
#pragma once

#include <cstdint>

namespace rc::timehooks {

// Project time base (ticks per second, ticks per frame); the defaults are
// those of a new NTSC project: 2997 and 100.
using ProjectScaleFn = int32_t (*)();
using ProjectSampleSizeFn = int32_t (*)();
void setProjectScale(ProjectScaleFn fn);  // null restores the default
void setProjectSampleSize(ProjectSampleSizeFn fn);
int32_t projectScale();
int32_t projectSampleSize();

// Time format of a clip's media file; without a clip table, 0.
using ClipTimeFormatFn = int32_t (*)(int32_t clipID);
void setClipTimeFormat(ClipTimeFormatFn fn);
int32_t clipTimeFormat(int32_t clipID);

}  // namespace rc::timehooks

namespace rc::time {

// Copy string `index` of string list `list` (at most dstSize - 1 bytes and a
// NUL); an empty text when there is none.
void indString(char* dst, int dstSize, int16_t list, int16_t index);

}  // namespace rc::time
