/* Superimpose keying: a key turns every source pixel into a coverage value
   (from its alpha, its colour distance to a key colour, its brightness, a
   matte picture ...), limited by a garbage matte and scaled by the item's
   opacity, and the source is laid over the destination through it.

   The application tables. The executable may supply its own in slots 62 and
   63; the library fills empty slots with its own tables (at InitMP and on
   first use):
   - slot 62, FmLumaTables: three 256-byte weight tables, BT.601 weights
     77/150/29 of 256 (red[i] = 77 * i / 256 ...), so that a pixel's luminance
     red[R] + green[G] + blue[B] is at most 253;
   - slot 63, FmChromaTables: six 256-entry 16-bit tables giving two chroma
     coordinates X = xr[R] + xg[G] + xb[B] (proportional to -43R - 85G + 128B)
     and Y = yr[R] + yg[G] + yb[B] (proportional to 128R - 107G - 21B), each
     entry the weight times i / 256 rounded, so that X and Y lie within
     -128 ... 128 and greys sit near 0;
   - the multiply table M(x, y) = (x * y + 127) / 255 of GetMultiplyTable,
     256 x 256 bytes indexed [x * 256 + y]. */
#ifndef REELCORE_KEYING_H
#define REELCORE_KEYING_H

#include "reelcore/ppix.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { kSlotLumaTables = 62, kSlotChromaTables = 63 };

/* Key types; the names shown to the user are kKeyTypeNames[type]. */
enum {
    kKeyNone = 0,
    kKeyChroma = 1,
    kKeyRGBDifference = 2,
    kKeyLuminance = 3,
    kKeyAlpha = 4,
    kKeyBlackAlphaMatte = 5,
    kKeyWhiteAlphaMatte = 6,
    kKeyImageMatte = 7,
    kKeyDifferenceMatte = 8,
    kKeyBlueScreen = 9,
    kKeyGreenScreen = 10,
    kKeyMultiply = 11,
    kKeyScreen = 12,
    kKeyTrackMatte = 13,
    kKeyNonRed = 14,
    kKeyTypeCount = 15
};

/* Reference frame of the garbage matte corners. */
enum { kGarbageRefWidth = 117, kGarbageRefHeight = 87 };

/* Blend modes of DoNewImpose. */
enum { kImposeNormal = 'a', kImposeBlack = 'b', kImposeWhite = 'w' };

#pragma pack(push, 1)
/* Key settings, filled by the render core from the track item. */
typedef struct FmKeySettings {
    uint32_t keyColour; /* 0x00BBGGRR: red in the low byte */
    uint8_t similarity; /* byte 0 */
    uint8_t smoothing;  /* byte 1: blend width of the colour keys */
    uint8_t threshold;  /* byte 2 */
    uint8_t cutoff;     /* byte 3 */
    int16_t shadow[2];  /* non-zero: the masked variants of the colour keys */
    int16_t reverse;    /* non-zero inverts the key */
    int16_t maskOnly;   /* non-zero: draw the coverage as grey instead */
    int16_t keyType;    /* kKey... */
    FmPoint garbage[4]; /* corners in the 117 x 87 frame; all four at 0 = none */
    int32_t matteFile;  /* the still of the image and difference mattes: 0 none, -1 not loaded */
    uint8_t keyOff;     /* non-zero copies the source unchanged */
    uint8_t reserved;
} FmKeySettings;

/* The coverage table of DoNewImpose: indexed by the source alpha. */
typedef struct FmCoverageEntry {
    uint8_t factor; /* blend factor */
    uint8_t flag;   /* 0: copy the source pixel whole */
} FmCoverageEntry;

typedef struct FmLumaTables {
    uint8_t red[256], green[256], blue[256];
} FmLumaTables;

typedef struct FmChromaTables {
    int16_t xr[256], xg[256], xb[256];
    int16_t yr[256], yg[256], yb[256];
} FmChromaTables;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FmKeySettings) == 56, "key settings are 56 bytes");
static_assert(offsetof(FmKeySettings, similarity) == 4, "key bytes follow the colour");
static_assert(offsetof(FmKeySettings, keyType) == 16, "key type at 16");
static_assert(offsetof(FmKeySettings, garbage) == 18, "garbage matte at 18");
static_assert(offsetof(FmKeySettings, matteFile) == 50, "matte file at 50");
static_assert(sizeof(FmCoverageEntry[256]) == 512, "the coverage table is 256 x 2 bytes");
static_assert(sizeof(FmLumaTables) == 768, "three byte tables");
static_assert(sizeof(FmChromaTables) == 3072, "six 16-bit tables");
#endif

/* "None", "Chroma", ... "Non-Red"; null outside 0 ... 14. */
RC_API const char* FmKeyTypeName(int32_t type);

/* Keys `src` and lays it over `dst` (both 32-bit; the common area of the two
   is used). `matte` is the matte picture of the image, difference and track
   mattes (may be null); `mask` is a scratch of width x height bytes for the
   garbage matte, or null; opacity 0 ... 65535. 0 done, -50 bad arguments,
   -108 out of memory. */
RC_API int32_t DoImageKey(PPixHand src, PPixHand dst, PPixHand matte, uint8_t* mask,
                          int32_t opacity, const FmKeySettings* key);
/* Blends `rows` rows of `width` pixels of src over dst through the coverage
   table (mode 'a', 'b' or 'w'); rows are rowBytes apart in both. Pictures of
   160 rows or more are split over the processor pool. */
RC_API void DoNewImpose(int32_t mode, const void* src, void* dst, int32_t rowBytes, int32_t width,
                        int32_t rows, const FmCoverageEntry* table);
RC_API void WhiteImpose(const void* src, void* dst, int32_t rowBytes, int32_t width, int32_t rows,
                        const FmCoverageEntry* table);
/* The 256 x 256 multiply table. */
RC_API const uint8_t* GetMultiplyTable(void);

#ifdef __cplusplus
}
#endif

#endif
