/* The plug-in registry: finding plug-in modules in the plug-in folder,
   learning their kinds and versions from their resources (without running
   their code), filing them into per-kind lists, and the tables that map file
   types to importers, extensions to file types and match names to modules.

   Lists are handles in global slots, filled by AddPlugins:
     slot 4    video filters (16-bit FileIDs; image filters too)
     slot 5    one cleared pointer-sized word per entry of slot 4
     slot 6    audio filters           slot 389  effects and transitions
     slot 7    export modules (16-bit: FileID in bits 0-12, flags in 13-15;
               GetExportModuleFileID gives the whole FileID)
     slot 9    device controllers      slot 169  image-editor automation modules
     slots 10, 11, 12  handler modules with a subtype (FmHandlerListEntry)
     slot 217  recompression codes of importers (32-bit)
     slot 20   cross-reference table   slot 237  file-type text table
     slot 263  override table          slot 361  match table (FmMatchEntry)
     slot 278  plug-in cache (FmPluginCacheRecord)
   Slot 225 holds the plug-in folder: a pointer to its path (a C string). */
#ifndef REELCORE_PLUGINS_H
#define REELCORE_PLUGINS_H

#include "reelcore/sdk/kinds.h"
#include "reelcore/sdk/pipl.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotVideoFilters = 4,
    kSlotVideoFilterData = 5,
    kSlotAudioFilters = 6,
    kSlotExportModules = 7,
    kSlotDeviceControllers = 9,
    kSlotHandlerList1 = 10,
    kSlotHandlerList2 = 11,
    kSlotHandlerList3 = 12,
    kSlotXrefTable = 20,
    kSlotAutomationModules = 169,
    kSlotRecompressCodes = 217,
    kSlotPluginFolder = 225,
    kSlotTypeTextTable = 237,
    kSlotOverrideTable = 263,
    kSlotPluginCache = 278,
    kSlotMatchTable = 361,
    kSlotEffects = 389
};

enum {
    kPluginFolderDepth = 20,       /* folders below the plug-in folder that are scanned */
    kMatchNameSize = 32,           /* match names: 31 characters and a NUL */
    kPluginEnumerationLimit = 1000 /* answers taken from a module that lists things */
};

#pragma pack(push, 1)
typedef struct FmMatchEntry {
    int16_t fileID;
    char name[kMatchNameSize];
} FmMatchEntry;

/* The plug-in cache: records sorted by path (ignoring case), stored by the
   main window as resources 'PlSz' 1000 (the byte size) and 'PlSv' 1000. The
   display name field holds the display text, its NUL, then the module's
   match name and its NUL. */
typedef struct FmPluginCacheRecord {
    char path[260];
    char displayName[256];
    uint32_t sizeLow, sizeHigh;
    uint32_t timeLow, timeHigh; /* last write, nanoseconds since 1970 */
    OSType kind;
    int32_t flags; /* export module flags */
    int32_t version;
    int32_t seen;       /* met in this scan */
    int32_t neverTrust; /* always read the module again */
} FmPluginCacheRecord;

/* An entry of the handler lists of slots 10, 11 and 12. */
typedef struct FmHandlerListEntry {
    OSType type;
    int16_t fileID;
    char name[32];
    char subtype[32];
} FmHandlerListEntry;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FmMatchEntry) == 34, "match entries are 34 bytes");
static_assert(sizeof(FmPluginCacheRecord) == 552, "cache records are 552 bytes");
static_assert(offsetof(FmPluginCacheRecord, kind) == 532, "the kind follows size and time");
static_assert(sizeof(FmHandlerListEntry) == 70, "handler list entries are 70 bytes");
#endif

/* ---- Registration ---- */
/* The whole registration, once at start-up, after the file table, the
   resource files and the handler table exist. */
RC_API void AddPlugins(void);
/* The accepted version of a kind of a module (stored as the file's version),
   -1 for kinds without a version rule, 0 when rejected. */
RC_API int32_t PlugVersionCheck(int16_t fileID, OSType kind);
/* Full FileID of entry `index` of the export list (slot 7); 0 outside it. */
RC_API int16_t GetExportModuleFileID(int32_t index);
/* Whether the QuickTime compatibility interface is available: never here. */
RC_API Boolean GetIsQTAvail(void);

/* ---- File types ---- */
/* File type of the path's extension, 0 when no type lists it. */
RC_API OSType ExtensionToType(const char* path);
/* The type's first extension (no dot, at most 31 characters) into out (32
   bytes); false, with out empty, when the type has none. */
RC_API Boolean TypeToExtension(OSType type, char* out);
/* The type's description (valid until the table changes), or null. */
RC_API const char* TypeToDescription(OSType type);
/* Replaces the extension of path (260 bytes) by the type's first one. */
RC_API Boolean FixFileExtension(OSType type, char* path);
/* Flags of the type's cross-reference entry (the code or its byte-reversed
   form), its handler type, its window handler type; 0 when none. */
RC_API int32_t GetTypeFlags(OSType type);
RC_API OSType GetDrawType(OSType type);
RC_API OSType GetHDLRType(OSType type);
/* Appends an entry to the cross-reference table (slot 20). */
RC_API OSErr Add1XREF(OSType fileType, OSType handlerType, OSType kind, int16_t flags);
/* Puts the entries of an 'OVRD' resource in front of the table's entries. */
RC_API OSErr AddOVRDItem(Handle table, Handle items);

/* ---- Match names ---- */
/* FileID whose match name equals name, ignoring case; 0 when none. */
RC_API int16_t MatchName(const char* name);
/* Copies the FileID's match name into dst (32 bytes); its length with the
   NUL, 0 when the FileID has none. */
RC_API int32_t MatchFileID(int16_t fileID, char* dst);
/* Adds the module under its normalised match name unless another module
   holds the name; true when it was added. */
RC_API Boolean AddToMatchTable(int16_t fileID, Handle table);

/* ---- Plug-in property lists ----
   GetPiPLHandle gives a handle the caller disposes of; the readers take it
   (or a 'PiPL' resource handle) and never read past its end. Strings are
   copied as C strings: names, categories and entry point names into 256
   bytes, match names into 32 (31 characters kept). */
RC_API Handle GetPiPLHandle(int16_t fileID);
RC_API OSType GetPiPLKind(Handle pipl);
RC_API Boolean GetPiPLName(Handle pipl, char* dst);
RC_API Boolean GetPiPLMatchName(Handle pipl, char* dst);
RC_API Boolean GetPiPLCat(Handle pipl, char* dst);
RC_API Boolean GetPiPLCode(Handle pipl, char* dst);
/* Copy the property into the record, cleared first; false when absent. */
RC_API Boolean GetAnimFilterInfo(Handle pipl, RcAnimFilterInfo* out);
RC_API Boolean GetAnimParamProperty(Handle pipl, int32_t index, RcAnimParamInfo* out);
/* The filter information and up to maxParams parameters; the number of
   parameters the filter declares, -1 without filter information. */
RC_API int32_t ParseANIMInfo(Handle pipl, RcAnimFilterInfo* info, RcAnimParamInfo* params,
                             int32_t maxParams);
/* New handles: the effect description as a C string; the option block. */
RC_API Handle GetPiPLSPFXDesc(Handle pipl);
RC_API Handle GetPiPLpOpt(Handle pipl);
/* The wipe property's bytes (up to 4) as a number; 0 when absent. */
RC_API int32_t GetPiPLpWIP(Handle pipl);

/* ---- What registration found ---- */
typedef struct FmPluginReport {
    char path[260];
    OSType kind; /* 0 when the module had none */
    int32_t version;
    char matchName[kMatchNameSize];
    Boolean accepted;
    Boolean fromCache; /* registered from the cache without reading the module */
    char reason[64];   /* why not; empty when accepted */
} FmPluginReport;
/* Number of report lines of the last AddPlugins; fills out for index below it. */
RC_API int32_t FmGetPluginReport(int32_t index, FmPluginReport* out);
/* Modules whose code was loaded, whose resources were read, and cache hits
   during the last AddPlugins. Any pointer may be null. */
RC_API void FmGetPluginScanCounts(int32_t* loaded, int32_t* read, int32_t* cached);

#ifdef __cplusplus
}
#endif

#endif
