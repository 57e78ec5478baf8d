// Media access: which handler reads a file, its description (with the cached
// copy), and open, quiet and close through importers or drawing handlers.
#include "media/media_access_internal.h"

#include <cstring>
#include <vector>

#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "plugins/importer_host.h"
#include "plugins/module_call.h"
#include "reelcore/clips.h"
#include "reelcore/globals.h"
#include "time/time_hooks.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "ui/method_table.h"

namespace rc::media {

int16_t callDrawHandler(OSType handler, int32_t selector, intptr_t a1, intptr_t a2, intptr_t a3,
                        intptr_t a4, intptr_t a5, intptr_t a6) {
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotMethodTable));
    if (!table) return kImportNoImporter;
    int16_t fileID = 0;
    void* proc = LookupMethod(handler, table, 0, &fileID);
    if (proc) return reinterpret_cast<FmDrawEntryProc>(proc)(selector, a1, a2, a3, a4, a5, a6);
    if (fileID == 0) return kImportNoImporter;
    rc::plugins::ModuleCall call(fileID, FM_DRAW_ENTRY_NAME);
    auto entry = reinterpret_cast<FmDrawEntryProc>(call.entry());
    if (!entry) return kImportNoImporter;
    return call.run([&](void*) { return entry(selector, a1, a2, a3, a4, a5, a6); });
}

bool fileUsesImporter(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    return r && ImporterExists(r->handler);
}

namespace {

OSErr infoOf(int16_t fileID, FmMediaInfo* info, int32_t refresh, bool noPrefs) {
    if (!info) return kFileBadParam;
    std::memset(info, 0, sizeof *info);
    info->audio = TDB{0, 44100, 1};
    info->video = TDB{0, 30, 1};
    Handle h = FindFile(fileID);
    if (!h) return kImportCannotOpen;
    FmFileRecord* r = fileRec(h);
    if (!refresh && r->info.mediaFlags != 0) {
        *info = r->info;
        return 0;
    }
    FmMediaInfo answer = *info;
    OSErr err;
    if (ImporterExists(r->handler)) {
        err = importGetInfo(fileID, &answer, 0, noPrefs);
    } else {
        err = callDrawHandler(r->handler, kDrawGetInfo, fileID, intptr_t(&answer), 0, 0, 0, 0);
    }
    if (err != 0) return err;
    *info = answer;
    if ((r = findFileRec(fileID))) r->info = answer;
    return 0;
}

OSErr hookInfo(int16_t id, FmMediaInfo* info, int32_t refresh, bool noPrefs) {
    return infoOf(id, info, refresh, noPrefs);
}

bool hookImporterExists(OSType handler) {
    return ImporterExists(handler);
}

bool hookHasSetup(OSType handler) {
    return ::importerHasSetup(handler);
}

bool hookDelete(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r || !ImporterExists(r->handler)) return false;
    const RcImporterCapabilities* caps = rc::plugins::importerCaps(r->handler);
    if (!caps || !caps->canDelete) return false;
    RcImportFileAccess access;
    rc::plugins::fillAccess(fileID, access);
    FmDebug(0, "imDeleteFile: filename=%s", access.path);
    return rc::plugins::callImporter(r->handler, kRcImportDeleteFile, intptr_t(&access), 0) == 0;
}

// The time format the file's importer reported, else one made from the
// file's rate.
int32_t clipTimeFormat(int32_t clipID) {
    FmFileRecord* f = findFileRec(ClipFile(clipID));
    if (!f) return 0;
    if (f->info.timeFormat != 0) return f->info.timeFormat;
    const TDB& t =
        (f->info.mediaFlags & 1) || !(f->info.mediaFlags & 2) ? f->info.video : f->info.audio;
    return t.samp > 0 && t.scale > 0 ? int32_t((int64_t(t.scale) + t.samp / 2) / t.samp) & 0xFFFF
                                     : 0;
}

}  // namespace

void installMediaAccessHooks() {
    rc::timehooks::setClipTimeFormat(clipTimeFormat);
    rc::mediahooks::setFileOpen(FileOpen);
    rc::mediahooks::setFileQuiet(FileQuiet);
    rc::mediahooks::setFileClose(FileClose);
    rc::mediahooks::setGetInfo(hookInfo);
    rc::mediahooks::setImporterExists(hookImporterExists);
    rc::mediahooks::setImporterHasSetup(hookHasSetup);
    rc::mediahooks::setDeleteThroughHandler(hookDelete);
}

}  // namespace rc::media

using namespace rc::media;

RC_API Boolean ImporterExists(OSType handler) {
    Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable));
    if (!table || handler == 0) return false;
    int16_t fileID = 0;
    void* proc = LookupMethod(handler, table, 0, &fileID);
    return proc != nullptr || fileID != 0;
}

RC_API OSErr GetInfo(int16_t fileID, FmMediaInfo* info, int32_t refresh) {
    return infoOf(fileID, info, refresh, false);
}

RC_API OSErr GetInfoNoPrefs(int16_t fileID, FmMediaInfo* info, int32_t refresh) {
    return infoOf(fileID, info, refresh, true);
}

RC_API OSErr FileOpen(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    if (ImporterExists(r->handler)) return rc::plugins::importOpenFile(fileID);
    return callDrawHandler(r->handler, kDrawOpen, fileID, 0, 0, 0, 0, 0);
}

RC_API OSErr FileQuiet(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    if (ImporterExists(r->handler)) return rc::plugins::importQuietFile(fileID);
    return callDrawHandler(r->handler, kDrawQuiet, fileID, 0, 0, 0, 0, 0);
}

RC_API OSErr FileClose(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    if (ImporterExists(r->handler)) return importCloseFile(fileID);
    return callDrawHandler(r->handler, kDrawClose, fileID, 0, 0, 0, 0, 0);
}

RC_API OSErr FileExtra(int16_t fileID, int32_t request, void* data) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    return callDrawHandler(r->handler, kDrawExtra, fileID, request, intptr_t(data), 0, 0, 0);
}

RC_API void DrawCleanup(void) {
    Handle table = rc::ui::handlerTable();
    const int32_t count = rc::ui::methodCount(table);
    // Types are copied first: the table may move while a handler runs.
    std::vector<OSType> types;
    const auto* entries = table ? reinterpret_cast<const rc::ui::MethodEntry*>(
                                      *table + sizeof(rc::ui::MethodTableHeader))
                                : nullptr;
    for (int32_t i = 0; i < count; ++i) types.push_back(entries[i].type);
    for (OSType type : types)
        if (!ImporterExists(type)) callDrawHandler(type, kDrawCleanup, 0, 0, 0, 0, 0, 0);
}
