// Module access for blending: the resource fork and the parameter
// descriptions it holds.
#include "timeline/keys/module.h"

#include "reelcore/filetable.h"

namespace rc::keys {

ModuleFork::ModuleFork(int16_t fileID)
    : fileID_(fileID), saved_(CurResFile()), ref_(OpenFmxRFile(fileID, 255)) {}

ModuleFork::~ModuleFork() {
    if (ref_ != -1) ReleaseRFile(fileID_);
    UseResFile(saved_);
}

void readAnimDescription(int16_t, AnimDescription* out) {
    // PiPLs are read by the plug-in registry; without it no module has one.
    *out = AnimDescription{};
}

Handle fltdTable() {
    return Get1Resource(kFltDResType, kFltDResID);
}

}  // namespace rc::keys
