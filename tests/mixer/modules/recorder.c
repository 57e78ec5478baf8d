/* An audio filter that hands every call to a hook the test installs through
   recorderSetHook, so the test sees the record as the host filled it and
   answers for the module. Without a hook it answers 0 and leaves the block. */
#include "reelcore/sdk/effect.h"

typedef int16_t (*RecorderHook)(int16_t selector, RcAudioFilterRecord* record);

static RecorderHook hook;

RC_MODULE_ENTRY void recorderSetHook(RecorderHook h) {
    hook = h;
}

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    return hook ? hook(selector, (RcAudioFilterRecord*)*record) : 0;
}
