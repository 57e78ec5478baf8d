// The project stream: buffered reading and writing over a file or a memory
// block, tag-line scanning, rewinding and the tag index.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/safe_save.h"
#include "project/codec_internal.h"
#include "project/schemas.h"
#include "project/stream_internal.h"
#include "reelcore/files.h"
#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"

namespace rc::project {

struct SafeSaveState {
    rc::platform::SafeSaveFile file;
};

namespace {

int gFileWritesLeft = -1;

constexpr int32_t kMinCapacity = 16;
constexpr int32_t kIndexStep = 32;

struct IndexEntry {
    OSType tag;
    int32_t count;
    int32_t position;
};
static_assert(sizeof(IndexEntry) == 12, "tag index entries are 12 bytes");

OSErr writeToFile(StreamRec* s, const char* data, int32_t n) {
    if (n <= 0) return noErr;
    if (gFileWritesLeft == 0) {
        gFileWritesLeft = -1;
        return writErr;
    }
    if (gFileWritesLeft > 0) --gFileWritesLeft;
    int32_t count = n;
    OSErr err = FSWrite(s->pub.file, &count, data);
    if (err == noErr && count != n) err = writErr;
    if (err > 0) err = writErr;  // a short write
    return err;
}

void noteWriteError(StreamRec* s, OSErr err) {
    if (err && !s->writeError) s->writeError = err;
}

void syncValid(StreamRec* s) {
    s->pub.valid = s->atEnd ? s->filled : 0;
}

// Reads after the `filled` bytes already in the buffer, up to its capacity.
void readMore(StreamRec* s) {
    int32_t want = s->pub.capacity - s->filled;
    int64_t at = int64_t(s->pub.base) + s->filled;
    int32_t got = 0;
    if (want > 0 && at < INT32_MAX) {
        if (at + want > INT32_MAX) want = int32_t(INT32_MAX - at);
        if (s->source) {
            int64_t left = int64_t(s->source->size) - at;
            got = int32_t(std::clamp<int64_t>(left, 0, want));
            if (got) std::memcpy(s->pub.buffer + s->filled, s->source->data + at, size_t(got));
        } else {
            SetFPos(s->pub.file, fsFromStart, int32_t(at));
            int32_t count = want;
            OSErr err = FSRead(s->pub.file, &count, s->pub.buffer + s->filled);
            if (err == eofErr) {
                count = 0;
            } else if (err) {
                if (!s->readError) s->readError = err;
                count = 0;
            }
            got = std::clamp(count, 0, want);
        }
    }
    s->filled += got;
    if (got < want || want <= 0) s->atEnd = 1;
    syncValid(s);
}

// Moves the unread bytes to the buffer start (growing the buffer when
// nothing was consumed) and reads more. False when no more data can come.
bool refill(StreamRec* s) {
    if (s->atEnd) return false;
    int32_t consumed = int32_t(s->pub.cursor - s->pub.buffer);
    int32_t kept = s->filled - consumed;
    if (consumed == 0 && s->filled >= s->pub.capacity) {
        int64_t grown = int64_t(s->pub.capacity) + s->pub.capacity / 2;
        if (grown > INT32_MAX / 2) grown = INT32_MAX / 2;
        Ptr block = s->pub.buffer;
        if (grown <= s->pub.capacity || FmSetPtrSize(&block, uint32_t(grown)) != noErr) {
            if (!s->readError) s->readError = 1;
            s->atEnd = 1;
            syncValid(s);
            return false;
        }
        s->pub.buffer = block;
        s->pub.cursor = block;
        s->pub.capacity = int32_t(grown);
    } else if (consumed > 0) {
        std::memmove(s->pub.buffer, s->pub.cursor, size_t(kept));
        s->pub.base += consumed;
        s->filled = kept;
        s->pub.cursor = s->pub.buffer;
    }
    int32_t before = s->filled;
    readMore(s);
    return s->filled > before || !s->atEnd;
}

void freeStream(ProjBufHand h) {
    StreamRec* s = rec(h);
    if (s) {
        if (!s->memory && s->pub.buffer) FmDisposePtr(s->pub.buffer);
        if (s->pub.scratch) FmDisposePtr(s->pub.scratch);
        if (s->pub.index) FmDisposeHandle(s->pub.index);
        if (s->safe) {
            rc::platform::abortSafeSave(s->safe->file);
            delete s->safe;
        }
    }
    if (h) FmDisposeHandle(h);
}

ProjBufHand makeStream(FileRef file, int32_t capacity, int16_t mode, Ptr block) {
    if (capacity < kMinCapacity && !block) capacity = kMinCapacity;
    Handle h = FmNewHandleClear(sizeof(StreamRec));
    if (!h) return nullptr;
    StreamRec* s = reinterpret_cast<StreamRec*>(*h);
    s->pub.file = file;
    s->pub.mode = mode;
    s->pub.capacity = capacity;
    if (block) {
        s->pub.buffer = block;
        s->memory = 1;
    } else {
        s->pub.buffer = FmNewPtr(uint32_t(capacity));
    }
    uint32_t scratch = uint32_t(std::max(capacity / 2, kMinCapacity));
    s->pub.scratch = FmNewPtr(scratch);
    s->scratchSize = scratch;
    if (!s->pub.buffer || !s->pub.scratch) {
        freeStream(h);
        return nullptr;
    }
    s->pub.cursor = s->pub.buffer;
    return h;
}

bool validMode(int16_t mode) {
    return mode == kProjModeWrite || mode == kProjModeRead;
}

}  // namespace

void failFileWritesAfter(int n) {
    gFileWritesLeft = n;
}

// ---- Reading primitives ----

bool ensure(StreamRec* s, int32_t k) {
    while (s->pub.cursor + k >= s->pub.buffer + s->filled) {
        if (!refill(s)) return s->pub.cursor + k < s->pub.buffer + s->filled;
    }
    return true;
}

namespace {

// First CR or LF (and NUL when nulEnds) in [p, end), or end. Eight bytes at a
// time: the lowest byte below 0x0E in a word is found exactly, then tested.
const char* findLineEnd(const char* p, const char* end, bool nulEnds) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    while (end - p >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        uint64_t m = (w - kOnes * 0x0E) & ~w & kHigh;
        if (!m) {
            p += 8;
            continue;
        }
        const char* q = p + (__builtin_ctzll(m) >> 3);
        if (*q == '\r' || *q == '\n' || (nulEnds && *q == 0)) return q;
        p = q + 1;
    }
    while (p < end && *p != '\r' && *p != '\n' && (!nulEnds || *p != 0)) ++p;
    return p;
}

}  // namespace

int32_t lineSpan(StreamRec* s, bool nulEnds, int32_t from) {
    int32_t off = from;
    for (;;) {
        const char* p = s->pub.cursor + off;
        const char* end = s->pub.buffer + s->filled;
        p = findLineEnd(p, end, nulEnds);
        off = int32_t(p - s->pub.cursor);
        if (p < end) return off;
        if (!refill(s)) return int32_t(s->pub.buffer + s->filled - s->pub.cursor);
    }
}

void nextLine(StreamRec* s) {
    s->pub.cursor += lineSpan(s, true);
    for (;;) {
        int c = peekAt(s, 0);
        if (c != '\r' && c != '\n' && c != 0) return;
        ++s->pub.cursor;
    }
}

void consumeEOLSlow(StreamRec* s) {
    int c = peekAt(s, 0);
    if (c == '\r') {
        ++s->pub.cursor;
        if (peekAt(s, 0) == '\n') ++s->pub.cursor;
    } else if (c == '\n') {
        ++s->pub.cursor;
        if (peekAt(s, 0) == '\r') ++s->pub.cursor;
    }
}

bool tagAtCursor(StreamRec* s, OSType* tag) {
    if (peekAt(s, 0) != '[') return false;
    if (!ensure(s, 5)) return false;
    const char* p = s->pub.cursor;
    for (int i = 1; i <= 4; ++i)
        if (p[i] == '\r' || p[i] == '\n' || p[i] == 0 || p[i] == ']') return false;
    if (p[5] != ']') return false;
    if (tag) *tag = charsToType(p + 1);
    return true;
}

void seekTo(StreamRec* s, int32_t pos) {
    if (pos < 0) pos = 0;
    if (s->memory) {
        int32_t limit = s->pub.length;
        s->pub.cursor = s->pub.buffer + std::min(pos, limit);
        return;
    }
    s->pub.base = pos;
    s->filled = 0;
    s->atEnd = 0;
    s->pub.cursor = s->pub.buffer;
    readMore(s);
}

// ---- Writing ----

OSErr appendText(StreamRec* s, const char* text, int32_t n) {
    if (s->pub.mode != kProjModeWrite) return writErr;
    if (n <= 0) return noErr;
    int32_t used = int32_t(s->pub.cursor - s->pub.buffer);
    int32_t room = s->pub.capacity - used;
    if (n <= room) {
        std::memcpy(s->pub.cursor, text, size_t(n));
        s->pub.cursor += n;
        return noErr;
    }
    if (s->memory) {
        // The caller's block is full: refuse rather than overwrite earlier text.
        noteWriteError(s, memFullErr);
        return memFullErr;
    }
    OSErr first = noErr;
    auto flush = [&]() {
        OSErr err = writeToFile(s, s->pub.buffer, int32_t(s->pub.cursor - s->pub.buffer));
        if (err && !first) first = err;
        s->pub.cursor = s->pub.buffer;
    };
    // Fill the buffer, write it out, and carry on with the rest.
    std::memcpy(s->pub.cursor, text, size_t(room));
    s->pub.cursor += room;
    text += room;
    n -= room;
    flush();
    while (n > s->pub.capacity) {
        std::memcpy(s->pub.cursor, text, size_t(s->pub.capacity));
        s->pub.cursor += s->pub.capacity;
        text += s->pub.capacity;
        n -= s->pub.capacity;
        flush();
    }
    std::memcpy(s->pub.cursor, text, size_t(n));
    s->pub.cursor += n;
    noteWriteError(s, first);
    return first;
}

ProjBufHand createSourceStream(const MemorySource* source, int32_t capacity) {
    ProjBufHand h = makeStream(-1, capacity, kProjModeRead, nullptr);
    if (!h) return nullptr;
    StreamRec* s = rec(h);
    s->source = source;
    s->pub.length = source->size;
    if (source->size == 0)
        s->atEnd = 1;
    else
        readMore(s);
    return h;
}

}  // namespace rc::project

using namespace rc::project;

RC_API ProjBufHand CreateProjBufHand(FileRef file, int32_t capacity, int16_t mode) {
    if (!validMode(mode)) return nullptr;
    ProjBufHand h = makeStream(file, capacity, mode, nullptr);
    if (!h) return nullptr;
    StreamRec* s = rec(h);
    int32_t size = 0;
    if (GetEOF(file, &size) != noErr) size = 0;
    if (mode == kProjModeWrite) {
        if (size > 0) {
            SetFPos(file, fsFromStart, 0);
            rc::platform::truncateFile(file, 0);
        }
        return h;
    }
    int32_t here = 0;
    if (GetFPos(file, &here) != noErr) here = 0;
    s->pub.length = size;
    s->pub.base = here;
    if (size == 0)
        s->atEnd = 1;
    else
        readMore(s);
    return h;
}

RC_API ProjBufHand CreateProjBufHandWrite(FileRef file, int32_t capacity) {
    return makeStream(file, capacity, kProjModeWrite, nullptr);
}

RC_API ProjBufHand CreateProjBufHandMemory(Ptr block, int32_t size, int16_t mode) {
    if (!block || size < 0 || !validMode(mode)) return nullptr;
    ProjBufHand h = makeStream(-1, size, mode, block);
    if (!h) return nullptr;
    StreamRec* s = rec(h);
    s->pub.length = size;
    s->filled = mode == kProjModeRead ? size : 0;
    s->atEnd = 1;
    syncValid(s);
    return h;
}

RC_API ProjBufHand CreateProjBufHandSafe(const char* targetPath, int32_t capacity, OSErr* error) {
    auto* state = new (std::nothrow) SafeSaveState;
    if (!state) {
        if (error) *error = memFullErr;
        return nullptr;
    }
    int32_t sys = rc::platform::beginSafeSave(targetPath, state->file);
    if (sys) {
        delete state;
        if (error) *error = FmTranslateError(sys, openErr);
        return nullptr;
    }
    ProjBufHand h = makeStream(state->file.fd, capacity, kProjModeWrite, nullptr);
    if (!h) {
        rc::platform::abortSafeSave(state->file);
        delete state;
        if (error) *error = memFullErr;
        return nullptr;
    }
    rec(h)->safe = state;
    if (error) *error = noErr;
    return h;
}

RC_API void DiscardProjBufHand(ProjBufHand stream) {
    if (rec(stream)) freeStream(stream);
}

RC_API OSErr WriteAll(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    if (!s) return nilHandleErr;
    if (s->pub.mode != kProjModeWrite || s->memory || s->source) return noErr;
    OSErr err = writeToFile(s, s->pub.buffer, int32_t(s->pub.cursor - s->pub.buffer));
    s->pub.cursor = s->pub.buffer;
    noteWriteError(s, err);
    return err;
}

RC_API OSErr CloseProjBufHand(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    if (!s) return nilHandleErr;
    OSErr err = noErr;
    if (s->pub.mode == kProjModeWrite) err = WriteAll(stream);
    if (!err) err = s->writeError;
    if (s->safe) {
        if (err) {
            rc::platform::abortSafeSave(s->safe->file);
        } else {
            int32_t sys = rc::platform::commitSafeSave(s->safe->file);
            if (sys) err = FmTranslateError(sys, writErr);
        }
        delete s->safe;
        s->safe = nullptr;
    }
    freeStream(stream);
    return err;
}

RC_API OSErr CheckProjBufHand(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    if (!s || !s->pub.buffer || !s->pub.scratch) return memFullErr;
    return noErr;
}

RC_API OSErr WriteProjText(ProjBufHand stream, const char* text) {
    StreamRec* s = rec(stream);
    if (!s || !text) return kProjParamErr;
    return appendText(s, text, int32_t(std::strlen(text)));
}

RC_API OSErr WriteEOL(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    if (!s) return kProjParamErr;
    return appendText(s, "\r\n", 2);
}

RC_API OSErr WriteTag(OSType tag, ProjBufHand stream) {
    StreamRec* s = rec(stream);
    if (!s) return kProjParamErr;
    char line[6] = {'['};
    typeToChars(tag, line + 1);
    line[5] = ']';
    return appendText(s, line, 6);
}

RC_API OSErr ResetFile(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    if (!s) return kProjParamErr;
    if (s->pub.mode != kProjModeRead) return kProjParamErr;
    s->readError = noErr;
    seekTo(s, 0);
    return s->readError;
}

RC_API int32_t GetProjBufPosition(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    return s ? position(s) : 0;
}

namespace {

bool buildIndex(ProjBufHand stream) {
    StreamRec* s = rec(stream);
    Handle index = FmNewHandle(kIndexStep * sizeof(IndexEntry));
    if (!index) return false;
    s->pub.index = index;
    s->pub.indexRoom = kIndexStep;
    s->pub.indexCount = 0;
    ResetFile(stream);
    OSType tag = 0;
    bool found = GetStructInfo(stream, &tag) != 0;
    while (found) {
        s = rec(stream);
        auto* entries = reinterpret_cast<IndexEntry*>(*s->pub.index);
        int32_t i = 0;
        while (i < s->pub.indexCount && entries[i].tag != tag) ++i;
        if (i < s->pub.indexCount) {
            ++entries[i].count;
        } else {
            if (s->pub.indexCount == s->pub.indexRoom) {
                int32_t room = s->pub.indexRoom + kIndexStep;
                if (FmSetHandleSize(s->pub.index, uint32_t(room) * sizeof(IndexEntry)) != 0)
                    return false;
                s->pub.indexRoom = room;
                entries = reinterpret_cast<IndexEntry*>(*s->pub.index);
            }
            entries[s->pub.indexCount++] = IndexEntry{tag, 1, position(s)};
        }
        // Past the section's values as the reader takes them: a line inside
        // a raw multi-line value of an older file is no tag.
        s = rec(stream);
        nextLine(s);
        const KnownSchema* schema = findSchema(tag);
        skipSectionBody(s, schema ? schema->type : nullptr);
        found = GetStructInfo(stream, &tag) != 0;
    }
    return true;
}

const IndexEntry* findEntry(StreamRec* s, OSType tag) {
    if (!s->pub.index) return nullptr;
    auto* entries = reinterpret_cast<const IndexEntry*>(*s->pub.index);
    for (int32_t i = 0; i < s->pub.indexCount; ++i)
        if (entries[i].tag == tag) return &entries[i];
    return nullptr;
}

}  // namespace

RC_API int16_t SearchType(ProjBufHand stream, OSType tag) {
    StreamRec* s = rec(stream);
    if (!s || s->pub.mode != kProjModeRead) return 0;
    int32_t here = position(s);
    if (!s->pub.index) {
        if (!buildIndex(stream)) {
            s = rec(stream);
            if (s->pub.index) FmDisposeHandle(s->pub.index);
            s->pub.index = nullptr;
            s->pub.indexCount = s->pub.indexRoom = 0;
            seekTo(s, here);
            return 0;
        }
        s = rec(stream);
    }
    const IndexEntry* entry = findEntry(s, tag);
    if (!entry) {
        if (position(s) != here) seekTo(s, here);
        return 0;
    }
    seekTo(s, entry->position);
    return 1;
}

RC_API int32_t CountIndexTags(ProjBufHand stream, OSType tag) {
    StreamRec* s = rec(stream);
    if (!s) return 0;
    const IndexEntry* entry = findEntry(s, tag);
    return entry ? entry->count : 0;
}

RC_API OSErr InvalSection(FileRef file, OSType tag) {
    SetFPos(file, fsFromStart, 0);
    ProjBufHand stream = CreateProjBufHand(file, kProjBufSize, kProjModeRead);
    if (!stream) return memFullErr;
    OSErr err = noErr;
    static const char kInvalid[4] = {'I', 'N', 'V', 'L'};
    while (FindStruct(stream, tag)) {
        StreamRec* s = rec(stream);
        // Only the four tag characters change, whatever ends the line.
        int32_t at = position(s) + 1;
        int32_t back = 0;
        GetFPos(file, &back);
        SetFPos(file, fsFromStart, at);
        int32_t count = 4;
        err = FSWrite(file, &count, kInvalid);
        if (err == noErr && count != 4) err = writErr;
        if (err > 0) err = writErr;
        SetFPos(file, fsFromStart, back);
        if (err) break;
        std::memcpy(s->pub.cursor + 1, kInvalid, 4);
        nextLine(s);
    }
    if (!err) err = rec(stream)->readError;
    freeStream(stream);
    return err;
}
