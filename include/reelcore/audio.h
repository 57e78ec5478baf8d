/* Audio sample operations: halving and reversing blocks, format conversion
   with nearest-sample stretching, summing tracks into a wide accumulator and
   limiting it back, three-way mixing, and the sample-rate converter.

   Sample formats: 8-bit samples are unsigned around 128, 16-bit samples
   signed little-endian around 0; stereo is interleaved, left first. */
#ifndef REELCORE_AUDIO_H
#define REELCORE_AUDIO_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Format flags (mask 0x300). StretchAudio takes the destination format in
   the low bits instead: kStretchStereo, kStretch16Bit. */
enum {
    kAudioStereo = 0x100,
    kAudio16Bit = 0x200,
    kAudioFormatMask = 0x300,
    kStretchStereo = 1,
    kStretch16Bit = 2
};

/* Mixing accumulator words hold 16-bit sample values x 16. */
enum { kAudioAccumulatorShift = 4 };

/* Unity gains: AudioSum 65536, AudioMix 10000. */
enum { kAudioSumUnity = 65536, kAudioMixUnity = 10000 };

/* Nearest-sample request (DoAudioMunge and the munge entry of the utility
   table). Output frame i takes source frame (position + i * step) / 65536,
   kept inside the source. */
typedef struct FmAudioMungeRequest {
    const void* src;
    int32_t srcFrames;
    int32_t srcFormat; /* kAudioStereo | kAudio16Bit */
    void* dst;
    int32_t dstFrames;
    int32_t dstFormat; /* kAudioStereo | kAudio16Bit */
    int64_t position;  /* 16.16 source frames */
    uint32_t step;     /* 16.16 source frames per output frame */
} FmAudioMungeRequest;

/* Resample request (DoResample). The source holds srcAvailable frames; the
   conversion starts at frame srcFirst and is meant to consume srcCount
   frames; frames before srcFirst and after it serve as the filter's
   history. dstStart and srcStart place the nearest-sample position. */
typedef struct FmResampleRequest {
    const void* src;
    int32_t srcFirst;
    int32_t srcAvailable;
    int32_t srcCount;
    int32_t srcFormat;
    void* dst;
    int32_t dstFrames;
    int32_t dstFormat;
    int32_t srcRate; /* Hz */
    int32_t dstRate; /* Hz */
    int32_t dstStart;
    int32_t srcStart;
} FmResampleRequest;

/* The 8-bit mixing tables of global slots 65 and 66. Slot 65 points at
   kAudioMixGainRows rows of 256 signed 16-bit entries: row g, entry u holds
   (u - 128) * g / 10. Slot 66 points at kAudioMixClipSize bytes: entry
   i holds the sum i - kAudioMixClipBias clipped to one unsigned byte. */
enum {
    kSlotAudioMixScale = 65,
    kSlotAudioMixClip = 66,
    kAudioMixGainRows = 41, /* gains 0 to 4 x unity, in tenths */
    kAudioMixClipBias = 3 * 128 * (kAudioMixGainRows - 1) / 10,
    kAudioMixClipSize = 2 * kAudioMixClipBias + 1
};

/* Global slot 174: a Handle of Handles (pointer-sized entries) shared by
   several subsystems; entry 10 holds the resampler's context. */
enum { kSlotHandleTable = 174, kHandleTableResampler = 10 };

/* (s - 128) / 2 + 128, the halving truncating toward zero (-6 dB). */
RC_API void BlockMute(uint8_t* samples, int32_t count);
/* Each sample halved, truncating toward zero. */
RC_API void BlockMute16(int16_t* samples, int32_t count);

/* Reversing copies; source and destination must not overlap. */
RC_API void BlockBackwards(const uint8_t* src, uint8_t* dst, int32_t count);
RC_API void BlockBackwardsWord(const uint16_t* src, uint16_t* dst, int32_t count);
/* Reversal in place of bytes, 16-bit and 32-bit units (8-bit mono,
   16-bit mono or 8-bit stereo, 16-bit stereo frames). */
RC_API void BlockBackwards_inplace(uint8_t* buffer, int32_t count);
RC_API void BlockBackwardsWord_inplace(uint16_t* buffer, int32_t count);
RC_API void BlockBackwardsLong_inplace(uint32_t* buffer, int32_t count);

/* Converts the source (format in bits 8-9 of `formats`) to the destination
   format (low bits: kStretchStereo, kStretch16Bit) and stretches it by
   nearest sample to fill the destination. 0 on success; -50 for bad
   arguments (nothing written). */
RC_API int32_t StretchAudio(const void* src, int32_t srcBytes, void* dst, int32_t dstBytes,
                            int32_t formats);
/* The nearest-sample conversion with explicit position and step. 0 on
   success; -50 for bad arguments (nothing written). */
RC_API int32_t DoAudioMunge(const FmAudioMungeRequest* request);

/* Adds the block into the accumulator with the gain (65536 = unity). */
RC_API void AudioSum(const void* samples, int32_t* accumulator, int32_t byteCount, int32_t gain,
                     int32_t format);
/* Converts accumulator words to samples with clipping; byteCount is the
   destination's size. */
RC_API void AudioLimit(const int32_t* accumulator, void* dst, int32_t byteCount, int32_t format);
/* Mixes three blocks with gains (10000 = unity); a null source is silence. */
RC_API void AudioMix(const void* src1, int32_t gain1, const void* src2, int32_t gain2,
                     const void* src3, int32_t gain3, int32_t byteCount, void* dst, int32_t format);

/* Converts rate and format. The quality and dither come from the project's
   audio settings. 0 on success; on failure the destination holds silence
   and the result is non-zero (-50 bad request or filter, -108 no memory). */
RC_API int32_t DoResample(const FmResampleRequest* request);

#ifdef __cplusplus
}
static_assert(sizeof(FmAudioMungeRequest) == 48, "munge request layout");
static_assert(sizeof(FmResampleRequest) == 56, "resample request layout");
#endif

#endif
