// Fuzz entry for the module resource reader. The first byte picks the form:
// even, the rest is a bare ".fmrsrc" section for the container; odd, the
// rest is a whole module file opened through OpenResFile. Every resource a
// probe finds must lie inside the bytes it came from.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/resource_container.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
    SetAGlobal(kSlotOpenFileBudget, 64);
    InitResMgr(nullptr);
}

// Type codes worth probing: the library's own and any four bytes of the
// input that look like one.
std::vector<uint32_t> probeTypes(const uint8_t* data, size_t size) {
    std::vector<uint32_t> types = {0x54455854 /* TEXT */, 0x4C697374 /* List */,
                                   0x53545223 /* STR# */, 0x424D5020 /* BMP  */};
    for (size_t i = 0; i + 4 <= size && types.size() < 24; i += 4) {
        uint32_t t;
        std::memcpy(&t, data + i, 4);
        if ((t & 0xFF) >= 0x20 && (t & 0xFF) < 0x7F) types.push_back(t);
    }
    return types;
}

void probeContainer(const uint8_t* data, size_t size) {
    rc::res::Container c;
    const std::vector<uint8_t> bytes(data, data + size);
    if (!c.load(bytes)) {
        check(c.empty());
        return;
    }
    // find() answers point into the container's own copy; the parts of a
    // resource lie inside what find() gave.
    for (uint32_t type : probeTypes(data, size)) {
        int16_t lowest = 0;
        if (c.lowestID(type, lowest)) {
            rc::res::StoredResource r;
            check(c.find(type, lowest, r));
        }
        for (int16_t id : {int16_t(-1), int16_t(0), int16_t(1), int16_t(128), lowest}) {
            rc::res::StoredResource r;
            if (!c.find(type, id, r)) continue;
            check(r.bytes != nullptr || r.size == 0);
            rc::res::ResourceParts parts = rc::res::splitStored(r);
            if (!parts.ok) continue;
            check(parts.data >= r.bytes && parts.data + parts.dataLength <= r.bytes + r.size);
            check(parts.name.size() < r.size);
        }
    }
    for (uint32_t n = 0; n < 64; ++n) {
        std::string_view s;
        if (c.findString(n, s)) check(s.size() < (size_t(1) << 31));
    }
}

void probeModule(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/reel_fuzz_module_" + std::to_string(getpid()) + ".fmx";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const ResFileRef ref = OpenResFile(path.c_str());
    if (ref > 0) {
        for (uint32_t type : probeTypes(data, size)) {
            for (int16_t id : {int16_t(0), int16_t(1), int16_t(128), int16_t(1000)}) {
                Handle h = Get1Resource(type, id);
                if (h) {
                    check(GetHandleSize(h) < (1u << 30));
                    ReleaseResource(h);
                }
            }
            (void)Count1Resources(type);
        }
        char text[256];
        for (int16_t list : {int16_t(128), int16_t(1000), int16_t(1003)})
            for (int16_t item = 0; item < 4; ++item) {
                GetIndString(text, list, item);
                check(std::memchr(text, '\0', sizeof text) != nullptr);
            }
        CloseResFile(ref);
    }
    std::remove(path.c_str());
}

}  // namespace

extern "C" int fuzz_resources_entry(const uint8_t* data, size_t size) {
    init();
    if (size == 0) return 0;
    if (data[0] % 2 == 0)
        probeContainer(data + 1, size - 1);
    else
        probeModule(data + 1, size - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_resources_entry(data, size);
}
