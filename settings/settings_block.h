// The project settings block: nine saved sections, a device section and the
// unsaved export-source area, byte-packed. The codec's packing lists are
// computed from these offsets. Owned pointers (letter Y) are pointer-sized;
// Handles are kept as 4-byte words (HandleToWord).
#pragma once

#include <cstddef>
#include <cstdint>

#include "reelcore/types.h"

namespace rc::settings {

#pragma pack(push, 1)

struct PsetGeneral {  // PTYP
    OSType filetype;
    OSType classid;
    Ptr compilerprefs;
    int32_t samplesize;
    int32_t scale;
    int32_t timeformat;
    int32_t projectlength;
    int32_t doaudio;
    int32_t dovideo;
    int32_t range;
    uint8_t openwhendone;
    int32_t reserved1;
    int32_t reserved2;
    Ptr playmodprefs;
};

struct PsetVideo {  // PVID
    OSType subtype;
    Ptr subtypeprefs;
    int32_t width;
    int32_t height;
    int32_t samplesize;
    int32_t scale;
    int32_t quality;
    int32_t depth;
    int32_t fieldtype;
    uint8_t aspect43;
    int32_t paletteType;
    uint32_t pixelAspect;
    int32_t reserved2;
    int16_t paletteCount;  // not saved
    uint32_t palette[256];
};

struct PsetAudio {  // ASET
    OSType subtype;
    int32_t audrate;
    int32_t audsamplesize;
    uint8_t audstereo;
    int32_t interleave;
    int32_t resampleQ;
    uint8_t dither;
    uint8_t logfade;
    int32_t previewmintracks;
    int32_t previewminfilters;
    Ptr subtypeprefs;
};

struct PsetDataRate {  // DRAT
    int32_t datarate;
    int32_t comppct;
    int32_t forcerecomp;
    uint8_t usedatarate;
    uint8_t usecomppct;
    int32_t reserved1;
    int32_t reserved2;
};

struct PsetKeyFrames {  // KFRM
    int32_t keyframeevery;
    uint8_t atmarkers;
    uint8_t atedits;
    uint8_t dokeyframeevery;
    uint8_t framesatmarkers;
    int32_t reserved1;
    int32_t reserved2;
};

struct PsetRendering {  // RENO
    uint8_t ignorevidfilters;
    uint8_t ignoreaudfilters;
    uint8_t ignorerubberbands;
    uint8_t expandstills;
    int32_t useRamPrvw;
    int32_t reserved2;
};

struct PsetSpecial {  // SPRC
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
};

struct PsetCapture {  // PCAP
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
    OSType subtype;
    int32_t audrate;
    int32_t audsamplesize;
    uint8_t audstereo;
    Ptr capprefs;
    int32_t reserved1;
    int32_t reserved2;
};

struct PsetCaptureInfo {  // PCPI
    int32_t capinfovalid;
    OSType capvidsubtype;
    int32_t capdepth;
    uint32_t cappixelaspect;
    int32_t capfieldtype;
    int32_t capquality;
};

struct PsetDevice {  // PDEV
    char devname[32];
    uint32_t devdata;  // Handle word
    int32_t r1;
    int32_t r2;
    int32_t r3;
    int32_t r4;
};

constexpr size_t kExportSourceSize = 296;

struct ProjectSettings {
    uint32_t unsaved;  // not written to files
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
    uint8_t exportSource[kExportSourceSize];  // not saved
};

#pragma pack(pop)

constexpr size_t kPtrExtra = sizeof(Ptr) - 4;  // pointers are wider than the 4-byte words
static_assert(sizeof(PsetGeneral) == 53 + 2 * kPtrExtra, "general section");
static_assert(sizeof(PsetVideo) == 1075 + kPtrExtra, "video section");
static_assert(sizeof(PsetAudio) == 35 + kPtrExtra, "audio section");
static_assert(sizeof(PsetDataRate) == 22, "data-rate section");
static_assert(sizeof(PsetKeyFrames) == 16, "keyframe section");
static_assert(sizeof(PsetRendering) == 12, "rendering section");
static_assert(sizeof(PsetSpecial) == 32, "special-processing section");
static_assert(sizeof(PsetCapture) == 70 + kPtrExtra, "capture section");
static_assert(sizeof(PsetCaptureInfo) == 24, "capture information");
static_assert(sizeof(PsetDevice) == 52, "device section");
static_assert(sizeof(ProjectSettings) == 4 + 53 + 1075 + 35 + 22 + 16 + 12 + 32 + 70 + 24 + 52 +
                                             kExportSourceSize + 5 * kPtrExtra,
              "settings block");
static_assert(offsetof(ProjectSettings, general) == 4, "the unsaved word comes first");

// Type strings and field names of the saved sections.
inline constexpr const char* kGeneralType = "LLYLLLLLLLCLLY";
inline constexpr const char* kGeneralNames =
    "filetype, classid, compilerprefs, samplesize, scale, timeformat, projectlength, doaudio, "
    "dovideo, range, openwhendone, reserved1, reserved2, playmodprefs";
inline constexpr const char* kVideoType = "LYLLLLLLLCLLLL[256]";
inline constexpr const char* kVideoNames =
    "subtype, subtypeprefs, width, height, samplesize, scale, quality, depth, fieldtype, "
    "aspect43, paletteType, pixelAspect, reserved2, palette";
inline constexpr const char* kAudioType = "LLLCLLCCLLY";
inline constexpr const char* kAudioNames =
    "subtype, audrate, audsamplesize, audstereo, interleave, resampleQ, dither, logfade, "
    "previewmintracks, previewminfilters, subtypeprefs";
inline constexpr const char* kDataRateType = "LLLCCLL";
inline constexpr const char* kDataRateNames =
    "datarate, comppct, forcerecomp, usedatarate, usecomppct, reserved1, reserved2";
inline constexpr const char* kKeyFramesType = "LCCCCLL";
inline constexpr const char* kKeyFramesNames =
    "keyframeevery, atmarkers, atedits, dokeyframeevery, framesatmarkers, reserved1, reserved2";
inline constexpr const char* kRenderingType = "CCCCLL";
inline constexpr const char* kRenderingNames =
    "ignorevidfilters, ignoreaudfilters, ignorerubberbands, expandstills, useRamPrvw, reserved2";
inline constexpr const char* kSpecialType = "LLLLLCCCCLL";
inline constexpr const char* kSpecialNames =
    "cropleft, cropright, croptop, cropbottom, gamma, resizetocroprect, noisefilter, "
    "predinterlace, bestresize, reserved1, reserved2";
inline constexpr const char* kCaptureType = "LLLLLLCCCCCCCCCLLLLLLCYLL";
inline constexpr const char* kCaptureNames =
    "filetype,classID,scale,samplesize,width,height,constrain,useframesize,abortondrops,"
    "reportdrops,decodeburnedtc, usecaplimit,log,capvid,capaud,preroll,caplim,tcoffset,subtype,"
    "audrate,audsamplesize,audstereo,capprefs,reserved1,reserved2";
inline constexpr const char* kCaptureInfoType = "LLLLLL";
inline constexpr const char* kCaptureInfoNames =
    "capinfovalid,capvidsubtype,capdepth,cappixelaspect,capfieldtype,capquality";
inline constexpr const char* kDeviceType = "C[32]ZLLLL";
inline constexpr const char* kDeviceNames = "devname,devdata,r1,r2,r3,r4";

}  // namespace rc::settings
