/* Frame cache: decoded video frames and seconds of audio kept in the frame
   memory pool, on a most-recently-used list between two sentinel entries.

   Every entry and every data block is a frame memory pool block. Entries are
   named by their pool descriptor (FBlock); the bytes move when the pool
   compacts, so read `block->address` again after anything that may allocate
   from the pool. */
#ifndef REELCORE_FRAMECACHE_H
#define REELCORE_FRAMECACHE_H

#include "reelcore/memory.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotFrameCacheHead = 14,      /* head sentinel: the entry after it is the newest */
    kSlotFrameCacheTail = 15,      /* tail sentinel: the entry before it is the oldest */
    kSlotFrameCacheKindLimit = 176 /* most entries of one kind (0 = no limit) */
};

/* Entry kinds; PurgeTypeFrames takes them as a bit mask. */
enum { kCacheKindVideo = 1, kCacheKindAudio = 4 };

/* The audio request flag bits an audio entry is matched on. */
enum { kCacheAudioFormatMask = 0x1B00 };

/* An entry's memory cost is its data block's usable size plus this charge. */
enum { kCacheEntryCharge = 40 };

/* The record at an entry block's address (zero-filled when made). */
typedef struct FrameCacheEntry {
    FBlock next;           /* toward the tail (null in the tail sentinel) */
    FBlock prev;           /* toward the head */
    int32_t file;          /* FileID in the low 16 bits; callers may add a key above */
    int16_t kind;          /* kCacheKindVideo or kCacheKindAudio */
    int16_t reserved0;     /* zero */
    FBlock data;           /* the pool block holding the pixels or samples */
    int32_t dataLength;    /* bytes requested for the data block */
    int32_t position;      /* frame number (video) or second (audio) */
    int32_t heightOrRate;  /* video: rows; audio: sample rate in Hz */
    int32_t widthOrFormat; /* video: columns; audio: the request's flags & 0x1B00 */
    int16_t depth;         /* video: 24 or 32 bits per pixel of the stored copy */
    int16_t reserved1;     /* zero */
    uint32_t reserved2;    /* zero */
    FBlock indexLink;      /* private to the cache */
} FrameCacheEntry;

#ifdef __cplusplus
static_assert(sizeof(FrameCacheEntry) == 64, "an entry fills one 64-byte pool unit");
#endif

/* Makes the sentinels, stores them in slots 14 and 15 and installs the
   pool's purge callback. 0, or -108 when the sentinels cannot be had. */
RC_API int16_t InitFrameQueue(void);
/* Closes idle media files, purges every entry, frees the sentinels and
   clears the slots. */
RC_API void KillFrameQueue(void);

/* Links the entry right after the head (an entry already on the list is
   moved there). */
RC_API void InsertFrame(FBlock entry);
/* Unlinks the entry; its memory stays. */
RC_API void DeleteFrame(FBlock entry);

/* The newest video entry of the file's frame with the rectangle's size and
   the depth (a 32-bit copy also answers a 24-bit request), moved to the
   front; null when there is none. */
RC_API FBlock FindFrame(int32_t file, int32_t frame, const FmRect* rect, int32_t depth);
/* Caches the rectangle (memory rows top..bottom, columns left..right) of the
   32-bit source buffer at depth 24 or 32. False when it was not cached: no
   memory, or a rectangle that does not lie inside the source. */
RC_API Boolean AddFrame(int32_t file, int32_t frame, const FmRect* rect, int32_t depth,
                        Handle srcPix);
/* Copies the entry's pixels into the 32-bit destination with their
   lower-left memory corner at column x, memory row y (the part outside the
   destination is left out), and moves the entry to the front. False when
   nothing could be copied. */
RC_API Boolean GetFrame(FBlock entry, int32_t x, int32_t y, Handle dstPix);

RC_API FBlock FindAudioSec(int32_t file, int32_t second, int32_t flags, int32_t rate);
/* Copies `length` bytes into a new audio entry at the front; false when it
   was not cached. */
RC_API Boolean AddAudioSec(int32_t file, int32_t second, int32_t flags, int32_t rate,
                           const void* data, int32_t length);

/* Unlinks the entry and frees its data block and the entry itself. */
RC_API void PurgeFrame(FBlock entry);
/* Every entry whose file has the same low 16 bits. */
RC_API void PurgeFileFrames(int32_t file);
/* Every entry whose media file is marked for no caching. */
RC_API void UnCacheFrames(void);
/* Video entries wider than 100 and taller than 75. */
RC_API void PurgeBigFrames(void);
/* Audio entries whose rate is not 3600 Hz. */
RC_API void PurgeBigAudio(void);
/* Entries whose kind has a bit in the mask. */
RC_API void PurgeTypeFrames(int32_t kindMask);
RC_API void PurgeAll(void);
/* The sum of the memory costs of all entries. */
RC_API uint32_t CacheTotal(void);
/* The pool's purge callback: evicts the least recently used entries until at
   least bytes + 50000 are freed, sparing thumbnails and 3600 Hz audio up to
   a quarter of the pool. Returns the bytes freed. */
RC_API int32_t RemoveLRUFrame(uint32_t bytes);

#ifdef __cplusplus
}
#endif

#endif
