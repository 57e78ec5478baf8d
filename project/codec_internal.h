// Internal entry points of the struct codec, shared by the keyed readers and
// writers, the section checker, the fuzzer and the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "project/stream_internal.h"
#include "reelcore/struct_codec.h"

namespace rc::project {

// Optional strictness while decoding: every value must match its letter's
// syntax exactly; the first offence is reported with its file position.
struct ReadCtx {
    bool strict = false;
    int32_t badPos = -1;
    const char* reason = nullptr;
};

// Bytes of one element of a letter in a record (0 for letters that hold
// nothing).
int32_t letterWidth(char letter);

OSErr readStructWith(ProjBufHand stream, OSType tag, const char* typeString, const int32_t* packing,
                     void* record, ReadCtx* ctx);
// One "key=value" line for one field.
OSErr writeKeyed(StreamRec* s, const char* key, char letter, int32_t count, const void* data);
// Decodes one field from the current line (after its "="), consuming the line.
OSErr readKeyed(StreamRec* s, char letter, int32_t count, void* data, ReadCtx* ctx);

// The packing list of a record with no gaps: each field's stride is its
// element width times its count. Zero-terminated.
std::vector<int32_t> naturalPacking(const char* typeString);
// Disposes of the Handles and pointer blocks that decoding put in a record
// and clears their fields.
void freeRecordHandles(const char* typeString, const int32_t* packing, void* record);

// Steps over the value lines of a section whose tag line was just passed,
// up to the next tag line or the data's end. Values are taken as the reader
// takes the fields of typeString (raw multi-line H and M values whole), so a
// line inside such a value is never seen as a tag; null: one line a value.
void skipSectionBody(StreamRec* s, const char* typeString);

// Largest Handle the codec makes for a size that the file states but does not
// back with data (W fields, H text shorter than its Handle).
constexpr int32_t kMaxUnbackedSize = 64 << 20;

}  // namespace rc::project
