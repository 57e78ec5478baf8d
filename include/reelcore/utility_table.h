/* The utility table: services the executable hands the library through
   global slot 81 (pixel copy, convolution, and later audio, composite and
   distort entries). The table is versioned: an entry exists when the table's
   size covers it. Families add their entries at the end and raise
   kUtilityTableVersion. */
#ifndef REELCORE_UTILITY_TABLE_H
#define REELCORE_UTILITY_TABLE_H

#include <stddef.h>

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

/* Lays a superimposed picture over the one below through its key: superMode
   (0 draws nothing), source, destination, matte picture, opacity 0 ... 65535
   and the item's key settings. The library's entry keys with DoImageKey. */
typedef int32_t (*FmCompositeProc)(int32_t superMode, PPixHand src, PPixHand dst, PPixHand matte,
                                   int32_t opacity, const FmKeySettings* key);
/* Maps the source quadrilateral of src onto the destination one in dst
   (corners in 16.16 pixels). The library's entry is FixedToFixed. */
typedef int32_t (*FmDistortProc)(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                                 const FmFixedPoint dstCorners[4]);

enum { kUtilityTableVersion = 2 };

typedef struct FmUtilityTable {
    uint32_t version; /* kUtilityTableVersion of the header it was built with */
    uint32_t size;    /* sizeof(FmUtilityTable) of that header */
    FmCopyPixProc copyPix;
    FmConvolveProc convolve;
    FmCompositeProc composite; /* version 2 */
    FmDistortProc distort;     /* version 2 */
} FmUtilityTable;

/* True when `table` is present and long enough to hold `field`. */
#define FM_UTILITY_HAS(table, field)                                                         \
    ((table) && (table)->size >= offsetof(FmUtilityTable, field) + sizeof((table)->field) && \
     (table)->field)

/* The library's own table: every entry holds the library's implementation.
   An executable may copy it, replace entries and store it in slot 81. */
RC_API const FmUtilityTable* FmDefaultUtilityTable(void);

#ifdef __cplusplus
}
#endif

#endif
