// Hooks through which the strings, templates and alerts reach families that
// sit above them (timecode text, the window layer). Each hook has a default
// that answers as if that family were absent; setting null restores it. The
// setters return the function they replace, so tests can put it back.
#pragma once

#include <cstdint>

namespace rc::texthooks {

// Writes the text of `ticks` in the time base (a TDB record) with the format
// flags into out (256 bytes). Default: the tick count in decimal.
using TimecodeToStrFn = void (*)(int32_t ticks, const void* timeBase, int32_t format, char* out);
TimecodeToStrFn setTimecodeToStr(TimecodeToStrFn fn);
void timecodeToStr(int32_t ticks, const void* timeBase, int32_t format, char* out);

// Pixel width of `length` bytes of text in a device context. Default: a
// fixed width per byte (kDefaultCharWidth).
inline constexpr int32_t kDefaultCharWidth = 8;
using MeasureTextFn = int32_t (*)(intptr_t dc, const char* text, int32_t length);
MeasureTextFn setMeasureText(MeasureTextFn fn);
int32_t measureText(intptr_t dc, const char* text, int32_t length);

// The main window's title into out (bytes of room given). Default: no
// window, an empty title.
using MainWindowTitleFn = void (*)(char* out, int32_t room);
MainWindowTitleFn setMainWindowTitle(MainWindowTitleFn fn);
void mainWindowTitle(char* out, int32_t room);

// Restores a minimised main window and processes pending interface events
// before an alert. Default: nothing (no window).
using RestoreMainWindowFn = void (*)();
RestoreMainWindowFn setRestoreMainWindow(RestoreMainWindowFn fn);
void restoreMainWindow();

}  // namespace rc::texthooks
