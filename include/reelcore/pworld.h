/* Pixel worlds: numbers 1 to 200 naming either an off-screen buffer or a
   window (by its 32-bit window id), so drawing code can fill, size and blit
   a destination without knowing which it is. 0 means none. */
#ifndef REELCORE_PWORLD_H
#define REELCORE_PWORLD_H

#include "reelcore/ppix.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t PWorld;

enum { kPWorldCount = 200 };

/* Kinds for pwNew. */
enum {
    kPWorldPixels = 0, /* object: a PPixHand, or 0 for a new buffer of the bounds */
    kPWorldWindow = 1, /* object: a window id */
    kPWorldPort = 2    /* object: an FmDC the world draws into */
};

/* One entry of the table kept in slot 233. */
typedef struct PWorldEntry {
    uint8_t isPixWorld;
    uint8_t inUse;
    uint8_t ownsBuffer;
    uint8_t needsDoubleBuffering;
    uint8_t offscreenWithPort;
    uint8_t reserved[3];
    uint32_t object; /* Handle word of the buffer, or the window id */
    FmDC onscreen;   /* a window entry's device context, or null */
} PWorldEntry;

RC_API int32_t pwInit(void);
RC_API void pwShutdown(void);
RC_API int32_t pwNew(PWorld* world, const FmRect* bounds, intptr_t object, int32_t kind);
RC_API int32_t NewPWorld(PWorld* world, const FmRect* bounds);
RC_API PWorld RegPWorldBits(PPixHand pix, int32_t owns);
RC_API PWorld RegPWorldWnd(uint32_t window);
RC_API int32_t pwDispose(PWorld world);
RC_API int32_t DisposePWorld(PWorld world);
RC_API PPixHand pwGetPPix(PWorld world);
RC_API PPixHand GetPWorldBits(PWorld world);
RC_API uint32_t pwGetWnd(PWorld world);
RC_API int32_t pwGetDepth(PWorld world);
RC_API int32_t pwGetNeedsDoubleBuffering(PWorld world);
RC_API void pwGetOnscreenInfo(PWorld world, FmDC* context);
RC_API void pwSetOnscreenInfo(PWorld world, const FmDC* context);
RC_API int32_t pwIsPixWorld(PWorld world);
RC_API int32_t pwIsOffscreenWithPort(PWorld world);
RC_API void pwGetBounds(PWorld world, FmRect* bounds);
RC_API void pwFillRect(PWorld world, const FmRect* rect, uint32_t colour);
RC_API int32_t pwPWorldToScreen(PWorld src, PWorld dst, const FmRect* srcRect,
                                const FmRect* dstRect);
RC_API int32_t pwPWorldToWind(PWorld src, uint32_t window, const FmRect* srcRect,
                              const FmRect* dstRect);

/* Off-screen surfaces for window ids that have no window of their own (a
   host without an interface draws into these). Create: 0, -50 for bad sizes
   or an id that already has a surface, -108 out of memory. Save (PNG or a
   24-bit BMP): 0, -43 no surface for the id, -36 the file could not be
   written, -108 out of memory. Dispose only removes surfaces made here. */
RC_API int32_t FmCreateWindowSurface(uint32_t window, int32_t width, int32_t height, int32_t depth);
RC_API int32_t FmSaveWindowSurfacePNG(uint32_t window, const char* path);
RC_API int32_t FmSaveWindowSurfaceBMP(uint32_t window, const char* path);
RC_API void FmDisposeWindowSurface(uint32_t window);

#ifdef __cplusplus
}
#endif

#endif
