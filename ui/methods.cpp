// The method table of handler types and the call path into handler
// procedures, built-in or resolved by name in a module.
#include <dlfcn.h>

#include <cfenv>
#include <cstring>

#include "platform/window.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "ui/handler_links.h"
#include "ui/method_table.h"

namespace rc::ui {
namespace {

constexpr uint32_t kHeaderSize = sizeof(MethodTableHeader);
constexpr uint32_t kEntrySize = sizeof(MethodEntry);

MethodTableHeader* headerOf(Handle table) {
    return reinterpret_cast<MethodTableHeader*>(*table);
}

MethodEntry* entriesOf(Handle table) {
    return reinterpret_cast<MethodEntry*>(*table + kHeaderSize);
}

}  // namespace

int32_t methodCount(Handle table) {
    if (!table || !*table) return 0;
    uint32_t size = FmGetHandleSize(table);
    if (size < kHeaderSize) return 0;
    int32_t stored = headerOf(table)->count;
    int32_t room = int32_t((size - kHeaderSize) / kEntrySize);
    if (stored < 0) return 0;
    return stored < room ? stored : room;
}

MethodEntry* findMethod(Handle table, OSType type) {
    int32_t n = methodCount(table);
    MethodEntry* e = n ? entriesOf(table) : nullptr;
    for (int32_t i = 0; i < n; ++i)
        if (e[i].type == type) return &e[i];
    return nullptr;
}

Handle handlerTable() {
    return reinterpret_cast<Handle>(GetAGlobal(kSlotMethodTable));
}

const char* procedureName(int index) {
    switch (index) {
        case kHandlerNewProcIndex:
            return "xNew";
        case kHandlerDisposeProcIndex:
            return "xDispose";
        case kHandlerMessageProcIndex:
            return "xMessage";
        default:
            return nullptr;
    }
}

bool interfacePresent() {
    intptr_t main = GetMainWnd();
    return main != 0 && platform::isWindow(platform::WindowId(main));
}

HandlerCall::HandlerCall(OSType type, int index) {
    savedResFile_ = links::currentResFile();
    if (index < 0 || index >= kHandlerProcCount) return;
    MethodEntry* entry = findMethod(handlerTable(), type);
    if (!entry) return;
    fileID_ = entry->fileID;
    proc_ = entry->procs[index];
    if (proc_ || fileID_ == 0) return;  // a built-in entry without the procedure stays unreachable

    const char* name = procedureName(index);
    if (!name) return;
    std::string path;
    if (links::openModuleFile(fileID_, path) == -1) return;
    moduleFileOpen_ = true;
    MyFPReset();
    // The table may have moved while the module file was opened.
    entry = findMethod(handlerTable(), type);
    void* module = entry ? entry->module : nullptr;
    if (!module && !path.empty()) {
        library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        module = library_;
    }
    if (module) proc_ = dlsym(module, name);
}

HandlerCall::~HandlerCall() {
    if (library_) dlclose(library_);
    if (moduleFileOpen_) links::releaseModuleFile(fileID_);
    links::useResFile(savedResFile_);
}

intptr_t HandlerCall::swapHandlerFile(int16_t fileID) {
    return SetAGlobal(kSlotCurrentHandlerFile, fileID);
}

void HandlerCall::restoreHandlerFile(intptr_t saved) {
    SetAGlobal(kSlotCurrentHandlerFile, saved);
}

}  // namespace rc::ui

using rc::ui::MethodEntry;
using rc::ui::MethodTableHeader;

RC_API OSErr AddMethod(OSType type, void* const procedures[8], Handle table, int16_t fileID) {
    if (!table) return nilHandleErr;
    int32_t count = rc::ui::methodCount(table);
    if (count >= INT16_MAX) return memFullErr;
    uint32_t newSize = sizeof(MethodTableHeader) + uint32_t(count + 1) * sizeof(MethodEntry);
    if (FmSetHandleSize(table, newSize) != 0) return MemError();
    auto* header = reinterpret_cast<MethodTableHeader*>(*table);
    auto* entries = reinterpret_cast<MethodEntry*>(*table + sizeof(MethodTableHeader));
    std::memmove(entries + 1, entries, size_t(count) * sizeof(MethodEntry));
    MethodEntry fresh{};
    fresh.type = type;
    fresh.fileID = fileID;
    if (procedures)
        for (int i = 0; i < kHandlerProcCount; ++i) fresh.procs[i] = procedures[i];
    entries[0] = fresh;
    header->count = int16_t(count + 1);
    return noErr;
}

RC_API void* LookupMethod(OSType type, Handle table, int16_t index, int16_t* fileID) {
    MethodEntry* entry = rc::ui::findMethod(table, type);
    if (!entry || index < 0 || index >= kHandlerProcCount) {
        if (fileID) *fileID = 0;
        return nullptr;
    }
    if (fileID) *fileID = entry->fileID;
    return entry->procs[index];
}

RC_API int32_t HDLRGetCurrentResFile(void) {
    auto fileID = int16_t(GetAGlobal(kSlotCurrentHandlerFile));
    if (fileID == 0) return -1;
    // Opening the module's file again hands out its resource file; the user
    // taken is given back and the current file left as it was.
    int32_t remembered = rc::ui::links::currentResFile();
    std::string path;
    int32_t file = rc::ui::links::openModuleFile(fileID, path);
    if (file != -1) rc::ui::links::releaseModuleFile(fileID);
    rc::ui::links::useResFile(remembered);
    return file;
}

RC_API void MyFPReset(void) {
    fesetenv(FE_DFL_ENV);
}
