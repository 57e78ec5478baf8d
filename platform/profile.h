// Private-profile files: INI-style text with [sections] and key=value
// lines. Section and key names compare without regard to case; lines
// starting with ';' or '#' are comments; blanks around names and values are
// ignored and a value wrapped in matching quotes loses them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rc::platform {

// The value of key in section, or nothing when the file, the section or the
// key is missing.
std::optional<std::string> profileLookup(const char* section, const char* key, const char* path);

// The key's value copied into buffer (at most size - 1 bytes, always
// terminated), or the default when the key is missing. Returns the number
// of bytes copied, not counting the terminator.
uint32_t getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const char* path);

// The key's value read as a decimal integer (an optional sign, then
// digits; reading stops at the first other character, so a value without
// leading digits reads 0), or the default when the key is missing.
int32_t getPrivateProfileInt(const char* section, const char* key, int32_t defaultValue,
                             const char* path);

}  // namespace rc::platform
