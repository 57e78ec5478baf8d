/* A plug-in-like module with code and resources. Loading it would run the
   constructor; reading its resources must not. */
#include <stdlib.h>

#include "reelcore/resources.h"

__attribute__((constructor)) static void announceLoad(void) {
    setenv("REEL_CODEMOD_LOADED", "1", 1);
}

__attribute__((visibility("default"))) int xMessage(int selector) {
    char text[256] = "";
    GetIndString(text, 3000, 1);
    return selector + text[0];
}
