// Module access for blending: the resource fork and the parameter
// descriptions it holds.
#include "timeline/keys/module.h"

#include <algorithm>

#include "reelcore/filetable.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"

namespace rc::keys {

ModuleFork::ModuleFork(int16_t fileID)
    : fileID_(fileID), saved_(CurResFile()), ref_(OpenFmxRFile(fileID, 255)) {}

ModuleFork::~ModuleFork() {
    if (ref_ != -1) ReleaseRFile(fileID_);
    UseResFile(saved_);
}

void readAnimDescription(int16_t fileID, AnimDescription* out) {
    *out = AnimDescription{};
    Handle pipl = GetPiPLHandle(fileID);
    if (!pipl) return;
    out->hasPiPL = true;
    RcAnimFilterInfo info;
    out->hasFilterInfo = GetAnimFilterInfo(pipl, &info);
    if (out->hasFilterInfo) {
        // A missing 'aPAR' reads as a zeroed record: nothing blended, nothing copied.
        const int32_t count = std::min(info.paramCount, kMaxAnimParams);
        out->params.reserve(size_t(std::max(count, 0)));
        for (int32_t i = 0; i < count; ++i) {
            RcAnimParamInfo p;
            GetAnimParamProperty(pipl, i, &p);
            out->params.push_back({p.dataType, uint32_t(p.flags), p.size});
        }
    }
    DisposeHandle(pipl);
}

Handle fltdTable() {
    return Get1Resource(kFltDResType, kFltDResID);
}

}  // namespace rc::keys
