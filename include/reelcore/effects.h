/* The filter and transition host: calls into transition, video and audio
   filter, Imagist-style filter, device and export-effect modules, turning
   keyframed settings into the settings of the frame or audio block at hand,
   and keeping the filters' persistent data. Records are laid out in
   reelcore/sdk/effect.h.

   Every module call answers the module's own result (0 success); a module
   that cannot be opened or lacks its entry point answers 1, and so does a
   module whose version (2 or 3) has no record. */
#ifndef REELCORE_EFFECTS_H
#define REELCORE_EFFECTS_H

#include "reelcore/sdk/effect.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotCutTransition = 86,   /* FileID of the application's cut transition */
    kSlotDeviceBusy = 375,     /* non-zero while a device module runs */
    kSlotSquarePixelMode = 396 /* negative: filters never get square pixels */
};

/* Imagist spec form tags: the first 32-bit word of a 'Q7FM' SingleSpec. */
enum {
    kSpecTagLocked = 0,     /* locked block */
    kSpecTagLockedSelf = 1, /* locked block whose first word points past itself */
    kSpecTagShared = 2,     /* shareable block */
    kSpecTagSharedSelf = 3, /* shareable block, first word points past itself */
    kSpecTagHandle = 4,     /* a Handle of a module of another kind */
    kSpecTagPointer = 5     /* a data pointer followed by 'FOTO' */
};
#define kSpecFotoMark ((uint32_t)0x464F544F) /* 'FOTO' */

/* ---- Settings ---- */
/* A SingleSpec from a module's parameter memory (a Handle the host made; any
   other block is refused and null returned). The memory is freed. For
   'Q7FM' modules: the tag, then (tags 1 and 3) a marker word saying whether
   the block's first word pointed just past itself, then the bytes; the SingleSpec
   is resized to the filter's declared size. For other modules: tag 4 and the
   Handle's bytes. */
RC_API Handle SpecToHand(int16_t fileID, Handle memory, int32_t tag);
/* Module parameter memory from a SingleSpec's bytes, by their tag; an
   unknown tag (or fewer than 4 bytes) gives a plain Handle of the bytes. */
RC_API Handle CreateSpec(const void* bytes, int32_t length);

/* ---- Module calls ---- */
/* A transition: record is a Handle of RcEffectRecord. Selector 1 (setup)
   closes idle files first. */
RC_API int16_t Effect(int16_t fileID, int16_t selector, Handle record);
/* A filter of any kind: record is a Handle of RcVideoFilterRecord ('VFlt',
   'Q7FM', 'eFKT') or RcAudioFilterRecord ('AFlt'). For selector 0 the
   record's specsHandle holds the filter's CompSpec: the settings for the
   frame or block are built from it and the CompSpec is put back afterwards.
   listEntry (may be null) is the filter's entry in its clip's list. */
RC_API int16_t Filter(int16_t fileID, int16_t selector, Handle record,
                      RcFilterListEntry* listEntry);
/* Drives an Imagist-style filter: host selector 2 shows its about box, 1 its
   setup, 0 processes. record is a Handle of RcVideoFilterRecord; data is the
   module's persistent word; mode and alphaMode describe its pictures. */
RC_API int16_t PhotoFilter(int16_t selector, Handle record, RcImagistEntry entry, intptr_t* data,
                           int16_t fileID, int32_t mode, int32_t alphaMode);
/* Runs an export-effect module's "xExport" with slot 333 naming it; the
   floating-point state is reset afterwards whatever the module did. */
RC_API int16_t Export(int16_t fileID, int16_t selector, void* callback);
/* Runs a device controller's "xDevice" with *record; a call made while
   another device call runs answers 1 at once. */
RC_API int16_t Device(int16_t fileID, int16_t selector, Handle* record);

/* ---- XE sequence data ('eFKT' filters) ----
   Each converts or frees the sequence data of a filter list entry, replacing
   its Handle and updating unflatdata. 0 or the module's error. */
RC_API int16_t UnflattenXESequenceData(int16_t fileID, RcFilterListEntry* seq);
RC_API int16_t FlattenXESequenceData(int16_t fileID, RcFilterListEntry* seq);
RC_API int16_t DisposeXESequenceData(int16_t fileID, RcFilterListEntry* seq);
/* Flattens every entry of a filter list: its CompSpec, fixed SingleSpec and
   sequence data; stops at and returns the first error. */
RC_API int16_t FlattenXEFilterList(Handle list);
/* Release the XE modules of the video (slot 4) and audio (slot 6) lists. */
RC_API void vidFiltersShutdown(void);
RC_API void audFiltersShutdown(void);

/* ---- Setup ---- */
/* Runs a video filter's setup on a preview of the clip at `time` (0: its
   marker 0, else its start), fetched through the filters of filtersBefore (a
   filter list, may be null). query -1 first asks the module whether the
   entry's settings will do (selector 5). The entry receives the settings,
   and on success the instance name the module chose. */
RC_API int16_t VidFilterSetup(int32_t clipID, const TDB* tdb, int32_t time,
                              RcFilterListEntry* listEntry, Handle filtersBefore, int32_t query);
/* Runs a transition's setup on the first two picture tracks at `time`. The
   item receives its settings Handle, and on success its options, points and
   (when the module set one) its clip's title. */
RC_API int16_t FXSetup(TrackItemRec* item, int32_t time, int32_t total, const TDB* tdb,
                       Handle trackTable);

#ifdef __cplusplus
}
#endif

#endif
