/* Window handlers: the table of handler types (each built into the
   executable or implemented by a module), the messages the library sends to
   handler windows, window data, and the debug channel.

   A message block is nine pointer-sized words: the code and eight
   parameters. A handler that cannot be reached answers 1; a window without
   handler data answers 1, or 0 for code 10. Without a main window (no
   interface at all) every send answers that way and changes nothing. */
#ifndef REELCORE_HANDLERS_H
#define REELCORE_HANDLERS_H

#include "reelcore/types.h"
#include "reelcore/windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Handler types (four-character codes). */
enum {
    kHandlerHIDE = 0x48494445, /* 'HIDE' the hidden main window */
    kHandlerPROJ = 0x50524F4A, /* 'PROJ' */
    kHandlerCOMP = 0x434F4D50, /* 'COMP' */
    kHandlerFAST = 0x46415354, /* 'FAST' */
    kHandlerMIXR = 0x4D495852, /* 'MIXR' */
    kHandlerSTAT = 0x53544154, /* 'STAT' */
    kHandlerTRIM = 0x5452494D, /* 'TRIM' */
    kHandlerVIEW = 0x56494557, /* 'VIEW' */
    kHandlerFX__ = 0x46585F5F, /* 'FX__' */
    kHandlerTITL = 0x5449544C, /* 'TITL' */
    kHandlerABT_ = 0x4142545F, /* 'ABT_' */
    kHandlerPBAR = 0x50424152, /* 'PBAR' */
    kHandlerBNCH = 0x424E4348, /* 'BNCH' */
    kHandlerDBUG = 0x44425547, /* 'DBUG' */
    kHandlerLIBR = 0x4C494252, /* 'LIBR' */
    kHandlerFOLD = 0x464F4C44, /* 'FOLD' */
    kHandlerVCLP = 0x56434C50, /* 'VCLP' */
    kHandlerSfil = 0x7366696C, /* 'sfil' */
    kHandlerWIPS = 0x57495053  /* 'WIPS' */
};

/* Global slots of the handler layer. */
enum {
    kSlotOpenWindowRegistry = 334 /* handle of FmWindowRegistryEntry */
};

enum {
    kMessageBlockWords = 9,
    kHandlerProcCount = 8,
    kHandlerNewProcIndex = 0,
    kHandlerDisposeProcIndex = 1,
    kHandlerMessageProcIndex = 2
};

/* Procedures of a handler: entry 0 creates a window, 1 disposes of one, 2
   answers messages. Modules export them as "xNew", "xDispose", "xMessage". */
typedef int16_t (*HandlerNewProc)(const char* file, intptr_t a, intptr_t b, FmWindow* window);
typedef int16_t (*HandlerDisposeProc)(FmWindow window);
typedef int16_t (*HandlerMessageProc)(FmWindow window, intptr_t* block);

/* An entry of the open-window registry (slot 334). */
typedef struct FmWindowRegistryEntry {
    OSType type;
    int32_t count;
    FmWindow window;
} FmWindowRegistryEntry;

/* ---- Method table ----
   `table` is a handle holding an 8-byte header (a 16-bit entry count, then
   padding that keeps the entries pointer-aligned) followed by `count`
   entries of the layout below; the handler table lives in slot 2, the
   importer table in slot 3. An empty handle is an empty table. */
typedef struct FmMethodTableHeader {
    int16_t count;
    int16_t reserved[3];
} FmMethodTableHeader;

typedef struct FmMethodEntry {
    OSType type;
    int16_t fileID;                 /* module implementing the type; 0: built into the executable */
    int16_t useCount;               /* live windows created through the module */
    void* module;                   /* the module while it has live windows */
    void* procs[kHandlerProcCount]; /* null: resolved by name in the module */
} FmMethodEntry;

#ifdef __cplusplus
static_assert(sizeof(FmMethodTableHeader) == 8, "the table header is 8 bytes");
static_assert(offsetof(FmMethodEntry, module) == 8, "the module pointer follows type and IDs");
static_assert(offsetof(FmMethodEntry, procs) == 8 + sizeof(void*), "procedures follow the module");
static_assert(sizeof(FmMethodEntry) == 8 + 9 * sizeof(void*), "an entry is 8 bytes and 9 pointers");
#endif

/* Puts a new entry for the type in front of the others, so the newest
   registration wins a lookup; procedures may be null (all eight zero,
   resolved by name from the module at each call). Returns the memory error
   of the resize, or -109 for a null table. */
RC_API OSErr AddMethod(OSType type, void* const procedures[8], Handle table, int16_t fileID);
/* Entry point `index` (0..7) of the first entry of the type, and its FileID
   in *fileID (may be null). 0 and FileID 0 when the type is not there. */
RC_API void* LookupMethod(OSType type, Handle table, int16_t index, int16_t* fileID);

/* ---- Messages ---- */
RC_API int16_t Message(FmWindow window, intptr_t* block);
RC_API int16_t HDLRSendWindowMessage(FmWindow window, intptr_t* block);
/* To the handler of a type; the window may be 0. */
RC_API int16_t ClassMessage(OSType type, FmWindow window, intptr_t* block);
RC_API int16_t HDLRSendMessage(OSType type, intptr_t* block);
/* To the first window of a type (GetFirstWind). */
RC_API int16_t HDLRSendMessageToFirst(OSType type, intptr_t* block);
/* Block {code, p1, p2, pointer, p4, 0, 0, 0, 0} to the first window of the type. */
RC_API int16_t PMSendMessage(OSType type, intptr_t code, intptr_t p1, intptr_t p2, void* pointer,
                             intptr_t p4);
RC_API int16_t SendBigMessage(OSType type, intptr_t code, intptr_t p1, intptr_t p2, intptr_t p3,
                              intptr_t p4, intptr_t p5, intptr_t p6, intptr_t p7, intptr_t p8);
RC_API int16_t SendWindowMessage(FmWindow window, intptr_t code, intptr_t p1, intptr_t p2,
                                 intptr_t p3, intptr_t p4);
/* To every child of the main window that has window data, from the top of
   the z-order; returns the last answer (1 when there is none). */
RC_API int16_t MessageAll(intptr_t* block);

/* ---- Window data ----
   A handler window keeps a handle in its "WREFHI" property; the block's
   second 32-bit word is the handler type. Window data made by NewWData is 67
   bytes and starts with the word 'Rand'. */
RC_API Handle NewWData(FmWindow window);
RC_API Handle GetWData(FmWindow window);
RC_API void DisposWData(FmWindow window);
RC_API Handle GetFilmoryxWindowData(FmWindow window);
RC_API Boolean HasFilmoryxWindowData(FmWindow window);
RC_API void SetFilmoryxWindowData(FmWindow window, Handle data);
/* Free reference values: "DREFHI" and "WREFHI". The Dispos functions
   remove the property and dispose of the value when it is a handle. */
RC_API void SetDRefCon(FmWindow window, intptr_t value);
RC_API intptr_t GetDRefCon(FmWindow window);
RC_API void DisposDRefCon(FmWindow window);
RC_API void SetWRefCon(FmWindow window, intptr_t value);
RC_API intptr_t GetWRefCon(FmWindow window);
RC_API void DisposWRefCon(FmWindow window);

/* The first window of a handler type: the main window when it is of the
   type, else the registry's window when the type has exactly one, else the
   topmost child of the main window of the type, else the first of the main
   window's siblings of the type; 0 when none. */
RC_API FmWindow GetFirstWind(OSType type);

/* ---- Debug channel ---- */
/* Switches debug output on (non-zero) or off; returns the previous state. */
RC_API int32_t DBActivate(int32_t flag);
/* Sends the formatted text to the first DBUG window piece by piece:
   literal runs and %s as message 15 {15, text, channel}, %d as message 16
   {16, value, channel}, %t a four-character code (as a 4-character counted
   string), %p an FmPoint* and %r an FmRect* spelled out. %e to %o and %q are
   skipped without taking an argument. Returns 0 when output is off or there
   is no DBUG window, else 1. */
RC_API int32_t FmDebug(int32_t channel, const char* format, ...);

/* The resource file of the module whose code is running (the FileID in
   slot 333), or -1 when none is. */
RC_API int32_t HDLRGetCurrentResFile(void);
/* Resets the floating-point environment to its defaults. */
RC_API void MyFPReset(void);

#ifdef __cplusplus
}
#endif

#endif
