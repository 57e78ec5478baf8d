/* The utility table: services the executable hands the library through
   global slot 81 (pixel copy, convolution, audio, composite and distort
   entries). The table is versioned: an entry exists when the table's
   size covers it. Families add their entries at the end and raise
   kUtilityTableVersion. */
#ifndef REELCORE_UTILITY_TABLE_H
#define REELCORE_UTILITY_TABLE_H

#include <stddef.h>

#include "reelcore/audio.h"
#include "reelcore/imagefilters.h"
#include "reelcore/keying.h"
#include "reelcore/motion.h"
#include "reelcore/ppix.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The pixel copy: source ppix record, destination ppix record, rectangles,
   flags (kCopy... in depthcon.h) and mask. */
typedef int32_t (*FmCopyPixProc)(const PPixRecord* src, const PPixRecord* dst,
                                 const FmRect* srcRect, const FmRect* dstRect, int32_t flags,
                                 const void* mask);
/* 3 x 3 convolution of a 32-bit ppix into another of the same size. */
typedef void (*FmConvolveProc)(PPixHand src, PPixHand dst, const FmKernel3x3* kernel);

/* Audio entries (version 2): the nearest-sample converter (DoAudioMunge),
   the limiter (AudioLimit), the mixer's post-processing, the resampler
   (DoResample) and the plain format converter (StretchAudio). */
typedef int32_t (*FmAudioMungeProc)(const FmAudioMungeRequest* request);
typedef void (*FmAudioLimitProc)(const int32_t* accumulator, void* dst, int32_t byteCount,
                                 int32_t format);
/* Post-processing: `input` holds the previous, current and next frames'
   audio one after the other (prevBytes, curBytes, nextBytes) in inFormat at
   inRate; the entry produces the current frame's output. */
typedef struct FmAudioPostRequest {
    const void* input;
    int32_t prevBytes;
    int32_t curBytes;
    int32_t nextBytes;
    int32_t inFormat;
    int32_t inRate;
    void* output;
    int32_t outBytes;
    int32_t outFormat;
    int32_t outRate;
} FmAudioPostRequest;
typedef int32_t (*FmAudioPostProc)(const FmAudioPostRequest* request);
typedef int32_t (*FmAudioResampleProc)(const FmResampleRequest* request);
typedef int32_t (*FmAudioConvertProc)(const void* src, int32_t srcBytes, void* dst,
                                      int32_t dstBytes, int32_t formats);
/* Lays a superimposed picture over the one below through its key: superMode
   (0 draws nothing), source, destination, matte picture, opacity 0 ... 65535
   and the item's key settings. The library's entry keys with DoImageKey. */
typedef int32_t (*FmCompositeProc)(int32_t superMode, PPixHand src, PPixHand dst, PPixHand matte,
                                   int32_t opacity, const FmKeySettings* key);
/* Maps the source quadrilateral of src onto the destination one in dst
   (corners in 16.16 pixels). The library's entry is FixedToFixed. */
typedef int32_t (*FmDistortProc)(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                                 const FmFixedPoint dstCorners[4]);

enum { kUtilityTableVersion = 3 };

typedef struct FmUtilityTable {
    uint32_t version; /* kUtilityTableVersion of the header it was built with */
    uint32_t size;    /* sizeof(FmUtilityTable) of that header */
    FmCopyPixProc copyPix;
    FmConvolveProc convolve;
    /* version 2 */
    FmAudioMungeProc audioMunge;
    FmAudioLimitProc audioLimit;
    FmAudioPostProc audioPost;
    FmAudioResampleProc audioResample;
    FmAudioConvertProc audioConvert;
    FmCompositeProc composite; /* version 3 */
    FmDistortProc distort;     /* version 3 */
} FmUtilityTable;

/* True when `table` is present and long enough to hold `field`. */
#define FM_UTILITY_HAS(table, field)                                                         \
    ((table) && (table)->size >= offsetof(FmUtilityTable, field) + sizeof((table)->field) && \
     (table)->field)

/* The library's own table: every entry holds the library's implementation.
   An executable may copy it, replace entries and store it in slot 81. */
RC_API const FmUtilityTable* FmDefaultUtilityTable(void);

/* The library's post-processing: the current frame resampled to the
   output format and rate, its neighbours serving as filter history. */
RC_API int32_t FmAudioPostProcess(const FmAudioPostRequest* request);

#ifdef __cplusplus
}
static_assert(sizeof(FmAudioPostRequest) == 56, "post-processing request layout");
#endif

#endif
