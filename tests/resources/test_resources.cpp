#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/resource_format.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

constexpr ResType kText = 0x54455854;      // 'TEXT'
constexpr ResType kList = 0x4C697374;      // 'List'
constexpr ResType kMany = 0x4D414E59;      // 'MANY'
constexpr ResType k3dfx = 0x33444658;      // '3DFX'
constexpr ResType kPatSpace = 0x50415420;  // 'PAT '
constexpr ResType kData = 0x44415441;      // 'DATA'

std::string handleText(Handle h) {
    return std::string(*h, GetHandleSize(h));
}

std::string indString(int16_t list, int16_t index) {
    char text[256] = "<unchanged>";
    GetIndString(text, list, index);
    return text;
}

class Resources : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 50);
        library = InitResMgr(nullptr);
        ASSERT_GT(library, 0);
    }
    ResFileRef openModule() {
        const ResFileRef ref = OpenResFile(REEL_TEST_MODULE);
        EXPECT_GT(ref, 0);
        return ref;
    }
    ResFileRef library = -1;
};

TEST_F(Resources, LibraryStringsAndListsAreBuiltIn) {
    EXPECT_EQ(indString(1003, 25), "...");
    EXPECT_EQ(indString(1007, 57), "\r\rFile path: ");
    EXPECT_EQ(indString(1017, 1), "Filmoryx");
    EXPECT_EQ(indString(1010, 1), "File or path not found.");
    EXPECT_EQ(indString(1010, 5), "Unable to open this file.\r");
    EXPECT_EQ(indString(1010, 13).substr(0, 12), "File is in u");

    Handle errors = GetResource(kList, 1010);
    ASSERT_NE(errors, nullptr);
    const int16_t codes[] = {-43, -42, -54, -44, -23, -35, -108, -1, 1, -59, -48, -36, -47};
    ASSERT_EQ(GetHandleSize(errors), sizeof codes);
    EXPECT_EQ(std::memcmp(*errors, codes, sizeof codes), 0);
    // Every error code has its text.
    for (int16_t i = 1; i <= 13; ++i) EXPECT_NE(indString(1010, i), "") << i;

    Handle rates = GetResource(kList, 1105);
    ASSERT_NE(rates, nullptr);
    const int16_t expectedRates[] = {3000, 2997, 2500, 2400, 1500, 1200, 1000};
    ASSERT_EQ(GetHandleSize(rates), sizeof expectedRates);
    EXPECT_EQ(std::memcmp(*rates, expectedRates, sizeof expectedRates), 0);
    Handle depths = GetResource(kList, 1003);
    ASSERT_NE(depths, nullptr);
    const int16_t expectedDepths[] = {8, 16, 24, 32};
    ASSERT_EQ(GetHandleSize(depths), sizeof expectedDepths);
    EXPECT_EQ(std::memcmp(*depths, expectedDepths, sizeof expectedDepths), 0);

    // The library's string-list index maps list 1003 to base 215.
    Handle index = GetResource(0x53545223, 1000);
    ASSERT_NE(index, nullptr);
    int16_t count;
    std::memcpy(&count, *index, 2);
    bool found = false;
    for (int16_t i = 0; i < count; ++i) {
        int16_t pair[2];
        std::memcpy(pair, *index + 2 + 4 * i, 4);
        if (pair[0] == 1003) found = pair[1] == 215;
    }
    EXPECT_TRUE(found);
}

TEST_F(Resources, IndStringLeavesDestinationAloneWhenMissingOrOutOfRange) {
    EXPECT_EQ(indString(4242, 1), "<unchanged>");
    EXPECT_EQ(ResError(), resNotFound);
    EXPECT_EQ(indString(1003, 0), "<unchanged>");
    EXPECT_EQ(indString(1003, 100), "<unchanged>");
    EXPECT_EQ(indString(1003, -1), "<unchanged>");
    // A list that exists but lacks the item gives an empty string.
    EXPECT_EQ(indString(1003, 24), "");
    EXPECT_EQ(ResError(), noErr);
}

TEST_F(Resources, CurrentThenDefaultChain) {
    const ResFileRef module = openModule();
    EXPECT_EQ(CurResFile(), module);
    EXPECT_EQ(FmGetCurResFile(), module);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), 49);

    // The same handle twice; a new one with the same bytes after release.
    Handle one = GetResource(kText, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(GetResource(kText, 1), one);
    EXPECT_EQ(Get1Resource(kText, 1), one);
    EXPECT_EQ(std::string(*one, 3), "one");
    ReleaseResource(one);
    Handle again = GetResource(kText, 1);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(std::string(*again, 3), "one");

    // Only in the default file: GetResource finds it, Get1Resource does not.
    EXPECT_EQ(Get1Resource(kList, 1010), nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    Handle fromDefault = GetResource(kList, 1010);
    ASSERT_NE(fromDefault, nullptr);
    EXPECT_EQ(ResError(), noErr);
    EXPECT_EQ(GetResource(kList, 1010), fromDefault);  // cached under the default file

    // String lists: the current file first, then the default file.
    EXPECT_EQ(indString(1003, 25), "~");
    EXPECT_EQ(indString(1017, 1), "Filmoryx");
    EXPECT_EQ(indString(2000, 2), "beta");
    EXPECT_EQ(indString(2000, 99), "last");
    UseResFile(library);
    EXPECT_EQ(CurResFile(), library);
    EXPECT_EQ(indString(1003, 25), "...");
    EXPECT_EQ(indString(2000, 1), "<unchanged>");
    EXPECT_EQ(GetResource(kText, 1), nullptr);
    UseResFile(module);
    EXPECT_EQ(indString(1003, 25), "~");
    UseResFile(0);  // null changes nothing
    EXPECT_EQ(CurResFile(), module);
    UseResFile(9999);
    EXPECT_EQ(ResError(), resFNotFound);
    EXPECT_EQ(CurResFile(), module);

    CloseResFile(module);
    EXPECT_EQ(CurResFile(), library);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), 50);
    EXPECT_EQ(indString(1003, 25), "...");
    // Closing the default file or one not open does nothing.
    CloseResFile(library);
    CloseResFile(module);
    EXPECT_EQ(CurResFile(), library);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), 50);
    EXPECT_EQ(indString(1017, 1), "Filmoryx");
}

TEST_F(Resources, TypeNamesCountsAndNames) {
    openModule();
    EXPECT_EQ(Count1Resources(kText), 2);  // IDs 1, 2, then a gap at 3
    EXPECT_EQ(Count1Resources(kList), 0);
    Handle digit = GetResource(k3dfx, 7);
    ASSERT_NE(digit, nullptr);
    int32_t value;
    std::memcpy(&value, *digit, 4);
    EXPECT_EQ(value, 0x01020304);
    Handle spaced = GetResource(kPatSpace, 9);
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(GetHandleSize(spaced), 3u);

    Handle mixed = GetResource(kData, 1);
    ASSERT_NE(mixed, nullptr);
    const unsigned char expected[] = {1, 0, 'a', 'b', 0, 3, 'x', 'y', 'z', 'T', 'X', 'E', 'T', 255};
    ASSERT_EQ(GetHandleSize(mixed), sizeof expected);
    EXPECT_EQ(std::memcmp(*mixed, expected, sizeof expected), 0);

    Handle second = GetNamedResource(kText, "second");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::string(*second, 3), "two");
    EXPECT_EQ(GetHandleSize(second), 3u);      // the data only, not the name
    EXPECT_EQ(GetResource(kText, 2), second);  // loaded once, cached
    EXPECT_EQ(GetNamedResource(kText, "Second"), nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    // ID 4 lies past the gap, so its name is never looked at; 600 neither.
    EXPECT_EQ(GetNamedResource(kText, ""), nullptr);
}

TEST_F(Resources, ResInfoAndDetach) {
    openModule();
    Handle first = GetResource(kText, 1);
    ASSERT_NE(first, nullptr);
    int16_t id = 0;
    ResType type = 0;
    char name[256] = "x";
    EXPECT_EQ(GetResInfo(first, &id, &type, name), noErr);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(type, kText);
    EXPECT_STREQ(name, "first");

    Handle four = GetResource(kText, 4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(GetHandleSize(four), 4u);
    EXPECT_EQ(GetResInfo(four, &id, nullptr, name), noErr);
    EXPECT_EQ(id, 4);
    EXPECT_STREQ(name, "");

    EXPECT_EQ(GetResInfo(nullptr, &id, &type, name), resNotFound);
    Handle plain = NewHandle(32);
    std::memset(*plain, 0xAB, 32);
    EXPECT_EQ(GetResInfo(plain, &id, &type, name), resNotFound);
    EXPECT_EQ(GetHandleSize(plain), 32u);  // the probe leaves it an ordinary handle
    DisposeHandle(plain);

    // Detached: an ordinary handle of the data alone, no longer cached.
    DetachResource(first);
    EXPECT_EQ(GetHandleSize(first), 3u);
    EXPECT_EQ(std::string(*first, 3), "one");
    EXPECT_EQ(GetResInfo(first, &id, &type, name), resNotFound);
    Handle reloaded = GetResource(kText, 1);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_NE(reloaded, first);
    DisposeHandle(first);
    EXPECT_EQ(GetResource(kText, 1), reloaded);
}

TEST_F(Resources, DisposingOrPurgingDropsTheMapEntry) {
    openModule();
    const int32_t before = FmResMapEntriesInUse();
    Handle h = GetResource(kText, 4);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(FmResMapEntriesInUse(), before + 1);
    DisposeHandle(h);  // through the memory manager, not ReleaseResource
    EXPECT_EQ(FmResMapEntriesInUse(), before);
    Handle fresh = GetResource(kText, 4);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(std::string(*fresh, 4), "four");

    // A purged resource handle: no bytes, no info, and the next request
    // loads a new handle.
    Handle two = GetResource(kText, 2);
    ASSERT_NE(two, nullptr);
    const int32_t withTwo = FmResMapEntriesInUse();
    MemoryTerminate();  // purges every purgeable, unlocked handle
    EXPECT_EQ(*two, nullptr);
    EXPECT_EQ(FmResMapEntriesInUse(), withTwo - 1);
    int16_t id;
    EXPECT_EQ(GetResInfo(two, &id, nullptr, nullptr), resNotFound);
    Handle reloaded = GetResource(kText, 2);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(std::string(*reloaded, 3), "two");
    ReleaseResource(two);
}

TEST_F(Resources, FullMapPurgesRatherThanDisposes) {
    openModule();
    std::vector<Handle> held;
    for (int16_t id = 1; FmResMapEntriesInUse() < 200; ++id) {
        Handle h = GetResource(kMany, id);
        ASSERT_NE(h, nullptr);
        held.push_back(h);
    }
    ASSERT_EQ(FmResMapEntriesInUse(), 200);
    HLock(held[0]);  // ID 1: purgeable but locked, keeps its bytes

    Handle extra = GetResource(kMany, 210);
    ASSERT_NE(extra, nullptr);
    int32_t v;
    std::memcpy(&v, *extra, 4);
    EXPECT_EQ(v, 210);
    EXPECT_LT(FmResMapEntriesInUse(), 200);
    for (size_t i = 0; i < held.size(); ++i) {
        const int32_t id = static_cast<int32_t>(i) + 1;
        const bool purged = id % 2 == 1 && i != 0;
        if (purged) {
            EXPECT_EQ(*held[i], nullptr) << id;
        } else {
            ASSERT_NE(*held[i], nullptr) << id;
            std::memcpy(&v, *held[i], 4);
            EXPECT_EQ(v, id);
        }
    }
    // A purged resource comes back in a new handle.
    Handle three = GetResource(kMany, 3);
    ASSERT_NE(three, nullptr);
    EXPECT_NE(three, held[2]);
    std::memcpy(&v, *three, 4);
    EXPECT_EQ(v, 3);
    for (Handle h : held) ReleaseResource(h);
}

TEST_F(Resources, FullMapWithNothingPurgeableStillReturns) {
    openModule();
    std::vector<Handle> held;
    for (int16_t id = 1; FmResMapEntriesInUse() < 200; ++id) {
        Handle h = GetResource(kMany, id);
        ASSERT_NE(h, nullptr);
        HLock(h);
        held.push_back(h);
    }
    Handle a = GetResource(kMany, 215);
    ASSERT_NE(a, nullptr);
    int32_t v;
    std::memcpy(&v, *a, 4);
    EXPECT_EQ(v, 215);
    EXPECT_EQ(FmResMapEntriesInUse(), 200);
    for (Handle h : held) EXPECT_NE(*h, nullptr);
    ReleaseResource(a);
    for (Handle h : held) ReleaseResource(h);
    EXPECT_EQ(FmResMapEntriesInUse(), 0);
}

TEST_F(Resources, PatternsAndExpansionFromResources) {
    openModule();
    uint8_t pattern[8] = {};
    EXPECT_EQ(GetIndPattern(pattern, 300, 2), noErr);
    const uint8_t second[8] = {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18};
    EXPECT_EQ(std::memcmp(pattern, second, 8), 0);
    uint8_t untouched[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(GetIndPattern(untouched, 300, 4), resNotFound);
    EXPECT_EQ(GetIndPattern(untouched, 300, 0), resNotFound);
    EXPECT_EQ(GetIndPattern(untouched, 301, 1), resNotFound);
    EXPECT_EQ(untouched[0], 9);

    Handle h = FmExpandString(600, nullptr, 2000, intptr_t{1}, intptr_t{2}, intptr_t{-42});
    ASSERT_NE(h, nullptr);
    const std::string expected = "Make alpha as beta: -42 /";
    ASSERT_EQ(GetHandleSize(h), expected.size() + 1);
    EXPECT_EQ(std::string(*h), expected);
    EXPECT_EQ((*h)[expected.size()], '\0');
    DisposeHandle(h);

    Handle missing = ExpandString(601, nullptr, 0);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(GetHandleSize(missing), 0u);
    DisposeHandle(missing);
}

TEST_F(Resources, OpenFailuresAndModulesWithoutLists) {
    EXPECT_EQ(OpenResFile("/nonexistent/module.fmx"), -1);
    EXPECT_EQ(ResError(), memFullErr);
    EXPECT_EQ(OpenResFile(nullptr), -1);
    char notElf[] = "/tmp/reelresXXXXXX";
    const int fd = mkstemp(notElf);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hello, not a module", 19), 19);
    close(fd);
    EXPECT_EQ(OpenResFile(notElf), -1);
    unlink(notElf);
    EXPECT_EQ(CurResFile(), library);
    EXPECT_EQ(GetAGlobal(kSlotOpenFileBudget), 50);

    const ResFileRef empty = HOpenResFile(0, 0, REEL_TEST_EMPTY_MODULE, 1);
    ASSERT_GT(empty, 0);
    EXPECT_EQ(CurResFile(), empty);
    EXPECT_EQ(indString(1003, 25), "...");  // no index of its own: the default's
    Handle text = Get1Resource(kText, 1);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(handleText(text), "empty");
    CloseResFile(empty);
    // Its cached resources went with it; the handle is no longer valid to use.
    EXPECT_EQ(FmResMapEntriesInUse(), 0);
}

TEST_F(Resources, CodeModulesAreReadWithoutLoadingThem) {
    unsetenv("REEL_CODEMOD_LOADED");
    const ResFileRef ref = OpenResFile(REEL_TEST_CODE_MODULE);
    ASSERT_GT(ref, 0);
    Handle h = GetNamedResource(kText, "entry");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(handleText(h).substr(0, 11), "code module");
    EXPECT_EQ(indString(3000, 1), "from the module");
    CloseResFile(ref);
    EXPECT_EQ(getenv("REEL_CODEMOD_LOADED"), nullptr);

    // It is a real module: loading it runs its code.
    void* module = dlopen(REEL_TEST_CODE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    EXPECT_NE(dlsym(module, "xMessage"), nullptr);
    EXPECT_NE(getenv("REEL_CODEMOD_LOADED"), nullptr);
    dlclose(module);
}

// ---- Malformed modules ----

std::vector<char> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

std::string writeTemp(const std::vector<char>& bytes) {
    char path[] = "/tmp/reelmodXXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    return path;
}

// Offset of the container in the module file and of the entry for (type name, id).
size_t containerOffset(const std::vector<char>& file) {
    const std::string magic(rc::resfmt::kMagic, 4);
    const auto it = std::search(file.begin(), file.end(), magic.begin(), magic.end());
    return static_cast<size_t>(it - file.begin());
}

size_t entryOffset(const std::vector<char>& file, size_t container, const char* typeName,
                   int16_t id) {
    rc::resfmt::ContainerHeader h;
    std::memcpy(&h, &file[container], sizeof h);
    for (uint32_t i = 0; i < h.resourceCount; ++i) {
        const size_t at = container + h.resourceTableOffset + i * sizeof(rc::resfmt::ResourceEntry);
        rc::resfmt::ResourceEntry e;
        std::memcpy(&e, &file[at], sizeof e);
        if (std::strncmp(e.typeName, typeName, 8) == 0 && e.id == id) return at;
    }
    return 0;
}

TEST_F(Resources, MalformedResourcesFailCleanly) {
    const std::vector<char> original = readFile(REEL_TEST_MODULE);
    ASSERT_FALSE(original.empty());
    const size_t container = containerOffset(original);
    ASSERT_LT(container, original.size());

    // A resource shorter than its attribute word, and one marked named whose
    // data holds no NUL: -185, nothing read.
    std::vector<char> bad = original;
    const size_t one = entryOffset(bad, container, "TEXT", 4);
    ASSERT_NE(one, 0u);
    rc::resfmt::ResourceEntry e;
    std::memcpy(&e, &bad[one], sizeof e);
    e.size = 1;
    std::memcpy(&bad[one], &e, sizeof e);
    const size_t named = entryOffset(bad, container, "TEXT", 600);
    ASSERT_NE(named, 0u);
    std::memcpy(&e, &bad[named], sizeof e);
    bad[container + e.offset] = 2;  // the named bit, over "Make &0 ..." without a NUL
    const std::string path = writeTemp(bad);
    ASSERT_GT(OpenResFile(path.c_str()), 0);
    EXPECT_EQ(Get1Resource(kText, 4), nullptr);
    EXPECT_EQ(ResError(), badExtResource);
    EXPECT_EQ(Get1Resource(kText, 600), nullptr);
    EXPECT_EQ(ResError(), badExtResource);
    EXPECT_NE(Get1Resource(kText, 1), nullptr);
    unlink(path.c_str());

    // An entry pointing outside the container: the file does not open.
    bad = original;
    std::memcpy(&e, &bad[one], sizeof e);
    e.offset = 0x7FFFFFF0;
    std::memcpy(&bad[one], &e, sizeof e);
    const std::string outside = writeTemp(bad);
    EXPECT_EQ(OpenResFile(outside.c_str()), -1);
    EXPECT_EQ(ResError(), memFullErr);
    unlink(outside.c_str());

    // Truncated files at many lengths never open and never read past the end.
    for (size_t cut : {size_t{0}, size_t{16}, size_t{63}, size_t{64}, container, container + 40,
                       original.size() / 2, original.size() - 1}) {
        std::vector<char> head(original.begin(), original.begin() + static_cast<ptrdiff_t>(cut));
        const std::string p = writeTemp(head);
        const ResFileRef ref = OpenResFile(p.c_str());
        if (ref > 0) CloseResFile(ref);
        EXPECT_EQ(ref, -1) << "cut at " << cut;
        unlink(p.c_str());
    }

    // Every byte of the container header and tables flipped in turn: opening
    // either fails or yields resources that read within bounds.
    rc::resfmt::ContainerHeader h;
    std::memcpy(&h, &original[container], sizeof h);
    const size_t tablesEnd = h.stringTableOffset + h.stringCount * sizeof(rc::resfmt::StringEntry);
    for (size_t i = 0; i < tablesEnd; i += 3) {
        bad = original;
        bad[container + i] = static_cast<char>(bad[container + i] ^ 0xA5);
        const std::string p = writeTemp(bad);
        const ResFileRef ref = OpenResFile(p.c_str());
        if (ref > 0) {
            for (int16_t id = 1; id <= 4; ++id) {
                Handle r = Get1Resource(kText, id);
                if (r) ReleaseResource(r);
            }
            char text[256];
            GetIndString(text, 2000, 1);
            CloseResFile(ref);
        }
        unlink(p.c_str());
    }
    EXPECT_EQ(CurResFile(), library);
}

}  // namespace
