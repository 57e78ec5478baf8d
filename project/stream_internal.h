// Internal view of a project stream: the private tail of the record and the
// scanning primitives shared by the stream, the codec and the tools.
#pragma once

#include <cstdint>
#include <string>

#include "reelcore/project_stream.h"

namespace rc::project {

struct SafeSaveState;

// Data a stream reads as if it were a file, from memory (tests, fuzzing,
// benchmarks): refills and buffer growth behave exactly as with a file.
struct MemorySource {
    const uint8_t* data = nullptr;
    int32_t size = 0;
};

struct StreamRec {
    ProjBufRecord pub;
    int32_t filled;        // bytes of data in the buffer (reading)
    uint8_t atEnd;         // the data's end lies inside the buffer
    uint8_t memory;        // the buffer is a caller's block
    OSErr readError;       // first read failure (sticky until ResetFile)
    OSErr writeError;      // first write failure (sticky)
    uint32_t scratchSize;  // bytes in the scratch block
    SafeSaveState* safe;   // set for a safe save
    const MemorySource* source;
};

inline StreamRec* rec(ProjBufHand h) {
    return h && *h ? reinterpret_cast<StreamRec*>(*h) : nullptr;
}

// A read stream over memory that refills like a file stream.
ProjBufHand createSourceStream(const MemorySource* source, int32_t capacity);

// ---- Reading primitives (cursor-relative) ----
// Makes the byte at cursor + k available; false when the data ends first.
bool ensure(StreamRec* s, int32_t k);
inline int peekAt(StreamRec* s, int32_t k) {
    if (s->pub.cursor + k < s->pub.buffer + s->filled || ensure(s, k))
        return static_cast<uint8_t>(s->pub.cursor[k]);
    return -1;
}
inline bool atEndOfData(StreamRec* s) {
    return peekAt(s, 0) < 0;
}
// Length of the line at the cursor, the whole line being made contiguous in
// the buffer. Lines end at CR or LF, and also at NUL when nulEnds.
// The scan starts `from` bytes after the cursor (known to hold no line end).
int32_t lineSpan(StreamRec* s, bool nulEnds, int32_t from = 0);
// Skips to the first CR, LF or NUL, then past the run of them.
void nextLine(StreamRec* s);
// Consumes at most one CR and one LF, in either order.
void consumeEOLSlow(StreamRec* s);
inline void consumeEOL(StreamRec* s) {
    char* p = s->pub.cursor;
    if (p + 2 < s->pub.buffer + s->filled) {
        if (p[0] == '\r') {
            s->pub.cursor += p[1] == '\n' ? 2 : 1;
            return;
        }
        if (p[0] == '\n') {
            s->pub.cursor += p[1] == '\r' ? 2 : 1;
            return;
        }
        if (p[0] != '\r' && p[0] != '\n') return;
    }
    consumeEOLSlow(s);
}
// Steps past the current line and exactly one line end.
inline void skipLine(StreamRec* s) {
    s->pub.cursor += lineSpan(s, false);
    consumeEOL(s);
}
// The line at the cursor is "[" + four characters + "]".
bool tagAtCursor(StreamRec* s, OSType* tag);
inline int32_t position(const StreamRec* s) {
    return s->pub.base + static_cast<int32_t>(s->pub.cursor - s->pub.buffer);
}
// Moves the stream to an absolute position of its data.
void seekTo(StreamRec* s, int32_t pos);

// ---- Writing ----
OSErr appendText(StreamRec* s, const char* text, int32_t n);

// Four characters, most significant byte first.
inline void typeToChars(OSType t, char out[4]) {
    out[0] = static_cast<char>(t >> 24);
    out[1] = static_cast<char>(t >> 16);
    out[2] = static_cast<char>(t >> 8);
    out[3] = static_cast<char>(t);
}
inline OSType charsToType(const char* c) {
    return (OSType(uint8_t(c[0])) << 24) | (OSType(uint8_t(c[1])) << 16) |
           (OSType(uint8_t(c[2])) << 8) | OSType(uint8_t(c[3]));
}

// ---- Test hooks ----
// The next n buffer writes to a file succeed and the one after fails with
// -20 (negative: no failure).
void failFileWritesAfter(int n);

}  // namespace rc::project
