/* File access through FSSpec records, with toolbox result codes. */
#ifndef REELCORE_FILES_H
#define REELCORE_FILES_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { fsRdPerm = 1, fsRdWrPerm = 3 };
enum { fsFromStart = 1, fsFromLEOF = 2, fsFromMark = 3 };

/* A seek that the system refused. */
enum { posErr = -40 };

/* System error numbers understood by FmTranslateError (the platform layer
   reports its own errors in this numbering). */
enum {
    kSysFileNotFound = 2,
    kSysPathNotFound = 3,
    kSysTooManyOpenFiles = 4,
    kSysAccessDenied = 5,
    kSysNotReady = 15,
    kSysWriteProtect = 19,
    kSysSharingViolation = 32,
    kSysLockViolation = 33,
    kSysNetworkAccessDenied = 65
};

RC_API OSErr FmTranslateError(int32_t systemError, OSErr fallback);
RC_API int32_t HCreate(int16_t vRefNum, int32_t dirID, const char* path);
RC_API int32_t FSpCreate(const FSSpec* spec, OSType creator, OSType fileType);
RC_API int32_t fmCreate(const FSSpec* spec, OSType creator, OSType fileType);
RC_API OSErr HOpen(int16_t vRefNum, int32_t dirID, const char* path, int8_t permission,
                   FileRef* refNum);
RC_API OSErr FSpOpenDF(const FSSpec* spec, int8_t permission, FileRef* refNum);
/* 1 after deleting, -1 on failure. */
RC_API OSErr HDelete(int16_t vRefNum, int32_t dirID, const char* path);
RC_API OSErr FSpDelete(const FSSpec* spec);
RC_API OSErr FSClose(FileRef refNum);
RC_API OSErr FSRead(FileRef refNum, int32_t* count, void* buffer);
RC_API OSErr FSWrite(FileRef refNum, int32_t* count, const void* buffer);
RC_API OSErr SetFPos(FileRef refNum, int16_t mode, int32_t offset);
RC_API OSErr GetFPos(FileRef refNum, int32_t* position);
RC_API OSErr GetEOF(FileRef refNum, int32_t* size);
RC_API int32_t GetFileSize64(FileRef refNum, int64_t* size);
RC_API int32_t SetFilePointer64(FileRef refNum, const int64_t* offset, int64_t* newPosition,
                                int32_t moveMethod);
RC_API int32_t FmRead(FileRef refNum, void* buffer, int32_t* count);
RC_API int32_t FmWrite(FileRef refNum, const void* buffer, int32_t* count);
RC_API int32_t FmPRead(FileRef refNum, void* buffer, int32_t count, const int64_t* position);
RC_API int32_t FmPWrite(FileRef refNum, const void* buffer, int32_t count, const int64_t* position);
/* Copies the FSSpec's path into dest, which holds at least 260 bytes. */
RC_API void FmMakePathStr(const FSSpec* spec, char* dest);
RC_API OSType FindFType(const FSSpec* spec);
RC_API OSType FSSpecToFileType(const FSSpec* spec);
RC_API uint32_t FileModificationDate(int16_t fileID);

#ifdef __cplusplus
}
#endif

#endif
