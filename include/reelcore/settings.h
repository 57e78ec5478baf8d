/* Project settings: the settings block (what the project produces and how it
   is previewed and captured), its defaults, copies, files and validation
   against the installed export and capture modules. */
#ifndef REELCORE_SETTINGS_H
#define REELCORE_SETTINGS_H

#include "reelcore/project_stream.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The settings block ----
   A Handle to a byte-packed PsetBlock. Pointer fields are owned blocks
   (NewPtr) and pointer-sized; the device data is a Handle kept as a 4-byte
   word (WordToHandle). */
#pragma pack(push, 1)

typedef struct PsetGeneral { /* PTYP */
    OSType filetype;         /* export module's file type */
    OSType classid;          /* export module's class */
    Ptr compilerprefs;       /* export module's private settings */
    int32_t samplesize;      /* time base: ticks per frame */
    int32_t scale;           /* time base: ticks per second */
    int32_t timeformat;      /* time display format */
    int32_t projectlength;   /* in ticks */
    int32_t doaudio;
    int32_t dovideo;
    int32_t range;
    uint8_t openwhendone;
    int32_t reserved1;
    int32_t reserved2;
    Ptr playmodprefs; /* playback module's private settings */
} PsetGeneral;

typedef struct PsetVideo { /* PVID */
    OSType subtype;        /* video compressor */
    Ptr subtypeprefs;      /* compressor settings */
    int32_t width;
    int32_t height;
    int32_t samplesize;
    int32_t scale;
    int32_t quality;
    int32_t depth; /* one bit of an exporter's depth mask (16 = 24 bits) */
    int32_t fieldtype;
    uint8_t aspect43;
    int32_t paletteType;
    uint32_t pixelAspect; /* numerator high 16 bits, denominator low */
    int32_t reserved2;
    int16_t paletteCount; /* not saved */
    uint32_t palette[256];
} PsetVideo;

typedef struct PsetAudio { /* ASET */
    OSType subtype;
    int32_t audrate;
    int32_t audsamplesize; /* nonzero: 16-bit samples */
    uint8_t audstereo;
    int32_t interleave;
    int32_t resampleQ;
    uint8_t dither;
    uint8_t logfade;
    int32_t previewmintracks;
    int32_t previewminfilters;
    Ptr subtypeprefs;
} PsetAudio;

typedef struct PsetDataRate { /* DRAT */
    int32_t datarate;
    int32_t comppct;
    int32_t forcerecomp;
    uint8_t usedatarate;
    uint8_t usecomppct;
    int32_t reserved1;
    int32_t reserved2;
} PsetDataRate;

typedef struct PsetKeyFrames { /* KFRM */
    int32_t keyframeevery;
    uint8_t atmarkers;
    uint8_t atedits;
    uint8_t dokeyframeevery;
    uint8_t framesatmarkers;
    int32_t reserved1;
    int32_t reserved2;
} PsetKeyFrames;

typedef struct PsetRendering { /* RENO */
    uint8_t ignorevidfilters;
    uint8_t ignoreaudfilters;
    uint8_t ignorerubberbands;
    uint8_t expandstills;
    int32_t useRamPrvw;
    int32_t reserved2;
} PsetRendering;

typedef struct PsetSpecial { /* SPRC */
    int32_t cropleft;
    int32_t cropright;
    int32_t croptop;
    int32_t cropbottom;
    int32_t gamma;
    uint8_t resizetocroprect;
    uint8_t noisefilter;
    uint8_t predinterlace;
    uint8_t bestresize;
    int32_t reserved1;
    int32_t reserved2;
} PsetSpecial;

typedef struct PsetCapture { /* PCAP */
    OSType filetype;
    OSType classID;
    int32_t scale;
    int32_t samplesize;
    int32_t width;
    int32_t height;
    uint8_t constrain;
    uint8_t useframesize;
    uint8_t abortondrops;
    uint8_t reportdrops;
    uint8_t decodeburnedtc;
    uint8_t usecaplimit;
    uint8_t log;
    uint8_t capvid;
    uint8_t capaud;
    int32_t preroll;
    int32_t caplim;
    int32_t tcoffset;
    OSType subtype; /* audio compressor */
    int32_t audrate;
    int32_t audsamplesize;
    uint8_t audstereo;
    Ptr capprefs;
    int32_t reserved1;
    int32_t reserved2;
} PsetCapture;

typedef struct PsetCaptureInfo { /* PCPI */
    int32_t capinfovalid;
    OSType capvidsubtype;
    int32_t capdepth;
    uint32_t cappixelaspect;
    int32_t capfieldtype;
    int32_t capquality;
} PsetCaptureInfo;

typedef struct PsetDevice { /* PDEV */
    char devname[32];
    uint32_t devdata; /* Handle word */
    int32_t r1;
    int32_t r2;
    int32_t r3;
    int32_t r4;
} PsetDevice;

enum { kPsetExportSourceSize = 296 };

typedef struct PsetBlock {
    uint32_t unsaved; /* never written to files */
    PsetGeneral general;
    PsetVideo video;
    PsetAudio audio;
    PsetDataRate dataRate;
    PsetKeyFrames keyFrames;
    PsetRendering rendering;
    PsetSpecial special;
    PsetCapture capture;
    PsetCaptureInfo captureInfo;
    PsetDevice device;
    /* Export-source data, not saved in files; its first word is the clip
       being exported, when there is one. */
    uint8_t exportSource[kPsetExportSourceSize];
} PsetBlock;

#pragma pack(pop)

#ifdef __cplusplus
#define RC_PSET_PTR_EXTRA (sizeof(Ptr) - 4) /* pointers are wider than 4-byte words */
static_assert(sizeof(PsetGeneral) == 53 + 2 * RC_PSET_PTR_EXTRA, "general section");
static_assert(sizeof(PsetVideo) == 1075 + RC_PSET_PTR_EXTRA, "video section");
static_assert(sizeof(PsetAudio) == 35 + RC_PSET_PTR_EXTRA, "audio section");
static_assert(sizeof(PsetDataRate) == 22, "data-rate section");
static_assert(sizeof(PsetKeyFrames) == 16, "keyframe section");
static_assert(sizeof(PsetRendering) == 12, "rendering section");
static_assert(sizeof(PsetSpecial) == 32, "special-processing section");
static_assert(sizeof(PsetCapture) == 70 + RC_PSET_PTR_EXTRA, "capture section");
static_assert(sizeof(PsetCaptureInfo) == 24, "capture information");
static_assert(sizeof(PsetDevice) == 52, "device section");
static_assert(sizeof(PsetBlock) == 4 + 53 + 1075 + 35 + 22 + 16 + 12 + 32 + 70 + 24 + 52 +
                                       kPsetExportSourceSize + 5 * RC_PSET_PTR_EXTRA,
              "settings block");
static_assert(offsetof(PsetBlock, general) == 4, "the unsaved word comes first");
static_assert(offsetof(PsetGeneral, compilerprefs) == 8 &&
                  offsetof(PsetVideo, width) == 4 + sizeof(Ptr) &&
                  offsetof(PsetAudio, subtypeprefs) == 35 - 4 &&
                  offsetof(PsetCapture, capprefs) == 58 && offsetof(PsetDevice, devdata) == 32,
              "key offsets");
#undef RC_PSET_PTR_EXTRA
#endif

/* Global slots. */
enum {
    kSlotProjectSettings = 342 /* the current (global) settings block */
};

/* Export kinds the dialogs pass to the validation: 1 movie, 2 still,
   3 audio, 4 custom, 5 project settings (kinds 1 and 5 export both audio and
   video). */
enum {
    kPsetKindMovie = 1,
    kPsetKindStill = 2,
    kPsetKindAudio = 3,
    kPsetKindCustom = 4,
    kPsetKindProject = 5
};

/* The capture information's invalid state. */
enum { kPsetCapInfoInvalidSubtype = 0x58785878 /* 'XxXx' */ };

/* Result of a settings read that found a section malformed. */
enum { kPsetBadFile = -1 };

/* ---- Blocks ---- */
/* Makes the global block (slot 342) with the defaults, once; later calls
   return the existing block. */
RC_API Handle InitProjectSettings(void);
/* A new block with the defaults of the TV standard (string 13 of list 1009),
   not installed anywhere; null when memory runs out. */
RC_API Handle psetNewDefaultSettings(void);
/* The same for a given TV standard: 0 NTSC, 1 PAL or SECAM. */
RC_API Handle psetNewStandardSettings(int32_t pal);
/* Replaces the block in a global slot by a deep copy of `settings`, keeping
   the slot's export-source area. 0, or -108 with the slot unchanged. */
RC_API OSErr ReplaceGlobalSettings(int32_t slot, Handle settings);
/* Copies `from` over `to`, deep-copying the five owned pointers and the device
   Handle; what `to` owned before is freed. 0, or -108 with `to` unchanged. */
RC_API OSErr psetCopyProjectSettings(Handle from, Handle to);
/* Frees the owned pointers and the device Handle and clears their fields. */
RC_API void psetCleanupProjectSettings(Handle settings);
/* A new block copied from a global slot, or null. */
RC_API Handle psetDupGlobalSettings(int32_t slot);
/* Cleans up and disposes of a block. */
RC_API void psetDisposeSettings(Handle settings);
/* Frees the global block and the export settings. */
RC_API void psetShutdown(void);

/* ---- Files ---- */
/* A new block read from a ".prs" settings file, or null. */
RC_API Handle psetReadProjectSettings(const FSSpec* fileSpec);
/* As psetReadProjectSettings with the reason of a failure in *error. */
RC_API Handle psetReadSettingsFile(const char* path, OSErr* error);
/* Writes a ".prs" file (safely: an old file stays until the new one is
   complete): header, description, the nine sections and the device section
   when a device is named. kind: the dialog's kind. */
RC_API OSErr psetWriteSettingsFile(const char* path, Handle settings, const char* description,
                                   int32_t kind);
/* The header and description of a ".prs" file. */
RC_API OSErr psetReadSettingsFileHeader(const char* path, int32_t* kind, char* description,
                                        int32_t descriptionSize);
/* The nine sections PTYP..PCPI inside a project file. */
RC_API OSErr WriteGlobalProjectSettings(ProjBufHand stream, Handle settings);
/* Reads the nine sections into a fresh block, then copies it over `settings`.
   A read that fails leaves `settings` untouched and returns the error. */
RC_API OSErr ReadGlobalProjectSettings(ProjBufHand stream, Handle settings);

/* The folder of settings files ("Settings" in the application's folder,
   unless set here; null restores that). */
RC_API void psetSetSettingsFolder(const char* path);
/* Copies the folder into out (260 bytes); 0 when there is none. */
RC_API int16_t psetGetSettingsFolder(char* out);
/* The default settings file name: the application's, else the "Settings"
   key of the "Default" section of the application settings file. */
RC_API void psetSetDefaultSettingsName(const char* name);
RC_API void psetGetDefaultSettingsName(char* out, int32_t size);

/* Loads a colour table into the video section (entries as 0x00RRGGBB, the
   count into paletteCount, paletteType set to 1) from a RIFF palette, an
   image editor's 768- or 772-byte colour table or a JASC text palette. */
RC_API OSErr psetLoadPalette(Handle settings, const char* path);

/* ---- Validation ---- */
RC_API void psetValidateProjectSettings(Handle settings, int32_t exportKind);
RC_API void psetRectifyCaptureSettings(Handle settings);
RC_API void psetInvalidateCaptureInfo(PsetCaptureInfo* captureInfo);

/* ---- Getters and setters (null: the global block) ---- */
RC_API int32_t psetGetOutWidth(Handle settings);
RC_API int32_t psetGetOutHeight(Handle settings);
RC_API uint32_t psetGetPixelAspectRatio(Handle settings);
RC_API int32_t psetGetFieldType(Handle settings);
RC_API Boolean psetGetCapAudio(Handle settings);
RC_API void psetSetCapAudio(Handle settings, Boolean on);
RC_API Boolean psetGetCapVideo(Handle settings);
RC_API void psetSetCapVideo(Handle settings, Boolean on);
RC_API OSType psetGetCapFileType(Handle settings);
RC_API Boolean psetIsStereo(Handle settings);
RC_API Boolean psetIs16BitAudio(Handle settings);
RC_API int32_t psetGetAudRate(Handle settings);
RC_API Boolean psetDoVideo(Handle settings);
RC_API Boolean psetDoAudio(Handle settings);
RC_API OSType psetGetVideoFileType(Handle settings);
RC_API OSType psetGetClassID(Handle settings);
RC_API int32_t psetGetTimeFormat(Handle settings);
RC_API void psetSetTimeFormat(Handle settings, int32_t format);
RC_API int32_t psetGetProjectScale(Handle settings);
RC_API int32_t psetGetProjectSampleSize(Handle settings);
RC_API Boolean psetRecompressAlways(Handle settings);
/* Audio rendering switches of the audio section (0 without a block). */
RC_API int32_t psetGetResampleQuality(Handle settings);
RC_API Boolean psetGetDither(Handle settings);
RC_API Boolean psetGetLogFade(Handle settings);
/* The block's record (null without one); valid until the Handle changes. */
RC_API PsetBlock* psetGetBlock(Handle settings);
/* One value of the global block; -1 without one or for another selector. */
RC_API intptr_t psetGetGlobalSetting(int32_t selector);
/* True when the file's type, compressor and frame size match the settings. */
RC_API Boolean FileMatchesVideoSettings(int16_t fileID, Handle settings);

/* ---- The export settings of each kind (movie, still, audio, custom) ----
   Blocks owned by the library, made from the project settings when first
   asked for; null for another kind or without memory. */
RC_API Handle psetGetExportSettings(int32_t exportKind);
/* Replaces the kind's block by a deep copy (null removes it). */
RC_API OSErr psetSetExportSettings(int32_t exportKind, Handle settings);

/* ---- Dialogs ----
   The interface edits a duplicate of the settings in a dialog procedure and
   answers kPsetDialogOK to accept it. Without an interface the settings are
   accepted as they are. `which` is the dialog: 1 project, 2 movie export,
   3 still export, 4 audio export, 5 capture setup. */
enum { kPsetDialogOK = 1, kPsetDialogCancel = 2 };
enum {
    kPsetDialogProject = 1,
    kPsetDialogMovie = 2,
    kPsetDialogStill = 3,
    kPsetDialogAudio = 4,
    kPsetDialogCapture = 5
};
typedef int16_t (*PsetDialogProc)(int32_t which, Handle settings);
/* Installs a dialog procedure (null restores the headless one); returns the
   previous one. */
RC_API PsetDialogProc psetSetDialogProc(PsetDialogProc proc);
/* Each edits a duplicate of `settings` (null: the global block, or for the
   export dialogs the export settings of their kind); on acceptance the
   duplicate is validated and copied back. 1 when accepted, 0 when cancelled
   or out of memory. */
RC_API int16_t ProjectSettingsDialog(Handle settings);
RC_API int16_t ExportMovieSettingsDialog(Handle settings);
RC_API int16_t ExportStillSettingsDialog(Handle settings);
RC_API int16_t ExportAudioSettingsDialog(Handle settings);
RC_API int16_t psetCaptureSetupDialog(Handle settings);

#ifdef __cplusplus
}
#endif

#endif
