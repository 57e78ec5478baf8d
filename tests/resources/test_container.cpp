#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "core/resource_container.h"
#include "core/resource_format.h"

namespace {

namespace fmt = rc::resfmt;
using rc::res::Container;
using rc::res::splitStored;
using rc::res::StoredResource;

struct Res {
    const char* type;  // type name as stored
    int16_t id;
    std::string stored;
};
struct Str {
    uint32_t number;
    std::string text;
};

// Lays out one container the way the compiler does, in the order given (so
// tests can also build unsorted tables).
std::vector<uint8_t> container(const std::vector<Res>& resources, const std::vector<Str>& strings) {
    const uint32_t resTable = sizeof(fmt::ContainerHeader);
    const uint32_t strTable =
        resTable + static_cast<uint32_t>(resources.size() * sizeof(fmt::ResourceEntry));
    uint32_t data = strTable + static_cast<uint32_t>(strings.size() * sizeof(fmt::StringEntry));
    std::vector<uint8_t> tables, bytes;
    auto append = [](std::vector<uint8_t>& v, const void* p, size_t n) {
        v.insert(v.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    };
    for (const Res& r : resources) {
        fmt::ResourceEntry e{};
        std::memcpy(e.typeName, r.type, std::strlen(r.type));
        e.id = r.id;
        e.offset = data + static_cast<uint32_t>(bytes.size());
        e.size = static_cast<uint32_t>(r.stored.size());
        append(tables, &e, sizeof e);
        append(bytes, r.stored.data(), r.stored.size());
    }
    for (const Str& s : strings) {
        fmt::StringEntry e{s.number, data + static_cast<uint32_t>(bytes.size()),
                           static_cast<uint32_t>(s.text.size())};
        append(tables, &e, sizeof e);
        append(bytes, s.text.data(), s.text.size());
    }
    fmt::ContainerHeader h{};
    std::memcpy(h.magic, fmt::kMagic, 4);
    h.version = fmt::kVersion;
    h.headerSize = sizeof h;
    h.resourceCount = static_cast<uint32_t>(resources.size());
    h.resourceTableOffset = resTable;
    h.stringCount = static_cast<uint32_t>(strings.size());
    h.stringTableOffset = strTable;
    const uint32_t total = (data + static_cast<uint32_t>(bytes.size()) + 15) / 16 * 16;
    h.totalSize = total;
    std::vector<uint8_t> out;
    append(out, &h, sizeof h);
    out.insert(out.end(), tables.begin(), tables.end());
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(total, 0);
    return out;
}

std::string stored(uint16_t attributes, const std::string& nameAndData) {
    std::string s(2, '\0');
    s[0] = static_cast<char>(attributes & 0xFF);
    s[1] = static_cast<char>(attributes >> 8);
    return s + nameAndData;
}

constexpr uint32_t kText = 0x54455854;

TEST(Container, SeveralContainersInOneSection) {
    std::vector<uint8_t> section = container({{"TEXT", 1, stored(0, "first")}}, {{101, "one"}});
    section.resize(section.size() + 32, 0);  // padding between contributions
    const auto second = container(
        {{"TEXT", 1, stored(0, "shadowed")}, {"TEXT", 2, stored(0, "second")}}, {{102, "two"}});
    section.insert(section.end(), second.begin(), second.end());
    section.resize(section.size() + 16, 0);

    Container c;
    ASSERT_TRUE(c.load(section));
    EXPECT_EQ(c.resourceCount(), 3u);
    StoredResource r;
    ASSERT_TRUE(c.find(kText, 1, r));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.bytes) + 2, r.size - 2), "first");
    ASSERT_TRUE(c.find(kText, 2, r));
    EXPECT_FALSE(c.find(kText, 3, r));
    std::string_view s;
    ASSERT_TRUE(c.findString(102, s));
    EXPECT_EQ(s, "two");
    EXPECT_FALSE(c.findString(103, s));

    Container none;
    EXPECT_TRUE(none.load({}));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(none.find(kText, 1, r));
}

TEST(Container, MalformedContainersAreRefused) {
    const auto good =
        container({{"AAAA", 1, stored(0, "x")}, {"BBBB", 1, stored(0, "y")}}, {{1, "a"}, {2, "b"}});
    Container c;
    ASSERT_TRUE(c.load(good));

    auto unsorted = container({{"BBBB", 1, stored(0, "y")}, {"AAAA", 1, stored(0, "x")}}, {});
    EXPECT_FALSE(c.load(unsorted));
    EXPECT_TRUE(c.empty());
    EXPECT_FALSE(c.load(container({}, {{2, "b"}, {2, "c"}})));

    auto withGarbage = good;
    withGarbage.push_back(0x55);
    EXPECT_FALSE(c.load(withGarbage));

    auto badVersion = good;
    badVersion[4] = 9;
    EXPECT_FALSE(c.load(badVersion));

    // Sizes and offsets reaching past the container, and a container larger
    // than the section.
    auto patchEntry = [&](size_t entryIndex, size_t field, uint32_t value) {
        auto bytes = good;
        std::memcpy(
            &bytes[sizeof(fmt::ContainerHeader) + entryIndex * sizeof(fmt::ResourceEntry) + field],
            &value, 4);
        return bytes;
    };
    EXPECT_FALSE(c.load(patchEntry(0, offsetof(fmt::ResourceEntry, offset), 0xFFFFFFF0u)));
    EXPECT_FALSE(c.load(patchEntry(1, offsetof(fmt::ResourceEntry, size), 0x7FFFFFFFu)));
    auto hugeCount = good;
    const uint32_t count = 0x10000000;
    std::memcpy(&hugeCount[offsetof(fmt::ContainerHeader, resourceCount)], &count, 4);
    EXPECT_FALSE(c.load(hugeCount));
    auto truncated = std::vector<uint8_t>(good.begin(), good.end() - 16);
    EXPECT_FALSE(c.load(truncated));
    auto stringOut = good;
    const uint32_t far = 0x7FFFFFFF;
    const size_t stringTable = sizeof(fmt::ContainerHeader) + 2 * sizeof(fmt::ResourceEntry);
    std::memcpy(&stringOut[stringTable + offsetof(fmt::StringEntry, length)], &far, 4);
    EXPECT_FALSE(c.load(stringOut));
    EXPECT_FALSE(c.load(std::vector<uint8_t>(good.begin(), good.begin() + 20)));
}

TEST(Container, StoredFormsAreSplitWithinTheirSize) {
    const std::string named =
        stored(fmt::kAttrNamed | fmt::kAttrPurgeable, std::string("nm\0data", 7));
    auto p = splitStored(
        {reinterpret_cast<const uint8_t*>(named.data()), static_cast<uint32_t>(named.size())});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.name, "nm");
    EXPECT_EQ(p.attributes, fmt::kAttrNamed | fmt::kAttrPurgeable);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data), p.dataLength), "data");

    const std::string noNul = stored(fmt::kAttrNamed, "namewithoutend");
    // The NUL right after the buffer must not count: only size bytes are read.
    const std::string withNulAfter = noNul + '\0';
    EXPECT_FALSE(splitStored({reinterpret_cast<const uint8_t*>(withNulAfter.data()),
                              static_cast<uint32_t>(noNul.size())})
                     .ok);
    const std::string one(1, '\0');
    EXPECT_FALSE(splitStored({reinterpret_cast<const uint8_t*>(one.data()), 1}).ok);
    EXPECT_FALSE(splitStored({nullptr, 0}).ok);
    const std::string bare = stored(0, "");
    p = splitStored({reinterpret_cast<const uint8_t*>(bare.data()), 2});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.dataLength, 0u);
}

}  // namespace
