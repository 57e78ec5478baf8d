/* Playback modules (kind 'PLYM'): real-time playback of the timeline through
   the playback library (libreelplay.so, see reelcore/playmod.h).

   The library calls one entry point, "xPlayEntry"(selector, param1, param2),
   which returns a 32-bit result:

     selector                 param1                     param2     result
     kRcPlayStartup           RcPlayModuleInfo*          0          0 to be used
     kRcPlayShutdown          0                          0          -
     kRcPlayGetFilePrefs      const RcPlayFileEntry*     char**     0, or 13 when the
                                                                    preferences changed
     kRcPlayDeactivate        0                          0          -
     kRcPlayLoopedIdle        0                          0          -
     kRcPlayCanRender         module reference           0          non-zero: can render
     kRcPlayRender            RcPlayRenderRequest*       0          non-zero: rendered

   At start-up a module lists the output types it plays (file type and
   subtype; a subtype of 0 serves every subtype). Preferences are a block
   the module allocates with NewPtr from libreelcore.so; the caller owns it.
   The module reference handed to kRcPlayCanRender and kRcPlayRender is the
   module's FileID. */
#ifndef REELCORE_SDK_PLAYBACK_H
#define REELCORE_SDK_PLAYBACK_H

#include "reelcore/sdk/module.h"

#define RC_PLAY_ENTRY_NAME "xPlayEntry"

typedef int32_t (*RcPlayEntryProc)(int32_t selector, intptr_t param1, intptr_t param2);

enum {
    kRcPlayStartup = 0,
    kRcPlayShutdown = 1,
    kRcPlayGetFilePrefs = 2,
    kRcPlayDeactivate = 3,
    kRcPlayLoopedIdle = 4,
    kRcPlayCanRender = 5,
    kRcPlayRender = 6
};

enum { kRcPlayMaxTypes = 16, kRcPlayPrefsChanged = 13 };

/* One output type a module plays. */
typedef struct RcPlayFileEntry {
    RcOSType fileType;
    RcOSType subtype;
    int16_t moduleID; /* filled by the library: the module's FileID */
    int16_t reserved;
    char name[64];
} RcPlayFileEntry;

RC_SDK_ASSERT(sizeof(RcPlayFileEntry) == 76, "play file entries are 76 bytes");

typedef struct RcPlayModuleInfo {
    int32_t typeCount; /* at most kRcPlayMaxTypes */
    RcPlayFileEntry types[kRcPlayMaxTypes];
} RcPlayModuleInfo;

typedef struct RcPlayRenderRequest {
    intptr_t module;
    int32_t time;
    int32_t fieldMode; /* 0 frames, 1 and 2 the two field orders */
    intptr_t frame;
    void* destination; /* a pixel buffer handle */
    int32_t size;
    int32_t reserved;
} RcPlayRenderRequest;

#endif
