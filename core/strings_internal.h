// Shared helpers of the string routines: the double-byte script and the
// line-ending converter.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rc::str {

// The library's script (0 single-byte, 1 Shift-JIS, 2 Big5, 3 Hangul).
int16_t script();

// True when b is the first byte of a double-byte character in the script.
inline bool isLeadByte(int16_t script, uint8_t b) {
    switch (script) {
        case 1:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case 2:
        case 3:
            return b > 0xA0 && b != 0xFF;
        default:
            return false;
    }
}

// Converts n bytes of text (stopping at a NUL) as FmFixLineEnding does;
// writes the result and a NUL to dst when dst is not null. Returns the
// result's length without the NUL; `changed` tells whether it differs.
size_t fixLineEndings(const char* src, size_t n, char* dst, bool toMac, bool& changed);

}  // namespace rc::str
