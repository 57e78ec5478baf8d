/* The preferences store: one file of raw bytes per user holding items keyed
   by a four-character type and a 16-bit id, the items the library saves and
   restores, the application values they hold, and the configuration keys of
   the application settings file. */
#ifndef REELCORE_PREFS_H
#define REELCORE_PREFS_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotPrefsDirectory = 235, /* Handle of 14-byte directory entries */
    kPrefsEntrySize = 14,
    kPrefsMaxEntries = 65535,
    kPrefsBlockItemSize = 1966, /* a settings block in the store */
    kPrefsPathSize = 260
};

/* Results besides the file errors. */
enum {
    kPrefsAbsent = 1,    /* GetPrefItem: no item of that length and no default */
    kPrefsNotOpen = -51, /* the file reference is not the open store */
    kPrefsBadParam = -50
};

/* The store's file: "Filmoryx 6.5 Prefs" in "Orvik/Filmoryx" under the
   user's configuration folder ($XDG_CONFIG_HOME, else ~/.config), unless set
   here (null restores that). Setting a path closes an open store. */
RC_API void FmSetPrefsPath(const char* path);
/* Copies the path into out (kPrefsPathSize bytes); 0 when there is none. */
RC_API int16_t FmGetPrefsPath(char* out);

/* Opens the store (making its folders, and a new empty store only when the
   file is absent) and loads its directory. A damaged store is set aside
   (renamed with ".damaged" added) and replaced by an empty one, with a
   message. Returns the open error; an existing file that can't be opened is
   left alone. */
RC_API OSErr OpenPrefs(FileRef* file);
RC_API void ClosePrefs(void);
/* Same type, id and length: overwritten in place; otherwise appended (the old
   entry made dead). Appends replace the file only once the new one is
   complete, so a failure or crash leaves the old store. */
RC_API OSErr SetPrefItem(FileRef file, const void* data, int32_t length, OSType type, int16_t id);
/* 0 with the item read when it has exactly `length` bytes; otherwise 1 without
   a default, or 0 with the default copied into buffer and stored. */
RC_API OSErr GetPrefItem(FileRef file, void* buffer, int32_t length, OSType type, int16_t id,
                         const void* defaultData);
/* An item of any length in a new Handle, or null. */
RC_API Handle GetPrefItemHandle(FileRef file, OSType type, int16_t id);
/* Live items in the store (entries not dead). */
RC_API int32_t CountPrefItems(void);

/* Saves every item the library keeps (settings blocks, window positions,
   time bases, paths, device, title preferences and application values). */
RC_API OSErr SavePrefs(void);
/* Reads them back, with the defaults for missing ones, and closes the file. */
RC_API OSErr GetPrefs(void);
/* Places the 'VIEW' and 'DBUG' windows from the saved positions. */
RC_API void SetWindows(void);

/* A media file's 16-byte preference block through its importer; 2 when the
   file has no importer (the block is then cleared by GetFilePref). */
RC_API OSErr GetFilePref(int16_t fileID, void* block);
RC_API OSErr SetFilePref(int16_t fileID, const void* block);

/* ---- Application values kept in the store ---- */
/* The 4-byte values ('Mina', 'Stil', 'TMPO', 'MaxW' …); unknown codes read 0. */
RC_API int32_t FmGetPrefValue(OSType type);
RC_API void FmSetPrefValue(OSType type, int32_t value);
/* Paths: 'WNam' working, 'VNam' video, 'ANam' audio, 'LDeP' (260 bytes). */
RC_API void FmGetPrefPath(OSType type, char* out);
RC_API void FmSetPrefPath(OSType type, const char* path);
/* The capture device: name (32 bytes) and data (a copy; null for none). */
RC_API void FmGetPrefDevice(char* name, Handle* data);
RC_API void FmSetPrefDevice(const char* name, Handle data);
/* Title preferences (1322 bytes). */
enum { kPrefsTitleSize = 1322 };
RC_API void FmGetTitlePrefs(void* out);
RC_API void FmSetTitlePrefs(const void* prefs);
/* Saved window positions ('VIEW' 0, 'DBUG' 1): left, top, width, height
   (width -1 keeps the size; bit 15 of left or top counts from the right or
   bottom of the main window), shown and minimised. */
#pragma pack(push, 1)
typedef struct FmWindowPlace {
    int32_t left, top, width, height;
    uint8_t shown;
    uint8_t minimised;
} FmWindowPlace;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(FmWindowPlace) == 18, "a saved window position is 18 bytes");
#endif
RC_API void FmGetWindowPlace(int32_t which, FmWindowPlace* out);
RC_API void FmSetWindowPlace(int32_t which, const FmWindowPlace* place);

/* ---- Configuration keys of the application settings file (slot 374) ----
   override: NoCompileAsync 0, NumCPUs -1, PixelAspectRatioDisplay 1,
   PixelAspectRatioCorrection 1; KPT: AlphaChannelBug 1; Default: Settings "".
   A key the file lacks reads as its default (0 or "" for other keys). */
RC_API int32_t FmGetConfigInt(const char* section, const char* key);
RC_API uint32_t FmGetConfigString(const char* section, const char* key, char* out, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif
