#include "core/text_hooks.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace rc::texthooks {

namespace {

void defaultTimecodeToStr(int32_t ticks, const void*, int32_t, char* out) {
    std::snprintf(out, 256, "%d", ticks);
}

int32_t defaultMeasureText(intptr_t, const char*, int32_t length) {
    return length * kDefaultCharWidth;
}

void defaultMainWindowTitle(char* out, int32_t room) {
    if (room > 0) out[0] = '\0';
}

void defaultRestoreMainWindow() {}

TimecodeToStrFn g_timecode = defaultTimecodeToStr;
MeasureTextFn g_measure = defaultMeasureText;
MainWindowTitleFn g_title = defaultMainWindowTitle;
RestoreMainWindowFn g_restore = defaultRestoreMainWindow;

}  // namespace

TimecodeToStrFn setTimecodeToStr(TimecodeToStrFn fn) {
    return std::exchange(g_timecode, fn ? fn : defaultTimecodeToStr);
}
void timecodeToStr(int32_t ticks, const void* timeBase, int32_t format, char* out) {
    g_timecode(ticks, timeBase, format, out);
}

MeasureTextFn setMeasureText(MeasureTextFn fn) {
    return std::exchange(g_measure, fn ? fn : defaultMeasureText);
}
int32_t measureText(intptr_t dc, const char* text, int32_t length) {
    return g_measure(dc, text, length);
}

MainWindowTitleFn setMainWindowTitle(MainWindowTitleFn fn) {
    return std::exchange(g_title, fn ? fn : defaultMainWindowTitle);
}
void mainWindowTitle(char* out, int32_t room) {
    g_title(out, room);
}

RestoreMainWindowFn setRestoreMainWindow(RestoreMainWindowFn fn) {
    return std::exchange(g_restore, fn ? fn : defaultRestoreMainWindow);
}
void restoreMainWindow() {
    g_restore();
}

}  // namespace rc::texthooks
