#include "settings/settings_hooks.h"

#include "reelcore/clips.h"
#include "reelcore/filetable.h"

namespace rc::settingshooks {

namespace {

const ExportCatalog* gCatalog = nullptr;
CaptureModuleFn gCapture = nullptr;
ClipMediaFn gClipMedia = nullptr;
FileCompressorFn gFileCompressor = nullptr;
FilePrefFn gFilePref = nullptr;
PlaceWindowFn gPlaceWindow = nullptr;
MainWindowSizeFn gMainWindowSize = nullptr;

template <class T>
T swap(T& slot, T value) {
    T old = slot;
    slot = value;
    return old;
}

}  // namespace

const ExportCatalog* setExportCatalog(const ExportCatalog* catalog) {
    return swap(gCatalog, catalog);
}
CaptureModuleFn setCaptureModule(CaptureModuleFn fn) {
    return swap(gCapture, fn);
}
ClipMediaFn setClipMedia(ClipMediaFn fn) {
    return swap(gClipMedia, fn);
}
FileCompressorFn setFileCompressor(FileCompressorFn fn) {
    return swap(gFileCompressor, fn);
}
FilePrefFn setFilePref(FilePrefFn fn) {
    return swap(gFilePref, fn);
}
PlaceWindowFn setPlaceWindow(PlaceWindowFn fn) {
    return swap(gPlaceWindow, fn);
}
MainWindowSizeFn setMainWindowSize(MainWindowSizeFn fn) {
    return swap(gMainWindowSize, fn);
}

const ExportCatalog* exportCatalog() {
    return gCatalog;
}

bool captureModule(OSType fileType, OSType classID, CaptureModuleInfo* out) {
    return gCapture && gCapture(fileType, classID, out);
}

int32_t clipMedia(int32_t clipID) {
    if (gClipMedia) return gClipMedia(clipID);
    // The media flags the file table keeps for the clip's file (bit 0 video,
    // bit 1 audio), once its information has been read.
    if (!clipID || !FindClip(clipID)) return 0;
    Handle file = FindFile(ClipFile(clipID));
    if (!file || !*file) return 0;
    return reinterpret_cast<const FmFileRecord*>(*file)->info.mediaFlags & 3;
}

OSType fileCompressor(int16_t fileID) {
    return gFileCompressor ? gFileCompressor(fileID) : 0;
}

OSErr filePref(int16_t fileID, void* block, bool set) {
    return gFilePref ? gFilePref(fileID, block, set) : OSErr(2);
}

void placeWindow(OSType type, const int32_t rect[4], bool move, bool shown, bool minimised) {
    if (gPlaceWindow) gPlaceWindow(type, rect, move, shown, minimised);
}

bool mainWindowSize(int32_t* width, int32_t* height) {
    return gMainWindowSize && gMainWindowSize(width, height);
}

}  // namespace rc::settingshooks
