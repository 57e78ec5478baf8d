/* A playback module for the tests: it plays 'RTMV' output of any subtype,
   hands out preferences, and renders frames whose time is even. It counts
   the calls of each selector; playerCalls() gives the counts. */
#include <string.h>

#include "reelcore/memory.h"
#include "reelcore/sdk/playback.h"

static int32_t gCalls[8];

RC_MODULE_ENTRY int32_t* playerCalls(void) {
    return gCalls;
}

RC_MODULE_ENTRY int32_t xPlayEntry(int32_t selector, intptr_t param1, intptr_t param2) {
    if (selector >= 0 && selector < 8) ++gCalls[selector];
    switch (selector) {
        case kRcPlayStartup: {
            RcPlayModuleInfo* info = (RcPlayModuleInfo*)param1;
            info->typeCount = 1;
            info->types[0].fileType = RC_FOURCC('R', 'T', 'M', 'V');
            strcpy(info->types[0].name, "Real-time movie");
            return 0;
        }
        case kRcPlayGetFilePrefs: {
            char** prefs = (char**)param2;
            *prefs = NewPtrClear(16);
            return *prefs ? kRcPlayPrefsChanged : 1;
        }
        case kRcPlayCanRender:
            return 1;
        case kRcPlayRender:
            return ((const RcPlayRenderRequest*)param1)->time % 2 == 0;
        default:
            return 0;
    }
}
