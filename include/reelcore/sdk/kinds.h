/* Plug-in kinds and the resources through which a module describes itself.

   Kind: the PiPL `kind` property (see pipl.h) gives the module's first kind;
   without it, resource 'TYPE' 1000 does (its first four bytes, a code stored
   as a little-endian 32-bit number). Further kinds are in 'TYPE' 1001, 1002,
   ... up to the first missing ID.

   Version: the first 16 bits of the PiPL property `eSVR`, else of the kind's
   version resource (ID 1000, a 16-bit number). Accepted versions:

     kind                       version resource   accepted
     'VFlt', 'AFlt'             'FLvs'             2 to 3
     'SPFX'                     'FXvs'             2 to 3
     'ExpD', 'ExpM'             'EXvs'             2
     'HDLR'                     'DHvs'             2
     'DRAW'                     'DRvs'             2
     'PFlt'                     'BNvs'             4
     'DevC'                     'DVvs'             any (none found: -1)
     'IMPT', 'CMPM', 'PLYM', 'RECM'   -             no rule (-1 is stored)

   A video filter or effect that carries 'PARM' 16000 must have the highest
   version of its range. */
#ifndef REELCORE_SDK_KINDS_H
#define REELCORE_SDK_KINDS_H

#include "reelcore/sdk/module.h"

enum {
    kRcKindVideoFilter = RC_FOURCC('V', 'F', 'l', 't'),
    kRcKindAudioFilter = RC_FOURCC('A', 'F', 'l', 't'),
    kRcKindEffect = RC_FOURCC('S', 'P', 'F', 'X'),
    kRcKindExportD = RC_FOURCC('E', 'x', 'p', 'D'),
    kRcKindExportM = RC_FOURCC('E', 'x', 'p', 'M'),
    kRcKindCompiler = RC_FOURCC('C', 'M', 'P', 'M'),
    kRcKindDevice = RC_FOURCC('D', 'e', 'v', 'C'),
    kRcKindImporter = RC_FOURCC('I', 'M', 'P', 'T'),
    kRcKindHandler = RC_FOURCC('H', 'D', 'L', 'R'),
    kRcKindDrawing = RC_FOURCC('D', 'R', 'A', 'W'),
    kRcKindPlayback = RC_FOURCC('P', 'L', 'Y', 'M'),
    kRcKindRecord = RC_FOURCC('R', 'E', 'C', 'M'),
    kRcKindExportFilter = RC_FOURCC('P', 'F', 'l', 't'),
    kRcKindImageFilter = RC_FOURCC('Q', '7', 'F', 'M'),
    kRcKindAutomation = RC_FOURCC('Q', '7', 'Y', 'M'),
    kRcKindXEEffect = RC_FOURCC('e', 'F', 'K', 'T')
};

/* Resource types of a module. The IDs are 1000 unless stated. */
enum {
    kRcResourceID = 1000,
    kRcResType = RC_FOURCC('T', 'Y', 'P', 'E'),    /* kind code (IDs 1000, 1001 ...) */
    kRcResText = RC_FOURCC('T', 'E', 'X', 'T'),    /* display text when there is no PiPL name */
    kRcResFlag = RC_FOURCC('F', 'L', 'A', 'G'),    /* export module flags: first 16-bit word */
    kRcResXref = RC_FOURCC('X', 'R', 'E', 'F'),    /* file types an importer reads (RcXrefEntry) */
    kRcResXrff = RC_FOURCC('X', 'R', 'F', 'F'),    /* descriptions and extensions of those types */
    kRcResOvrd = RC_FOURCC('O', 'V', 'R', 'D'),    /* overrides (see RcOvrdHeader) */
    kRcResRcmp = RC_FOURCC('R', 'C', 'M', 'P'),    /* first 32-bit value: a recompression code */
    kRcResHandler = RC_FOURCC('H', 'D', 'L', 'R'), /* 1000, 1001 ...: type code then name */
    kRcResSubtype = RC_FOURCC('S', 'U', 'B', 'T'), /* subtype text of the handler with that ID */
    kRcResImporterType =
        RC_FOURCC('I', 'M', 'P', 'T'), /* handler type of an importer without XREF */
    kRcResParm = RC_FOURCC('P', 'A', 'R', 'M'),
    kRcResImageFilterInfo = RC_FOURCC('P', 'i', 'M', 'I'), /* ID 1: 16-bit version first */
    kRcResImageFilterName = RC_FOURCC('Q', '7', 'F', 'M'), /* ID 1: 2 bytes, then the name */
    kRcResFilterVersion = RC_FOURCC('F', 'L', 'v', 's'),
    kRcResDrawVersion = RC_FOURCC('D', 'R', 'v', 's'),
    kRcResDeviceVersion = RC_FOURCC('D', 'V', 'v', 's'),
    kRcResExportVersion = RC_FOURCC('E', 'X', 'v', 's'),
    kRcResHandlerVersion = RC_FOURCC('D', 'H', 'v', 's'),
    kRcResExportFilterVersion = RC_FOURCC('B', 'N', 'v', 's'),
    kRcResEffectVersion = RC_FOURCC('F', 'X', 'v', 's')
};

/* 'PARM' 16000 on a video filter or effect; 'PARM' 16 on an image filter
   keeps it from being registered. */
enum { kRcParmNeedsLatestID = 16000, kRcParmImageFilterHiddenID = 16 };

#pragma pack(push, 1)
/* 'XREF' 1000: a 16-bit count minus one, then the entries. The library's
   cross-reference table has the same layout, followed by a zero 32-bit word. */
typedef struct RcXrefEntry {
    RcOSType fileType;
    RcOSType handlerType;
    RcOSType kind; /* 'PICT' for stills, or the importer's code for movies or sound */
    uint16_t flags;
} RcXrefEntry;

/* An entry of the library's override table: a 16-bit count, then these. In
   an 'OVRD' resource the entries are packed: type, value and the name with
   its NUL, one after the other. */
typedef struct RcOvrdEntry {
    RcOSType type;
    int16_t value;
    char name[21]; /* up to 19 characters and a NUL; a longer name is stored empty */
} RcOvrdEntry;
#pragma pack(pop)

RC_SDK_ASSERT(sizeof(RcXrefEntry) == 14, "cross-reference entries are 14 bytes");
RC_SDK_ASSERT(offsetof(RcXrefEntry, flags) == 12, "flags follow the three codes");
RC_SDK_ASSERT(sizeof(RcOvrdEntry) == 27, "override entries are 27 bytes");

/* Cross-reference flags. Bits 0 to 9 are also the type's class for file
   dialogs; bits 1 to 4 choose the group in which the table is sorted. */
enum {
    kRcXrefStill = 0x0010,
    kRcXrefCanWriteTimecode = 0x0200,
    kRcXrefCanWriteMetadata = 0x0400,
    kRcXrefNoBatch = 0x0800,
    kRcXrefLocatable = 0x2000
};

/* 'XRFF' 1000: entries of {file type (32-bit), description (C string),
   extensions (C string: without dots, separated by semicolons; a star may
   precede one)}, ended by a zero 32-bit word. */

/* 'FLAG' 1000 of an export module: its first 16-bit word is ORed into the
   module's entry of the export list. Only bits 13 to 15 are kept there. */
enum { kRcExportFlagMask = 0xE000, kRcExportModuleFlag = 0x2000 };

#endif
