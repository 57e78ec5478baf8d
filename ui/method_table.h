// The method table of handler types and the path by which a handler's
// procedure is reached and called: the procedure from the table, or
// resolved by name in the handler's module, with the current handler file
// (slot 333) and the current resource file put back afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "reelcore/handlers.h"

namespace rc::ui {

// A table handle holds this header, then the entries. Entries are pointer
// sized here, so the header is padded to keep them aligned.
struct MethodTableHeader {
    int16_t count;
    int16_t reserved[3];
};

struct MethodEntry {
    OSType type;
    int16_t fileID;    // module implementing the type; 0 built into the executable
    int16_t useCount;  // live windows created through the module
    void* module;      // the module while it has live windows
    void* procs[kHandlerProcCount];
};

static_assert(sizeof(MethodTableHeader) == 8, "entries start pointer-aligned");

// Number of entries (0 for a null or short table).
int32_t methodCount(Handle table);
// The first entry of the type, or null. Valid until the table is resized.
MethodEntry* findMethod(Handle table, OSType type);
// The handler table of slot 2, or null.
Handle handlerTable();

// Procedure names exported by handler modules, by entry point.
const char* procedureName(int index);

// One call into a handler procedure. The constructor remembers the current
// resource file and finds the procedure (opening the module when it must be
// resolved by name); the destructor releases the module and restores the
// resource file.
class HandlerCall {
  public:
    HandlerCall(OSType type, int index);
    ~HandlerCall();
    HandlerCall(const HandlerCall&) = delete;
    HandlerCall& operator=(const HandlerCall&) = delete;

    void* procedure() const { return proc_; }
    int16_t fileID() const { return fileID_; }

    // Calls fn(procedure) with slot 333 set to the entry's FileID.
    template <class Fn>
    auto run(Fn&& fn) {
        struct SlotGuard {
            intptr_t saved;
            explicit SlotGuard(int16_t id) : saved(swapHandlerFile(id)) {}
            ~SlotGuard() { restoreHandlerFile(saved); }
        } guard(fileID_);
        return fn(proc_);
    }

  private:
    static intptr_t swapHandlerFile(int16_t fileID);
    static void restoreHandlerFile(intptr_t saved);

    int32_t savedResFile_ = -1;
    int16_t fileID_ = 0;
    bool moduleFileOpen_ = false;
    void* library_ = nullptr;  // loaded for this call only
    void* proc_ = nullptr;
};

// The answer of a window that is not a handler window.
inline int16_t plainAnswer(intptr_t code) {
    return code == 10 ? 0 : 1;
}

// True when the interface exists (a main window).
bool interfacePresent();

}  // namespace rc::ui
