/* An Imagist-style filter that records every call in a block kept in its
   persistent data word: per call the selector, the plane count, the picture
   mode, 1 when the host's record carried the expected fixed fields, and the
   image's columns and rows. Parameters makes a block holding 0x11223344;
   each continue adds 1 to it. */
#include <string.h>

#include "reelcore/sdk/effect.h"

static int fieldsAsExpected(const RcImagistRecord* r) {
    const uint8_t white[4] = {255, 255, 255, 255};
    return r->hostSignature == kRcImagistHostSignature && r->maxSpace == 2000000 &&
           r->imageMode == 3 && r->imageHRes == 0x480000 && r->imageVRes == 0x480000 &&
           r->scaleH == 0x10000 && r->scaleV == 0x10000 && memcmp(r->backColor, white, 4) == 0 &&
           memcmp(r->foreColor, white, 4) == 0 && r->filterRect.right == r->imageColumns &&
           r->filterRect.bottom == r->imageRows;
}

static void note(const RcImagistRecord* r, intptr_t* data, int16_t selector) {
    RcHandle log = (RcHandle)*data;
    if (!log) {
        log = r->host->newHandle(0);
        *data = (intptr_t)log;
    }
    const uint32_t size = r->host->getHandleSize(log);
    if (r->host->setHandleSize(log, size + 6) != 0) return;
    (*log)[size] = (char)selector;
    (*log)[size + 1] = (char)r->planes;
    (*log)[size + 2] = (char)r->mode;
    (*log)[size + 3] = (char)fieldsAsExpected(r);
    (*log)[size + 4] = (char)r->imageColumns;
    (*log)[size + 5] = (char)r->imageRows;
}

RC_MODULE_ENTRY void RecordEntry(int16_t selector, void* record, intptr_t* data, int16_t* result) {
    RcImagistRecord* r = (RcImagistRecord*)record;
    note(r, data, selector);
    *result = 0;
    int32_t value;
    switch (selector) {
        case kRcImagistParameters:
            if (r->parameters) r->host->disposeHandle(r->parameters);
            r->parameters = r->host->newHandle(4);
            value = 0x11223344;
            memcpy(*r->parameters, &value, 4);
            break;
        case kRcImagistContinue:
            memset(&r->outRect, 0, sizeof r->outRect);
            if (r->parameters && r->host->getHandleSize(r->parameters) == 4) {
                memcpy(&value, *r->parameters, 4);
                value += 1;
                memcpy(*r->parameters, &value, 4);
            }
            break;
        default:
            break;
    }
}
