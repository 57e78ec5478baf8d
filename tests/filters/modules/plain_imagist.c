/* The recorder's twin under the default entry name. */
#include "reelcore/sdk/effect.h"

void RecordEntry(int16_t selector, void* record, intptr_t* data, int16_t* result);

RC_MODULE_ENTRY void ENTRYPOINT1(int16_t selector, void* record, intptr_t* data, int16_t* result) {
    RecordEntry(selector, record, data, result);
}
