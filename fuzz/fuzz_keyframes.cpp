// Fuzz entry for keyframe parameter specs: arbitrary bytes as a CompSpec, a
// live or flattened XE parameter block, descriptor text, or a FltD table and
// an animation description walked over two keys. Nothing may be read or
// written outside the blocks; a block that flattens must come back from
// unflatten and flatten to the same bytes; arbitrary data is owned exactly
// once; descriptors the code makes must parse and cover their blocks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/project_stream.h"
#include "reelcore/struct_codec.h"
#include "timeline/keys/blend.h"
#include "timeline/keys/descriptor.h"
#include "timeline/keys/keys_internal.h"
#include "timeline/keys/layout.h"
#include "timeline/keys/xe_hooks.h"

using namespace rc::keys;

namespace {

// Reports which check failed, then stops.
#define FAIL_CHECK()                                                 \
    do {                                                             \
        std::fprintf(stderr, "check failed at line %d\n", __LINE__); \
        std::abort();                                                \
    } while (0)

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();  // no file table: every module is unknown
}

// ---- A filter host whose arbitrary data are Handles of bytes ----
std::set<Handle> g_live;
bool g_hostOn = false;

Handle makeData(const void* p, size_t n) {
    Handle h = NewHandle(uint32_t(n));
    if (!h) return nullptr;
    if (n) std::memcpy(*h, p, n);
    g_live.insert(h);
    return h;
}
uint32_t identifier(int16_t, int32_t slot) {
    return 0x100 + uint32_t(slot);
}
OSErr copyData(int16_t, int32_t, Handle data, Handle* out) {
    *out = makeData(*data, GetHandleSize(data));
    return *out ? OSErr(noErr) : OSErr(4);
}
OSErr disposeData(int16_t, int32_t, Handle data) {
    if (!g_live.erase(data)) FAIL_CHECK();  // not ours, or freed twice
    DisposeHandle(data);
    return noErr;
}
OSErr flatSize(int16_t, int32_t, Handle data, int32_t* size) {
    *size = int32_t(GetHandleSize(data));
    return noErr;
}
OSErr flattenData(int16_t, int32_t, Handle data, void* dst, int32_t size) {
    if (uint32_t(size) != GetHandleSize(data)) FAIL_CHECK();
    std::memcpy(dst, *data, size_t(size));
    return noErr;
}
OSErr unflattenData(int16_t, int32_t, const void* src, int32_t size, Handle* out) {
    *out = makeData(src, size_t(size));
    return *out ? OSErr(noErr) : OSErr(4);
}
OSErr interpolateData(int16_t, int32_t, Handle a, Handle, double, Handle* out) {
    *out = a ? makeData(*a, GetHandleSize(a)) : nullptr;
    return noErr;
}

void useHost(bool on) {
    static const rc::keyhooks::XeHooks host{identifier,  copyData,      disposeData,    flatSize,
                                            flattenData, unflattenData, interpolateData};
    rc::keyhooks::setXeHooks(on ? &host : nullptr);
    g_hostOn = on;
}

// With the host on, gives every arbitrary-data record of a live block data of
// its own, so that words the input made up never reach the host. Without it
// the made-up words stay: the default calls never use them.
void ownData(uint8_t* block, size_t len) {
    if (!g_hostOn) return;
    XeLayout L;
    if (inspectXe(block, len, &L) != XeCheck::Ok || L.flat) return;
    for (int32_t i = 0; i < L.nParams; ++i) {
        if (!isArbSlot(L.slot[i])) continue;
        uint8_t* word = block + L.slot[i].start + kXEArbHandleOffset;
        const uint8_t n = word[0];
        Handle h = (n & 1) ? makeData(block + L.slot[i].start, n % 40) : nullptr;
        store32(word, HandleToWord(h));
    }
}

std::vector<uint8_t> contents(Handle h) {
    if (!h || !*h) return {};
    return std::vector<uint8_t>(*h, *h + GetHandleSize(h));
}

// Writes a record with a descriptor's schema and reads it back.
void exerciseSchema(const ParamSchema& schema, const void* record) {
    if (schema.recordSize > (1 << 18)) return;
    std::vector<char> text(size_t(schema.recordSize) * 5 + 65536, 0);
    ProjBufHand out =
        CreateProjBufHandMemory(text.data(), int32_t(text.size() - 1), kProjModeWrite);
    if (!out) return;
    const OSType tag = 0x58455344;  // 'XESD'
    const OSErr err = WriteStruct(out, tag, schema.type.c_str(), schema.names.c_str(),
                                  schema.packing.data(), record);
    CloseProjBufHand(out);
    if (err) return;
    std::vector<uint8_t> back(size_t(schema.recordSize), 0);
    ProjBufHand in =
        CreateProjBufHandMemory(text.data(), int32_t(std::strlen(text.data())), kProjModeRead);
    if (!in) return;
    ReadStruct(in, tag, schema.type.c_str(), schema.packing.data(), back.data());
    CloseProjBufHand(in);
}

// Bytes a block's descriptor covers: the header and the records.
int64_t describedBytes(const XeLayout& L) {
    return kXEBlockHeaderSize + (L.firstStart < 0 ? 0 : int64_t(L.recordsEnd));
}

// A descriptor made from a block parses, and its schema covers the block.
void checkDescriptor(const std::string& text, int64_t expectedSize, Handle block) {
    ParamSchema schema;
    if (!schemaFromDescriptor(text.c_str(), &schema)) FAIL_CHECK();
    if (schema.recordSize != expectedSize) FAIL_CHECK();
    if (CheckPackingSize(schema.packing.data()) != schema.recordSize) FAIL_CHECK();
    exerciseSchema(schema, *block);
}

void singleSpec(const uint8_t* data, size_t size, bool flat) {
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() < 8) bytes.resize(8);
    store32(bytes.data(), kXEBlockMagic);
    store32(bytes.data() + 4, kXEBlockKind);
    if (bytes.size() > 20) bytes[20] = flat ? 1 : 0;
    Handle spec = NewHandle(uint32_t(bytes.size()));
    if (!spec) return;
    std::memcpy(*spec, bytes.data(), bytes.size());
    ownData(reinterpret_cast<uint8_t*>(*spec), bytes.size());

    IsSingleSpecFlattened(spec);
    SpecDataOffset(spec);
    DisposeSingleSpec(DupSingleSpec(spec));
    std::string text;
    XeLayout L;
    if (describeSingleSpec(spec, &text) && inspectXe(spec, &L) == XeCheck::Ok)
        checkDescriptor(text, describedBytes(L), spec);

    // Flattening is stable from the first flattened form on (a flat input's
    // identifier words and data are the input's own).
    if (inspectXe(spec, &L) == XeCheck::Ok && UnflattenSingleSpec(spec) == 0 &&
        FlattenSingleSpec(spec) == 0) {
        if (inspectXe(spec, &L) != XeCheck::Ok || !L.flat) FAIL_CHECK();
        const std::vector<uint8_t> first = contents(spec);
        if (UnflattenSingleSpec(spec) != 0 || IsSingleSpecFlattened(spec)) FAIL_CHECK();
        if (FlattenSingleSpec(spec) != 0 || contents(spec) != first) FAIL_CHECK();
        if (describeSingleSpec(spec, &text) && inspectXe(spec, &L) == XeCheck::Ok)
            checkDescriptor(text, describedBytes(L), spec);
    }
    Handle other = DupSingleSpec(spec);
    if (other) {
        DisposeSingleSpec(blendXe(spec, other, double(size % 7) / 5.0 - 0.2));
        DisposeSingleSpec(other);
    }
    DisposeSingleSpec(spec);
}

// True when every key is a well-formed XE block in key 0's state.
bool uniformXe(Handle comp) {
    CompView v;
    if (!readComp(comp, &v) || v.count == 0) return false;
    bool flat = false;
    for (int32_t k = 0; k < v.count; ++k) {
        XeLayout L;
        if (inspectXe(bytesOf(comp) + v.dataOffset(k), size_t(v.specSize), &L) != XeCheck::Ok)
            return false;
        if (k == 0) flat = L.flat;
        if (L.flat != flat) return false;
    }
    return true;
}

void compSpec(const uint8_t* data, size_t size, bool xeKeys) {
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() < 16) bytes.resize(16);
    store32(bytes.data(), kCompSpecMagic1);
    store32(bytes.data() + 4, kCompSpecMagic2);
    // Small counts reach the keys more often than arbitrary ones.
    int32_t count = int32_t(bytes[8] % 6);
    int32_t specSize = int32_t(load32(bytes.data() + 12) % 4096);
    if (xeKeys) {
        specSize = int32_t(kXEBlockHeaderSize) + int32_t(load32(bytes.data() + 12) % 2048);
        bytes.resize(16 + size_t(count) * (size_t(specSize) + 4));
        for (int32_t k = 0; k < count; ++k) {
            uint8_t* key = bytes.data() + 16 + size_t(k) * (size_t(specSize) + 4) + 4;
            store32(key, kXEBlockMagic);
            store32(key + 4, kXEBlockKind);
        }
    } else if (bytes[9] & 1) {
        count = int32_t(load32(bytes.data() + 8));
    }
    store32(bytes.data() + 8, uint32_t(count));
    store32(bytes.data() + 12, uint32_t(specSize));
    Handle comp = NewHandle(uint32_t(bytes.size()));
    if (!comp) return;
    std::memcpy(*comp, bytes.data(), bytes.size());
    CompView v;
    if (readComp(comp, &v))
        for (int32_t k = 0; k < v.count; ++k)
            ownData(bytesOf(comp) + v.dataOffset(k), size_t(v.specSize));

    IsVariable(comp);
    IsCompSpecFlattened(comp);
    const int32_t n = CountSingleSpecs(comp);
    SingleSpecSize(comp);
    for (int32_t i = -1; i <= n; ++i) GetSingleSpecTime(comp, i);
    DisposeCompSpec(DupCompSpec(comp));
    std::string text;
    if (describeCompSpec(comp, &text) && readComp(comp, &v))
        checkDescriptor(text, int64_t(v.bytes()), comp);

    if (uniformXe(comp) && UnflattenCompSpec(comp) == 0 && FlattenCompSpec(comp) == 0) {
        if (!IsCompSpecFlattened(comp)) FAIL_CHECK();
        const std::vector<uint8_t> first = contents(comp);
        if (UnflattenCompSpec(comp) != 0) FAIL_CHECK();
        if (FlattenCompSpec(comp) != 0 || contents(comp) != first) FAIL_CHECK();
    } else {
        FlattenCompSpec(comp);
    }
    if (describeCompSpec(comp, &text) && readComp(comp, &v))
        checkDescriptor(text, int64_t(v.bytes()), comp);

    // Evaluation, and edits with a copy of a key.
    Handle out = nullptr;
    for (double t : {-1.0, 0.0, 0.5, 100.0, 1e9}) {
        if (BuildSingleSpec(comp, 0, t, &out)) DisposeSingleSpec(out);
    }
    Handle key = GetSingleSpec(comp, 0, nullptr);
    InsertSingleSpec(comp, key, 1, 5);
    ReplaceSingleSpec(comp, key, 0, -5);
    RemoveSingleSpec(comp, n);
    if (BuildSingleSpec(comp, 0, 0.0, &out)) DisposeSingleSpec(out);
    DisposeSingleSpec(key);
    DisposeCompSpec(comp);
}

void descriptorText(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ParamSchema schema;
    if (!schemaFromDescriptor(text.c_str(), &schema)) return;
    if (CheckPackingSize(schema.packing.data()) != schema.recordSize) FAIL_CHECK();
    if (schema.recordSize > (1 << 18)) return;
    std::vector<uint8_t> record(size_t(schema.recordSize), 0);
    exerciseSchema(schema, record.data());
}

// A FltD table and an animation description walked over two keys.
void blendWalks(const uint8_t* data, size_t size) {
    if (size < 4) return;
    const size_t entries = data[0] % 16, third = (size - 1) / 3;
    std::vector<FmFltDEntry> table(entries);
    std::vector<AnimParam> params(entries);
    for (size_t i = 0; i < entries && 1 + 4 * i + 4 <= size; ++i) {
        std::memcpy(&table[i], data + 1 + 4 * i, 4);
        params[i] = {int32_t(data[1 + 4 * i] % 15) - 1, data[2 + 4 * i], table[i].count % 20};
    }
    const uint8_t* a = data + 1;
    const uint8_t* b = data + 1 + third;
    std::vector<uint8_t> out(third + data[size - 1] % 8);
    const double f = double(data[size - 1]) / 128.0 - 0.5;
    const BlendBytes x{a, third, b, size - 1 - third, out.data(), out.size()};
    blendFltD(table.data(), entries, x, data[1] % 8, f);
    blendAnim(params.data(), entries, x, data[2] % 8, f);
}

}  // namespace

extern "C" int fuzzKeyframesInput(const uint8_t* data, size_t size) {
    init();
    if (size < 1 || size > (1 << 16)) return 0;
    const uint8_t mode = data[0];
    useHost(mode & 0x80);
    switch (mode & 7) {
        case 0:
            compSpec(data + 1, size - 1, false);
            break;
        case 1:
            compSpec(data + 1, size - 1, true);
            break;
        case 2:
            singleSpec(data + 1, size - 1, false);
            break;
        case 3:
            singleSpec(data + 1, size - 1, true);
            break;
        case 4:
            blendWalks(data + 1, size - 1);
            break;
        default:
            descriptorText(data + 1, size - 1);
            break;
    }
    useHost(false);
    // Every piece of data made along the way was disposed of exactly once.
    if (!g_live.empty()) FAIL_CHECK();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzKeyframesInput(data, size);
}
