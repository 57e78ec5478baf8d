/* Resource files: typed, numbered resources and string lists read from
   modules (the library itself, resource-only modules and plug-ins).

   A resource file is a small integer reference (ResFileRef), -1 for none.
   Resources are handed out as resource handles: the bytes, then the name with
   its NUL when named, then a 10-byte trailer (ID, type, data length). Loaded
   resources are cached, so asking twice returns the same handle until it is
   released. */
#ifndef REELCORE_RESOURCES_H
#define REELCORE_RESOURCES_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t ResFileRef;

/* Resource errors (ResError), besides noErr, memFullErr and resNotFound. */
enum {
    badExtResource = -185, /* malformed resource: too short, or a name without its NUL */
    resFNotFound = -193    /* the resource file is not open */
};

enum { kStringIndexResID = 1000, kMaxStringListItems = 99 };

/* Opens the library's own module (moduleName null or empty) or the module
   file at moduleName as the default and current resource file, with an empty
   resource map. Files opened before are closed. Returns the file, or -1. */
RC_API ResFileRef InitResMgr(const char* moduleName);
/* From the current file, else from the default file. */
RC_API Handle GetResource(ResType type, int16_t id);
/* From the current file only. */
RC_API Handle Get1Resource(ResType type, int16_t id);
/* The resource among IDs 1..Count1Resources(type) whose name equals name
   (case matters): the current file first, then the default file. */
RC_API Handle GetNamedResource(ResType type, const char* name);
/* Consecutive IDs 1, 2, 3 ... present in the current file (at most 9,999). */
RC_API int16_t Count1Resources(ResType type);
/* Reads the ID, type and name (a C string; name holds 256 bytes; empty when
   unnamed) of a resource handle. Any out pointer may be null. Returns and
   sets -192 for a null or purged handle or one that is not a resource. */
RC_API OSErr GetResInfo(Handle h, int16_t* id, ResType* type, char* name);
RC_API void ReleaseResource(Handle h);
/* Makes a resource handle an ordinary handle owned by the caller, holding
   only the resource's bytes. */
RC_API void DetachResource(Handle h);
/* Copies string `index` (1..99) of string list `list` as a NUL-terminated C
   string of at most 255 characters into dst, which holds 256 bytes. Looks in
   the current file, then the default file; dst is unchanged when the list
   is in neither or the index is out of range. */
RC_API void GetIndString(char* dst, int16_t list, int16_t index);
/* Opens a module file as a resource file and makes it current. -1 with
   ResError -108 when it cannot be read or its resources are malformed. */
RC_API ResFileRef OpenResFile(const char* path);
RC_API ResFileRef HOpenResFile(int16_t vRefNum, int32_t dirID, const char* path, int8_t permission);
RC_API void UseResFile(ResFileRef file);
RC_API void FmUseResFile(ResFileRef file);
RC_API ResFileRef CurResFile(void);
RC_API ResFileRef FmGetCurResFile(void);
/* Closes the file and disposes of its cached resources; the default file
   becomes current again if it was current. Closing the default file or a
   file that is not open does nothing. */
RC_API void CloseResFile(ResFileRef file);
RC_API OSErr ResError(void);

/* Introspection for hosts. */
typedef struct FmResFileInfo {
    ResFileRef ref;
    Boolean isDefault;
    Boolean isCurrent;
    uint32_t resources; /* typed resources in the file */
    uint32_t strings;   /* string-table entries */
    char path[260];     /* the module file (cut to 259 bytes) */
} FmResFileInfo;
/* Returns the number of open resource files and, when index is below it,
   fills info for the index-th (in order of opening). */
RC_API int32_t FmGetResFileInfo(int32_t index, FmResFileInfo* info);
/* Entries of the 200-entry resource map in use. */
RC_API int32_t FmResMapEntriesInUse(void);

#ifdef __cplusplus
}
#endif

#endif
