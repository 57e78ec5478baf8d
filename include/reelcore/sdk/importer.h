/* Importer modules: the entry point "xImportEntry" and its selectors.

   An importer declares the file types it reads either in resources ('XREF'
   and 'XRFF' 1000, see kinds.h) or, without 'XREF', when asked: the host
   names the importer's handler type in 'IMPT' 1000 and calls selector
   kRcImportGetIndFileType with index 0, 1, ... until the importer answers
   anything but 0 (at most 1,000 times). */
#ifndef REELCORE_SDK_IMPORTER_H
#define REELCORE_SDK_IMPORTER_H

#include "reelcore/sdk/module.h"

#define RC_IMPORT_ENTRY_NAME "xImportEntry"

/* result = xImportEntry(selector, host record, argument 1, argument 2);
   0 is success. */
typedef int16_t (*RcImportEntryProc)(int32_t selector, void* host, intptr_t param1,
                                     intptr_t param2);

enum {
    kRcImportStartup = 0,
    kRcImportShutdown = 1,
    kRcImportPrefs = 2,
    kRcImportGetInfo = 4,
    kRcImportImage = 5,
    kRcImportAudio = 6,
    kRcImportOpenFile = 7,
    kRcImportQuietFile = 8,
    kRcImportCloseFile = 9,
    kRcImportGetTimeInfo = 10,
    kRcImportSetTimeInfo = 11,
    kRcImportAnalysis = 12,
    kRcImportDataRateAnalysis = 13,
    kRcImportGetIndFileType = 14, /* param1: index; param2: RcImportFileType* */
    kRcImportGetFrameInfo = 15,
    kRcImportDisposeFrameInfo = 16,
    kRcImportGetCompressedFrame = 17,
    kRcImportDisposeCompressedFrame = 18,
    kRcImportSaveFile = 19,
    kRcImportDeleteFile = 20,
    kRcImportGetCreatorInfo = 21,
    kRcImportSetCreatorInfo = 22,
    kRcImportGetMetaData = 23,
    kRcImportSetMetaData = 24
};

/* Filled by the importer for kRcImportGetIndFileType (the host clears it
   first). Flags as in RcXrefEntry; with kRcXrefStill the kind is 'PICT'. */
typedef struct RcImportFileType {
    RcOSType fileType;
    RcOSType kind;
    int32_t flags;
    char description[256]; /* C string */
    char extensions[256];  /* C string: "avi;*divx", no dots */
} RcImportFileType;

RC_SDK_ASSERT(sizeof(RcImportFileType) == 524, "the file type record is 524 bytes");

/* ---- Records handed to importers ----
   All records are cleared by the host before it fills them. Private data is a
   pointer-sized word the importer owns for one file: the host keeps it in the
   file's record between calls. When it is not null it must be a handle made
   with the host's newHandle, because the host disposes of what is left when
   the file leaves the table. */

/* The capability record (selector kRcImportStartup, 45 words). The host sets
   handlerType; the importer fills the rest and answers 0 to be usable. */
typedef struct RcImporterCapabilities {
    int32_t handlerType;    /* word 0 */
    int32_t ownsFile;       /* word 1: the importer opens and closes its files */
    int32_t canSave;        /* word 2 */
    int32_t canDelete;      /* word 3 */
    int32_t reserved4[3];   /* words 4 to 6 */
    int32_t isSynthetic;    /* word 7: makes media without a file of its own */
    int32_t reserved8;      /* word 8 */
    int32_t hasSetup;       /* word 9 */
    int32_t reserved10;     /* word 10 */
    int32_t setupOnDblClk;  /* word 11 */
    int32_t keepLoaded;     /* word 12 */
    int32_t priority;       /* word 13: highest wins; 0 or less never takes over */
    int32_t reserved14;     /* word 14 */
    int32_t createsFiles;   /* word 15 */
    char displayName[64];   /* words 16 to 31: menu text of a synthetic importer */
    int32_t reserved32[13]; /* words 32 to 44 */
} RcImporterCapabilities;

RC_SDK_ASSERT(sizeof(RcImporterCapabilities) == 180, "the capability record is 45 words");
RC_SDK_ASSERT(offsetof(RcImporterCapabilities, priority) == 13 * 4, "priority is word 13");
RC_SDK_ASSERT(offsetof(RcImporterCapabilities, createsFiles) == 15 * 4, "creates-files is word 15");

/* The file access record: open, close, quiet, delete, save and setup. */
typedef struct RcImportFileAccess {
    int16_t fileID;
    int16_t vRefNum;
    RcOSType fileType;
    int32_t parID;
    char path[260];       /* C string */
    intptr_t privateData; /* the importer's data for the file */
    intptr_t fileRef;     /* open: the reference the importer opened (-1 none) */
    RcOSType newHandler;  /* open declined (255): the handler that should read it */
    int32_t reserved;
} RcImportFileAccess;

RC_SDK_ASSERT(sizeof(RcImportFileAccess) == 296, "the file access record is 296 bytes");

/* Preferences exchange (selector kRcImportPrefs, argument 2). The first call
   has prefs null: the importer sets prefsSize to the bytes it wants (0 for
   none). The second call hands it prefsSize bytes to fill or edit; showDialog
   is 0 when no dialog may be shown. Results 0 and 17 keep the preferences,
   300 keeps them only when they existed before, others discard them. */
typedef struct RcImportPrefsRequest {
    void* prefs;
    int32_t prefsSize;
    int32_t showDialog;
} RcImportPrefsRequest;

RC_SDK_ASSERT(sizeof(RcImportPrefsRequest) == 16, "the preferences request is 16 bytes");

/* Alpha codes of RcImporterInfo.alphaCode. */
enum { kRcAlphaNone = 0, kRcAlphaStraight = 1, kRcAlphaPremultiplied = 2, kRcAlphaIgnore = 5 };

/* The importer's description of a file (selector kRcImportGetInfo, argument 2).
   The host fills its defaults first (the project's rates and size, 24 bits,
   the default still length); the importer changes what it knows. */
typedef struct RcImporterInfo {
    int32_t hasVideo;
    int32_t hasAudio;
    int32_t width, height;      /* picture size */
    int32_t depth;              /* 24: no alpha channel, 32: with alpha */
    int32_t videoScale;         /* ticks per second (29.97 fps: 2997) */
    int32_t videoSampleSize;    /* ticks per frame (29.97 fps: 100) */
    int32_t videoFrames;        /* frames of the picture; 1 for a still */
    int32_t audioRate;          /* sample frames per second */
    int32_t audioFormat;        /* 0x100 stereo, 0x200 16-bit samples */
    int32_t audioFrames;        /* sample frames of the sound */
    uint32_t pixelAspect;       /* numerator << 16 | denominator; 0 unset */
    int32_t alphaCode;          /* kRcAlpha...; 5 means no usable alpha */
    int32_t isStill;            /* every time shows the same picture */
    int32_t noDuration;         /* 0 normal, 1 no fixed length, 2 made as a still */
    int32_t isFramestore;       /* the first of a numbered sequence of stills */
    int32_t defaultStillLength; /* frames, for no-duration files */
    int32_t fieldType;          /* 0 progressive, 1 upper field first, 2 lower */
    int32_t timeFormat;         /* display format of the file's time (rate low 16 bits) */
    int32_t watchForChanges;    /* the host should notice outside edits */
    RcOSType formatCode;        /* the compression's code, " WAR" for raw */
    int32_t formatVersion;
    intptr_t privateData; /* updated private data */
    /* The media's start timecode as text, "hh:mm:ss:ff" (';' before the
       frames when drop-frame), NUL-terminated; empty when it has none.
       Importers that do not know it leave the cleared bytes alone. */
    char timecode[18];
    char reservedText[2];
    int32_t reserved[3];
} RcImporterInfo;

RC_SDK_ASSERT(sizeof(RcImporterInfo) == 128, "the importer information record is 128 bytes");
RC_SDK_ASSERT(offsetof(RcImporterInfo, timecode) == 88 + sizeof(intptr_t),
              "the timecode follows the private data");

/* An image request (selector kRcImportImage, argument 2). The importer writes
   width x height pixels of the frame `position` scaled to that size: 32-bit B,
   G, R, A pixels, first the top row at `pixels`, each next row rowStride bytes
   further (negative for bottom-up buffers). A 24-bit source may leave alpha
   alone; the host makes it opaque. */
typedef struct RcImportImageRequest {
    intptr_t fileRef;
    intptr_t privateData;
    void* prefs;
    int32_t prefsSize;
    int32_t in, out;  /* the frames the caller is about to read */
    int32_t position; /* the frame wanted */
    int32_t width, height;
    int32_t depth;     /* 32 */
    int32_t rowStride; /* bytes from one row to the one below it */
    char* pixels;      /* top-left pixel of the destination */
    intptr_t window;   /* on-screen destination; 0 here: pixels always */
    int32_t flags;     /* kRcImageThroughBuffer */
    int32_t field;     /* 0 whole frame, 1 or 2 one field */
    /* Set by the importer when every pixel it wrote has alpha 255: the host
       then skips making the picture opaque. Importers that leave it 0 are
       made opaque by the host as before. */
    int32_t opaque;
    int32_t reserved[3];
} RcImportImageRequest;

enum { kRcImageThroughBuffer = 0x4000 };

RC_SDK_ASSERT(sizeof(RcImportImageRequest) == 96, "the image request is 96 bytes");
RC_SDK_ASSERT(offsetof(RcImportImageRequest, opaque) == 80, "opaque follows field");

/* An audio request (selector kRcImportAudio, argument 2): `size` bytes of the
   file's own sample format starting at sample frame `sample`. Past the end of
   the sound the importer writes silence. */
typedef struct RcImportAudioRequest {
    intptr_t fileRef;
    intptr_t privateData;
    void* prefs;
    int32_t prefsSize;
    int32_t in, out; /* the range the caller is reading, in seconds */
    int32_t reserved0;
    int64_t sample; /* first sample frame */
    int32_t size;   /* bytes wanted */
    int32_t format; /* 0x100 stereo, 0x200 16-bit (the file's format) */
    void* buffer;
    int32_t reserved[4];
} RcImportAudioRequest;

RC_SDK_ASSERT(sizeof(RcImportAudioRequest) == 80, "the audio request is 80 bytes");

/* The host callback record (the `host` argument of every call). */
typedef struct RcImportClassDataFuncs {
    int16_t (*setClassData)(RcOSType handlerType, void* data);
    void* (*getClassData)(RcOSType handlerType);
} RcImportClassDataFuncs;

typedef struct RcImportHostFuncs {
    const RcImportClassDataFuncs* classData;
    /* Opens the file for reading; its reference, -1 when it cannot be opened. */
    intptr_t (*openFile)(int16_t fileID);
    void (*releaseFile)(int16_t fileID);
    /* Memory for private data: a handle (its first word is the block's
       address) that the host may dispose of when the file leaves. */
    void** (*newHandle)(uint32_t size);
    void (*disposeHandle)(void** handle);
    /* Reading a file the host opened for the importer (the fileRef of an
       access record or a request, for importers that do not open their files
       themselves): up to size bytes from byte offset into buffer. The bytes
       read (fewer at the end of the file), -1 for a bad reference or offset. */
    int32_t (*readFile)(intptr_t fileRef, int64_t offset, void* buffer, int32_t size);
    /* The size in bytes of such a file, -1 for a bad reference. */
    int64_t (*fileSize)(intptr_t fileRef);
    /* The processor pool's size (1: no workers): importers that decode on
       threads of their own use no more than this many. */
    int32_t (*processorCount)(void);
} RcImportHostFuncs;

enum { kRcImportInterfaceVersion = 3 };

typedef struct RcImportHostRecord {
    int32_t version; /* kRcImportInterfaceVersion */
    int32_t reserved;
    const RcImportHostFuncs* funcs;
    const void* utilities; /* the executable's utility table (slot 365) */
} RcImportHostRecord;

RC_SDK_ASSERT(sizeof(RcImportHostRecord) == 24, "the host record is 24 bytes");

/* Result codes an importer may answer. */
enum {
    kRcImportNoErr = 0,
    kRcImportUnsupported = 2, /* also: no importer or entry point */
    kRcImportBadFile = 5,
    kRcImportPrefsKept = 17,
    kRcImportPrefsUnchanged = 300,
    kRcImportDecline = 255
};

#endif
