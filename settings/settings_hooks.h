// Hooks through which the settings reach families built above them: the
// export host's tables of exporters and compressors, the capture host's
// record modules and formats, the clip table's media kinds, the importer
// host's per-file preferences and the window handlers. Each default answers
// as its family does when it has nothing: no modules, no importer, no
// window. The setters return the hook they replace (null restores the
// default), so tests can put it back.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::settingshooks {

// One supported audio format of a compressor or capture format: bits 1 8-bit
// mono, 2 8-bit stereo, 4 16-bit mono, 8 16-bit stereo; rate -1 = any.
struct AudioFormat {
    int32_t bits;
    int32_t rate;
};

struct ExporterInfo {
    int16_t moduleFileID;
    OSType fileType;
    OSType classID;  // '????' accepts any class
    uint32_t kinds;  // bit k: the exporter can produce export kind k
};

struct VideoCompressorInfo {
    OSType code;
    uint32_t depthMask;  // 1, 4, 8, 16, 24, 32 bits per pixel as bits 1..32
    int32_t minWidth, minHeight, maxWidth, maxHeight;
    bool fixedRate;  // the time base below is imposed
    int32_t rateScale, rateSampleSize;
};

struct AudioCompressorInfo {
    OSType code;
    const AudioFormat* formats;  // may be null: any format
    int32_t formatCount;
};

// The export host's tables. Index functions answer false past the end.
struct ExportCatalog {
    bool (*exporterAt)(int32_t index, ExporterInfo* out);
    bool (*videoCompressorAt)(const ExporterInfo& exporter, int32_t index,
                              VideoCompressorInfo* out);
    bool (*audioCompressorAt)(const ExporterInfo& exporter, int32_t index,
                              AudioCompressorInfo* out);
};

// The capture format a record module offers for a capture file type and class.
struct CaptureModuleInfo {
    bool fixedTimeBase;
    int32_t scale, samplesize;
    int32_t minWidth, minHeight, maxWidth, maxHeight;
    const AudioFormat* formats;  // may be null: any format
    int32_t formatCount;
};
using CaptureModuleFn = bool (*)(OSType fileType, OSType classID, CaptureModuleInfo* out);

// Media kinds of a clip: bit 0 video, bit 1 audio; 0 for no clip. Default:
// the media flags of the clip's file in the file table.
using ClipMediaFn = int32_t (*)(int32_t clipID);

// A media file's compressor code (0 when unknown).
using FileCompressorFn = OSType (*)(int16_t fileID);

// A file's 16-byte preference block through its importer; returns the
// importer's result, 2 when the file has no importer.
using FilePrefFn = OSErr (*)(int16_t fileID, void* block, bool set);

// Window layer for SetWindows: moves a window of a handler type (-1 width:
// keep the size), shows or minimises it; the main window's client size.
// Default: no windows.
using PlaceWindowFn = void (*)(OSType type, const int32_t rect[4], bool move, bool shown,
                               bool minimised);
using MainWindowSizeFn = bool (*)(int32_t* width, int32_t* height);

const ExportCatalog* setExportCatalog(const ExportCatalog* catalog);
CaptureModuleFn setCaptureModule(CaptureModuleFn fn);
ClipMediaFn setClipMedia(ClipMediaFn fn);
FileCompressorFn setFileCompressor(FileCompressorFn fn);
FilePrefFn setFilePref(FilePrefFn fn);
PlaceWindowFn setPlaceWindow(PlaceWindowFn fn);
MainWindowSizeFn setMainWindowSize(MainWindowSizeFn fn);

// The calls the settings make; defaults as above.
const ExportCatalog* exportCatalog();  // null: no export modules
bool captureModule(OSType fileType, OSType classID, CaptureModuleInfo* out);
int32_t clipMedia(int32_t clipID);
OSType fileCompressor(int16_t fileID);
OSErr filePref(int16_t fileID, void* block, bool set);
void placeWindow(OSType type, const int32_t rect[4], bool move, bool shown, bool minimised);
bool mainWindowSize(int32_t* width, int32_t* height);

}  // namespace rc::settingshooks
