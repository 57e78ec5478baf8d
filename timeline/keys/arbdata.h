// Ownership of the arbitrary data that live XE blocks reach through Handles:
// every copy of a block gets its own data, and disposing of a block frees its
// data, through the filter's own calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "timeline/keys/layout.h"

namespace rc::keys {

// dst holds a byte copy of the first `copied` bytes of src. Clears the data
// words the copy took over, then, when dst is itself a well-formed live XE
// block, gives it its own copies of src's data. On failure nothing made is
// kept and dst holds no data Handles.
OSErr adoptArbitraryData(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen,
                         size_t copied);
// Frees the data of a well-formed live XE block and clears its words.
void disposeArbitraryData(uint8_t* block, size_t len);
// Copies `src` into dst (dstLen bytes: min of both copied, the rest zeroed)
// with its own arbitrary data. -50 for a malformed XE block.
OSErr copySpecBytes(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen);

constexpr OSErr kBadSpec = -50;

}  // namespace rc::keys
