// Defaults of the hooks that reach families above the file and clip tables.
#include "media/media_hooks.h"

#include <cstring>

#include "reelcore/alerts.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/resources.h"

namespace {

constexpr OSErr kNoHandler = 2;

OSErr noHandler(int16_t) {
    return kNoHandler;
}

OSErr defaultInfo(int16_t, FmMediaInfo* info, int32_t, bool) {
    if (info) {
        std::memset(info, 0, sizeof *info);
        info->audio = {0, 44100, 1};
        info->video = {0, 30, 1};
    }
    return kNoHandler;
}

bool no(OSType) {
    return false;
}
void nothing(int16_t) {}
uint32_t zero(OSType) {
    return 0;
}
bool extensionIsType(OSType type, const char* path) {
    if (!path) return false;
    FSSpec spec{};
    std::strncpy(spec.name, path, sizeof spec.name - 1);
    return type != 0 && FSSpecToFileType(&spec) == type;
}
bool cannotDelete(int16_t) {
    return false;
}
int32_t openResourceFile(const FSSpec* spec, int32_t permission) {
    if (!spec) return -1;
    return HOpenResFile(spec->vRefNum, spec->parID, spec->name, int8_t(permission));
}
void closeResourceFile(int32_t file) {
    CloseResFile(file);
}
void useResourceFile(int32_t file) {
    // Only a real change: UseResFile of no file sets the resource error.
    if (file != -1 && file != CurResFile()) UseResFile(file);
}
int16_t plainWindow(OSType, int32_t, intptr_t, intptr_t, intptr_t, intptr_t) {
    return 1;
}
void noDebug(const char*) {}
// "File or path not found." (the error list's first text) with the path.
constexpr int16_t kErrorList = 1010;
constexpr int16_t kFileNotFoundItem = 1;
void fileNotFoundAlert(const char* path) {
    AlertSystemFile(0, 0, kErrorList, kFileNotFoundItem, 0, 0, path);
}
bool mainWindowExists() {
    return GetMainWnd() != 0;
}

struct Hooks {
    rc::mediahooks::FileOpFn open = noHandler, quiet = noHandler, close = noHandler;
    rc::mediahooks::GetInfoFn info = defaultInfo;
    rc::mediahooks::HandlerTypeFn importer = no;
    rc::mediahooks::PurgeFileFramesFn purge = nothing;
    rc::mediahooks::TypeWordFn typeFlags = zero, drawType = zero;
    rc::mediahooks::TypeHasExtensionFn hasExtension = extensionIsType;
    rc::mediahooks::HandlerTypeFn hasSetup = no;
    rc::mediahooks::DeleteFileFn deleteFile = cannotDelete;
    rc::mediahooks::OpenResFn openRes = openResourceFile;
    rc::mediahooks::ResFileFn closeRes = closeResourceFile, useRes = useResourceFile;
    rc::mediahooks::SendMessageFn send = plainWindow;
    rc::mediahooks::DebugFn debug = noDebug;
    rc::mediahooks::FileAlertFn alert = fileNotFoundAlert;
    rc::mediahooks::ActiveWindowsFn windows = mainWindowExists;
};

Hooks& H() {
    static Hooks h;
    return h;
}

template <class F>
void set(F& slot, F fn, F fallback) {
    slot = fn ? fn : fallback;
}

}  // namespace

namespace rc::mediahooks {

void setFileOpen(FileOpFn fn) {
    set(H().open, fn, noHandler);
}
void setFileQuiet(FileOpFn fn) {
    set(H().quiet, fn, noHandler);
}
void setFileClose(FileOpFn fn) {
    set(H().close, fn, noHandler);
}
void setGetInfo(GetInfoFn fn) {
    set(H().info, fn, defaultInfo);
}
void setImporterExists(HandlerTypeFn fn) {
    set(H().importer, fn, no);
}
void setPurgeFileFrames(PurgeFileFramesFn fn) {
    set(H().purge, fn, nothing);
}
void setGetTypeFlags(TypeWordFn fn) {
    set(H().typeFlags, fn, zero);
}
void setGetDrawType(TypeWordFn fn) {
    set(H().drawType, fn, zero);
}
void setTypeHasExtension(TypeHasExtensionFn fn) {
    set(H().hasExtension, fn, extensionIsType);
}
void setImporterHasSetup(HandlerTypeFn fn) {
    set(H().hasSetup, fn, no);
}
void setDeleteThroughHandler(DeleteFileFn fn) {
    set(H().deleteFile, fn, cannotDelete);
}
void setResourceFiles(OpenResFn open, ResFileFn close, ResFileFn use) {
    set(H().openRes, open, openResourceFile);
    set(H().closeRes, close, closeResourceFile);
    set(H().useRes, use, useResourceFile);
}
void setSendMessage(SendMessageFn fn) {
    set(H().send, fn, plainWindow);
}
void setDebug(DebugFn fn) {
    set(H().debug, fn, noDebug);
}
void setFileAlert(FileAlertFn fn) {
    set(H().alert, fn, fileNotFoundAlert);
}
void setActiveWindows(ActiveWindowsFn fn) {
    set(H().windows, fn, mainWindowExists);
}
void resetAll() {
    H() = Hooks{};
}

}  // namespace rc::mediahooks

namespace rc::media {

OSErr fileOpen(int16_t id) {
    return H().open(id);
}
OSErr fileQuiet(int16_t id) {
    return H().quiet(id);
}
OSErr fileClose(int16_t id) {
    return H().close(id);
}
OSErr getInfo(int16_t id, FmMediaInfo* info, int32_t refresh, bool noPrefs) {
    return H().info(id, info, refresh, noPrefs);
}
bool importerExists(OSType handler) {
    return H().importer(handler);
}
void purgeFileFrames(int16_t id) {
    H().purge(id);
}
uint32_t getTypeFlags(OSType type) {
    return H().typeFlags(type);
}
OSType getDrawType(OSType type) {
    return H().drawType(type);
}
bool typeHasExtension(OSType type, const char* path) {
    return H().hasExtension(type, path);
}
bool importerHasSetup(OSType handler) {
    return H().hasSetup(handler);
}
bool deleteThroughHandler(int16_t id) {
    return H().deleteFile(id);
}
int32_t openResFile(const FSSpec* spec, int32_t permission) {
    return H().openRes(spec, permission);
}
void closeResFile(int32_t resFile) {
    H().closeRes(resFile);
}
void useResFile(int32_t resFile) {
    H().useRes(resFile);
}
int16_t sendMessage(OSType type, int32_t code, intptr_t p1, intptr_t p2, intptr_t pointer,
                    intptr_t p4) {
    return H().send(type, code, p1, p2, pointer, p4);
}
void debugLine(const char* text) {
    H().debug(text);
}
void fileAlert(const char* path) {
    H().alert(path);
}
bool hasActiveWindows() {
    return H().windows();
}

}  // namespace rc::media
