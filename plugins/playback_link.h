// The library's side of the playback library: it is looked for beside
// libreelcore.so when first needed and its seven functions are resolved by
// name. Without it every call answers as "no playback module".
#pragma once

#include <string>

#include "reelcore/playmod.h"

namespace rc::playback {

// Where to look instead (tests); empty restores the default place.
void setLibraryPath(const std::string& path);
// True when the library was found.
bool available();

void startup(const int16_t* fileIDs, int32_t count);
int32_t findPlayFileEntry(OSType type, OSType subtype, int32_t kind, RcPlayFileEntry* entry,
                          int16_t* id);
int32_t getFilePrefs(int16_t id, const RcPlayFileEntry* entry, Ptr* prefs);
void deactivateCurrent();
void notifyLoopedPlayIdle();
int32_t canRenderFrames(intptr_t module);
int32_t renderRTFrame(intptr_t module, int32_t time, intptr_t frame, int32_t fieldMode,
                      void* destination, int32_t size);

}  // namespace rc::playback
