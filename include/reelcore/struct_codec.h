/* Struct codec: records described by a type string, a field-name list and a
   packing list, written to and read from a project stream as text lines. */
#ifndef REELCORE_STRUCT_CODEC_H
#define REELCORE_STRUCT_CODEC_H

#include "reelcore/project_stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results of ReadStruct besides 0 and the file and memory errors. */
enum {
    kStructBadValue = 1,     /* a value did not match its stated size */
    kStructNotFound = 2,     /* no tag line for the tag ahead */
    kStructShort = 10,       /* the record ended before the description did */
    kStructNoBlock = -109,   /* a "{" Handle is missing */
    kStructSmallBlock = -111 /* a "{" Handle is too small for its fields */
};

RC_API OSErr WriteStruct(ProjBufHand stream, OSType tag, const char* typeString,
                         const char* nameList, const int32_t* packing, const void* record);
RC_API OSErr ReadStruct(ProjBufHand stream, OSType tag, const char* typeString,
                        const int32_t* packing, void* record);
/* 1 with the stream at the tag line, or 0 at the end of the data. */
RC_API int16_t FindStruct(ProjBufHand stream, OSType tag);
/* The code of the next tag line (0 when none), also stored in *tag. */
RC_API OSType GetStructInfo(ProjBufHand stream, OSType* tag);
/* Steps past the current line, then as GetStructInfo; nonzero when found. */
RC_API int16_t SeekNextStruct(ProjBufHand stream, OSType* tag);
RC_API int32_t CheckPackingSize(const int32_t* packing);

/* Packing-list builders: fill `packing` (zero-terminated) for a record. */
RC_API void FindHeaderPacking(int32_t* packing);
RC_API void FindRangeRecPacking(int32_t* packing);
RC_API void FindTrackRecPacking(int32_t* packing);
RC_API void FindRubberHandPacking(int32_t* packing);
RC_API void FindRubberHandPtsPacking(int32_t* packing);
RC_API void FindClipAspectPacking(int32_t* packing);
RC_API void FindProjRecPacking(int32_t* packing, int32_t version);
RC_API void FindOfflineInfoPacking(int32_t* packing);
RC_API void psetFindProjectPacking(int32_t* packing);
RC_API void psetFindVideoPacking(int32_t* packing);
RC_API void psetFindAudioPacking(int32_t* packing);
RC_API void psetFindDataRatePacking(int32_t* packing);
RC_API void psetFindKeyFramesPacking(int32_t* packing);
RC_API void psetFindRenderingPacking(int32_t* packing);
RC_API void psetFindSpecialPacking(int32_t* packing);
RC_API void psetFindCapturePacking(int32_t* packing);
RC_API void psetFindCaptureInfoPacking(int32_t* packing);

/* Single keyed values: "key=value" lines. Readers skip to just past the next
   "=" of the current line and decode one value; they return 10 at a tag line
   or at the end of the data. */
RC_API OSErr FmWriteSectionTag(ProjBufHand stream, OSType tag);
RC_API OSErr FmFindAndReadSectionTag(ProjBufHand stream, OSType tag);
RC_API OSErr FmWriteLong(ProjBufHand stream, const char* key, int32_t value);
RC_API OSErr FmReadLong(ProjBufHand stream, const char* key, int32_t* value);
RC_API OSErr FmWriteShort(ProjBufHand stream, const char* key, int16_t value);
RC_API OSErr FmReadShort(ProjBufHand stream, const char* key, int16_t* value);
RC_API OSErr FmWriteChar(ProjBufHand stream, const char* key, char value);
RC_API OSErr FmReadChar(ProjBufHand stream, const char* key, char* value);
RC_API OSErr FmWriteBoolean(ProjBufHand stream, const char* key, Boolean value);
RC_API OSErr FmReadBoolean(ProjBufHand stream, const char* key, Boolean* value);
RC_API OSErr FmWriteDouble(ProjBufHand stream, const char* key, double value);
RC_API OSErr FmReadDouble(ProjBufHand stream, const char* key, double* value);
RC_API OSErr FmWriteFloat(ProjBufHand stream, const char* key, float value);
RC_API OSErr FmReadFloat(ProjBufHand stream, const char* key, float* value);
RC_API OSErr FmWriteFourCharCode(ProjBufHand stream, const char* key, OSType value);
RC_API OSErr FmReadFourCharCode(ProjBufHand stream, const char* key, OSType* value);
RC_API OSErr FmWriteFmRect(ProjBufHand stream, const char* key, const FmRect* value);
RC_API OSErr FmReadFmRect(ProjBufHand stream, const char* key, FmRect* value);
RC_API OSErr FmWriteFmPoint(ProjBufHand stream, const char* key, const FmPoint* value);
RC_API OSErr FmReadFmPoint(ProjBufHand stream, const char* key, FmPoint* value);
RC_API OSErr FmWriteHandleSize(ProjBufHand stream, const char* key, Handle value);
RC_API OSErr FmReadHandleSize(ProjBufHand stream, const char* key, Handle* value);
RC_API OSErr FmWriteHandle(ProjBufHand stream, const char* key, Handle value);
RC_API OSErr FmReadHandle(ProjBufHand stream, const char* key, Handle* value);
RC_API OSErr FmWriteHandleStrList(ProjBufHand stream, const char* key, Handle value);
RC_API OSErr FmReadHandleStrList(ProjBufHand stream, const char* key, Handle* value);
RC_API OSErr FmWriteFixed(ProjBufHand stream, const char* key, Fixed value);
RC_API OSErr FmReadFixed(ProjBufHand stream, const char* key, Fixed* value);
RC_API OSErr FmWriteOpaquePtr(ProjBufHand stream, const char* key, Ptr value);
RC_API OSErr FmReadOpaquePtr(ProjBufHand stream, const char* key, Ptr* value);
RC_API OSErr FmWriteOpaqueHandle(ProjBufHand stream, const char* key, Handle value);
/* A Handle already in *value is resized rather than replaced. */
RC_API OSErr FmReadOpaqueHandle(ProjBufHand stream, const char* key, Handle* value);
RC_API OSErr FmWriteCStr(ProjBufHand stream, const char* key, const char* text);
RC_API OSErr FmWriteCStr_CharOnly(ProjBufHand stream, const char* key, const char* text);
RC_API OSErr FmReadCStr(ProjBufHand stream, const char* key, char* buffer, int32_t size);
/* One value of letter letters[0] with the given element count; `data` holds
   it in record form (Handles as 4-byte words). */
RC_API OSErr FmWriteKey(ProjBufHand stream, const char* key, const char* letters, int32_t count,
                        const void* data);
RC_API OSErr FmReadKey(ProjBufHand stream, const char* key, const char* letters, int32_t count,
                       void* data);

#ifdef __cplusplus
}
#endif

#endif
