// Fuzz entry for the project stream and the struct codec: arbitrary bytes are
// walked, indexed, checked and decoded with every known record layout; every
// decoded record must survive write -> read -> write unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "project/codec_internal.h"
#include "project/schemas.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

using namespace rc::project;

namespace {

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
}

// Writes a record into a memory block; the text, or empty when it did not fit.
std::vector<char> writeToMemory(OSType tag, const KnownSchema& schema, const char* type,
                                const int32_t* packing, const void* record, size_t room) {
    static std::vector<char> block;
    if (block.size() < room) block.resize(room);
    ProjBufHand out = CreateProjBufHandMemory(block.data(), int32_t(room), kProjModeWrite);
    if (!out) return {};
    OSErr err = WriteStruct(out, tag, type, schema.names, packing, record);
    size_t used = size_t(rec(out)->pub.cursor - rec(out)->pub.buffer);
    CloseProjBufHand(out);
    if (err) return {};
    return std::vector<char>(block.data(), block.data() + used);
}

void checkRoundTrip(const KnownSchema& schema, const char* type,
                    const std::vector<int32_t>& packing, const std::vector<uint8_t>& decoded,
                    size_t room) {
    std::vector<char> first =
        writeToMemory(schema.tag, schema, type, packing.data(), decoded.data(), room);
    if (first.empty()) return;
    MemorySource src{reinterpret_cast<const uint8_t*>(first.data()), int32_t(first.size())};
    ProjBufHand in = createSourceStream(&src, 16);
    if (!in) return;
    std::vector<uint8_t> again(decoded.size(), 0);
    OSErr err = ReadStruct(in, schema.tag, type, packing.data(), again.data());
    CloseProjBufHand(in);
    if (err == memFullErr) {
        freeRecordHandles(type, packing.data(), again.data());
        return;
    }
    std::vector<char> second =
        writeToMemory(schema.tag, schema, type, packing.data(), again.data(), room);
    freeRecordHandles(type, packing.data(), again.data());
    if (err != noErr || second != first) abort();
}

void decodeEveryLayout(ProjBufHand stream, size_t inputSize) {
    size_t count = 0;
    const KnownSchema* schemas = knownSchemas(&count);
    for (size_t i = 0; i < count; ++i) {
        const KnownSchema& schema = schemas[i];
        for (const char* type : {schema.type, schema.olderType}) {
            if (!type) continue;
            std::vector<int32_t> packing = naturalPacking(type);
            size_t size = size_t(CheckPackingSize(packing.data()));
            ResetFile(stream);
            // Every section with this tag, one after another.
            for (int n = 0; n < 8; ++n) {
                std::vector<uint8_t> record(size, 0);
                OSErr err = ReadStruct(stream, schema.tag, type, packing.data(), record.data());
                if (err != kStructNotFound && err != memFullErr)
                    checkRoundTrip(schema, type, packing, record, 8 * inputSize + (64 << 10));
                freeRecordHandles(type, packing.data(), record.data());
                if (err == kStructNotFound) break;
            }
        }
    }
}

void walkAndJump(ProjBufHand stream) {
    ResetFile(stream);
    OSType tag = 0;
    std::vector<OSType> seen;
    for (bool found = GetStructInfo(stream, &tag) != 0; found && seen.size() < 4096;
         found = SeekNextStruct(stream, &tag))
        seen.push_back(tag);
    // The index steps over raw multi-line values, so a tag the plain scan
    // sees inside one is not indexed; whatever the index holds is a real tag
    // line, and the first tag line is always indexed.
    for (size_t i = seen.size(); i-- > 0;) {
        if (SearchType(stream, seen[i]) != 1) {
            if (CountIndexTags(stream, seen[i]) != 0 || i == 0) abort();
            continue;
        }
        OSType here = 0;
        if (GetStructInfo(stream, &here) != seen[i]) abort();
        if (CountIndexTags(stream, seen[i]) < 1) abort();
    }
    SearchType(stream, 0x3F3F3F3F);
}

void readKeys(ProjBufHand stream) {
    ResetFile(stream);
    static const char kLetters[] = "BCDFILSTXPRHMWYZON";
    uint8_t value[64];
    for (const char* l = kLetters; *l; ++l) {
        std::memset(value, 0, sizeof value);
        OSErr err = FmReadKey(stream, "k", l, 1, value);
        char letters[2] = {*l, 0};
        freeRecordHandles(letters, std::vector<int32_t>{64, 0}.data(), value);
        if (err == kStructShort) {
            OSType tag = 0;
            if (!SeekNextStruct(stream, &tag)) break;
            FmFindAndReadSectionTag(stream, tag);
        }
    }
    char text[40];
    FmReadCStr(stream, "t", text, sizeof text);
}

}  // namespace

extern "C" int fuzzProjectInput(const uint8_t* data, size_t size) {
    init();
    if (size > (1 << 20)) return 0;
    // The first byte picks the buffer size, so lines meet every refill boundary.
    int32_t capacity = 16 + (size ? data[0] % 64 : 0) * 7;
    MemorySource source{data, int32_t(size)};
    ProjBufHand stream = createSourceStream(&source, capacity);
    if (!stream) return 0;
    walkAndJump(stream);
    decodeEveryLayout(stream, size);
    readKeys(stream);
    OSType tag = 0;
    int32_t line = 0;
    const char* reason = nullptr;
    ProjCheckSections(stream, &tag, &line, &reason);
    ProjListSections(stream, nullptr, nullptr);
    CloseProjBufHand(stream);

    // The same bytes as a memory stream over a block.
    std::vector<char> copy(data, data + size);
    ProjBufHand memory = CreateProjBufHandMemory(copy.data(), int32_t(size), kProjModeRead);
    if (memory) {
        walkAndJump(memory);
        CloseProjBufHand(memory);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzProjectInput(data, size);
}
