/* Export modules ("compilers"): the entry point "xCompileEntry", its
   selectors, the records the host hands over and the host services a module
   calls while it writes a movie, a still or an audio file.

   A module of kind 'CMPM' is asked at start-up to describe itself:
   selector kRcCompileStartup with index 0, 1, ... fills one exporter record
   each and answers kRcCompileMoreExporters while another exporter follows
   (at most 1,000); then kRcCompileGetVideoCompressor and
   kRcCompileGetAudioCompressor with index 0 ... 1000, each list ending at
   the first call that fails or leaves the code at -1.

   To export, the host creates and opens the output file and calls
   kRcCompileDoCompile (kRcCompileCustom for a custom export) with a compile
   record. The module pulls rendered frames and audio through the services,
   writes the file through the record's file reference (a file descriptor
   open for reading and writing) and reports progress. Frames are numbered
   from firstFrame up to, but not including, lastFrame.

   An exporter that sets kRcCompileOneFilePerFrame is called once per frame:
   the host makes the numbered files and hands each call a one-frame range. */
#ifndef REELCORE_SDK_EXPORT_H
#define REELCORE_SDK_EXPORT_H

#include "reelcore/sdk/module.h"

#define RC_COMPILE_ENTRY_NAME "xCompileEntry"

struct RcCompileServices;

/* result = xCompileEntry(selector, services, record, index). */
typedef int32_t (*RcCompileEntryProc)(int32_t selector, struct RcCompileServices* services,
                                      void* record, int32_t index);

enum {
    kRcCompileStartup = 0,            /* record: RcCompilerInfo */
    kRcCompileShutdown = 1,           /* record: null */
    kRcCompileGetVideoCompressor = 2, /* record: RcCompressorInfo */
    kRcCompileGetAudioCompressor = 3, /* record: RcAudioCompressorInfo */
    kRcCompileSettings = 5,           /* record: RcCompileSettingsRequest */
    kRcCompileVideoSettings = 6,      /* record: RcCompileSettingsRequest */
    kRcCompileAudioSettings = 7,      /* record: RcCompileSettingsRequest */
    kRcCompileDoCompile = 8,          /* record: RcCompileRecord */
    kRcCompileCustom = 11             /* record: RcCompileRecord */
};

/* Module results. Codes 10 to 18 name the system error shown to the user;
   any other positive code is shown as an input/output error, negative codes
   as the error they are. */
enum {
    kRcCompileOK = 0,
    kRcCompileCancelled = 2, /* by the user; not reported */
    kRcCompileStopped = 3,   /* not reported */
    kRcCompileOutOfMemory = 10,
    kRcCompileFileNotFound = 11,
    kRcCompileTooManyFiles = 12,
    kRcCompilePermission = 13,
    kRcCompileOpenFailed = 14,
    kRcCompileNoVolume = 15,
    kRcCompileDuplicateName = 16,
    kRcCompileFileBusy = 18,
    kRcCompileSettingsChanged = 19, /* selectors 5 to 7: settings taken and marked changed */
    kRcCompileMoreExporters = 20,   /* selector 0: another exporter follows */
    kRcCompileQuiet = 22            /* failed, already reported by the module */
};

/* Results of the host services. */
enum {
    kRcServiceOK = 0,
    kRcServiceCancelled = 2,
    kRcServiceDiskFull = 7,
    kRcServiceNoFrame = 9,
    kRcServiceStopped = 10,
    kRcServiceFileInUse = 18
};

/* Depth mask bits (also the depth field of the compile settings). */
enum {
    kRcDepth1 = 1,
    kRcDepth4 = 2,
    kRcDepth8 = 4,
    kRcDepth16 = 8,
    kRcDepth24 = 16,
    kRcDepth32 = 32
};

/* Audio format bits of RcAudioFormat. */
enum { kRcAudio8Mono = 1, kRcAudio8Stereo = 2, kRcAudio16Mono = 4, kRcAudio16Stereo = 8 };

/* Flags of RcCompilerInfo.flags, set by the module. Without any of the
   three kind bits the exporter offers movies and audio. */
enum {
    kRcCompileOneFilePerFrame = 1 << 0,
    kRcCompileMakesMovies = 1 << 1,
    kRcCompileMakesStills = 1 << 2,
    kRcCompileMakesAudio = 1 << 3
};

/* Flags of RcCompressorInfo.flags. */
enum { kRcCompressorNoKeyframes = 1 << 0 };

/* Export kinds of RcCompileRecord.exportKind. */
enum { kRcExportMovie = 0, kRcExportStill = 1, kRcExportAudio = 2, kRcExportCustom = 3 };

#pragma pack(push, 1)

/* A file: located by the path alone (a C string). */
typedef struct RcFSSpec {
    int16_t vRefNum;
    int32_t parID;
    char name[260];
} RcFSSpec;

/* One exporter (selector 0). The host sets fileID and repeatIndex; a name
   left empty becomes the module's display text. */
typedef struct RcCompilerInfo {
    int16_t fileID;
    RcOSType fileType;
    RcOSType classID; /* '????': accepts any class */
    char name[256];   /* C string */
    int32_t repeatIndex;
    int32_t customExport; /* nonzero: listed among the custom exporters */
    uint32_t flags;       /* kRcCompile... flags above */
    char extension[8];    /* of the files it writes, without the dot ("avi") */
    uint8_t moduleData[138];
} RcCompilerInfo;

/* One video compressor (selector 2). The host fills the defaults noted. */
typedef struct RcCompressorInfo {
    int16_t fileID;
    RcOSType code;        /* -1 (left untouched) ends the list */
    char name[256];       /* 'RAW ' without a name is called "Uncompressed" */
    uint32_t depthMask;   /* 60: 8, 16, 24 and 32 bits */
    int32_t info;         /* 4 */
    int32_t minValue;     /* 1 */
    int32_t minWidth;     /* 1 */
    int32_t minHeight;    /* 1 */
    int32_t maxWidth;     /* 4000 */
    int32_t maxHeight;    /* 4000 */
    uint8_t fixedRate;    /* 0; nonzero imposes rateScale / rateValue frames a second */
    int32_t rateValue;    /* ticks per frame */
    int32_t rateScale;    /* ticks per second */
    int32_t qualityLimit; /* -1: none, else 0..100 */
    int32_t reserved1;    /* -1 */
    RcOSType fileType;    /* of the exporter */
    RcOSType classID;
    uint32_t flags; /* kRcCompressorNoKeyframes */
    int32_t reserved2;
} RcCompressorInfo;

/* A supported audio format: kRcAudio... bits, and a rate or -1 for any. */
typedef struct RcAudioFormat {
    int32_t bits;
    int32_t rate;
} RcAudioFormat;

/* One audio compressor (selector 3). The format list ends at an entry whose
   bits are 0 and holds at most 64 entries; the host copies it. */
typedef struct RcAudioCompressorInfo {
    int16_t fileID;
    RcOSType code; /* -1 (left untouched) ends the list */
    char name[256];
    const RcAudioFormat* formats; /* null: any format */
    RcOSType fileType;
    RcOSType classID;
    uint8_t reserved[3];
} RcAudioCompressorInfo;

/* Selectors 5 to 7: the module may replace settings (a block it made with the
   memory services, freeing the old one) and answers 0 or 19 to keep it. */
typedef struct RcCompileSettingsRequest {
    void* settings;
    RcOSType fileType;
    RcOSType compressor; /* selectors 6 and 7 */
} RcCompileSettingsRequest;

/* The export settings, filled from the settings of the export kind. */
typedef struct RcCompileSettings {
    void* compilerPrefs; /* the exporter's own settings */
    int32_t doVideo;
    int32_t doAudio;
    RcOSType videoCompressor;
    int32_t depth; /* one depth mask bit */
    int32_t quality;
    int32_t dataRate;      /* 0: none */
    int32_t recompression; /* 0 never, 1 always, 2 to keep the data rate */
    int32_t keyframeEvery; /* 1: every frame */
    void* compressorPrefs;
    int32_t expandStills;
    int32_t reserved0;
    const uint32_t* palette; /* 256 entries 0x00RRGGBB, or null */
    void* audioCompressorPrefs;
    RcOSType audioCompressor;
    int32_t width;
    int32_t height;
    int32_t timeScale;      /* ticks per second */
    int32_t timeSampleSize; /* ticks per frame */
    int32_t timeOne;        /* 1 */
    int32_t fieldType;
    int32_t audioRate;
    int32_t bitsPerSample;    /* 8 or 16 */
    int32_t channels;         /* 1 or 2 */
    int32_t audioBlockFrames; /* frames of audio to write between video frames */
    int32_t interleave;
    int32_t cropTop;
    int32_t cropLeft;
    int32_t cropBottom;
    int32_t cropRight;
    int32_t resizeToCrop;
    int32_t gamma;
    uint16_t pixelAspectNum;
    uint16_t pixelAspectDen;
} RcCompileSettings;

/* The compile record (selectors 8 and 11). */
typedef struct RcCompileRecord {
    RcCompileSettings settings;
    RcFSSpec output;
    int16_t reserved1;
    intptr_t fileRef; /* open for reading and writing; -1 none */
    int32_t firstFrame;
    int32_t lastFrame;  /* exclusive */
    int32_t exportKind; /* kRcExport... */
    int32_t reserved2[3];
} RcCompileRecord;

/* How a delivered frame relates to the export. */
typedef struct RcCompileFrameInfo {
    int32_t identicalFrames; /* this and the following frames that look the same (>= 1) */
    int32_t startsEdit;
    int32_t keyframe;
} RcCompileFrameInfo;

/* ---- Host services, grouped ---- */

typedef struct RcCompileClassDataFuncs {
    int16_t (*setClassData)(RcOSType type, void* data);
    void* (*getClassData)(RcOSType type);
} RcCompileClassDataFuncs;

/* Values of the current compile record for getRecordValue. */
enum {
    kRcValueWidth = 0,
    kRcValueHeight = 1,
    kRcValueFirstFrame = 2,
    kRcValueLastFrame = 3,
    kRcValueAudioRate = 4,
    kRcValueBitsPerSample = 5,
    kRcValueChannels = 6,
    kRcValueTimeScale = 7,
    kRcValueTimeSampleSize = 8
};

typedef struct RcCompileAudioFuncs {
    /* The audio of frames [firstFrame, firstFrame + frameCount) in the
       record's format; *samples stays valid until the next call. The sample
       positions are frame times rounded, so consecutive blocks join up. */
    int32_t (*getAudio)(int32_t firstFrame, int32_t frameCount, void** samples, int32_t* byteCount);
    intptr_t (*getRecordValue)(int32_t which); /* -1 for an unknown value */
} RcCompileAudioFuncs;

typedef struct RcCompileVideoFuncs {
    /* Frame n as 32-bit B, G, R, A pixels, rows bottom-up; valid until the
       next frame call. */
    int32_t (*getFrame)(int32_t frame, void** pixels, int32_t* rowBytes, RcCompileFrameInfo* info);
    /* The same at 24 bits (B, G, R, rows padded to 4 bytes) or 32 bits. */
    int32_t (*getFrameAtDepth)(int32_t frame, int32_t bitsPerPixel, void** pixels,
                               int32_t* rowBytes, RcCompileFrameInfo* info);
    void* (*newBlock)(void); /* 128 KB, cleared */
    void (*disposeBlock)(void* block);
    /* Adds a 32-bit picture to 32768 counters indexed by the 15-bit colour
       (R >> 3) << 10 | (G >> 3) << 5 | B >> 3. */
    int32_t (*countColours)(const void* pixels, int32_t rowBytes, int32_t width, int32_t height,
                            uint32_t* counters);
    /* Writes a 32-bit picture (rows bottom-up) as a PNG file at the file
       reference's current position. */
    int32_t (*writePNG)(const void* pixels, int32_t rowBytes, int32_t width, int32_t height,
                        intptr_t fileRef);
    /* The time of frame n in ticks of the record's time base. */
    int32_t (*frameTicks)(int32_t frame);
    void (*freeRegion)(void* region);
    void (*beep)(void);
} RcCompileVideoFuncs;

typedef struct RcCompileMemoryFuncs {
    void* (*newPtrClear)(int32_t size);
    int16_t (*setPtrSize)(void** p, int32_t size); /* the block may move */
    int32_t (*getPtrSize)(void* p);
    void (*disposePtr)(void* p);
} RcCompileMemoryFuncs;

typedef struct RcCompileStatusFuncs {
    void (*setProgressText)(const char* text);
    /* 0 to go on, kRcServiceCancelled or kRcServiceStopped to stop. */
    int32_t (*progress)(int32_t done, int32_t total);
} RcCompileStatusFuncs;

typedef struct RcCompileFileFuncs {
    /* kRcServiceFileInUse (after telling the user) when the library uses the
       file, else 0. */
    int32_t (*checkFile)(const RcFSSpec* file);
} RcCompileFileFuncs;

typedef struct RcCompileServiceGroups {
    const RcCompileClassDataFuncs* classData;
    const RcCompileAudioFuncs* audio;
    const RcCompileVideoFuncs* video;
    const void* unused;
    const RcCompileMemoryFuncs* memory;
    const RcCompileStatusFuncs* status;
    const RcCompileFileFuncs* file;
} RcCompileServiceGroups;

enum { kRcCompileServicesVersion = 3 };

typedef struct RcCompileServices {
    int32_t version; /* 3 */
    int32_t reserved;
    const RcCompileServiceGroups* groups;
    intptr_t hostValue;
} RcCompileServices;

#pragma pack(pop)

#define RC_SDK_PTR_EXTRA (sizeof(void*) - 4)
RC_SDK_ASSERT(sizeof(RcFSSpec) == 266, "a file is 266 bytes");
RC_SDK_ASSERT(sizeof(RcCompilerInfo) == 424, "the exporter record is 424 bytes");
RC_SDK_ASSERT(offsetof(RcCompilerInfo, name) == 10 && offsetof(RcCompilerInfo, flags) == 274,
              "exporter record offsets");
RC_SDK_ASSERT(sizeof(RcCompressorInfo) == 323, "the video compressor record is 323 bytes");
RC_SDK_ASSERT(offsetof(RcCompressorInfo, depthMask) == 262 &&
                  offsetof(RcCompressorInfo, fixedRate) == 290 &&
                  offsetof(RcCompressorInfo, fileType) == 307,
              "video compressor record offsets");
RC_SDK_ASSERT(sizeof(RcAudioFormat) == 8, "audio format entries are 8 bytes");
RC_SDK_ASSERT(sizeof(RcAudioCompressorInfo) == 277 + RC_SDK_PTR_EXTRA,
              "the audio compressor record is 277 bytes with a 4-byte pointer");
RC_SDK_ASSERT(offsetof(RcAudioCompressorInfo, formats) == 262, "the format list follows the name");
RC_SDK_ASSERT(sizeof(RcCompileSettingsRequest) == 8 + RC_SDK_PTR_EXTRA + 4, "settings requests");
RC_SDK_ASSERT(sizeof(RcCompileSettings) == 116 + 4 * sizeof(void*), "compile settings");
RC_SDK_ASSERT(offsetof(RcCompileSettings, width) == 44 + 4 * sizeof(void*) &&
                  offsetof(RcCompileSettings, cropTop) == 88 + 4 * sizeof(void*),
              "compile settings offsets");
RC_SDK_ASSERT(sizeof(RcCompileRecord) ==
                  sizeof(RcCompileSettings) + 266 + 2 + sizeof(intptr_t) + 24,
              "the compile record");
RC_SDK_ASSERT(sizeof(RcCompileFrameInfo) == 12, "frame descriptions are 12 bytes");
RC_SDK_ASSERT(sizeof(RcCompileServiceGroups) == 7 * sizeof(void*), "seven service groups");
RC_SDK_ASSERT(sizeof(RcCompileServices) == 8 + 2 * sizeof(void*), "the services record");
RC_SDK_ASSERT(sizeof(RcCompileVideoFuncs) == 9 * sizeof(void*), "nine video services");
#undef RC_SDK_PTR_EXTRA

#endif
