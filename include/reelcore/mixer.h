/* The audio mixer: the per-frame mix of the timeline's audio tracks, the
   level meters and faders of the mixer window, and the delay lines that keep
   what is shown in step with what is heard.

   A frame of audio ("blip") is the span of samples between a video frame's
   start and end. The mix goes through a 32-bit accumulator (audio.h) and the
   limiter of the utility table. Gains are floats in the mixer record (1.0
   unity) and 65536 for unity in the frame mix. */
#ifndef REELCORE_MIXER_H
#define REELCORE_MIXER_H

#include "reelcore/timerecord.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Global slots the mixer reads. */
enum {
    kSlotAudioPostProcess = 171,   /* non-zero: run the post-processing entry */
    kSlotAudioPost16Bit = 172,     /* non-zero: the post-processor takes 16-bit samples */
    kSlotAudioPostRate = 173,      /* the post-processor's sample rate (0: the request's) */
    kSlotAudioFilterCleanup = 185, /* Handle of filter-list entries to clean up on a loop */
    kSlotLoopedPlay = 416          /* const FmLoopedPlay*, or 0 */
};

/* Strip flags: the low byte is the automation mode. */
enum {
    kMixerModeMask = 0xFF,
    kMixerModeOff = 0,
    kMixerModeRead = 1,       /* the gain and pan come from the track's envelopes */
    kMixerModeWrite = 2,      /* fader moves are recorded into the envelopes */
    kMixerGainMoving = 0x100, /* the gain fader is held: its setting applies at once */
    kMixerPanMoving = 0x200,  /* the same for pan */
    kMixerMoveStart = 0x400   /* the first write of a move; cleared once written */
};

/* One strip of the mixer record: eight 32-bit words. */
typedef struct FmMixerStrip {
    int32_t flags;
    int32_t mute;      /* non-zero: the strip contributes nothing */
    int32_t window;    /* kept for the mixer window */
    float pan;         /* effective pan: 0.0 full left, 0.5 centre, 1.0 full right */
    float panSetting;  /* the fader's pan */
    float gain;        /* effective gain, 1.0 unity */
    float gainSetting; /* the fader's gain */
    float meter;       /* the level shown, 0.0 ... 1.0 */
} FmMixerStrip;

/* The mixer record: count, then count strips (FM_MIXER_STRIP). */
typedef struct FmMixerRecord {
    int32_t count;
} FmMixerRecord;

#define FM_MIXER_STRIP(mixer, i) \
    ((FmMixerStrip*)((char*)(mixer) + sizeof(FmMixerRecord) + sizeof(FmMixerStrip) * (size_t)(i)))
#define FM_MIXER_RECORD_SIZE(count) (sizeof(FmMixerRecord) + sizeof(FmMixerStrip) * (size_t)(count))

/* The master meter: channel count (1 or 2), then scale and level per channel.
   Levels above 1.0 mean the output was clipped. */
typedef struct FmMeterChannel {
    float scale;
    float level;
} FmMeterChannel;

typedef struct FmMasterMeter {
    int32_t count;
    FmMeterChannel channels[2];
} FmMasterMeter;

/* The two delay settings. Depth and width are clamped to 0 ... 30 frames. */
typedef struct FmMixerDelay {
    int32_t strips;
    int32_t depth;
} FmMixerDelay;

typedef struct FmMasterDelay {
    int32_t channels;
    int32_t width;
} FmMasterDelay;

enum { kMixerMaxDelay = 30 };

/* The looped-play record of slot 416, filled by the executable while the
   timeline plays. Frames are frame numbers of the mix. */
typedef struct FmLoopedPlay {
    int32_t active;    /* non-zero while looped playback runs */
    int32_t direction; /* 1 forward, -1 in reverse */
    int32_t loopStart; /* the frame a loop wraps to */
    int32_t loopEnd;
    int32_t playStart; /* the play range: automation outside it was never heard */
    int32_t playEnd;   /* exclusive */
} FmLoopedPlay;

/* ComputeBufferVU's format may name accumulator words instead of samples
   (with kAudioStereo for interleaved stereo). */
enum { kMeterAccumulator = 0x10000 };

/* The clip's audio flags (FmClipFlags): stereo channel options. */
enum { kClipChannelSwap = 0x400, kClipChannelLeft = 0x2000, kClipChannelRight = 0x4000 };

/* The clip's volume: a percentage in the first two bytes of the clip
   record's settings block (little-endian, 0 = not set). */
enum { kClipVolumeOffset = 0 };

/* MixBlip options: the low 16 bits select audio tracks by ordinal (bit n is
   the n-th audio track); 0xFFFF selects every audio track. */
enum { kMixAllTracks = 0xFFFF };

/* ---- Delay lines ---- */
/* Re-allocate the mixer history and automation queues when either number
   changes (null or depth 0: none). Pending automation is written first, and
   the ring starts afresh. 0, or -108 (no history then). */
RC_API OSErr SetAudMixerVUDelay(const FmMixerDelay* settings);
/* The same for the master history. */
RC_API OSErr SetAudMasterVUDelay(const FmMasterDelay* settings);
/* Playback start, each loop, export start: fresh history slots (meter 0.0,
   gain 1.0, pan 0.5), empty queues and master history, both rings at 0,
   the current time base noted, and cached mixes dropped. */
RC_API void InitAudMixerMasterVUHistory(void);
/* Writes every pending fader move into the tracks' envelopes (those outside
   the play range of slot 416 were never heard and are dropped). */
RC_API void FlushAudMixerAutomationHistory(void);

/* ---- Faders and meters; strip -1 means every strip ---- */
/* Shows the level that entered the delay line depth frames ago and stores
   the new one; without a history of the mixer's size it shows at once. */
RC_API void SetMixerVU(FmMixerRecord* mixer, int32_t strip, float level);
RC_API void SetMixerGain(FmMixerRecord* mixer, int32_t strip, float gain);
RC_API void SetMixerPan(FmMixerRecord* mixer, int32_t strip, float pan);
/* The block's peak per channel times the channel's scale, through the
   master delay line. A mono block on a stereo meter shows on both channels,
   a stereo block on a mono meter its larger peak. */
RC_API void ComputeBufferVU(FmMasterMeter* master, const void* samples, int32_t format,
                            int32_t byteCount);

/* ---- The frame mix ----
   Mixes frame `frame` (of time base tdb; null: the current time base) of the
   audio tracks in `tracks` selected by `options` into `output` in `format`
   at `rate` Hz. `scratch` is a Handle the mix may grow for its accumulator
   and the caller keeps (null: the library keeps its own). *outBytes: on
   entry the output's capacity in bytes (0 or less: the caller guarantees
   room for a frame's span), on return the bytes the frame takes. mixer and
   master may be null. 0; -50 bad arguments or too small an output (nothing
   written); -108 no memory (silence written). */
RC_API OSErr MixBlip(int32_t frame, void* output, int32_t format, int32_t rate, Handle scratch,
                     int32_t options, int32_t* outBytes, const TDB* tdb, Handle tracks,
                     FmMixerRecord* mixer, FmMasterMeter* master);

/* Copies byteCount bytes of the clip's audio, byteOffset bytes into second
   `second` (in format at rate), through the audio cache. 0; 1 for an
   unknown clip or a failed read (the rest is silence, nothing cached). */
RC_API OSErr GetAudioBlip(int32_t clipID, int32_t second, int32_t byteOffset, int32_t byteCount,
                          void* dest, int32_t format, int32_t rate);

/* Called once per MixBlip after the rings advance, with the frame and the
   records MixBlip was given (either may be null). */
typedef void (*FmMeterSink)(void* context, int32_t frame, const FmMixerRecord* mixer,
                            const FmMasterMeter* master);
/* Installs the sink (null: none); returns the previous one. */
RC_API FmMeterSink MixerSetMeterSink(FmMeterSink sink, void* context);

#ifdef __cplusplus
}
static_assert(sizeof(FmMixerStrip) == 32, "a strip is eight words");
static_assert(sizeof(FmMixerRecord) == 4, "the count word");
static_assert(sizeof(FmMasterMeter) == 20, "count, then scale and level per channel");
static_assert(sizeof(FmLoopedPlay) == 24, "looped-play record");
static_assert(__builtin_offsetof(FmMixerStrip, pan) == 12, "effective pan is word 3");
static_assert(__builtin_offsetof(FmMixerStrip, meter) == 28, "meter is word 7");
#endif

#endif
