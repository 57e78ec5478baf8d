/* A window handler module. The host finds "xNew", "xDispose" and
   "xMessage" by name when a window of type 'SMPL' is asked for or sent a
   message. This one keeps no window of its own: it declines to create one
   (result 2) and answers message 1000 with the number of messages seen. */
#include "reelcore/sdk/handler.h"

enum { kMessageCount = 1000, kDeclined = 2 };

static int32_t gMessages;

RC_MODULE_ENTRY int16_t xNew(const char* file, intptr_t a, intptr_t b, RcWindow* window) {
    (void)file;
    (void)a;
    (void)b;
    *window = 0;
    return kDeclined;
}

RC_MODULE_ENTRY int16_t xDispose(RcWindow window) {
    (void)window;
    return 0;
}

RC_MODULE_ENTRY int16_t xMessage(RcWindow window, intptr_t* block) {
    (void)window;
    ++gMessages;
    if (block[0] == kMessageCount) block[1] = gMessages;
    return 0;
}
