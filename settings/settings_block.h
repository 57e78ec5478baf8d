// The project settings block: nine saved sections, a device section and the
// unsaved export-source area, byte-packed (layout in reelcore/settings.h).
// The codec's packing lists are computed from its offsets. Owned pointers
// (letter Y) are pointer-sized; Handles are kept as 4-byte words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reelcore/settings.h"
#include "reelcore/types.h"

namespace rc::settings {

// The layout lives in the public header; these names serve the library.
using PsetGeneral = ::PsetGeneral;
using PsetVideo = ::PsetVideo;
using PsetAudio = ::PsetAudio;
using PsetDataRate = ::PsetDataRate;
using PsetKeyFrames = ::PsetKeyFrames;
using PsetRendering = ::PsetRendering;
using PsetSpecial = ::PsetSpecial;
using PsetCapture = ::PsetCapture;
using PsetCaptureInfo = ::PsetCaptureInfo;
using PsetDevice = ::PsetDevice;
using ProjectSettings = ::PsetBlock;

constexpr size_t kExportSourceSize = kPsetExportSourceSize;
constexpr size_t kPtrExtra = sizeof(Ptr) - 4;  // pointers are wider than the 4-byte words

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
