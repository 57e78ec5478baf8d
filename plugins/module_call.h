// Calling into a registered module's code: the module's resource file is
// made current, its code loaded, the entry point resolved by name, and the
// current module (slot 333) set for the duration of the call. Everything is
// put back when the call object goes.
#pragma once

#include <cstdint>

namespace rc::plugins {

class ModuleCall {
  public:
    ModuleCall(int16_t fileID, const char* entryName);
    ~ModuleCall();
    ModuleCall(const ModuleCall&) = delete;
    ModuleCall& operator=(const ModuleCall&) = delete;

    // Null when the module cannot be opened or lacks the entry point (its
    // callers then answer 1).
    void* entry() const { return entry_; }

    // fn(entry) with slot 333 set to the module's FileID.
    template <class Fn>
    auto run(Fn&& fn) {
        struct Current {
            intptr_t saved;
            explicit Current(int16_t id) : saved(swapCurrent(id)) {}
            ~Current() { swapCurrent(saved); }
        } current(fileID_);
        return fn(entry_);
    }

  private:
    static intptr_t swapCurrent(intptr_t value);

    int16_t fileID_;
    int32_t savedResFile_;
    bool fileOpen_ = false;
    void* code_ = nullptr;
    void* entry_ = nullptr;
};

// Modules whose code was loaded since the counter was last reset.
int32_t moduleLoads();
void resetModuleLoads();

}  // namespace rc::plugins
