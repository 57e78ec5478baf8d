/* Global slots shared by the library, the executable and plug-in modules,
   and the library's clocks. */
#ifndef REELCORE_GLOBALS_H
#define REELCORE_GLOBALS_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { kGlobalSlotCount = 426 };

/* Slots used across families; each family names further slots in its own
   header. */
enum {
    kSlotMethodTable = 2,
    kSlotImporterTable = 3,
    kSlotTick60 = 126,
    kSlotDoubleClick = 129,
    kSlotUtilityTable = 81,
    kSlotMainWnd = 228,
    kSlotAppInst = 229,
    kSlotResInst = 230,
    kSlotOpenFileBudget = 239,
    kSlotCurrentHandlerFile = 333,
    kSlotAppFolder = 337, /* const FSSpec*: the application folder (path in its name) */
    kSlotIsMMX = 338,
    kSlotSettingsFilePath = 374
};

RC_API void SetupGlobals(void);
/* Slot numbers outside 0..425 read 0 and store nothing. */
RC_API intptr_t GetAGlobal(int32_t slot);
RC_API intptr_t SetAGlobal(int32_t slot, intptr_t value);
RC_API uint32_t FmGetMilliseconds(void);
RC_API uint32_t FmGetTick60(void);
RC_API intptr_t GetMainWnd(void);
RC_API intptr_t GetAppInst(void);
RC_API intptr_t GetResInst(void);

#ifdef __cplusplus
}
#endif

#endif
