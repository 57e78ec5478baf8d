// What a filter module tells the keyframe code about its parameters: its
// animation description (PiPL) or its FltD table, read with the module's
// resource fork open.
#pragma once

#include <cstdint>
#include <vector>

#include "reelcore/resources.h"
#include "reelcore/types.h"
#include "timeline/keys/blend.h"

namespace rc::keys {

constexpr OSType kTypeXE = 0x65464B54;       // 'eFKT'
constexpr OSType kTypeImagist = 0x5137464D;  // 'Q7FM'

// Opens a module's resource fork and makes it current for the object's life;
// afterwards the fork is released (it stays open in the file table) and the
// previous current resource file is current again.
class ModuleFork {
  public:
    explicit ModuleFork(int16_t fileID);
    ~ModuleFork();
    ModuleFork(const ModuleFork&) = delete;
    ModuleFork& operator=(const ModuleFork&) = delete;
    bool open() const { return ref_ != -1; }

  private:
    int16_t fileID_;
    ResFileRef saved_;
    int32_t ref_;
};

struct AnimDescription {
    bool hasPiPL = false;
    bool hasFilterInfo = false;  // the 'aFLT' property
    std::vector<AnimParam> params;
};

// Parameters read from a description; a longer one is walked this far (the
// rest of the SingleSpec is copied from the earlier key).
constexpr int32_t kMaxAnimParams = 4096;

// Reads the animation description of the module whose fork is current.
void readAnimDescription(int16_t fileID, AnimDescription* out);
// The module's FltD table (resource 'FltD' 1 of the current fork), or null.
Handle fltdTable();

}  // namespace rc::keys
