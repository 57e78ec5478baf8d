// Parameter-format descriptors and their struct-codec schemas.
#include "timeline/keys/descriptor.h"

#include <cstdio>

#include "timeline/keys/layout.h"

namespace rc::keys {

namespace {

void appendNumber(std::string* s, int64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%lld;", static_cast<long long>(v));
    *s += buf;
}

// Appends the K text of the block in `avail` bytes; `described` receives the
// bytes the text covers.
bool describeBlock(const uint8_t* p, size_t avail, std::string* text, int64_t* described) {
    XeLayout L;
    if (inspectXe(p, avail, &L) != XeCheck::Ok) return false;
    // The text has no way to state a gap before the first record.
    if (L.firstStart >= 0 && L.firstStart != kXEBlockHeaderSize) return false;
    *text += 'K';
    appendNumber(text, int32_t(load32(p + 8)));
    appendNumber(text, int32_t(load32(p + 12)));
    appendNumber(text, L.nParams);
    for (int32_t i = 0; i < L.nParams; ++i) {
        const XeSlot& s = L.slot[i];
        if (s.start < 0) {
            *text += "N0;";
            continue;
        }
        *text += xeTypeInfo(s.type).letter;
        appendNumber(text, s.length);
    }
    // Without records the text covers the header alone.
    *described = int64_t(kXEBlockHeaderSize) + (L.firstStart < 0 ? 0 : L.recordsEnd);
    return true;
}

// Field widths of the letters the schemas use.
int32_t width(char letter) {
    switch (letter) {
        case 'B':
        case 'C':
            return 1;
        case 'S':
            return 2;
        case 'D':
            return 8;
        default:
            return 4;  // L, T, F
    }
}

// Appends a piece of schema: its type string, names, and one stride per
// field (a letter with an optional "[n]").
void emit(ParamSchema* s, const std::string& type, const char* names) {
    s->type += type;
    s->names += names;
    for (size_t i = 0; i < type.size();) {
        const char letter = type[i++];
        int64_t count = 1;
        if (i < type.size() && type[i] == '[') {
            count = 0;
            for (++i; i < type.size() && type[i] != ']'; ++i) count = count * 10 + (type[i] - '0');
            ++i;
        }
        const int32_t stride = int32_t(width(letter) * count);
        s->packing.push_back(stride);
        s->recordSize += stride;
    }
}

void emitPadding(ParamSchema* s, int64_t bytes, const char* name) {
    if (bytes > 0) emit(s, "B[" + std::to_string(bytes) + "]", name);
}

struct BodySchema {
    char letter;
    const char* type;
    const char* names;
};
constexpr BodySchema kBodies[] = {{'L', "LLLLLLLSSSSLL[8]L", "L,L,L,L,L,L,L,L,L,L,L,L,L,L,"},
                                  {'I', "LC[32]C[32]LLLLL", "I,I,I,I,I,I,I,I,"},
                                  {'F', "LC[32]C[32]LLLLLSS", "F,F,F,F,F,F,F,F,F,F,"},
                                  {'A', "LL", "A,A,"},
                                  {'B', "LCCS", "B,B,B,B,"},
                                  {'C', "CCCCCCCC", "C,C,C,C,C,C,C,C,"},
                                  {'T', "LLC[3]CLL", "T,T,T,T,T,T,"},
                                  {'P', "LSS", "P,P,P,"},
                                  {'D', "DDC[32]FFFFFSSLF", "D,D,D,D,D,D,D,D,D,D,D,D,"},
                                  {'R', "SS", "R,R,"},
                                  {'H', "LLL", "H,H,H,"},
                                  {'U', "", ""}};

const BodySchema* bodyOf(char letter) {
    for (const BodySchema& b : kBodies)
        if (b.letter == letter) return &b;
    return nullptr;
}

// Reads the descriptor text.
class Reader {
  public:
    explicit Reader(const char* p) : p_(p) {}
    bool at(char c) const { return *p_ == c; }
    bool take(char c) {
        if (*p_ != c) return false;
        ++p_;
        return true;
    }
    char letter() { return *p_ ? *p_++ : '\0'; }
    // A decimal number (optionally negative) followed by ';'.
    bool number(int64_t* v) {
        const bool negative = take('-');
        if (*p_ < '0' || *p_ > '9') return false;
        int64_t n = 0;
        const int64_t limit = negative ? -int64_t(INT32_MIN) : INT32_MAX;
        while (*p_ >= '0' && *p_ <= '9') {
            n = n * 10 + (*p_++ - '0');
            if (n > limit) return false;
        }
        *v = negative ? -n : n;
        return take(';');
    }
    bool atEnd() const { return *p_ == '\0'; }

  private:
    const char* p_;
};

// One block's schema; `described` receives its bytes.
bool schemaOfBlock(Reader& r, ParamSchema* s, int64_t* described) {
    int64_t ver, size, n;
    if (!r.take('K') || !r.number(&ver) || !r.number(&size) || !r.number(&n)) return false;
    if (n < 0 || n > kXEMaxParams) return false;
    const int64_t start = s->recordSize;
    emit(s, "LLLLLLLL[127]", "m1,m2,ver,size,fID,flat,nParams,offsets,");
    for (int64_t i = 0; i < n; ++i) {
        const char letter = r.letter();
        int64_t length;
        if (!r.number(&length)) return false;
        if (letter == 'N') continue;
        const BodySchema* body = bodyOf(letter);
        if (!body) return false;
        const int64_t bodySize = xeLetterBodySize(letter);
        if (length < kXERecordHeadSize + bodySize) return false;
        emit(s, "LLSSLC[32]LL", "K,K,K,K,K,K,K,K,");
        emit(s, body->type, body->names);
        emitPadding(s, length - kXERecordHeadSize - bodySize, "Kpad,");
        if (s->recordSize > INT32_MAX) return false;
    }
    *described = s->recordSize - start;
    return true;
}

}  // namespace

bool describeSingleSpec(Handle spec, std::string* text) {
    if (!spec || !*spec) return false;
    std::string out;
    int64_t described;
    if (!describeBlock(bytesOf(spec), GetHandleSize(spec), &out, &described)) return false;
    *text = std::move(out);
    return true;
}

bool describeCompSpec(Handle comp, std::string* text) {
    CompView v;
    if (!readComp(comp, &v) || v.count == 0) return false;
    std::string out = "X";
    appendNumber(&out, v.count);
    appendNumber(&out, v.specSize);
    for (int32_t k = 0; k < v.count; ++k) {
        int64_t described;
        if (!describeBlock(bytesOf(comp) + v.dataOffset(k), size_t(v.specSize), &out, &described))
            return false;
    }
    *text = std::move(out);
    return true;
}

bool schemaFromDescriptor(const char* text, ParamSchema* schema) {
    if (!text) return false;
    ParamSchema s;
    Reader r(text);
    if (r.take('X')) {
        int64_t count, specSize;
        if (!r.number(&count) || !r.number(&specSize) || count < 0 || specSize < 0) return false;
        emit(&s, "TTLL", "mag1,mag2,nSpecs,specSize,");
        for (int64_t k = 0; k < count; ++k) {
            emit(&s, "L", "time,");
            int64_t described;
            if (!schemaOfBlock(r, &s, &described)) return false;
            // The key's padding runs to the key size from what the text
            // describes, so a key never spills into the next one.
            if (described > specSize) return false;
            emitPadding(&s, specSize - described, "Xpad,");
        }
    } else {
        int64_t described;
        if (!schemaOfBlock(r, &s, &described)) return false;
    }
    if (!r.atEnd() || s.recordSize > INT32_MAX) return false;
    s.packing.push_back(0);
    *schema = std::move(s);
    return true;
}

}  // namespace rc::keys
