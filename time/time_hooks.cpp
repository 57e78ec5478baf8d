#include "time/time_hooks.h"

#include <cstring>

#include "reelcore/timecode.h"

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

namespace {

struct ListString {
    int16_t list;
    int16_t index;
    const char* text;
};

// The library's texts for time display, until they are read from its
// resources.
const ListString kStrings[] = {
    {kTimeFormatNameList, 1, "24 fps Timecode"},
    {kTimeFormatNameList, 2, "25 fps Timecode"},
    {kTimeFormatNameList, 3, "30 fps Drop-Frame Timecode"},
    {kTimeFormatNameList, 4, "30 fps Non Drop-Frame Timecode"},
    {kTimeFormatNameList, 5, "Frames/Samples"},
    {kTimeFormatNameList, 6, "Feet + Frames 16mm"},
    {kTimeFormatNameList, 7, "Feet + Frames 35mm"},
    {1003, 26, "Duration: "},
    {1066, 10, " KB"},
    {1066, 11, " MB"},
    {1066, 12, " GB"},
    {1066, 13, " TB"},
};

}  // namespace

void indString(char* dst, int dstSize, int16_t list, int16_t index) {
    if (!dst || dstSize <= 0) return;
    dst[0] = 0;
    for (const auto& s : kStrings) {
        if (s.list == list && s.index == index) {
            std::strncpy(dst, s.text, static_cast<size_t>(dstSize) - 1);
            dst[dstSize - 1] = 0;
            return;
        }
    }
}

}  // namespace rc::time
