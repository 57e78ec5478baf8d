// Parameter-format descriptors: the text through which project files store
// flattened XE parameters, and the struct-codec schema built from it.
//   one block:  "K<ver>;<size>;<nParams>;" then per slot a type letter and
//               the record's length ("I148;"), or "N0;" for an empty slot
//   a CompSpec: "X<nSpecs>;<specSize>;" then the K text of every key
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/types.h"

namespace rc::keys {

// False for anything that is not a well-formed XE block (or, for a
// CompSpec, whose keys are not all such blocks) laid out from its header on.
bool describeSingleSpec(Handle spec, std::string* text);
bool describeCompSpec(Handle comp, std::string* text);

struct ParamSchema {
    std::string type;              // struct-codec type string
    std::string names;             // field-name list
    std::vector<int32_t> packing;  // strides, zero-terminated
    int64_t recordSize = 0;        // bytes the schema covers (sum of the strides)
};

// Builds the schema of a descriptor; false for text that is not one.
bool schemaFromDescriptor(const char* text, ParamSchema* schema);

}  // namespace rc::keys
