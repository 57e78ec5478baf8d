/* Keyframed filter parameters. A CompSpec is a filter's list of keys, each a
   SingleSpec (the filter's parameter bytes) stamped with a time on the
   clip's own time scale; evaluating it at a time blends the two keys around
   that time with whatever description of the parameters the filter module
   offers (an XE parameter block, an animation description in its PiPL, or a
   FltD table). Byte layouts are in reelcore/sdk/keyframes.h. */
#ifndef REELCORE_KEYFRAMES_H
#define REELCORE_KEYFRAMES_H

#include "reelcore/sdk/keyframes.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Key list ----
   Indexes count from 0; a negative index counts as 0; an index without a key
   reads 0 and writes nothing. Keys are kept in time order by the caller.
   Copies of live XE blocks give the copy its own arbitrary data. */

/* A CompSpec with one key at `time`. A given spec is first resized to the
   module's declared parameter size; without one the key is empty (specSize 0). */
RC_API Handle NewCompSpec(Handle spec, int16_t fileID, int32_t time);
RC_API int32_t CountSingleSpecs(Handle comp);
RC_API int32_t SingleSpecSize(Handle comp);
RC_API int32_t GetSingleSpecTime(Handle comp, int32_t index);
RC_API void SetSingleSpecTime(Handle comp, int32_t index, int32_t time);
/* A new SingleSpec copying key `index`; the CompSpec is unflattened first.
   Null for a null or malformed CompSpec, a failed unflatten or specSize 0
   (time is still filled in then). time may be null. */
RC_API Handle GetSingleSpec(Handle comp, int32_t index, int32_t* time);
/* Insert a key before `index` (past the end appends). A SingleSpec of another size
   gives min(size, specSize) bytes, the rest zero; a CompSpec without keys
   takes the SingleSpec's size. 0, -50 (not a CompSpec) or -108. */
RC_API OSErr InsertSingleSpec(Handle comp, Handle spec, int32_t index, int32_t time);
/* Replace key `index` (its arbitrary data is freed) and set its time. */
RC_API OSErr ReplaceSingleSpec(Handle comp, Handle spec, int32_t index, int32_t time);
/* Remove key `index`; returns the number of keys left. */
RC_API int32_t RemoveSingleSpec(Handle comp, int32_t index);
RC_API Handle DupCompSpec(Handle comp);
RC_API Handle DupSingleSpec(Handle spec);
RC_API void DisposeCompSpec(Handle comp);
RC_API void DisposeSingleSpec(Handle spec);
/* True when h is a CompSpec: longer than its header and starting with the
   two magic words. */
RC_API Boolean IsVariable(Handle h);
/* True when the module's parameters can be blended between keys. */
RC_API Boolean CanVary(int16_t fileID);

/* ---- Evaluation ---- */

/* i0 = the last key at or before t, i1 = the first key at or after t (when
   keys share a time, i0 may exceed i1), and copies of both. Any out pointer
   may be null. False when the CompSpec cannot be unflattened, has no keys, or
   t lies outside the keys. */
RC_API Boolean FindSingleSpecs(Handle comp, double t, int32_t* i0, int32_t* i1, Handle* s0,
                               Handle* s1);
/* The SingleSpec that holds at t. False when FindSingleSpecs fails or a key
   cannot be copied; true with *out null for empty keys (specSize 0). */
RC_API Boolean BuildSingleSpec(Handle comp, int16_t fileID, double t, Handle* out);
/* A new SingleSpec blended from first (fraction 0) to second (fraction 1), or
   null when the module cannot be opened or offers no way to blend. */
RC_API Handle InterpolateSingleSpecs(Handle first, Handle second, int32_t size, int16_t fileID,
                                     double fraction);
/* Bytes at the start of an Imagist-style SingleSpec that are never blended:
   4 for form tags 0, 2 and 5, 8 for 1 and 3, else 0. */
RC_API int32_t SpecDataOffset(Handle spec);

/* ---- Flattening XE parameter blocks ----
   0 on success or when there is nothing to do; -1 when memory runs out or
   the block is malformed, and the block is then unchanged. */
RC_API int16_t FlattenSingleSpec(Handle spec);
RC_API int16_t UnflattenSingleSpec(Handle spec);
RC_API int16_t FlattenCompSpec(Handle comp);
RC_API int16_t UnflattenCompSpec(Handle comp);
RC_API Boolean IsSingleSpecFlattened(Handle spec);
RC_API Boolean IsCompSpecFlattened(Handle comp);

#ifdef __cplusplus
}
#endif

#endif
