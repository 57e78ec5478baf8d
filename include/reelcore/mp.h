/* Processor pool: horizontal bands of pixel work run on worker threads
   while the calling thread runs the last band and waits for the others. One
   job at a time owns the workers. */
#ifndef REELCORE_MP_H
#define REELCORE_MP_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotProcessorCount = 313, /* n: processors the pool uses (1 = no workers) */
    kSlotMPWorkers = 314,      /* the worker table, null without workers */
    kSlotMPLock = 319          /* 1 while a job owns the workers */
};

enum { kMPMaxProcessors = 16, kMPMinSplitRows = 160 };

/* A band job: called once per band with the address of that band's block. */
typedef void (*MPJobProc)(void* block);

/* Reads n ("NumCPUs" in section "override" of the settings file named by
   slot 374 when it is 0 or more, else the processors of the affinity mask;
   at most 16) and starts n - 1 workers. */
RC_API void InitMP(void);
/* Stops and frees every worker; n becomes 1. */
RC_API void TerminateMP(void);
/* Asks for `bands` bands: when bands > 1, n > 1 and the lock was free, takes
   the lock for the calling thread and returns min(bands, n); otherwise 1. */
RC_API int32_t FmLockMP(int32_t bands);
/* Runs fn on `count` blocks, `stride` bytes apart: blocks 0 .. count - 2 on
   workers, the last on the caller; returns when all are done and releases
   the lock. A caller that does not own the lock, and bands beyond the
   workers, run on the calling thread. */
RC_API void FmExecuteMP(int32_t count, MPJobProc fn, void* blocks, int32_t stride);
/* Releases the lock without running anything (owner only). */
RC_API void FmCancelMP(void);

#ifdef __cplusplus
}
#endif

#endif
