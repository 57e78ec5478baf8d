/* Project stream: a buffered text stream over a file or a memory block, with
   the primitives the struct codec uses (tag lines, line ends, rewinding, a tag
   index for jumping to sections) and safe saving. */
#ifndef REELCORE_PROJECT_STREAM_H
#define REELCORE_PROJECT_STREAM_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The stream record a ProjBufHand refers to. Callers may read it and set
   `platform` after reading a project header; the library keeps private state
   after these fields. */
typedef struct ProjBufRecord {
    FileRef file;       /* -1 for a memory stream */
    Ptr buffer;         /* start of the buffer block */
    Ptr cursor;         /* next byte to read or write */
    int32_t reserved;   /* zero */
    int32_t valid;      /* once the data's end is in the buffer: valid bytes there */
    int32_t length;     /* data length when the stream was made */
    OSType platform;    /* platform code of the file being read ('PWIN' = this one) */
    int32_t capacity;   /* buffer size in bytes */
    int16_t mode;       /* 0 writing, 1 reading */
    Ptr scratch;        /* scratch block for encoded values */
    Handle index;       /* tag index (12-byte entries), null until first needed */
    int32_t indexCount; /* entries used */
    int32_t indexRoom;  /* entries allocated */
    int32_t base;       /* file position of the buffer's first byte */
} ProjBufRecord;

typedef Handle ProjBufHand;

enum {
    kProjBufSize = 0x10000, /* the buffer size callers use */
    kProjModeWrite = 0,
    kProjModeRead = 1,
    kProjTagInvalid = 0x494E564C, /* 'INVL' */
    kProjParamErr = -50           /* a missing stream, record or description */
};

/* Mode 0 cuts a non-empty file to length 0 first; mode 1 reads the first
   buffer at once. Null when memory runs out. */
RC_API ProjBufHand CreateProjBufHand(FileRef file, int32_t capacity, int16_t mode);
/* A write stream appending at the file's current position. */
RC_API ProjBufHand CreateProjBufHandWrite(FileRef file, int32_t capacity);
/* A stream over a caller's block (never freed by the stream). In write mode
   text beyond the block's end is refused with -108. */
RC_API ProjBufHand CreateProjBufHandMemory(Ptr block, int32_t size, int16_t mode);
/* Safe saving: a write stream into a new temporary file in the target's
   folder. CloseProjBufHand flushes it, forces it to disk and renames it over
   the target only when every write succeeded; on any failure the temporary is
   removed and the target is left untouched. Null when the temporary cannot be
   made (the reason in *error when error is not null). */
RC_API ProjBufHand CreateProjBufHandSafe(const char* targetPath, int32_t capacity, OSErr* error);
/* Abandons a stream: a safe save is discarded, nothing is flushed. */
RC_API void DiscardProjBufHand(ProjBufHand stream);
RC_API OSErr CloseProjBufHand(ProjBufHand stream);
RC_API OSErr WriteAll(ProjBufHand stream);
/* 0 when the stream, its buffer and its scratch block exist, else -108. */
RC_API OSErr CheckProjBufHand(ProjBufHand stream);
RC_API OSErr WriteEOL(ProjBufHand stream);
RC_API OSErr WriteTag(OSType tag, ProjBufHand stream);
/* Appends a C string. */
RC_API OSErr WriteProjText(ProjBufHand stream, const char* text);
RC_API OSErr ResetFile(ProjBufHand stream);
/* 1 and the stream at the first tag line of `tag`, or 0 with the stream
   where it was. */
RC_API int16_t SearchType(ProjBufHand stream, OSType tag);
RC_API int32_t CountIndexTags(ProjBufHand stream, OSType tag);
/* File position of the next byte to read or write. */
RC_API int32_t GetProjBufPosition(ProjBufHand stream);
RC_API OSErr InvalSection(FileRef file, OSType tag);
RC_API OSErr PackHandle(Handle* block, int32_t* offset, int32_t length, const void* source);
RC_API OSErr UnpackHandle(Handle* block, int32_t* offset, int32_t length, void* destination);
RC_API OSErr CodeXPMotionRecord(Handle text, Handle motion, int16_t encode);

/* Section listing and checking, for tools. */
typedef void (*ProjSectionProc)(void* context, OSType tag, int32_t line, int32_t valueLines);
/* Calls `proc` for every tag line in file order; returns the number of
   sections, or a negative error. */
RC_API int32_t ProjListSections(ProjBufHand stream, ProjSectionProc proc, void* context);
/* 0 when every section is well formed; otherwise 1 with the first malformed
   section's tag, the line number of the offending line and a short reason
   (static text). Sections whose tag has a known layout are decoded strictly. */
RC_API OSErr ProjCheckSections(ProjBufHand stream, OSType* tag, int32_t* line, const char** reason);

#ifdef __cplusplus
}
#endif

#endif
