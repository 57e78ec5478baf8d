/* An importer without its entry point. */
#include "reelcore/sdk/module.h"

RC_MODULE_ENTRY int32_t notTheEntry(void) {
    return 0;
}
