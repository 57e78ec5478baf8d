/* The plug-in property list ('PiPL' resource): a 32-bit version, a 32-bit
   property count, then the properties. Each property is a 16-byte header
   (vendor, key, ID, data length) followed by its data, padded with zero bytes
   to a multiple of 4. All numbers are little-endian.

   Written in a resource script, a video filter's list reads:

     resource 'PiPL' 16000 {
         int32 0 3                                      # version, 3 properties
         ostype 'Q7IM' 'kind'  int32 0 4  ostype 'VFlt'
         ostype 'Q7IM' 'name'  int32 0 8  pstring "Soften"  int8 0
         ostype 'Q7IM' 'eSVR'  int32 0 4  int16 3 0
     }

   (pstring "Soften" is 7 bytes; one zero byte pads it to 8.) */
#ifndef REELCORE_SDK_PIPL_H
#define REELCORE_SDK_PIPL_H

#include "reelcore/sdk/module.h"

typedef struct RcPiPLHeader {
    int32_t version;
    int32_t count;
} RcPiPLHeader;

typedef struct RcPiPLProperty {
    RcOSType vendor;
    RcOSType key;
    int32_t id;
    int32_t length; /* of the data, without the padding */
} RcPiPLProperty;

RC_SDK_ASSERT(sizeof(RcPiPLHeader) == 8, "the list header is 8 bytes");
RC_SDK_ASSERT(sizeof(RcPiPLProperty) == 16, "a property header is 16 bytes");

enum {
    kRcPiPLVendor = RC_FOURCC('Q', '7', 'I', 'M'),     /* the common properties */
    kRcPiPLHostVendor = RC_FOURCC('F', 'm', 'M', 'r'), /* this host's own */

    kRcPiPLKind = RC_FOURCC('k', 'i', 'n', 'd'),       /* 32-bit kind code */
    kRcPiPLName = RC_FOURCC('n', 'a', 'm', 'e'),       /* counted string */
    kRcPiPLMatchName = RC_FOURCC('e', 'M', 'N', 'A'),  /* counted string, at most 31 used */
    kRcPiPLCategory = RC_FOURCC('c', 'a', 't', 'g'),   /* counted string */
    kRcPiPLVersion = RC_FOURCC('v', 'e', 'r', 's'),    /* 32-bit */
    kRcPiPLInterface = RC_FOURCC('e', 'S', 'V', 'R'),  /* 16-bit interface version, 2 spare */
    kRcPiPLCode = RC_FOURCC('w', 'x', '8', '6'),       /* C string: entry point name */
    kRcPiPLAnimFilter = RC_FOURCC('a', 'F', 'L', 'T'), /* RcAnimFilterInfo */
    kRcPiPLAnimParam = RC_FOURCC('a', 'P', 'A', 'R'),  /* RcAnimParamInfo, ID = parameter */
    /* host vendor */
    kRcPiPLEffectText = RC_FOURCC('T', 'E', 'X', 'T'), /* counted string */
    kRcPiPLOptions = RC_FOURCC('p', 'O', 'P', 'T'),    /* option block */
    kRcPiPLWipe = RC_FOURCC('p', 'W', 'I', 'P')        /* up to 4 bytes */
};

/* Animated-filter information ('aFLT'): how many parameters the filter's
   settings hold and how the host treats its pictures. */
typedef struct RcAnimFilterInfo {
    int32_t infoVersion;
    int32_t paramsVersion;
    int32_t flags;
    int32_t paramCount;
    char matchName[32];
    int32_t reserved[4];
} RcAnimFilterInfo;

RC_SDK_ASSERT(sizeof(RcAnimFilterInfo) == 64, "filter information is 64 bytes");
RC_SDK_ASSERT(offsetof(RcAnimFilterInfo, paramCount) == 12, "parameter count at byte 12");

enum {
    kRcAnimMode5 = 0x40,          /* pictures handed over in mode 5 */
    kRcAnimMode3 = 0x80,          /* mode 3 */
    kRcAnimMode1 = 0x100,         /* mode 1 (else 0) */
    kRcAnimAnyAspect = 0x10000,   /* copes with non-square pixels */
    kRcAnimAnyAspectToo = 0x20000 /* likewise */
};

/* One parameter ('aPAR', the property ID is the parameter's index). Hosts
   read it into a cleared 100-byte buffer. */
typedef struct RcAnimParamInfo {
    int32_t index;
    char name[32];
    int32_t dataType; /* RcAnimDataType */
    int32_t uiType;
    int32_t minimum;
    int32_t maximum;
    int32_t defaultValue;
    int32_t reserved1[5];
    int32_t flags; /* kRcAnimParamInterpolate */
    int32_t size;  /* bytes the parameter takes in the settings */
    int32_t reserved2[4];
} RcAnimParamInfo;

RC_SDK_ASSERT(sizeof(RcAnimParamInfo) == 100, "parameter information is 100 bytes");
RC_SDK_ASSERT(offsetof(RcAnimParamInfo, dataType) == 36, "data type at byte 36");
RC_SDK_ASSERT(offsetof(RcAnimParamInfo, flags) == 76, "flags at byte 76");
RC_SDK_ASSERT(offsetof(RcAnimParamInfo, size) == 80, "size at byte 80");

enum { kRcAnimParamInterpolate = 8 };

typedef enum RcAnimDataType {
    kRcAnimOpaque = 0,
    kRcAnimInt8 = 1,
    kRcAnimInt16 = 2,
    kRcAnimInt32 = 3,
    kRcAnimUInt8 = 4,
    kRcAnimUInt16 = 5,
    kRcAnimUInt32 = 6,
    kRcAnimFixed = 7,
    kRcAnimUFixed = 8,
    kRcAnimExtended96 = 9,
    kRcAnimDouble = 10,
    kRcAnimFloat = 11,
    kRcAnimColor = 12
} RcAnimDataType;

#endif
