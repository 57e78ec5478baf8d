/* A device controller that calls the host's device entry again from inside
   its own call (the host's function is handed in the record's private
   data) and keeps the answer in its status. */
#include "reelcore/sdk/effect.h"

typedef int16_t (*DeviceProc)(int16_t fileID, int16_t selector, RcHandle* record);

RC_MODULE_ENTRY int16_t xDevice(int16_t selector, RcHandle record) {
    RcDeviceRecord* d = (RcDeviceRecord*)*record;
    d->timecode += 1; /* counts the calls that reached the module */
    if (selector == kRcDeviceCommand && d->privateData) {
        DeviceProc again = (DeviceProc)d->privateData;
        d->status = again((int16_t)d->argument, kRcDeviceStatus, &record);
    }
    return 0;
}
