// One module's resources as read from its ".fmrsrc" section: typed,
// numbered resources in their stored form and the string table.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace rc::res {

// A resource as stored: attribute word, optional name, bytes.
struct StoredResource {
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
};

// A stored resource taken apart. `ok` is false when the stored form is
// shorter than its attribute word or its name has no NUL inside the data.
struct ResourceParts {
    bool ok = false;
    uint16_t attributes = 0;
    std::string_view name;  // empty when unnamed
    const uint8_t* data = nullptr;
    uint32_t dataLength = 0;
};
ResourceParts splitStored(StoredResource stored);

class Container {
  public:
    // Takes the section's bytes. False, leaving the container empty, when any
    // container in it is malformed (offsets or lengths outside it, bad
    // header, unsorted tables).
    bool load(std::vector<uint8_t> section);

    bool find(uint32_t type, int16_t id, StoredResource& out) const;
    bool findString(uint32_t number, std::string_view& out) const;
    // The lowest ID of a type; false when the type has no resource.
    bool lowestID(uint32_t type, int16_t& id) const;
    bool empty() const { return blocks_.empty(); }
    // Sum of the resources of all blocks (for reports).
    uint32_t resourceCount() const;
    uint32_t stringCount() const;

  private:
    struct Block {
        uint32_t start = 0;  // offset of the container in bytes_
        uint32_t size = 0;
        uint32_t resourceCount = 0;
        uint32_t resourceTable = 0;  // offsets from the block's start
        uint32_t stringCount = 0;
        uint32_t stringTable = 0;
    };
    bool parseBlock(uint32_t start, uint32_t available, Block& out) const;

    std::vector<uint8_t> bytes_;
    std::vector<Block> blocks_;
};

}  // namespace rc::res
