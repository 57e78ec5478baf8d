// Byte layout of a module's resource container, shared by the resource
// compiler (tools/rescomp) and the reader in the library.
//
// A module carries its resources in the ELF section ".fmrsrc". The section
// holds one or more containers back to back, each starting on a 16-byte
// boundary (a statically linked program may collect several). A container is:
//
//   header                      32 bytes
//   resource table              resourceCount entries of 20 bytes,
//                               sorted by (type name, ID)
//   string table                stringCount entries of 12 bytes,
//                               sorted by number
//   data                        the resources' stored forms and the strings
//
// All numbers are little-endian. A resource's stored form is its 2-byte
// attribute word (bit 0 purgeable, bit 1 named), the NUL-terminated name
// when named, then the resource's bytes. Strings are stored without a
// terminator; string number base * 100 + i is item i of the list whose base
// is given by the `STR#` 1000 index.
#pragma once

#include <cstdint>

namespace rc::resfmt {

inline constexpr char kSectionName[] = ".fmrsrc";
inline constexpr char kMagic[4] = {'F', 'M', 'R', 'S'};
inline constexpr uint16_t kVersion = 1;
inline constexpr uint32_t kAlignment = 16;

inline constexpr uint16_t kAttrPurgeable = 0x0001;
inline constexpr uint16_t kAttrNamed = 0x0002;

// The string-list index is `STR#` 1000; a list holds at most 99 items.
inline constexpr int16_t kStringIndexID = 1000;
inline constexpr int kMaxListItems = 99;

#pragma pack(push, 1)
struct ContainerHeader {
    char magic[4];
    uint16_t version;
    uint16_t headerSize;  // 32
    uint32_t totalSize;   // the whole container, a multiple of 16
    uint32_t resourceCount;
    uint32_t resourceTableOffset;
    uint32_t stringCount;
    uint32_t stringTableOffset;
    uint32_t reserved;
};

// The type name is the lookup name of the type code (see typeNameOf):
// NUL-padded to 8 bytes.
struct ResourceEntry {
    char typeName[8];
    int16_t id;
    uint16_t reserved;
    uint32_t offset;  // from the start of the container
    uint32_t size;    // the stored form: attribute word, name, bytes
};

struct StringEntry {
    uint32_t number;
    uint32_t offset;
    uint32_t length;
};
#pragma pack(pop)

static_assert(sizeof(ContainerHeader) == 32, "container header is 32 bytes");
static_assert(sizeof(ResourceEntry) == 20, "resource entry is 20 bytes");
static_assert(sizeof(StringEntry) == 12, "string entry is 12 bytes");

// The name under which a type code is stored: its characters, first
// character first, up to the first space or NUL; a name that starts with a
// digit gets a leading underscore. Writes at most 6 bytes with the NUL.
inline void typeNameOf(uint32_t type, char out[8]) {
    for (int i = 0; i < 8; ++i) out[i] = 0;
    int n = 0;
    const char first = static_cast<char>(type >> 24);
    if (first >= '0' && first <= '9') out[n++] = '_';
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((type >> shift) & 0xFF);
        if (c == ' ' || c == '\0') break;
        out[n++] = c;
    }
}

}  // namespace rc::resfmt
