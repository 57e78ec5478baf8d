/* Keyframed filter parameters as plug-in modules and project files see them:
   the CompSpec key list, the XE parameter block with its parameter records,
   the animation parameter property ('aPAR') fields the host reads, and the
   FltD blending table. Every record here is a fixed byte layout; all numbers
   are native little-endian. */
#ifndef REELCORE_SDK_KEYFRAMES_H
#define REELCORE_SDK_KEYFRAMES_H

#include "reelcore/sdk/module.h"
#include "reelcore/sdk/pipl.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- CompSpec: a filter's keys ----
   The header is followed by nSpecs keys, each a signed 32-bit time and then
   specSize bytes of parameter data (a SingleSpec's bytes). */
#define kCompSpecMagic1 ((uint32_t)0x52616E64) /* 'Rand' */
#define kCompSpecMagic2 ((uint32_t)0x52616E66) /* 'Ranf' */

#pragma pack(push, 1)
typedef struct FmCompSpecHeader {
    uint32_t mag1;
    uint32_t mag2;
    int32_t nSpecs;
    int32_t specSize;
} FmCompSpecHeader;
#pragma pack(pop)

enum { kCompSpecHeaderSize = 16, kCompSpecTimeSize = 4 };

/* ---- XE parameter block: the SingleSpec of an 'eFKT' filter ----
   The 536-byte header, then the parameter records, each on a multiple of 4.
   offsets[] count from the end of the header; -1 marks an empty slot. A
   record runs to the next present slot's record, the last one to size - 536. */
#define kXEBlockMagic ((uint32_t)0xCE40F00D)
#define kXEBlockKind ((uint32_t)0x65464B54) /* 'eFKT' */

enum {
    kXEMaxParams = 127,
    kXEBlockHeaderSize = 536,
    kXEBlockVersion = 1,
    kXERecordHeadSize = 56,
    kXEArbRecordSize = 148, /* a live arbitrary-data record */
    kXEArbHandleOffset = 64 /* its data Handle, counted from the record's start */
};

#pragma pack(push, 1)
typedef struct FmXEBlockHeader {
    uint32_t m1;   /* kXEBlockMagic */
    uint32_t m2;   /* kXEBlockKind */
    uint32_t ver;  /* kXEBlockVersion */
    uint32_t size; /* the whole block, header included */
    uint32_t fID;  /* FileID of the filter module in the low 16 bits */
    uint32_t flat; /* low byte: 0 live, 1 flattened */
    uint32_t nParams;
    int32_t offsets[kXEMaxParams];
} FmXEBlockHeader;

/* The head every parameter record starts with; the type's body follows. */
typedef struct FmXERecordHead {
    uint32_t id; /* flattened: the registered parameter's identifier; live: 0 */
    uint32_t uiFlags;
    int16_t uiWidth;
    int16_t uiHeight;
    int32_t type; /* kXEParam... */
    char name[32];
    uint32_t flags; /* kXEParamCannotInterp ... */
    uint32_t unused;
} FmXERecordHead;

/* A live arbitrary-data record: the data is the filter's, reached through a
   Handle kept in a 4-byte word (Handle records sit below 2 GB). */
typedef struct FmXEArbRecord {
    FmXERecordHead head;
    uint32_t id;         /* body + 0 */
    uint32_t pad;        /* body + 4 */
    uint32_t dataHandle; /* body + 8: HandleToWord of the data, 0 when none */
    uint8_t rest[kXEArbRecordSize - kXEArbHandleOffset - 4];
} FmXEArbRecord;
#pragma pack(pop)

/* Parameter types of XE records. */
enum {
    kXEParamLayer = 0,
    kXEParamSlider = 1,
    kXEParamFixedSlider = 2,
    kXEParamAngle = 3,
    kXEParamCheckbox = 4,
    kXEParamColor = 5,
    kXEParamPoint = 6,
    kXEParamPopup = 7,
    kXEParamFloatSlider = 10,
    kXEParamArbitrary = 11,
    kXEParamPath = 12
};

/* Parameter flag: the value holds from one key to the next (no blending). */
enum { kXEParamCannotInterp = 4 };

/* ---- Animation description ----
   The 'aFLT' and 'aPAR' properties of the module's PiPL (reelcore/sdk/pipl.h:
   RcAnimFilterInfo, RcAnimParamInfo and the RcAnimDataType numbers). Of each
   'aPAR' record the host reads the data type (byte 36), the flags (byte 76,
   kRcAnimParamInterpolate) and the size (byte 80). */

/* ---- FltD table: resource 'FltD' 1 of a filter module ----
   Entries are walked in order over the parameter bytes; kind 0 copies
   `count` bytes, kinds 1 to 9 blend one value each. A kind above 9 makes the
   table unusable. Note the numbering differs from the 'aPAR' data types. */
#pragma pack(push, 1)
typedef struct FmFltDEntry {
    int16_t kind;
    int16_t count;
} FmFltDEntry;
#pragma pack(pop)

enum {
    kFltDCopy = 0,
    kFltDChar = 1,
    kFltDShort = 2,
    kFltDLong = 3,
    kFltDUnsignedChar = 4,
    kFltDUnsignedShort = 5,
    kFltDUnsignedLong = 6,
    kFltDDouble = 7,
    kFltDDouble2 = 8,
    kFltDFloat = 9
};
#define kFltDResType ((uint32_t)0x466C7444) /* 'FltD' */
enum { kFltDResID = 1 };

#ifdef __cplusplus
}
#endif

RC_SDK_ASSERT(sizeof(FmCompSpecHeader) == 16, "the CompSpec header is 16 bytes");
RC_SDK_ASSERT(offsetof(FmCompSpecHeader, nSpecs) == 8 && offsetof(FmCompSpecHeader, specSize) == 12,
              "CompSpec counts at bytes 8 and 12");
RC_SDK_ASSERT(sizeof(FmXEBlockHeader) == 536, "the XE block header is 536 bytes");
RC_SDK_ASSERT(offsetof(FmXEBlockHeader, size) == 12 && offsetof(FmXEBlockHeader, flat) == 20 &&
                  offsetof(FmXEBlockHeader, nParams) == 24 &&
                  offsetof(FmXEBlockHeader, offsets) == 28,
              "XE block header fields");
RC_SDK_ASSERT(sizeof(FmXERecordHead) == 56, "a parameter record's head is 56 bytes");
RC_SDK_ASSERT(offsetof(FmXERecordHead, type) == 12 && offsetof(FmXERecordHead, flags) == 48,
              "record head: type at 12, flags at 48");
RC_SDK_ASSERT(sizeof(FmXEArbRecord) == 148, "a live arbitrary-data record is 148 bytes");
RC_SDK_ASSERT(offsetof(FmXEArbRecord, dataHandle) == 64, "the data Handle is at record byte 64");
RC_SDK_ASSERT(sizeof(FmFltDEntry) == 4, "a FltD entry is 4 bytes");

RC_SDK_ASSERT(offsetof(RcAnimParamInfo, dataType) == 36 && offsetof(RcAnimParamInfo, flags) == 76 &&
                  offsetof(RcAnimParamInfo, size) == 80,
              "the aPAR words the host reads");

#endif
