// The importer host: the single call routine, capability records, the host
// callback record, class data and open with its declines and fallbacks.
#include "plugins/importer_host.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "media/file_table_internal.h"
#include "platform/code_modules.h"
#include "media/media_hooks.h"
#include "plugins/module_call.h"
#include "plugins/type_tables.h"
#include "reelcore/files.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"

namespace rc::plugins {

namespace {

using rc::media::fileRec;

// Class data lives as long as the process: importers store pointers to
// their own static data here.
struct ClassData {
    OSType type;
    void* data;
};
std::vector<ClassData>& classData() {
    static auto* v = new std::vector<ClassData>;
    return *v;
}
// Handler types whose start-up failed; they stay unusable.
struct FailedStart {
    OSType type;
};
std::vector<FailedStart>& failedStarts() {
    static auto* v = new std::vector<FailedStart>;
    return *v;
}
bool startFailed(OSType type) {
    return std::any_of(failedStarts().begin(), failedStarts().end(),
                       [type](const FailedStart& f) { return f.type == type; });
}

int16_t setClassDataProc(RcOSType type, void* data) {
    return SetClassData(type, data);
}
void* getClassDataProc(RcOSType type) {
    return GetClassData(type);
}
intptr_t openFileProc(int16_t fileID) {
    return OpenFmxFile(fileID, false);
}
void releaseFileProc(int16_t fileID) {
    ReleaseFile(fileID);
}

const RcImportClassDataFuncs kClassFuncs = {setClassDataProc, getClassDataProc};
void** newHandleProc(uint32_t size) {
    return reinterpret_cast<void**>(FmNewHandleClear(size));
}
void disposeHandleProc(void** h) {
    FmDisposeHandle(reinterpret_cast<Handle>(h));
}

int32_t readFileProc(intptr_t ref, int64_t offset, void* buffer, int32_t size) {
    if (ref < 0 || ref > INT32_MAX || offset < 0 || size < 0 || (!buffer && size > 0)) return -1;
    const FileRef file = FileRef(ref);
    int64_t end = 0;
    if (GetFileSize64(file, &end) != 0 || SetFilePointer64(file, &offset, nullptr, 0) != 0)
        return -1;
    if (offset >= end) return 0;
    int32_t count = size;
    FmRead(file, buffer, &count);  // a short read at the end still counts its bytes
    return count;
}
int64_t fileSizeProc(intptr_t ref) {
    int64_t size = -1;
    if (ref < 0 || ref > INT32_MAX || GetFileSize64(FileRef(ref), &size) != 0) return -1;
    return size;
}

int32_t processorCountProc() {
    const intptr_t n = GetAGlobal(kSlotProcessorCount);
    return n > 1 ? int32_t(std::min<intptr_t>(n, kMPMaxProcessors)) : 1;
}

const RcImportHostFuncs kHostFuncs = {&kClassFuncs,  openFileProc,      releaseFileProc,
                                      newHandleProc, disposeHandleProc, readFileProc,
                                      fileSizeProc,  processorCountProc};

Handle capsList() {
    return reinterpret_cast<Handle>(GetAGlobal(kSlotImporterCaps));
}

RcImporterCapabilities* findCaps(OSType type) {
    Handle list = capsList();
    if (!list || !*list) return nullptr;
    const size_t count = FmGetHandleSize(list) / sizeof(RcImporterCapabilities);
    auto* caps = reinterpret_cast<RcImporterCapabilities*>(*list);
    for (size_t i = 0; i < count; ++i)
        if (OSType(caps[i].handlerType) == type) return &caps[i];
    return nullptr;
}

bool storeCaps(const RcImporterCapabilities& caps) {
    Handle list = capsList();
    if (!list) {
        list = FmNewHandle(0);
        if (!list) return false;
        SetAGlobal(kSlotImporterCaps, reinterpret_cast<intptr_t>(list));
    }
    const uint32_t size = FmGetHandleSize(list);
    if (FmSetHandleSize(list, size + sizeof caps) != 0) return false;
    std::memcpy(*list + size, &caps, sizeof caps);
    return true;
}

Handle importerTable() {
    return reinterpret_cast<Handle>(GetAGlobal(kSlotImporterTable));
}

// An importer that asks to stay loaded (capability word 12) keeps decoders
// and other state in its code between calls, so unloading its code after a
// call would leave that state dangling. One extra load of the module pins it
// for the rest of the process; the per-call load and unload then only move
// the reference count.
void keepImporterLoaded(OSType type) {
    static std::vector<int16_t> pinned;
    Handle table = importerTable();
    if (!table) return;
    int16_t fileID = 0;
    if (LookupMethod(type, table, 0, &fileID) || fileID == 0) return;  // built in
    if (std::find(pinned.begin(), pinned.end(), fileID) != pinned.end()) return;
    char path[260];
    GetFSSpecPath(fileID, path);
    if (platform::loadCodeModule(path)) pinned.push_back(fileID);
}

// Sends start-up to an importer not yet in the capability list.
const RcImporterCapabilities* startImporter(OSType type) {
    if (startFailed(type)) return nullptr;
    RcImporterCapabilities caps{};
    caps.handlerType = int32_t(type);
    const int16_t result =
        callImporter(type, kRcImportStartup, reinterpret_cast<intptr_t>(&caps), 0);
    caps.handlerType = int32_t(type);
    if (result != 0 || !storeCaps(caps)) {
        failedStarts().push_back({type});
        return nullptr;
    }
    if (caps.keepLoaded) keepImporterLoaded(type);
    return findCaps(type);
}

// The first importer registered for the file type (cross-reference order)
// whose priority is 0; the handler that failed is skipped.
OSType fallbackImporter(OSType fileType, OSType skip) {
    for (const RcXrefEntry& e : xrefEntries()) {
        const OSType handler = e.handlerType;
        if (e.fileType != fileType || handler == skip || !ImporterExists(handler)) continue;
        const RcImporterCapabilities* caps = importerCaps(handler);
        if (caps && caps->priority == 0) return handler;
    }
    return 0;
}

int32_t handlerPriority(OSType handler) {
    const RcImporterCapabilities* caps = findCaps(handler);
    return caps ? caps->priority : 0;
}

}  // namespace

int16_t callImporter(OSType type, int32_t selector, intptr_t param1, intptr_t param2) {
    Handle table = importerTable();
    if (!table) return kImportNoImporter;
    int16_t fileID = 0;
    void* proc = LookupMethod(type, table, 0, &fileID);
    void* host = importerHostRecord();
    if (proc) {
        return reinterpret_cast<RcImportEntryProc>(proc)(selector, host, param1, param2);
    }
    if (fileID == 0) return kImportNoImporter;
    ModuleCall call(fileID, RC_IMPORT_ENTRY_NAME);
    auto entry = reinterpret_cast<RcImportEntryProc>(call.entry());
    if (!entry) return kImportNoImporter;
    return call.run([&](void*) { return entry(selector, host, param1, param2); });
}

const RcImporterCapabilities* importerCaps(OSType type) {
    if (const RcImporterCapabilities* c = findCaps(type)) return c;
    if (!ImporterExists(type)) return nullptr;
    return startImporter(type);
}

RcImportHostRecord* importerHostRecord() {
    static const bool hooked = [] {
        setHandlerPriority(handlerPriority);
        return true;
    }();
    (void)hooked;
    auto* record = reinterpret_cast<RcImportHostRecord*>(GetAGlobal(kSlotImporterHostRecord));
    if (record) return record;
    static RcImportHostRecord made{};
    made.version = kRcImportInterfaceVersion;
    made.funcs = &kHostFuncs;
    made.utilities = reinterpret_cast<const void*>(GetAGlobal(kSlotHostUtilities));
    SetAGlobal(kSlotImporterHostRecord, reinterpret_cast<intptr_t>(&made));
    return &made;
}

void fillAccess(int16_t fileID, RcImportFileAccess& access) {
    std::memset(&access, 0, sizeof access);
    access.fileRef = -1;
    FmFileRecord* r = rc::media::findFileRec(fileID);
    if (!r) return;
    access.fileID = fileID;
    access.fileType = r->type;
    access.vRefNum = r->spec.vRefNum;
    access.parID = r->spec.parID;
    std::memcpy(access.path, r->spec.name, sizeof access.path);
    access.path[sizeof access.path - 1] = '\0';
    access.privateData = reinterpret_cast<intptr_t>(r->handlerData);
}

namespace {

// Keeps what the importer left as its private data.
void keepPrivateData(int16_t fileID, intptr_t data) {
    if (FmFileRecord* r = rc::media::findFileRec(fileID))
        r->handlerData = reinterpret_cast<Handle>(data);
}

}  // namespace

OSErr importOpenFile(int16_t fileID) {
    Handle h = FindFile(fileID);
    if (!h) return kImportCannotOpen;
    OSType handler = fileRec(h)->handler;
    bool triedFallback = false;
    for (int redirect = 0; redirect <= kImportMaxRedirects; ++redirect) {
        const RcImporterCapabilities* caps = importerCaps(handler);
        RcImportFileAccess access;
        fillAccess(fileID, access);
        const int16_t result = caps ? callImporter(handler, kRcImportOpenFile,
                                                   reinterpret_cast<intptr_t>(importerHostRecord()),
                                                   reinterpret_cast<intptr_t>(&access))
                                    : int16_t(kImportNoImporter);
        FmFileRecord* r = fileRec(h);
        if (result == 0) {
            r->handler = handler;
            if (access.fileRef != -1) {
                r->dataState = 2;
                r->dataRef = FileRef(access.fileRef);
            }
            keepPrivateData(fileID, access.privateData);
            return 0;
        }
        if (result == kRcImportDecline) {
            keepPrivateData(fileID, access.privateData);
            const OSType named = access.newHandler;
            if (named == 0) return kImportNoneCanOpen;
            r->handler = named;
            const RcImporterCapabilities* next = importerCaps(named);
            if (next && next->ownsFile) {
                r->handlerOwnsFile = 1;
                handler = named;
                continue;  // the named importer opens it itself
            }
            r->handlerOwnsFile = 0;
            FSSpec spec = r->spec;
            FileRef ref = -1;
            if (FSpOpenDF(&spec, fsRdPerm, &ref) != 0) return kImportCannotOpen;
            r = fileRec(h);
            r->dataRef = ref;
            r->dataState = 2;
            return 0;
        }
        // Any other failure: a priority-0 importer of the same type may take over.
        if (triedFallback || !caps || caps->priority <= 0) return kImportNoneCanOpen;
        const OSType other = fallbackImporter(r->type, handler);
        if (other == 0) return kImportNoneCanOpen;
        triedFallback = true;
        handler = other;
        r->handler = other;
        const RcImporterCapabilities* otherCaps = importerCaps(other);
        r->handlerOwnsFile = otherCaps && otherCaps->ownsFile;
    }
    return kImportNoneCanOpen;
}

OSErr importQuietFile(int16_t fileID) {
    FmFileRecord* r = rc::media::findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    RcImportFileAccess access;
    fillAccess(fileID, access);
    FmDebug(0, "imQuietFile: filename:%s", access.path);
    const OSErr result =
        callImporter(r->handler, kRcImportQuietFile, reinterpret_cast<intptr_t>(&access), 0);
    keepPrivateData(fileID, access.privateData);
    return result;
}

void resetImporterHost() {
    classData().clear();
    failedStarts().clear();
    if (Handle list = capsList()) FmDisposeHandle(list);
    SetAGlobal(kSlotImporterCaps, 0);
}

}  // namespace rc::plugins

using namespace rc::plugins;

namespace {

Boolean capsWord(OSType type, int32_t RcImporterCapabilities::*field) {
    const RcImporterCapabilities* c = importerCaps(type);
    return c && c->*field != 0;
}

}  // namespace

RC_API Boolean importerCanSave(OSType type) {
    return capsWord(type, &RcImporterCapabilities::canSave);
}
RC_API Boolean importerIsSynthetic(OSType type) {
    return capsWord(type, &RcImporterCapabilities::isSynthetic);
}
RC_API Boolean importerHasSetup(OSType type) {
    return capsWord(type, &RcImporterCapabilities::hasSetup);
}
RC_API Boolean importerSetupOnDblClk(OSType type) {
    return capsWord(type, &RcImporterCapabilities::setupOnDblClk);
}
RC_API Boolean importerCreatesFiles(OSType type) {
    return capsWord(type, &RcImporterCapabilities::createsFiles);
}

RC_API OSErr SetClassData(OSType type, void* data) {
    for (ClassData& c : classData())
        if (c.type == type) {
            c.data = data;
            return 0;
        }
    classData().push_back({type, data});
    return 0;
}

RC_API void* GetClassData(OSType type) {
    for (const ClassData& c : classData())
        if (c.type == type) return c.data;
    return nullptr;
}

RC_API OSErr FmAddBuiltinImporter(OSType type, FmImportProc proc) {
    if (!proc) return kFileBadParam;
    Handle table = importerTable();
    if (!table) {
        table = FmNewHandleClear(2);
        if (!table) return memFullErr;
        SetAGlobal(kSlotImporterTable, reinterpret_cast<intptr_t>(table));
    }
    void* procs[8] = {reinterpret_cast<void*>(proc)};
    if (OSErr err = AddMethod(type, procs, table, 0)) return err;
    std::erase_if(failedStarts(), [type](const FailedStart& f) { return f.type == type; });
    return importerCaps(type) ? 0 : kImportNoImporter;
}
