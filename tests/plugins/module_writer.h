// Writes plug-in module files for tests and benchmarks: a small ELF file
// whose ".fmrsrc" section holds a resource container built here, so modules
// of any shape (also malformed ones) are made without compiling anything.
// Such files have no code; they are read, never loaded.
#pragma once

#include <elf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/resource_format.h"

namespace plugtest {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t cc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

inline void put16(Bytes& b, int32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void putText(Bytes& b, const std::string& s, bool nul = true) {
    b.insert(b.end(), s.begin(), s.end());
    if (nul) b.push_back(0);
}
// Appends n raw bytes. Used where a small vector would otherwise grow by
// insertion, which GCC 12's optimised builds misreport as out of bounds.
inline void appendRaw(Bytes& b, const void* p, size_t n) {
    if (n == 0) return;
    const size_t at = b.size();
    b.resize(at + n);
    std::memcpy(b.data() + at, p, n);
}
inline Bytes counted(const std::string& s) {
    Bytes b{uint8_t(s.size())};
    appendRaw(b, s.data(), s.size());
    return b;
}
inline Bytes word16(int32_t v) {
    Bytes b;
    put16(b, v);
    return b;
}
inline Bytes word32(uint32_t v) {
    Bytes b;
    put32(b, v);
    return b;
}
inline Bytes text(const std::string& s, bool nul = false) {
    Bytes b;
    putText(b, s, nul);
    return b;
}

// A property list; count and lengths may be overridden to make hostile ones.
class Pipl {
  public:
    explicit Pipl(int32_t version = 0) : version_(version) {}
    Pipl& prop(uint32_t key, const Bytes& data, int32_t id = 0, uint32_t vendor = cc("Q7IM"),
               int32_t lengthOverride = -1) {
        put32(props_, vendor);
        put32(props_, key);
        put32(props_, uint32_t(id));
        put32(props_, uint32_t(lengthOverride >= 0 ? lengthOverride : int32_t(data.size())));
        props_.insert(props_.end(), data.begin(), data.end());
        while (props_.size() % 4) props_.push_back(0);
        ++count_;
        return *this;
    }
    Pipl& kind(uint32_t k) { return prop(cc("kind"), word32(k)); }
    Pipl& name(const std::string& n) { return prop(cc("name"), counted(n)); }
    Pipl& matchName(const std::string& n) { return prop(cc("eMNA"), counted(n)); }
    Pipl& version(int32_t v) {
        Bytes b;
        put16(b, v);
        put16(b, 0);
        return prop(cc("eSVR"), b);
    }
    Pipl& count(int32_t c) {
        countOverride_ = c;
        return *this;
    }
    Bytes build() const {
        Bytes b;
        put32(b, uint32_t(version_));
        put32(b, uint32_t(countOverride_ != INT32_MIN ? countOverride_ : count_));
        b.insert(b.end(), props_.begin(), props_.end());
        return b;
    }

  private:
    int32_t version_;
    int32_t count_ = 0;
    int32_t countOverride_ = INT32_MIN;
    Bytes props_;
};

struct Resource {
    uint32_t type;
    int16_t id;
    Bytes data;
};

// The resource container (see core/resource_format.h).
inline Bytes buildContainer(std::vector<Resource> resources) {
    namespace fmt = rc::resfmt;
    struct Keyed {
        char name[8];
        const Resource* r;
    };
    std::vector<Keyed> keyed;
    for (const Resource& r : resources) {
        Keyed k{};
        fmt::typeNameOf(r.type, k.name);
        k.r = &r;
        keyed.push_back(k);
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int c = std::memcmp(a.name, b.name, 8);
        return c != 0 ? c < 0 : a.r->id < b.r->id;
    });
    const uint32_t tableOffset = sizeof(fmt::ContainerHeader);
    uint32_t dataOffset = tableOffset + uint32_t(keyed.size() * sizeof(fmt::ResourceEntry));
    Bytes table, data;
    for (const Keyed& k : keyed) {
        fmt::ResourceEntry e{};
        std::memcpy(e.typeName, k.name, 8);
        e.id = k.r->id;
        e.offset = dataOffset + uint32_t(data.size());
        e.size = uint32_t(2 + k.r->data.size());
        const auto* p = reinterpret_cast<const uint8_t*>(&e);
        table.insert(table.end(), p, p + sizeof e);
        put16(data, 0);
        data.insert(data.end(), k.r->data.begin(), k.r->data.end());
    }
    fmt::ContainerHeader h{};
    std::memcpy(h.magic, fmt::kMagic, 4);
    h.version = fmt::kVersion;
    h.headerSize = sizeof h;
    h.resourceCount = uint32_t(keyed.size());
    h.resourceTableOffset = tableOffset;
    h.stringTableOffset = dataOffset;
    uint32_t total = dataOffset + uint32_t(data.size());
    total = (total + 15) / 16 * 16;
    h.totalSize = total;
    Bytes out;
    appendRaw(out, &h, sizeof h);
    appendRaw(out, table.data(), table.size());
    appendRaw(out, data.data(), data.size());
    out.resize(total, 0);
    return out;
}

// A 64-bit ELF file with the container as its ".fmrsrc" section.
inline Bytes buildModule(const std::vector<Resource>& resources) {
    const Bytes section = buildContainer(resources);
    const char names[] = "\0.fmrsrc\0.shstrtab";
    const uint64_t sectionAt = sizeof(Elf64_Ehdr);
    const uint64_t namesAt = sectionAt + section.size();
    uint64_t headersAt = namesAt + sizeof names;
    headersAt = (headersAt + 7) / 8 * 8;
    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_type = ET_DYN;
    eh.e_machine = EM_X86_64;
    eh.e_version = EV_CURRENT;
    eh.e_shoff = headersAt;
    eh.e_ehsize = sizeof eh;
    eh.e_shentsize = sizeof(Elf64_Shdr);
    eh.e_shnum = 3;
    eh.e_shstrndx = 2;
    Elf64_Shdr sh[3]{};
    sh[1].sh_name = 1;
    sh[1].sh_type = SHT_PROGBITS;
    sh[1].sh_offset = sectionAt;
    sh[1].sh_size = section.size();
    sh[2].sh_name = 9;
    sh[2].sh_type = SHT_STRTAB;
    sh[2].sh_offset = namesAt;
    sh[2].sh_size = sizeof names;
    Bytes out;
    appendRaw(out, &eh, sizeof eh);
    appendRaw(out, section.data(), section.size());
    appendRaw(out, names, sizeof names);
    out.resize(headersAt, 0);
    appendRaw(out, sh, sizeof sh);
    return out;
}

inline bool writeFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline bool writeModule(const std::string& path, const std::vector<Resource>& resources) {
    return writeFile(path, buildModule(resources));
}

}  // namespace plugtest
