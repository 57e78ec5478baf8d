// Shared set-up for the keyframe tests: runtime state and file table, filter
// modules registered by type, a stand-in for the XE filter host's
// arbitrary-data calls, and builders of XE parameter blocks.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "media/file_table_internal.h"
#include "platform/alloc.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "timeline/keys/layout.h"
#include "timeline/keys/xe_hooks.h"

namespace keystest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

inline std::vector<uint8_t> bytes(Handle h) {
    if (!h || !*h) return {};
    const uint8_t* p = reinterpret_cast<const uint8_t*>(*h);
    return std::vector<uint8_t>(p, p + GetHandleSize(h));
}
inline Handle handleOf(const std::vector<uint8_t>& v) {
    Handle h = NewHandle(uint32_t(v.size()));
    if (h && !v.empty()) std::memcpy(*h, v.data(), v.size());
    return h;
}
template <class T>
T read(Handle h, size_t at) {
    T v;
    std::memcpy(&v, *h + at, sizeof v);
    return v;
}
template <class T>
void write(Handle h, size_t at, T v) {
    std::memcpy(*h + at, &v, sizeof v);
}
template <class T>
void put(std::vector<uint8_t>& b, size_t at, T v) {
    if (b.size() < at + sizeof v) b.resize(at + sizeof v);
    std::memcpy(b.data() + at, &v, sizeof v);
}

// ---- The XE host's arbitrary-data calls ----
// Data is a Handle of bytes; the double keeps the set of live data so tests
// can tell leaks and double frees apart.
struct XeDouble {
    static inline std::map<Handle, int> live;
    static inline int badDisposals = 0;
    static inline int interpolations = 0;
    static inline bool failCopies = false;

    static Handle make(const std::string& text) {
        Handle h = NewHandle(uint32_t(text.size()));
        if (!text.empty()) std::memcpy(*h, text.data(), text.size());
        live[h] = 1;
        return h;
    }
    static std::string text(Handle h) { return h ? std::string(*h, GetHandleSize(h)) : "<null>"; }

    static uint32_t identifier(int16_t, int32_t slot) { return 1000 + uint32_t(slot); }
    static OSErr copy(int16_t, int32_t, Handle data, Handle* out) {
        *out = nullptr;
        if (failCopies) return 4;
        *out = make(text(data));
        return noErr;
    }
    static OSErr dispose(int16_t, int32_t, Handle data) {
        if (!live.erase(data)) ++badDisposals;
        DisposeHandle(data);
        return noErr;
    }
    static OSErr flatSize(int16_t, int32_t, Handle data, int32_t* size) {
        *size = int32_t(GetHandleSize(data));
        return noErr;
    }
    static OSErr flatten(int16_t, int32_t, Handle data, void* dst, int32_t size) {
        std::memcpy(dst, *data, size_t(size));
        return noErr;
    }
    static OSErr unflatten(int16_t, int32_t, const void* src, int32_t size, Handle* out) {
        *out = make(std::string(static_cast<const char*>(src), size_t(size)));
        return noErr;
    }
    // New data naming both inputs and the fraction.
    static OSErr interpolate(int16_t, int32_t, Handle a, Handle b, double f, Handle* out) {
        ++interpolations;
        *out = make(text(a) + "|" + text(b) + "@" + std::to_string(f).substr(0, 4));
        return noErr;
    }

    static void install() {
        live.clear();
        badDisposals = 0;
        interpolations = 0;
        failCopies = false;
        const rc::keyhooks::XeHooks hooks{identifier, copy,      dispose,    flatSize,
                                          flatten,    unflatten, interpolate};
        rc::keyhooks::setXeHooks(&hooks);
    }
};

// ---- XE parameter blocks ----
struct Param {
    int32_t type;
    uint32_t flags = 0;
    std::vector<uint8_t> body = {};  // written at record byte 56
    std::string data = "";           // arbitrary data (type 11)
    bool nullData = false;
    int32_t length = kXEArbRecordSize;
};

// A live block laid out as the XE host lays it: present records one after
// another from the header on; `absent` slots hold -1.
inline Handle buildXe(int16_t fileID, const std::vector<Param>& params,
                      const std::vector<int32_t>& absent = {}) {
    std::vector<uint8_t> b(kXEBlockHeaderSize, 0);
    put<uint32_t>(b, 0, kXEBlockMagic);
    put<uint32_t>(b, 4, kXEBlockKind);
    put<uint32_t>(b, 8, 1);
    put<uint32_t>(b, 16, uint16_t(fileID));
    const int32_t n = int32_t(params.size() + absent.size());
    put<uint32_t>(b, 24, uint32_t(n));
    for (int32_t i = 0; i < kXEMaxParams; ++i) put<int32_t>(b, 28 + 4 * i, -1);
    std::vector<Handle> data;
    size_t next = 0;
    for (int32_t slot = 0; slot < n; ++slot) {
        bool isAbsent = false;
        for (int32_t a : absent) isAbsent |= a == slot;
        if (isAbsent) continue;
        const Param& p = params[next++];
        const size_t at = b.size();
        put<int32_t>(b, 28 + 4 * slot, int32_t(at - kXEBlockHeaderSize));
        b.resize(at + size_t(p.length), 0);
        put<int32_t>(b, at + 12, p.type);
        std::memcpy(b.data() + at + 16, "param", 5);
        put<uint32_t>(b, at + 48, p.flags);
        if (!p.body.empty())
            std::memcpy(b.data() + at + 56, p.body.data(),
                        std::min(p.body.size(), size_t(p.length - 56)));
        if (p.type == kXEParamArbitrary && !p.nullData)
            put<uint32_t>(b, at + kXEArbHandleOffset, HandleToWord(XeDouble::make(p.data)));
    }
    put<uint32_t>(b, 12, uint32_t(b.size()));
    return handleOf(b);
}

inline std::vector<uint8_t> le32(int32_t v) {
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}
inline std::vector<uint8_t> le64f(double v) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &v, 8);
    return b;
}

// The record of a slot: its byte offset in the block, -1 when absent.
inline int32_t recordAt(Handle block, int32_t slot) {
    const int32_t off = read<int32_t>(block, 28 + 4 * slot);
    return off < 0 ? -1 : kXEBlockHeaderSize + off;
}
inline Handle dataOf(Handle block, int32_t slot) {
    return WordToHandle(read<uint32_t>(block, size_t(recordAt(block, slot)) + kXEArbHandleOffset));
}

// ---- Fixture ----
class KeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 100);
        rc::platform::resetAllocationFaults();
        rc::keyhooks::setXeHooks(nullptr);
        library = InitResMgr(nullptr);
        InitFileQueue();
    }
    void TearDown() override {
        endFaults();
        rc::keyhooks::setXeHooks(nullptr);
        rc::media::disposeFileTable();
    }
    // Registers a module file with a file type; its FileID.
    int16_t module(const char* path, OSType type) {
        const int16_t id = AddFile(path, 0, 0, type);
        EXPECT_GT(id, 0) << path;
        FileSubscribe(id);
        return id;
    }
    // Allocation faults reach small blocks too while they are on: every
    // block then comes from the system.
    void failNext(int n) {
        SetMaxAllocInHeap(16);
        rc::platform::failNextAllocations(n);
    }
    void failAbove(size_t bytes) {
        SetMaxAllocInHeap(16);
        rc::platform::failAllocationsAbove(bytes);
    }
    void endFaults() {
        rc::platform::resetAllocationFaults();
        SetMaxAllocInHeap(heapLimit);
    }
    ResFileRef library = -1;
    uint32_t heapLimit = GetMaxAllocInHeap();
};

}  // namespace keystest
