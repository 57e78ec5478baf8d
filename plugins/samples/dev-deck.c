/* A simulated tape deck: a one-hour tape of frames and a transport. Each
   status poll is one tick of the deck's clock, in which the tape moves by
   the transport's speed: play and record 1 frame, wind 20 frames either way,
   shuttle the frames per tick it was given. Locate parks the tape at a frame,
   step moves it by a number of frames; both leave the deck paused. At either
   end of the tape the deck stops. The speed lives in the record's private
   word, so the deck needs no memory of its own. */
#include <string.h>

#include "reelcore/sdk/effect.h"

enum {
    kTapeFrames = 30 * 60 * 60,
    kWindSpeed = 20,
    kMaxShuttle = 64,
    kRecordVersion = 1,
    /* The deck's own answers (status and result). */
    kDeckFine = 0,
    kDeckOffTape = 3,    /* locate or step outside the tape */
    kDeckBadCommand = 4, /* a command the deck does not know */
    kDeckBadRecord = 5   /* a record of another version */
};

static void setTransport(RcDeviceRecord* d, int32_t mode, int32_t speed) {
    d->mode = mode;
    d->privateData = speed;
}

static int16_t moveTo(RcDeviceRecord* d, int64_t frame) {
    if (frame < 0 || frame >= kTapeFrames) {
        d->status = kDeckOffTape;
        return kDeckOffTape;
    }
    d->timecode = (int32_t)frame;
    setTransport(d, kRcDeckPause, 0);
    return kDeckFine;
}

static int16_t command(RcDeviceRecord* d) {
    switch (d->command) {
        case kRcDeckStop:
            setTransport(d, kRcDeckStop, 0);
            return kDeckFine;
        case kRcDeckPause:
            setTransport(d, kRcDeckPause, 0);
            return kDeckFine;
        case kRcDeckPlay:
        case kRcDeckRecord:
            setTransport(d, d->command, 1);
            return kDeckFine;
        case kRcDeckRewind:
            setTransport(d, kRcDeckRewind, -kWindSpeed);
            return kDeckFine;
        case kRcDeckFastForward:
            setTransport(d, kRcDeckFastForward, kWindSpeed);
            return kDeckFine;
        case kRcDeckShuttle: {
            int32_t speed = d->argument;
            if (speed > kMaxShuttle) speed = kMaxShuttle;
            if (speed < -kMaxShuttle) speed = -kMaxShuttle;
            setTransport(d, speed ? kRcDeckShuttle : kRcDeckPause, speed);
            return kDeckFine;
        }
        case kRcDeckGoto:
            return moveTo(d, d->argument);
        case kRcDeckStep:
            return moveTo(d, (int64_t)d->timecode + d->argument);
        default:
            d->status = kDeckBadCommand;
            return kDeckBadCommand;
    }
}

/* One tick: the tape moves by the speed and stops at its ends. */
static void poll(RcDeviceRecord* d) {
    const int64_t next = (int64_t)d->timecode + d->privateData;
    if (next <= 0 || next >= kTapeFrames - 1) {
        d->timecode = next <= 0 ? 0 : kTapeFrames - 1;
        if (d->privateData != 0) setTransport(d, kRcDeckStop, 0);
        return;
    }
    d->timecode = (int32_t)next;
}

RC_MODULE_ENTRY int16_t xDevice(int16_t selector, RcHandle record) {
    if (!record || !*record) return kDeckBadRecord;
    RcDeviceRecord* d = (RcDeviceRecord*)*record;
    if (d->version != kRecordVersion) return kDeckBadRecord;
    d->status = kDeckFine;
    switch (selector) {
        case kRcDeviceStartup:
            d->features = kRcDeckCanPlay | kRcDeckCanLocate | kRcDeckCanShuttle | kRcDeckCanRecord |
                          kRcDeckCanStep;
            strcpy(d->name, "Simulated deck");
            d->timecode = 0;
            setTransport(d, kRcDeckStop, 0);
            return kDeckFine;
        case kRcDeviceShutdown:
            setTransport(d, kRcDeckStop, 0);
            return kDeckFine;
        case kRcDeviceCommand:
            return command(d);
        case kRcDeviceStatus:
            poll(d);
            return kDeckFine;
        default:
            return kRcModuleUnsupported;
    }
}
