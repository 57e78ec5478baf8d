// What the handler layer needs from families built beside it: the current
// resource file (the resource chain) and module files opened by FileID (the
// file table). Tests may replace each link.
#pragma once

#include <cstdint>
#include <string>

namespace rc::ui::links {

int32_t currentResFile();
void useResFile(int32_t file);

// Opens the module file of a FileID as a resource file (made current);
// returns the resource file and the module's path, or -1 when the module
// cannot be opened.
int32_t openModuleFile(int16_t fileID, std::string& path);
// One user fewer of a module file opened above.
void releaseModuleFile(int16_t fileID);

struct Hooks {
    int32_t (*currentResFile)() = nullptr;
    void (*useResFile)(int32_t file) = nullptr;
    int32_t (*openModuleFile)(int16_t fileID, std::string& path) = nullptr;
    void (*releaseModuleFile)(int16_t fileID) = nullptr;
};
// Replaces the links (null members restore the default of each).
void setHooks(const Hooks& hooks);

}  // namespace rc::ui::links
