/* A window handler module for the tests: it answers messages through its
   exported "xMessage" and calls back the probe the test puts in word 8. */
#include <stdint.h>

typedef intptr_t (*Probe)(intptr_t code);

__attribute__((visibility("default"))) int16_t xMessage(uint32_t window, intptr_t* block) {
    block[5] = (intptr_t)window;
    block[6] = block[0] * 3;
    if (block[8]) block[7] = ((Probe)block[8])(block[0]);
    return (int16_t)(block[1] + 100);
}
