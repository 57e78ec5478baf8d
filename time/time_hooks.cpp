#include "time/time_hooks.h"

#include <cstring>

#include "reelcore/resources.h"

namespace rc::timehooks {

namespace {

int32_t defaultProjectScale() {
    return 2997;
}
int32_t defaultProjectSampleSize() {
    return 100;
}
int32_t noClipTimeFormat(int32_t) {
    return 0;
}

ProjectScaleFn gScale = defaultProjectScale;
ProjectSampleSizeFn gSampleSize = defaultProjectSampleSize;
ClipTimeFormatFn gClipFormat = noClipTimeFormat;

}  // namespace

void setProjectScale(ProjectScaleFn fn) {
    gScale = fn ? fn : defaultProjectScale;
}
void setProjectSampleSize(ProjectSampleSizeFn fn) {
    gSampleSize = fn ? fn : defaultProjectSampleSize;
}
int32_t projectScale() {
    return gScale();
}
int32_t projectSampleSize() {
    return gSampleSize();
}

void setClipTimeFormat(ClipTimeFormatFn fn) {
    gClipFormat = fn ? fn : noClipTimeFormat;
}
int32_t clipTimeFormat(int32_t clipID) {
    return gClipFormat(clipID);
}

}  // namespace rc::timehooks

namespace rc::time {

void indString(char* dst, int dstSize, int16_t list, int16_t index) {
    if (!dst || dstSize <= 0) return;
    char text[256] = "";  // GetIndString leaves it alone when there is no such string
    GetIndString(text, list, index);
    std::strncpy(dst, text, static_cast<size_t>(dstSize) - 1);
    dst[dstSize - 1] = 0;
}

}  // namespace rc::time
