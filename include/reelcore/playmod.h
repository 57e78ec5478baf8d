/* The playback library (libreelplay.so): real-time playback of the timeline
   by playback modules. It is a shared object of its own; libreelcore.so
   finds it beside itself at plug-in registration and calls these seven
   functions by name. Without the library, or without playback modules, the
   answers are "no module" (FindPlayFileEntry and playmodCanRenderFrames
   answer 0) and every caller takes its software path.

   The library loads each playback module ('PLYM') handed to playmodStartup
   and talks to it through the protocol in reelcore/sdk/playback.h. */
#ifndef REELCORE_PLAYMOD_H
#define REELCORE_PLAYMOD_H

#include "reelcore/sdk/playback.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the playback modules (their FileIDs); the caller keeps the array. */
RC_API void playmodStartup(const int16_t* fileIDs, int32_t count);
/* Non-zero when a module plays (type, subtype); then *entry and *id (the
   module's FileID) are written. `kind` is 4 for compiler output types. */
RC_API int32_t FindPlayFileEntry(OSType type, OSType subtype, int32_t kind, RcPlayFileEntry* entry,
                                 int16_t* id);
/* Asks module `id` for its preferences for the entry into *prefs (a block
   from NewPtr; an old block there is the module's to replace). 13 means the
   preferences changed; a module that cannot be reached gives 1. */
RC_API int32_t playmodGetFilePrefs(int16_t id, const RcPlayFileEntry* entry, Ptr* prefs);
/* The current module lets go of its resources. */
RC_API void playmodDeactivateCurrent(void);
/* Looped playback wrapped to its start. */
RC_API void NotifyLoopedPlayIdleProcs(void);
/* Non-zero when the module (its FileID) can render the frame in real time. */
RC_API int32_t playmodCanRenderFrames(intptr_t module);
/* Non-zero when the module rendered the frame into destination. */
RC_API int32_t playmodRenderRTFrame(intptr_t module, int32_t time, intptr_t frame,
                                    int32_t fieldMode, void* destination, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
