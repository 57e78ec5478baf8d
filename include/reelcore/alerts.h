/* Alerts, lookup lists, handle arrays and typed blocks. */
#ifndef REELCORE_ALERTS_H
#define REELCORE_ALERTS_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Alerts ----
   Alert boxes go to the alert sink. It receives the caption, the message and
   the buttons (1: OK, 2: OK and Cancel) and answers 1 for OK, 2 for Cancel.
   The default sink prints the caption and message to stderr and answers OK. */
enum { kAlertOK = 1, kAlertCancel = 2 };
enum { kAlertButtonsOK = 1, kAlertButtonsOKCancel = 2 };
typedef int32_t (*FmAlertSink)(const char* caption, const char* message, int32_t buttons);
/* Installs a sink (null restores the default) and returns the previous one. */
RC_API FmAlertSink FmSetAlertSink(FmAlertSink sink);

/* Message: string `item` of list `list`; when errorList is non-zero, a CR
   and the text for errorCode (looked up in `List` errorList and string list
   errorList; an unknown code is written in decimal). OK and Cancel buttons
   when the low byte of okCancel is non-zero. Returns 2 for Cancel, else 1. */
RC_API int16_t AlertSystem(intptr_t ignored, int32_t okCancel, int16_t list, int16_t item,
                           int16_t errorList, int32_t errorCode);
/* The same, followed by string 57 of list 1007 and the path when one is
   given. */
RC_API int16_t AlertSystemFile(intptr_t ignored, int32_t okCancel, int16_t list, int16_t item,
                               int16_t errorList, int32_t errorCode, const char* path);
/* The application's name, at most 40 characters and a NUL (41 bytes). */
RC_API void GetAppName(char* dst);

/* ---- Lookup lists (`List` resources of 16-bit values) ---- */
/* The value at position index; 0 for a missing list or an index outside it. */
RC_API int16_t DataLookup(int16_t list, int32_t index);
/* The position of the first entry equal to value, or -1. */
RC_API int32_t ReverseLookup(int16_t list, int32_t value);

/* ---- Handle arrays: items of one size back to back ---- */
/* Inserts at index; a negative index or one beyond the end appends. Returns
   0, -109 for a null handle or bad size, -108 when the handle cannot grow
   (unchanged then). */
RC_API OSErr InsertHandItem(int32_t index, Handle h, int32_t itemSize, const void* item);
/* Removes the item at index; out of range changes nothing (-1 returned). */
RC_API OSErr DeleteHandItem(int32_t index, Handle h, int32_t itemSize);
typedef int32_t (*ForEachProc)(void* item, intptr_t argument, intptr_t userData);
/* Calls proc for each whole item until one returns non-zero and returns that
   value (or 0). The handle is locked meanwhile; its lock state is restored. */
RC_API int32_t ForEachElement(Handle h, int32_t itemSize, ForEachProc proc, intptr_t argument,
                              intptr_t userData);
RC_API void FillMem(void* address, int32_t count, uint8_t value);
/* Clamps to -16,384 .. 16,383. */
RC_API int32_t LimitLong(int32_t value);

/* ---- Typed blocks ----
   A block is a 16-byte header followed by its data; a container block's
   total length also covers the sub-blocks that follow its data. Walks stop
   at a block shorter than 16 bytes or one running past the container. */
#pragma pack(push, 1)
typedef struct TypedBlockHeader {
    uint32_t totalLength; /* 16 + data length (+ sub-blocks for a container) */
    uint32_t dataLength;
    OSType type;
    int32_t id;
} TypedBlockHeader;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(TypedBlockHeader) == 16, "a typed block header is 16 bytes");
#endif
enum { kAnyBlockType = -1 };

RC_API Handle BuildBlock(OSType type, int32_t id, uint32_t dataLength, const void* data);
/* Appends the block and disposes of blockHandle. Returns 0, or an error with
   both handles unchanged. */
RC_API OSErr ExtendBlock(Handle container, Handle blockHandle);
/* Sub-blocks of the type in the container block (type -1: all). */
RC_API int32_t CountTypeBlocks(OSType type, const void* container);
/* The first sub-block that is the n-th (from 0) of the type or has both the
   type and the ID; null when none. */
RC_API void* FindBlock(OSType type, int32_t id, int32_t n, const void* container);
/* FindBlock in the container held by *h; when found, stores a new handle
   holding a copy of the block through h and returns it; else null. */
RC_API Handle GetBlock(OSType type, int32_t id, int32_t n, Handle* h);
/* Copies min(*length, data length) bytes of the block's data and stores the
   count through length. */
RC_API void ExtractBlockData(const void* block, void* dst, int32_t* length);

#ifdef __cplusplus
}
#endif

#endif
