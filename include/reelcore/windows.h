/* Windows: the library's headless window model. A window is a 32-bit
   identifier (0 is no window) with a parent, children in z-order, a
   rectangle, visible/iconic state, a title, named properties, a window
   procedure, queued messages and an off-screen surface. Identifiers are
   never reused while a stale copy could still be held. The executable and
   handler modules create and query their windows here. */
#ifndef REELCORE_WINDOWS_H
#define REELCORE_WINDOWS_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t FmWindow;

typedef intptr_t (*FmWindowProc)(FmWindow window, uint32_t message, intptr_t wParam,
                                 intptr_t lParam);

/* Messages the model sends to window procedures. */
enum {
    kFmWndDestroy = 0x0002,
    kFmWndMove = 0x0003,
    kFmWndSize = 0x0005,
    kFmWndActivate = 0x0006,
    kFmWndSetFocus = 0x0007,
    kFmWndKillFocus = 0x0008,
    kFmWndPaint = 0x000F,
    kFmWndShowWindow = 0x0018,
    kFmWndNcPaint = 0x0085,
    kFmWndNcActivate = 0x0086
};

/* Kinds of recorded events (FmWndGetEvent). */
enum {
    kFmEventCreated = 1,
    kFmEventDestroyed,
    kFmEventShown,
    kFmEventHidden,
    kFmEventMoved,
    kFmEventIconic,    /* detail 1 minimised, 0 restored */
    kFmEventZOrder,    /* detail: new position among the siblings, 0 = top */
    kFmEventActivated, /* detail 1 activated, 0 deactivated */
    kFmEventFocus,     /* detail 1 gained, 0 lost */
    kFmEventPainted,
    kFmEventTitle
};

typedef struct FmWindowEvent {
    int32_t kind;
    FmWindow window;
    intptr_t detail;
} FmWindowEvent;

typedef struct FmQueuedMessage {
    FmWindow window;
    uint32_t message;
    intptr_t wParam;
    intptr_t lParam;
} FmQueuedMessage;

/* Creates a window on top of its siblings; parent 0 makes a top-level
   window. rect may be null (empty). Returns 0 when the parent is not a
   window or no identifier is left. */
RC_API FmWindow FmWndCreate(FmWindow parent, const FmRect* rect, const char* title,
                            FmWindowProc proc, Boolean visible);
/* Destroys the window and its children; 0 done, -1 not a window. */
RC_API int32_t FmWndDestroy(FmWindow window);
RC_API Boolean FmWndIsWindow(FmWindow window);

/* Tree and z-order; children are ordered from the top. 0 when none. A
   parent of 0 names the list of top-level windows. */
RC_API FmWindow FmWndGetParent(FmWindow window);
RC_API FmWindow FmWndGetFirstChild(FmWindow parent);
RC_API FmWindow FmWndGetLastChild(FmWindow parent);
RC_API FmWindow FmWndGetNextSibling(FmWindow window);
RC_API FmWindow FmWndGetPrevSibling(FmWindow window);
RC_API Boolean FmWndBringToTop(FmWindow window);
RC_API Boolean FmWndSendToBack(FmWindow window);

RC_API Boolean FmWndSetRect(FmWindow window, const FmRect* rect);
RC_API Boolean FmWndGetRect(FmWindow window, FmRect* rect);
RC_API Boolean FmWndShow(FmWindow window, Boolean show);
RC_API Boolean FmWndIsVisible(FmWindow window);
RC_API Boolean FmWndSetIconic(FmWindow window, Boolean iconic);
RC_API Boolean FmWndIsIconic(FmWindow window);
/* One focus window and one active window; 0 clears. */
RC_API Boolean FmWndSetFocus(FmWindow window);
RC_API FmWindow FmWndGetFocus(void);
RC_API Boolean FmWndSetActive(FmWindow window);
RC_API FmWindow FmWndGetActive(void);
RC_API Boolean FmWndSetTitle(FmWindow window, const char* title);
/* Copies the title, NUL-terminated and cut to room - 1 bytes; returns the
   title's full length, or -1 for a non-window (dst then holds ""). */
RC_API int32_t FmWndGetTitle(FmWindow window, char* dst, int32_t room);

/* Named properties with pointer-sized values. */
RC_API Boolean FmWndSetProp(FmWindow window, const char* name, intptr_t value);
RC_API intptr_t FmWndGetProp(FmWindow window, const char* name);
RC_API Boolean FmWndHasProp(FmWindow window, const char* name);
RC_API intptr_t FmWndRemoveProp(FmWindow window, const char* name);

/* Window procedure and messages. */
RC_API Boolean FmWndSetProc(FmWindow window, FmWindowProc proc);
RC_API intptr_t FmWndSendMessage(FmWindow window, uint32_t message, intptr_t wParam,
                                 intptr_t lParam);
RC_API Boolean FmWndPostMessage(FmWindow window, uint32_t message, intptr_t wParam,
                                intptr_t lParam);
/* The oldest queued message of the window (of any window for 0). */
RC_API Boolean FmWndPeekMessage(FmWindow window, FmQueuedMessage* out, Boolean remove);
/* Removes the window's queued messages with this code; returns how many. */
RC_API int32_t FmWndRemoveMessages(FmWindow window, uint32_t message);
/* Records a paint and sends the non-client paint and paint messages. */
RC_API Boolean FmWndUpdate(FmWindow window);

/* The window's off-screen surface: 32-bit pixels, sized to the window's
   rectangle (at most 4096 a side). */
RC_API Boolean FmWndGetSurfaceSize(FmWindow window, int32_t* width, int32_t* height);
/* Fills a rectangle of the surface (clipped) with an opaque colour given as
   0x00BBGGRR. */
RC_API Boolean FmWndFillRect(FmWindow window, const FmRect* rect, uint32_t colour);
/* Writes the surface as a PNG file; false for a non-window, an empty
   surface or a write error. */
RC_API Boolean FmWndSavePNG(FmWindow window, const char* path);

/* Event log of activation, focus, painting, z-order and state changes. */
RC_API int32_t FmWndEventCount(void);
RC_API Boolean FmWndGetEvent(int32_t index, FmWindowEvent* out);
RC_API void FmWndClearEvents(void);

/* Text measuring used by string truncation: pixel width of length bytes
   in the device context. The default is 8 pixels a byte; null restores it. */
typedef int32_t (*FmTextMeasureProc)(intptr_t dc, const char* text, int32_t length);
RC_API void FmWndSetTextMeasure(FmTextMeasureProc proc);
RC_API int32_t FmWndMeasureText(intptr_t dc, const char* text, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
