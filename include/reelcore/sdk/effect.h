/* Filters, transitions, device controllers and export-effect modules.

   Entry points (resolved by name; each returns 0 for success):

     kind     entry        called as
     'SPFX'   "xEffect"    xEffect(selector, record Handle: RcEffectRecord)
     'VFlt'   "xFilter"    xFilter(selector, record Handle: RcVideoFilterRecord)
     'AFlt'   "xFilter"    xFilter(selector, record Handle: RcAudioFilterRecord)
     'Q7FM'   the PiPL code property, else "ENTRYPOINT1":
                           entry(selector, RcImagistRecord*, &data word, &result)
     'ExpM'   "xExport"    xExport(selector, RcExportModuleRecord*)
     'DevC'   "xDevice"    xDevice(selector, record Handle: RcDeviceRecord)

   A module of version 3 (its 'eSVR' or version resource) receives the
   records below; a module of version 2 receives the older records (the *V2
   layouts), whose settings and private-data words the host copies back after
   the call. Modules of other versions are never called.

   Handles inside records are 4-byte words (Handle records live in the low
   2 GB): turn one into a usable handle with RC_HANDLE. Function pointers and
   other addresses are pointer-sized. A handle's first word is the address of
   its bytes. Pictures (ppix) are handles of RcPixelBuffer records: 32-bit
   pixels B, G, R, A with the rows stored bottom-up. A module that replaces
   a settings Handle in its record disposes of the one it replaced. */
#ifndef REELCORE_SDK_EFFECT_H
#define REELCORE_SDK_EFFECT_H

#include "reelcore/sdk/module.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef char** RcHandle;
typedef uint32_t RcHandleWord;
#define RC_HANDLE(word) ((RcHandle)(uintptr_t)(word))
#define RC_HANDLE_WORD(h) ((RcHandleWord)(uintptr_t)(h))

typedef struct RcRect {
    int32_t left, top, right, bottom;
} RcRect;

typedef struct RcPoint {
    int32_t x, y;
} RcPoint;

/* A time record: value / scale seconds; scale / samp is the frame rate. */
typedef struct RcTimeBase {
    int32_t value, scale, samp;
} RcTimeBase;

/* The start of a picture's record (what a ppix handle leads to). Image row y
   of a picture of height h starts at pixels + rowBytes * (h - 1 - y). */
typedef struct RcPixelBuffer {
    RcRect bounds;
    int32_t rowBytes;
    int32_t depth; /* 32 */
    int32_t pixelFormat;
    int32_t reserved;
    char* pixels; /* the bottom row */
} RcPixelBuffer;

#define RC_PIXELS(word) ((RcPixelBuffer*)*RC_HANDLE(word))

/* Services the host offers every module through its record: memory the
   host owns (settings and parameters are such handles) and the processor
   pool, which runs horizontal bands of pixel work on worker threads. */
typedef void (*RcBandProc)(void* block);
typedef struct RcHostServices {
    RcHandle (*newHandle)(uint32_t size); /* zero-filled; null without memory */
    void (*disposeHandle)(RcHandle h);
    uint32_t (*getHandleSize)(RcHandle h);
    int16_t (*setHandleSize)(RcHandle h, uint32_t size); /* 0 or -108 */
    /* How many bands to cut the work into (1: run it alone); when above 1
       the pool is held until runBands. */
    int32_t (*lockBands)(int32_t bands);
    /* fn on each of count blocks, stride bytes apart; returns when all ran. */
    void (*runBands)(int32_t count, RcBandProc fn, void* blocks, int32_t stride);
} RcHostServices;

/* Fetches another frame of the source for the module: `offset` frames from
   the current one, into picture `pix`, covering `rect`, with the frame
   callback data the record carries. 0 on success. */
typedef int16_t (*RcFrameCallback)(int32_t offset, RcHandleWord pix, const RcRect* rect,
                                   RcHandleWord privateData);

/* ---- Frame-callback data (the record's privateData) ----
   The host checks magic and kind before it trusts a block. */
#define kRcFrameDataMagic RC_FOURCC('F', 'C', 'B', 'D')
#define kRcFrameDataTimeline RC_FOURCC('T', 'L', 'I', 'N') /* transitions: a track table */
#define kRcFrameDataClip RC_FOURCC('C', 'L', 'I', 'P')     /* filters: a clip */

typedef struct RcFrameCallbackData {
    uint32_t magic; /* kRcFrameDataMagic */
    uint32_t kind;  /* kRcFrameDataTimeline or kRcFrameDataClip */
    int32_t time;   /* the frame's time in tdb */
    RcTimeBase tdb;
    RcHandleWord trackTable; /* timeline kind */
    int32_t clipID;          /* clip kind: the clip the filters belong to */
    RcHandleWord filterList; /* clip kind: the clip instance's filter list */
    int32_t filterIndex;     /* clip kind: entries before the running filter */
    int32_t fieldFlags;
    int32_t reserved[4];
} RcFrameCallbackData;

/* ---- Selectors ---- */
enum {
    kRcFilterProcess = 0,
    kRcFilterSetup = 1,
    kRcFilterAspectQuery = 4, /* answer bit 2: square pixels for process; bit 1: for setup */
    kRcFilterUseSettings = 5, /* answer 1 when present settings are enough (no setup) */
    kRcFilterNoAspect = 0x8000
};
enum {
    kRcEffectProcess = 0,
    kRcEffectSetup = 1,
    kRcEffectDisposeData = 5, /* release sequenceData */
    kRcEffectAspectQuery = 6  /* answer 0 or bit 2: render on square pixels */
};
enum { kRcModuleUnsupported = 2 };

/* ---- Effect record, version 6 (transitions) ---- */
enum { kRcEffectRecordVersion = 6 };

typedef struct RcEffectRecord {
    RcHandleWord specsHandle; /* settings */
    RcHandleWord source1, source2, destination;
    int32_t part, total; /* progress; total is never 0 */
    uint8_t previewing;
    uint8_t arrowFlags;
    uint8_t reverse;
    uint8_t source;
    RcPoint startPoint, endPoint, centerPoint; /* mapped onto the frame */
    RcHandleWord privateData;                  /* RcFrameCallbackData */
    RcFrameCallback callBack;
    const void* utilities; /* the application's utility table */
    int16_t version;       /* kRcEffectRecordVersion */
    int16_t flags;
    int32_t reserved0;
    const RcTimeBase* tdb;
    intptr_t hostData;         /* the host's shared callbacks */
    RcHandleWord sequenceData; /* the module's own; released with kRcEffectDisposeData */
    char title[32];            /* C string; setup may change it */
    int32_t reserved1;
    const RcHostServices* host;
} RcEffectRecord;

/* The older record of version-2 transitions (74 bytes, packed). */
#pragma pack(push, 1)
typedef struct RcEffectRecordV2 {
    RcHandleWord specsHandle;
    RcHandleWord source1, source2, destination;
    int32_t part, total;
    uint8_t previewing, arrowFlags, reverse, source;
    RcPoint startPoint, endPoint;
    RcHandleWord privateData;
    RcFrameCallback callBack;
    const void* utilities;
    int16_t version; /* 2 */
    int16_t flags;
    int32_t reserved0;
    int16_t reserved1;
} RcEffectRecordV2;
#pragma pack(pop)

/* ---- Video filter record, version 7 ---- */
enum { kRcVideoFilterRecordVersion = 7 };

typedef struct RcVideoFilterRecord {
    RcHandleWord specsHandle; /* the SingleSpec for this frame */
    RcHandleWord source, destination;
    int32_t part, total; /* position in the clip; total is the clip's width */
    uint8_t previewing;
    uint8_t reserved0[3];
    RcHandleWord privateData; /* RcFrameCallbackData */
    int32_t reserved1;
    RcFrameCallback callBack;
    const void* utilities;
    int16_t version;    /* kRcVideoFilterRecordVersion */
    int16_t fieldFlags; /* 0x400 / 0x800: width / height halved; 32 in setup */
    int32_t word;
    const RcTimeBase* tdb;
    intptr_t filterData; /* the module's persistent word */
    intptr_t hostData;
    char instanceName[32]; /* C string; setup may set it */
    const RcHostServices* host;
} RcVideoFilterRecord;

#pragma pack(push, 1)
typedef struct RcVideoFilterRecordV2 {
    RcHandleWord specsHandle;
    RcHandleWord source, destination;
    int32_t part, total;
    uint8_t previewing;
    RcHandleWord privateData;
    RcFrameCallback callBack;
    const void* utilities;
    int16_t version; /* 2 */
    int16_t fieldFlags;
    int32_t word;
    int32_t reserved0;
    int16_t reserved1;
} RcVideoFilterRecordV2;
#pragma pack(pop)

/* ---- Audio filter record ----
   One block of samples: count sample frames from source to destination (they
   may be the same buffer), in format (0x100 stereo, 0x200 16-bit) at rate.
   specsHandle holds the settings at the block's first sample, endSpecsHandle
   those at its last; a filter may ramp between them. position is the block's
   first sample frame counted from the clip's start, total the clip's length
   in sample frames. */
enum { kRcAudioFilterRecordVersion = 1 };
enum { kRcAudioStereo = 0x100, kRcAudio16Bit = 0x200 };

typedef struct RcAudioFilterRecord {
    int16_t version; /* kRcAudioFilterRecordVersion */
    int16_t reserved0;
    RcHandleWord specsHandle;
    RcHandleWord endSpecsHandle;
    int32_t count; /* sample frames */
    const void* source;
    void* destination;
    int64_t position;
    int64_t total;
    int32_t format;
    int32_t rate;
    RcHandleWord privateData;
    int32_t clipID; /* the clip whose keys apply; 0 for keys in sample frames */
    const void* utilities;
    intptr_t hostData;
    const RcHostServices* host;
} RcAudioFilterRecord;

#pragma pack(push, 1)
typedef struct RcAudioFilterRecordV2 {
    RcHandleWord specsHandle;
    const void* source;
    void* destination;
    int32_t count;
    int32_t format;
    int32_t rate;
    RcHandleWord privateData;
    const void* utilities;
    int16_t version; /* 2 */
    uint8_t reserved;
} RcAudioFilterRecordV2;
#pragma pack(pop)

/* ---- Filter list: one entry per filter of a clip instance ---- */
#pragma pack(push, 1)
typedef struct RcFilterListEntry {
    int16_t fileID;         /* the filter module */
    RcHandleWord compSpec;  /* its keys */
    RcHandleWord fixedSpec; /* XE filters: parameters that do not vary */
    uint8_t collapsed;
    uint8_t shy; /* non-zero: switched off */
    uint8_t animate;
    uint8_t unflatdata; /* 1: the sequence data is live */
    RcHandleWord sequenceData;
    char instanceName[32]; /* C string */
    int32_t flags;
    int32_t r3, r4;
} RcFilterListEntry;

/* ---- Transition settings block, stored with the transition item ---- */
typedef struct RcTransitionSettings {
    uint8_t source; /* direction */
    uint8_t reverse;
    uint8_t antiAliasPasses;
    int16_t startPercent; /* x 100: 0 ... 10000 */
    int16_t endPercent;   /* 10000 = 100 % */
    int16_t borderWidth;
    uint32_t borderColor;
    RcPoint startPoint; /* in a 117 x 87 reference frame */
    RcPoint endPoint;
    RcPoint centerPoint;
    RcHandleWord settings; /* becomes specsHandle */
} RcTransitionSettings;
#pragma pack(pop)

/* ---- Imagist-style filters ('Q7FM') ----
   entry(selector, record, &data, &result): data is the module's persistent
   word, result its answer. The host runs kRcImagistAbout alone; setup as
   parameters, prepare, start, continue ..., finish; processing as prepare,
   start, continue ..., finish. Parameters are host memory: a block the
   module makes with the record's host services, whose first 4 bytes the
   host keeps as a form tag (0 to 5) in the stored settings. */
enum {
    kRcImagistAbout = 0,
    kRcImagistParameters = 1,
    kRcImagistPrepare = 2,
    kRcImagistStart = 3,
    kRcImagistContinue = 4,
    kRcImagistFinish = 5
};
#define kRcImagistHostSignature RC_FOURCC('Q', '7', ')', 'M')
enum { kRcImagistMaxSpace = 2000000, kRcImagistModeRGB = 3, kRcImagistResolution72 = 0x480000 };

typedef void (*RcImagistEntry)(int16_t selector, void* record, intptr_t* data, int16_t* result);

/* 452 bytes: packed to 4-byte words. */
#pragma pack(push, 4)
typedef struct RcImagistRecord {
    int32_t serial;
    int32_t version;        /* 4 */
    uint32_t hostSignature; /* kRcImagistHostSignature */
    int32_t maxSpace;
    intptr_t parentWindow;
    RcHandle parameters; /* module parameter memory */
    int16_t imageRows, imageColumns;
    int16_t imageMode;            /* 3: RGB */
    int16_t planes;               /* alpha mode; 3 during setup */
    int32_t imageHRes, imageVRes; /* 16.16 dots per inch */
    RcRect filterRect, inRect, outRect;
    uint8_t backColor[4], foreColor[4];
    int32_t scaleH, scaleV;          /* 16.16 */
    void* inData;                    /* top row of the input */
    void* outData;                   /* top row of the output */
    int32_t inRowBytes, outRowBytes; /* negative: rows go up in memory */
    int32_t inHiPlane, outHiPlane;
    int32_t mode; /* the host's picture mode (0, 1, 3 or 5) */
    int32_t abortRequested;
    const RcHostServices* host;
    RcPixelBuffer* source; /* the pictures themselves */
    RcPixelBuffer* destination;
    uint8_t reserved[452 - 176];
} RcImagistRecord;
#pragma pack(pop)

/* ---- Device controllers ('DevC') ----
   xDevice(selector, record Handle: RcDeviceRecord). Start-up fills features
   and name; a command (kRcDeviceCommand) sets the transport; each status
   poll (kRcDeviceStatus) reports mode and timecode, the deck having moved
   since the last poll. The host runs one device call at a time: a device
   call made while another runs answers 1 without reaching the module. */
enum { kRcDeviceStartup = 0, kRcDeviceShutdown = 1, kRcDeviceCommand = 2, kRcDeviceStatus = 3 };
enum {
    kRcDeckStop = 0,
    kRcDeckPlay = 1,
    kRcDeckPause = 2,
    kRcDeckRewind = 3,
    kRcDeckFastForward = 4,
    kRcDeckGoto = 5,
    kRcDeckRecord = 6,
    kRcDeckStep = 7,
    kRcDeckShuttle = 8 /* argument: frames per status poll, negative backwards */
};
/* What a deck can do, in features after start-up. */
enum {
    kRcDeckCanPlay = 1,
    kRcDeckCanLocate = 2,
    kRcDeckCanShuttle = 4,
    kRcDeckCanRecord = 8,
    kRcDeckCanStep = 16
};

typedef struct RcDeviceRecord {
    int16_t version;      /* 1 */
    int16_t command;      /* kRcDeck... for kRcDeviceCommand */
    int32_t mode;         /* the deck's state: a kRcDeck... command */
    int32_t timecode;     /* frames */
    int32_t argument;     /* goto: the target frame; step: frames */
    int32_t features;     /* set at start-up */
    int32_t status;       /* module's own code, 0 fine */
    char name[32];        /* C string */
    intptr_t privateData; /* the module's */
    const RcHostServices* host;
} RcDeviceRecord;

/* ---- Export-effect modules ('ExpM') ----
   xExport(kRcExportFrame, record) is handed one finished frame. */
enum { kRcExportStartup = 0, kRcExportFrame = 1, kRcExportShutdown = 2 };
enum { kRcExportModuleRecordVersion = 2 };

typedef struct RcExportModuleRecord {
    int16_t version; /* kRcExportModuleRecordVersion */
    int16_t reserved0;
    int32_t frame; /* number of the frame handed over */
    RcHandleWord picture;
    int32_t reserved1;
    char path[260]; /* where the module should write, C string */
    int32_t result;
    intptr_t privateData;
} RcExportModuleRecord;

/* Entry point signatures. */
typedef int16_t (*RcFilterEntryProc)(int16_t selector, RcHandle record);
typedef int16_t (*RcExportEntryProc)(int16_t selector, void* record);

#ifdef __cplusplus
}
#endif

RC_SDK_ASSERT(sizeof(RcPixelBuffer) == 40 && offsetof(RcPixelBuffer, pixels) == 32,
              "the picture record starts with bounds, four words and the pixels");
RC_SDK_ASSERT(sizeof(RcFrameCallbackData) == 60, "frame-callback data is 60 bytes");
RC_SDK_ASSERT(sizeof(RcEffectRecord) == 144, "the effect record is 144 bytes");
RC_SDK_ASSERT(offsetof(RcEffectRecord, part) == 16 && offsetof(RcEffectRecord, previewing) == 24 &&
                  offsetof(RcEffectRecord, startPoint) == 28 &&
                  offsetof(RcEffectRecord, privateData) == 52 &&
                  offsetof(RcEffectRecord, callBack) == 56 &&
                  offsetof(RcEffectRecord, version) == 72 && offsetof(RcEffectRecord, tdb) == 80 &&
                  offsetof(RcEffectRecord, sequenceData) == 96 &&
                  offsetof(RcEffectRecord, title) == 100 && offsetof(RcEffectRecord, host) == 136,
              "effect record fields");
RC_SDK_ASSERT(sizeof(RcEffectRecordV2) == 74, "the version-2 effect record is 74 bytes");
RC_SDK_ASSERT(offsetof(RcEffectRecordV2, specsHandle) == 0 &&
                  offsetof(RcEffectRecordV2, privateData) == 44 &&
                  offsetof(RcEffectRecordV2, version) == 64,
              "version-2 effect record: settings at 0, private data at 44");
RC_SDK_ASSERT(sizeof(RcVideoFilterRecord) == 120, "the video filter record is 120 bytes");
RC_SDK_ASSERT(offsetof(RcVideoFilterRecord, part) == 12 &&
                  offsetof(RcVideoFilterRecord, privateData) == 24 &&
                  offsetof(RcVideoFilterRecord, callBack) == 32 &&
                  offsetof(RcVideoFilterRecord, version) == 48 &&
                  offsetof(RcVideoFilterRecord, tdb) == 56 &&
                  offsetof(RcVideoFilterRecord, filterData) == 64 &&
                  offsetof(RcVideoFilterRecord, instanceName) == 80 &&
                  offsetof(RcVideoFilterRecord, host) == 112,
              "video filter record fields");
RC_SDK_ASSERT(sizeof(RcVideoFilterRecordV2) == 55, "the version-2 video filter record is 55 bytes");
RC_SDK_ASSERT(offsetof(RcVideoFilterRecordV2, specsHandle) == 0 &&
                  offsetof(RcVideoFilterRecordV2, privateData) == 21 &&
                  offsetof(RcVideoFilterRecordV2, version) == 41,
              "version-2 video filter record: settings at 0, private data at 21");
RC_SDK_ASSERT(sizeof(RcAudioFilterRecord) == 88, "the audio filter record is 88 bytes");
RC_SDK_ASSERT(offsetof(RcAudioFilterRecord, specsHandle) == 4 &&
                  offsetof(RcAudioFilterRecord, source) == 16 &&
                  offsetof(RcAudioFilterRecord, position) == 32 &&
                  offsetof(RcAudioFilterRecord, format) == 48 &&
                  offsetof(RcAudioFilterRecord, privateData) == 56 &&
                  offsetof(RcAudioFilterRecord, utilities) == 64 &&
                  offsetof(RcAudioFilterRecord, host) == 80,
              "audio filter record fields");
RC_SDK_ASSERT(sizeof(RcAudioFilterRecordV2) == 47, "the version-2 audio filter record is 47 bytes");
RC_SDK_ASSERT(offsetof(RcAudioFilterRecordV2, privateData) == 32 &&
                  offsetof(RcAudioFilterRecordV2, version) == 44,
              "version-2 audio filter record: settings at 0, private data at 32");
RC_SDK_ASSERT(sizeof(RcFilterListEntry) == 62, "filter list entries are 62 bytes");
RC_SDK_ASSERT(offsetof(RcFilterListEntry, compSpec) == 2 &&
                  offsetof(RcFilterListEntry, fixedSpec) == 6 &&
                  offsetof(RcFilterListEntry, shy) == 11 &&
                  offsetof(RcFilterListEntry, unflatdata) == 13 &&
                  offsetof(RcFilterListEntry, sequenceData) == 14 &&
                  offsetof(RcFilterListEntry, instanceName) == 18 &&
                  offsetof(RcFilterListEntry, flags) == 50 && offsetof(RcFilterListEntry, r4) == 58,
              "filter list entry fields");
RC_SDK_ASSERT(sizeof(RcTransitionSettings) == 41, "the transition settings block is 41 bytes");
RC_SDK_ASSERT(offsetof(RcTransitionSettings, startPercent) == 3 &&
                  offsetof(RcTransitionSettings, endPercent) == 5 &&
                  offsetof(RcTransitionSettings, borderWidth) == 7 &&
                  offsetof(RcTransitionSettings, borderColor) == 9 &&
                  offsetof(RcTransitionSettings, startPoint) == 13 &&
                  offsetof(RcTransitionSettings, endPoint) == 21 &&
                  offsetof(RcTransitionSettings, settings) == 37,
              "transition settings fields");
RC_SDK_ASSERT(sizeof(RcImagistRecord) == 452, "the Imagist filter record is 452 bytes");
RC_SDK_ASSERT(offsetof(RcImagistRecord, parameters) == 24 &&
                  offsetof(RcImagistRecord, imageRows) == 32 &&
                  offsetof(RcImagistRecord, filterRect) == 48 &&
                  offsetof(RcImagistRecord, inData) == 112 &&
                  offsetof(RcImagistRecord, host) == 152,
              "Imagist record fields");
RC_SDK_ASSERT(sizeof(RcDeviceRecord) == 72, "the device record is 72 bytes");
RC_SDK_ASSERT(sizeof(RcExportModuleRecord) == 288, "the export-effect record is 288 bytes");

#endif
