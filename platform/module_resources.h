// Reading a module's resource section straight from its file, without
// loading the module, and finding the file a piece of loaded code came from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rc::platform {

enum class SectionRead {
    Ok,           // the section's bytes are in `out`
    NoSection,    // a valid module without that section; `out` is empty
    NotReadable,  // the file cannot be opened or read
    Malformed     // not a 64-bit little-endian ELF file, or its tables are inconsistent
};

// Reads the bytes of section `name` from the ELF file at `path`. Every offset
// and size in the file's tables is checked against the file's size.
SectionRead readModuleSection(const char* path, const char* name, std::vector<uint8_t>& out);

// The file of the loaded module (shared library or the program itself) that
// holds `address`; empty when the address belongs to no module.
std::string modulePathOf(const void* address);

}  // namespace rc::platform
