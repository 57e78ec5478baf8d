/* Handle memory manager: relocatable blocks reached through handles, fixed
   pointer blocks, the memory error, and the frame memory pool. */
#ifndef REELCORE_MEMORY_H
#define REELCORE_MEMORY_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles ---- */
RC_API Handle FmNewHandle(uint32_t size);
RC_API Handle NewHandle(uint32_t size);
RC_API Handle FmNewHandleClear(uint32_t size);
RC_API Handle NewHandleClear(uint32_t size);
RC_API void FmDisposeHandle(Handle h);
RC_API void DisposeHandle(Handle h);
RC_API void DisposHandle(Handle h);
/* Logical size; for a resource handle the size less its 10-byte trailer. */
RC_API uint32_t FmGetHandleSize(Handle h);
RC_API uint32_t GetHandleSize(Handle h);
/* 0 done, 1 failed (reason in MemError); a failed resize leaves h as it was. */
RC_API int16_t FmSetHandleSize(Handle h, uint32_t newSize);
RC_API int16_t SetHandleSize(Handle h, uint32_t newSize);
RC_API Handle FmHLock(Handle h);
RC_API Handle HLock(Handle h);
RC_API Handle FmHUnlock(Handle h);
RC_API Handle HUnlock(Handle h);
RC_API void FmHPurge(Handle h);
RC_API void HPurge(Handle h);
RC_API void FmHNoPurge(Handle h);
RC_API void HNoPurge(Handle h);
/* 1 when locked, else 0. */
RC_API uint8_t FmHGetState(Handle h);
RC_API uint8_t HGetState(Handle h);
RC_API void FmHSetState(Handle h, uint8_t state);
RC_API void HSetState(Handle h, uint8_t state);
RC_API OSErr FmHandToHand(Handle* h);
RC_API OSErr HandToHand(Handle* h);
RC_API OSErr FmPtrToHand(const void* src, Handle* dst, uint32_t length);
RC_API OSErr PtrToHand(const void* src, Handle* dst, uint32_t length);
RC_API OSErr FmPtrAndHand(const void* src, Handle dst, uint32_t length);
RC_API OSErr PtrAndHand(const void* src, Handle dst, uint32_t length);
RC_API OSErr FmHandAndHand(Handle src, Handle dst);
RC_API OSErr HandAndHand(Handle src, Handle dst);

/* ---- Pointer blocks (16-byte aligned) ---- */
RC_API Ptr FmNewPtr(uint32_t size);
RC_API Ptr FmNewPtrClear(uint32_t size);
RC_API Ptr NewPtr(uint32_t size);
RC_API Ptr NewPtrClear(uint32_t size);
RC_API void FmDisposePtr(Ptr p);
RC_API void DisposePtr(Ptr p);
RC_API void DisposPtr(Ptr p);
RC_API uint32_t FmGetPtrSize(Ptr p);
RC_API uint32_t GetPtrSize(Ptr p);
/* Always moves the block; -108 and *p unchanged when the new block cannot be had. */
RC_API OSErr FmSetPtrSize(Ptr* p, uint32_t newSize);
RC_API OSErr SetPtrSize(Ptr* p, uint32_t newSize);

RC_API void FmBlockMove(const void* src, void* dst, uint32_t length);
RC_API void BlockMove(const void* src, void* dst, uint32_t length);
RC_API Boolean FmIsValidHandle(Handle h);
RC_API Boolean FmIsValidPtr(const void* p);
RC_API int32_t FmMaxMem(int32_t* grow);
RC_API int16_t SetResHandle(Handle h, int16_t flag);
RC_API Boolean IsPurgeableHandle(Handle h);
RC_API uint32_t GetMaxAllocInHeap(void);
RC_API uint32_t SetMaxAllocInHeap(uint32_t limit);
RC_API int16_t InitMemoryMgr(void);
RC_API void MemoryTerminate(void);
RC_API OSErr MemError(void);
RC_API Handle NilHandle(Handle h);
RC_API Ptr NilPtr(Ptr p);

/* ---- Frame memory pool ----
   Blocks are reached through descriptors that stay put while the bytes move
   during compaction: keep the descriptor and read `address` each time. */
typedef struct FMemDesc {
    Ptr address;     /* null while the descriptor is free */
    uint32_t length; /* rounded up to a multiple of 64 */
    struct FMemDesc* next;
    struct FMemDesc* prev;
    uint16_t slack; /* rounded length less the requested size */
} FMemDesc;
typedef FMemDesc* FBlock;

/* Called with the number of bytes wanted; returns non-zero when it released
   anything. */
typedef int32_t (*FPurgeProc)(uint32_t wanted);

RC_API int16_t InitFMem(uint32_t size);
RC_API void KillFMem(void);
RC_API uint32_t PurgeFSpace(void);
RC_API uint32_t GetFHeapSize(void);
RC_API FBlock NewFBlock(uint32_t size);
RC_API FBlock NewFBlockClear(uint32_t size);
RC_API void DisposeFBlock(FBlock block);
RC_API uint32_t GetFBlockSize(FBlock block);
RC_API Boolean FBlockFits(uint32_t size);
RC_API void SetFPurgeProc(FPurgeProc proc);

/* ---- State report (for hosts and diagnostics) ---- */
typedef struct FmMemoryStats {
    uint32_t heapLimit;
    uint32_t subHeapZones;
    uint32_t handlesInUse;
    uint32_t handleRecords; /* carved from slabs so far */
    uint32_t handleRecordLimit;
    uint32_t largeBlocks;
    uint64_t largeBytes;
    uint64_t subHeapBytesUsed; /* blocks plus per-block overhead */
    uint32_t framePoolSize;
    uint32_t framePoolFree;
    uint32_t framePoolEndFree;
    uint32_t framePoolBlocks;
    uint32_t framePoolTables;
} FmMemoryStats;
RC_API void FmGetMemoryStats(FmMemoryStats* out);

#ifdef __cplusplus
}
#endif

#endif
