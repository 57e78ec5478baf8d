#include "core/resource_container.h"

#include <algorithm>
#include <cstring>

#include "core/resource_format.h"

namespace rc::res {

namespace fmt = rc::resfmt;

namespace {

bool within(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

template <typename T>
T readAt(const uint8_t* base, uint64_t offset) {
    T v;
    std::memcpy(&v, base + offset, sizeof v);
    return v;
}

int compareKey(const fmt::ResourceEntry& e, const char (&name)[8], int16_t id) {
    const int c = std::memcmp(e.typeName, name, sizeof name);
    if (c != 0) return c;
    return e.id < id ? -1 : e.id > id ? 1 : 0;
}

}  // namespace

ResourceParts splitStored(StoredResource stored) {
    ResourceParts p;
    if (stored.bytes == nullptr || stored.size < 2) return p;
    p.attributes = static_cast<uint16_t>(stored.bytes[0] | (stored.bytes[1] << 8));
    uint32_t at = 2;
    if (p.attributes & fmt::kAttrNamed) {
        const auto* begin = stored.bytes + at;
        const auto* nul = static_cast<const uint8_t*>(std::memchr(begin, 0, stored.size - at));
        if (nul == nullptr) return p;
        p.name = std::string_view(reinterpret_cast<const char*>(begin),
                                  static_cast<size_t>(nul - begin));
        at += static_cast<uint32_t>(p.name.size()) + 1;
    }
    p.data = stored.bytes + at;
    p.dataLength = stored.size - at;
    p.ok = true;
    return p;
}

bool Container::parseBlock(uint32_t start, uint32_t available, Block& out) const {
    const uint8_t* base = bytes_.data() + start;
    if (available < sizeof(fmt::ContainerHeader)) return false;
    const auto h = readAt<fmt::ContainerHeader>(base, 0);
    if (std::memcmp(h.magic, fmt::kMagic, 4) != 0 || h.version != fmt::kVersion ||
        h.headerSize != sizeof h || h.totalSize < sizeof h || h.totalSize > available)
        return false;
    const uint32_t size = h.totalSize;
    if (!within(h.resourceTableOffset, uint64_t{h.resourceCount} * sizeof(fmt::ResourceEntry),
                size) ||
        !within(h.stringTableOffset, uint64_t{h.stringCount} * sizeof(fmt::StringEntry), size))
        return false;
    for (uint32_t i = 0; i < h.resourceCount; ++i) {
        const auto e = readAt<fmt::ResourceEntry>(
            base, h.resourceTableOffset + uint64_t{i} * sizeof(fmt::ResourceEntry));
        if (!within(e.offset, e.size, size)) return false;
        if (i > 0) {
            const auto prev = readAt<fmt::ResourceEntry>(
                base, h.resourceTableOffset + uint64_t{i - 1} * sizeof(fmt::ResourceEntry));
            if (compareKey(prev, e.typeName, e.id) >= 0) return false;
        }
    }
    uint32_t previousNumber = 0;
    for (uint32_t i = 0; i < h.stringCount; ++i) {
        const auto e = readAt<fmt::StringEntry>(
            base, h.stringTableOffset + uint64_t{i} * sizeof(fmt::StringEntry));
        if (!within(e.offset, e.length, size)) return false;
        if (i > 0 && e.number <= previousNumber) return false;
        previousNumber = e.number;
    }
    out.start = start;
    out.size = size;
    out.resourceCount = h.resourceCount;
    out.resourceTable = h.resourceTableOffset;
    out.stringCount = h.stringCount;
    out.stringTable = h.stringTableOffset;
    return true;
}

bool Container::load(std::vector<uint8_t> section) {
    bytes_ = std::move(section);
    blocks_.clear();
    if (bytes_.size() > 0x7FFFFFFF) {
        bytes_.clear();
        return false;
    }
    const auto total = static_cast<uint32_t>(bytes_.size());
    uint32_t at = 0;
    while (at < total) {
        // Padding between containers (alignment, or space the toolchain puts
        // between objects) is zeros, in whole 16-byte steps.
        const uint32_t step = std::min<uint32_t>(fmt::kAlignment, total - at);
        if (std::all_of(bytes_.begin() + at, bytes_.begin() + at + step,
                        [](uint8_t b) { return b == 0; })) {
            at += step;
            continue;
        }
        Block b;
        if (!parseBlock(at, total - at, b)) {
            bytes_.clear();
            blocks_.clear();
            return false;
        }
        blocks_.push_back(b);
        const uint64_t next =
            (uint64_t{at} + b.size + fmt::kAlignment - 1) / fmt::kAlignment * fmt::kAlignment;
        at = static_cast<uint32_t>(std::min<uint64_t>(next, total));
    }
    return true;
}

bool Container::find(uint32_t type, int16_t id, StoredResource& out) const {
    char name[8];
    fmt::typeNameOf(type, name);
    for (const Block& b : blocks_) {
        const uint8_t* base = bytes_.data() + b.start;
        uint32_t lo = 0, hi = b.resourceCount;
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            const auto e = readAt<fmt::ResourceEntry>(
                base, b.resourceTable + uint64_t{mid} * sizeof(fmt::ResourceEntry));
            const int c = compareKey(e, name, id);
            if (c == 0) {
                out.bytes = base + e.offset;
                out.size = e.size;
                return true;
            }
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
    }
    return false;
}

bool Container::lowestID(uint32_t type, int16_t& id) const {
    char name[8];
    fmt::typeNameOf(type, name);
    bool found = false;
    for (const Block& b : blocks_) {
        const uint8_t* base = bytes_.data() + b.start;
        uint32_t lo = 0, hi = b.resourceCount;
        while (lo < hi) {  // the first entry not below (type, INT16_MIN)
            const uint32_t mid = lo + (hi - lo) / 2;
            const auto e = readAt<fmt::ResourceEntry>(
                base, b.resourceTable + uint64_t{mid} * sizeof(fmt::ResourceEntry));
            if (compareKey(e, name, INT16_MIN) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == b.resourceCount) continue;
        const auto e = readAt<fmt::ResourceEntry>(
            base, b.resourceTable + uint64_t{lo} * sizeof(fmt::ResourceEntry));
        if (std::memcmp(e.typeName, name, sizeof name) != 0) continue;
        if (!found || e.id < id) id = e.id;
        found = true;
    }
    return found;
}

bool Container::findString(uint32_t number, std::string_view& out) const {
    for (const Block& b : blocks_) {
        const uint8_t* base = bytes_.data() + b.start;
        uint32_t lo = 0, hi = b.stringCount;
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            const auto e = readAt<fmt::StringEntry>(
                base, b.stringTable + uint64_t{mid} * sizeof(fmt::StringEntry));
            if (e.number == number) {
                out = std::string_view(reinterpret_cast<const char*>(base + e.offset), e.length);
                return true;
            }
            if (e.number < number)
                lo = mid + 1;
            else
                hi = mid;
        }
    }
    return false;
}

uint32_t Container::resourceCount() const {
    uint32_t n = 0;
    for (const Block& b : blocks_) n += b.resourceCount;
    return n;
}

uint32_t Container::stringCount() const {
    uint32_t n = 0;
    for (const Block& b : blocks_) n += b.stringCount;
    return n;
}

}  // namespace rc::res
