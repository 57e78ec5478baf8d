/* The effect rendering core: one frame of the timeline (A and B video, the
   transition between them, superimposed tracks, each item's filters and
   motion), a transition on two pictures outside the timeline, and the
   transition icons and settings thumbnail.

   A run of frames is bracketed by SequenceSetup and SequenceCleanup, which
   make and free the render context: three working pictures (source 1,
   source 2, destination), a scratch picture and a matte picture, all 32-bit
   pictures of the frame's size.

   Render flags (EffectFrame, MotionVideo, CalcInterp):
   - bits 0-5: the depth a source is fetched at (0x20 32-bit with alpha,
     0x18 24-bit); the frame fetch takes flags AND 0x3F;
   - 0x100 / 0x200: field rendering, upper (field mode 1) / lower field first
     (field mode 2);
   - 0x400: half width; 0x800: half height (field pictures);
   - 0x04000000 / 0x08000000 (options 4 and 8 of the high byte): the post
     steps, a vertical [1 2 1] flicker filter / a line-average deinterlace
     that rebuilds the lower field's lines from the upper field's.

   Options (EffectFrame, MotionVideo): 1 keying on, 2 filters on.

   Field codes (CalcInterp) and what the frame fetch does with each:
   - -1, 3, 4, 8, 13: the whole frame as decoded;
   - 0, 9, 11: the upper field (even rows), each line doubled;
   - 1, 10, 12: the lower field (odd rows), each line doubled;
   - 2, 5, 7: the fields swapped (rows 2i and 2i + 1 exchanged);
   - 6: the fields blended (each pair of rows replaced by their average).
   Bits 24-31 of a code other than -1 carry the item's hold rate.

   Global slots read (0 when unset, except where a default is given):
   283 and 284 render hooks (0 none); 382 real-time rendering (0 off);
   397 the project pixel aspect (0 reads as 0x10001); 396 the pixel aspect
   correction (negative: never square the pixels, effects.h); 86 the cut
   transition's FileID (effects.h); 92 the nesting depth of nested timelines; 365 a word handed to
   modules; 48 and 49 the two 32 x 32 icon source worlds, 50 the 117 x 87
   thumbnail world, 51 the 32 x 32 icon world, 52 and 53 the two stock icon
   pictures (the library makes the worlds and pictures when the slots are
   empty). */
#ifndef REELCORE_RENDER_H
#define REELCORE_RENDER_H

#include "reelcore/effects.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotIconWorld1 = 48,
    kSlotIconWorld2 = 49,
    kSlotThumbWorld = 50,
    kSlotIconWorldDst = 51,
    kSlotStockIcon1 = 52,
    kSlotStockIcon2 = 53,
    kSlotNestingDepth = 92,
    kSlotModuleWord = 365,
    kSlotRenderHook1 = 283,
    kSlotRenderHook2 = 284,
    kSlotRealTime = 382,
    kSlotProjectAspect = 397
};

enum {
    kRenderDepthMask = 0x3F,
    kRenderUpperField = 0x100,
    kRenderLowerField = 0x200,
    kRenderHalfWidth = 0x400,
    kRenderHalfHeight = 0x800,
    kRenderPostFlicker = 0x04000000,
    kRenderPostDeinterlace = 0x08000000
};

enum { kRenderOptKeying = 1, kRenderOptFilters = 2 };

/* Render classes of TimeInfo. */
enum {
    kRenderComposite = 0, /* transition, superimpose, motion, filters ... */
    kRenderNothing = 1,   /* nothing to draw, or a still / held frame */
    kRenderDirect = 2,    /* the A item's file draws itself */
    kRenderFileLevel = 3  /* a plain A item not drawn directly (5 likewise) */
};

/* Item flags read by CalcInterp (beyond those of tracks.h). */
enum {
    kItemFieldBlend = 0x0040,
    kItemNoFieldSwap = 0x0200,
    kItemFieldProcess = 0x0400,
    kItemFieldSwap = 0x0800,
    kItemFieldRate = 0x2000
};

/* Messages. */
enum {
    kMsgHideSequence = 139, /* to 'HIDE': 1 a sequence starts, 0 it ended */
    kMsgWipeCodes = 228,    /* to 'WIPS' */
    kMsgCompPlayModule = 10000,
    kMsgCompRTFrame = 10077,
    kMsgCompRTDone = 10078
};

/* A nested timeline: a file of type 'LAYR' whose record's handlerData holds
   this block (the file table frees the block, never the table). An item of
   such a file shows the nested timeline at its local time, through
   EffectFrame, up to the nesting depth of slot 92 (a timeline inside the
   rendered one is at depth 1); deeper, or without the block, the item is
   transparent black and TimeInfo classes it 1 (nothing to draw). */
enum { kFileTypeNested = 0x4C415952 /* 'LAYR' */, kNestedTimelineTag = 0x54544142 /* 'TTAB' */ };
typedef struct FmNestedTimeline {
    OSType tag;     /* kNestedTimelineTag */
    uint32_t table; /* the track table's Handle word */
} FmNestedTimeline;

/* Render hooks of slots 283 and 284: called with EffectFrame's arguments; a
   non-zero answer ends the frame. */
typedef int32_t (*FmRenderHook)(Handle context, int32_t superMode, int32_t time, const TDB* tdb,
                                const FmRect* rect, int32_t flags, int32_t options,
                                Handle trackTable, PWorld outWorld, const FmRect* outRect);

/* The render context, in a Handle (SequenceSetup fills it). */
typedef struct FmRenderContext {
    PPixHand source1;
    PPixHand source2;
    PPixHand destination;
    PPixHand scratch; /* 32-bit, the frame's size */
    PPixHand matte;   /* the track matte */
    FmRect frame;
    int32_t running; /* between SequenceSetup and SequenceCleanup */
} FmRenderContext;

/* ---- A run of frames ---- */
/* Makes the context's pictures for rect (a 32-bit scratch picture into
   *scratch) and tells 'HIDE' (139, 1). 0, -50 for a bad rectangle or
   context, -108 without memory (nothing kept). */
RC_API OSErr SequenceSetup(Handle context, PPixHand* scratch, const FmRect* rect);
/* Frees what SequenceSetup made and tells 'HIDE' (139, 0). */
RC_API void SequenceCleanup(Handle context, PPixHand scratch);
/* Frees the data kept between the frames of one render. */
RC_API void ReleaseCompileData(void);

/* ---- A frame ----
   With slot 382 set and a track table given, the playback module of the
   timeline window ('COMP') renders the frame first when it can: it gets the
   context's destination picture (a PPixHand) and the byte size of its
   pixels; a zero answer ends the frame (false). */
RC_API Boolean EffectFrame(Handle context, int32_t superMode, int32_t time, const TDB* tdb,
                           const FmRect* rect, int32_t flags, int32_t options, Handle trackTable,
                           PWorld outWorld, const FmRect* outRect);
/* What lies at *time (converted to the base of the first picture track):
   copies of the A, B and transition items and the number of superimposed
   items. Returns the render class. */
RC_API int16_t TimeInfo(int32_t* time, int32_t flags, const TDB* tdb, Boolean* hasA,
                        TrackItemRec* itemA, Boolean* hasB, TrackItemRec* itemB,
                        Boolean* hasTransition, TrackItemRec* transitionItem, int32_t* superCount,
                        Handle trackTable);
/* The lookup behind TimeInfo at t, already in the table's time base. */
RC_API int16_t GetLocInfo(int32_t t, int32_t flags, const TDB* tdb, Boolean* hasA,
                          TrackItemRec* itemA, Boolean* hasB, TrackItemRec* itemB,
                          Boolean* hasTransition, TrackItemRec* transitionItem, int32_t* superCount,
                          Handle trackTable);
/* The field code of an item's fetch (see above). */
RC_API int32_t CalcInterp(const TrackItemRec* item, int32_t time, const TDB* tdb, int32_t flags);
/* True when the garbage matte covers the whole 117 x 87 frame (or is unset). */
RC_API Boolean FullGarbage(const TrackItemRec* item);
/* True when an item's source is laid on black before motion: the field flags
   ask for it (0x20) and no alpha key (4 to 6) needs the alpha. */
RC_API Boolean ShouldCompOnBlack(const TrackItemRec* item, int32_t fieldFlags);

/* ---- An item ---- */
/* Renders one item (source frame, filters, motion) into dst. 0 or an error;
   dst holds transparent black after a failure to fetch. */
RC_API OSErr MotionVideo(int32_t time, const TDB* tdb, const TrackItemRec* item, PPixHand dst,
                         PPixHand scratch, int32_t options, const FmRect* rect, int32_t fieldFlags,
                         int32_t interpCode);
/* Fetches the clip's frame at fetchPos (in clipTdb) and runs the filter
   list; the result is in bufB. */
RC_API OSErr GetFilteredVideo(int32_t clipID, int32_t fetchPos, int32_t filterPos,
                              const TDB* clipTdb, int32_t flags, Handle filterList, PPixHand bufA,
                              PPixHand bufB, const FmRect* rect, int32_t fieldFlags,
                              int32_t interpCode, Boolean lastPass, int32_t itemStart);
/* Frame n (in frames of the first picture track's time base) of a track
   table into a new picture of rect's size (320 x 240 for null); null
   without memory. */
RC_API PPixHand Test_GetFrame(int32_t n, const FmRect* rect, Handle trackTable);

/* ---- Transitions ---- */
/* Runs transition module fileID with `record` (a Handle of RcEffectRecord
   whose pictures, part and total are set): maps the progress into the
   settings' start ... end window (64-bit), reverses it, hands the module the
   settings Handle and the points mapped from the 117 x 87 frame, gives it
   square pixels when it asks, and draws the settings' border (width and
   colour) and anti-aliasing passes along the edge between the sources.
   `mask` is reserved (null). The record's part, total, settings, points and
   pictures are as given afterwards, on every path. 0, or the module's error
   (the destination is then black). */
RC_API int16_t EffectCore(int16_t fileID, Handle record, uint8_t* mask,
                          const TransitionSettings* settings);
/* One transition between two pixel worlds, outside the timeline. */
RC_API int16_t DoEffect(int16_t fileID, int32_t part, int32_t total, PWorld world1, PWorld world2,
                        PWorld worldDst, uint8_t arrowFlags, const TransitionSettings* settings,
                        uint8_t previewing, const TDB* tdb);
/* A new 32 x 32 picture of the transition at part / total between the two
   stock icons; null without memory. */
RC_API PPixHand MakeFXIcon(int16_t fileID, int32_t part, int32_t total,
                           const TransitionSettings* settings, uint8_t arrowFlags);
/* The settings thumbnail: a new 117 x 87 picture of the transition at 50 %
   between the stock icons, with its start point (a white square) and end
   point (a black square) marked. */
RC_API PPixHand DrawFX(int16_t fileID, const TransitionSettings* settings, uint8_t arrowFlags);
/* A click at `down` in the thumbnail: 1 on the start point, 2 on the end
   point (within 4 units), 0 elsewhere. With `to` given, the point hit moves
   there (held inside the 117 x 87 frame). */
RC_API int32_t FXClick(TransitionSettings* settings, const FmPoint* down, const FmPoint* to);

/* ---- Frame callback data ----
   Blocks of RcFrameCallbackData (sdk/effect.h) handed to modules. */
RC_API Boolean IsCBTimelineDataValid(Handle data);
RC_API Boolean IsCBClipDataValid(Handle data);

/* ---- Wipe codes ---- */
RC_API int16_t GetWipeCodes(int32_t n);
RC_API int16_t EditWipeCodes(void);

#ifdef __cplusplus
}
#endif

#endif
