// The record layouts of the sections that project and settings files hold,
// by tag: used to check files and to exercise the codec on every layout.
#pragma once

#include <cstddef>

#include "reelcore/types.h"

namespace rc::project {

struct KnownSchema {
    OSType tag;
    const char* type;
    const char* names;      // may be null
    const char* olderType;  // the layout of older files, or null
};

const KnownSchema* knownSchemas(size_t* count);
const KnownSchema* findSchema(OSType tag);

}  // namespace rc::project
