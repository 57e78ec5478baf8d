/* Media access: a file's description, frames and seconds of sound, through
   the file's importer or drawing handler, with the frame and audio caches.

   Video request flags: bits 0-5 the depth wanted (0 means 24), kVideoStillCache,
   kVideoThroughBuffer, kVideoUseCache. Audio request flags: kAudioStereo (0x100),
   kAudio16Bit (0x200) from audio.h, kAudioTableConvert, kAudioTable112,
   kAudioAddToCache. */
#ifndef REELCORE_MEDIA_ACCESS_H
#define REELCORE_MEDIA_ACCESS_H

#include "reelcore/filetable.h"
#include "reelcore/timerecord.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kVideoDepthMask = 0x3F,
    kVideoStillCache = 0x2000,
    kVideoThroughBuffer = 0x4000,
    kVideoUseCache = 0x8000
};

enum { kAudioTableConvert = 0x80, kAudioTable112 = 0x800, kAudioAddToCache = 0x8000 };

enum {
    kSlotNoCacheOverride = 93, /* non-zero: cache even files marked no-caching */
    kSlotAudioTable112 = 112,  /* 256 bytes: 8-bit conversion table (flag 0x800) */
    kSlotAudioTable113 = 113,  /* 256 bytes: the other conversion table */
    kSlotResamplerOn = 170,    /* non-zero: resample with a margin */
    kSlotBigFieldInterp = 183, /* buffer and field-interpolate large movies */
    kSlotForceBuffer = 182,    /* draw every file through a buffer */
    kSlotDefaultAspect = 397,  /* pixel aspect of buffers without one */
    kDrawHandlerEntryNameLength = 11
};

#define FM_DRAW_ENTRY_NAME "xDrawEntry"

/* Drawing-handler selectors: result = xDrawEntry(selector, a1 ... a6). */
enum {
    kDrawGetInfo = 0,
    kDrawFrame = 1,
    kDrawGetAudio = 2,
    kDrawOpen = 3,
    kDrawClose = 4,
    kDrawQuiet = 5,
    kDrawGetAudioVST = 8,
    kDrawExtra = 9,
    kDrawStartup = 10,
    kDrawCleanup = 11
};
typedef int16_t (*FmDrawEntryProc)(int32_t selector, intptr_t a1, intptr_t a2, intptr_t a3,
                                   intptr_t a4, intptr_t a5, intptr_t a6);

RC_API Boolean ImporterExists(OSType handlerType);
/* Fills info (defaults, then the cached copy unless refresh, else the
   handler's answer). 0, or the handler's code. */
RC_API OSErr GetInfo(int16_t fileID, FmMediaInfo* info, int32_t refresh);
RC_API OSErr GetInfoNoPrefs(int16_t fileID, FmMediaInfo* info, int32_t refresh);
RC_API OSErr FileOpen(int16_t fileID);
RC_API OSErr FileQuiet(int16_t fileID);
RC_API OSErr FileClose(int16_t fileID);

/* The file's frame at `time` into the world's rectangle. range: frames the
   caller will read next (a hint). 0, 1 for an empty rectangle, 4 when no
   intermediate world could be had, else the handler's code (the rectangle
   then holds black). */
RC_API OSErr GetVideo(const TDB* time, int16_t fileID, int32_t world, const FmRect* rect,
                      int32_t flags, int32_t range);
/* The clip's frame at `time` (the clip's media time). */
RC_API OSErr GetClipVideo(const TDB* time, int32_t clipID, int32_t world, const FmRect* rect,
                          int32_t flags);
/* True when the clip's frame at `time` is cached for the rectangle and depth. */
RC_API Boolean CheckClipFrame(const TDB* time, int32_t clipID, const FmRect* rect, int32_t depth);

/* Raw bytes of the file's own audio format from byte offset `offset`. */
RC_API OSErr GetAudio(int16_t fileID, int64_t offset, int32_t length, void* dest);
RC_API OSErr GetAudioVST(int16_t fileID, int64_t offset, int32_t length, void* dest,
                         intptr_t chain);
/* One second of sound in the requested format: samplesPerSecond frames of
   the destination format into dest. ratePercent 100 is normal speed. */
RC_API OSErr GetAudioSec(int32_t second, int16_t fileID, void* dest, int32_t flags,
                         int32_t samplesPerSecond, int32_t ratePercent);
RC_API OSErr GetClipAudioSec(int32_t second, int32_t clipID, void* dest, int32_t flags,
                             int32_t samplesPerSecond);
/* Bytes of one sample frame for audio flags. */
RC_API int32_t FmAudioFrameBytes(int32_t flags);

/* Draws the file's waveform into the world's rectangle: a centre line and
   the peaks of each column. 0, or the audio read's code. */
RC_API OSErr DrawAudioImage(int16_t fileID, int32_t world, const FmRect* rect);
RC_API OSErr FileExtra(int16_t fileID, int32_t request, void* data);
/* Sends clean-up (selector 11) to every registered drawing handler. */
RC_API void DrawCleanup(void);

#ifdef __cplusplus
}
#endif

#endif
