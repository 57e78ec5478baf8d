// The struct codec: type strings walked over packed records, each field
// written as one text line and read back from it.
#include <algorithm>
#include <cstring>

#include "project/codec_internal.h"
#include "project/numbers.h"
#include "reelcore/memory.h"

namespace rc::project {

namespace {

// Internal result: stop walking without an error.
constexpr OSErr kStop = 0x7FFF;

// ---- Record access (fields are byte-packed, so always through memcpy) ----

template <class T>
T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
void store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}
Handle loadHandle(const uint8_t* p) {
    return WordToHandle(load<uint32_t>(p));
}
void storeHandle(uint8_t* p, Handle h) {
    store<uint32_t>(p, HandleToWord(h));
}

// ---- Type strings ----

struct Field {
    char letter;
    int32_t count;  // elements in the field
    bool bracketed;
};

bool endOfType(char c) {
    return c == 0 || c == '\r' || c == '\n';
}

int32_t parseCount(const char*& t) {
    int64_t v = 0;
    bool negative = false;
    while (*t == ' ') ++t;
    if (*t == '-' || *t == '+') negative = *t++ == '-';
    while (*t >= '0' && *t <= '9') {
        if (v < (int64_t(1) << 31)) v = v * 10 + (*t - '0');
        ++t;
    }
    if (negative || v < 0) return 0;
    return int32_t(std::min<int64_t>(v, INT32_MAX));
}

// Walks the fields of a type string over a record, following "{" and "}".
// `visit(field, address, isFirst)` returns 0 to go on, kStop to end quietly,
// or an error.
template <class Visit>
OSErr walkFields(const char* type, const int32_t* packing, uint8_t* record, Visit&& visit) {
    const char* t = type;
    uint8_t* pos = record;
    uint8_t* saved = nullptr;
    const uint8_t* blockEnd = nullptr;
    bool first = true;
    while (!endOfType(*t)) {
        char c = *t++;
        if (c == '{') {
            if (blockEnd && pos + 4 > blockEnd) return kStructSmallBlock;
            Handle h = loadHandle(pos);
            if (!h || !FmIsValidHandle(h) || !*h) return kStructNoBlock;
            saved = pos + 4;
            pos = reinterpret_cast<uint8_t*>(*h);
            blockEnd = pos + FmGetHandleSize(h);
            continue;
        }
        if (c == '}') {
            if (saved) pos = saved;
            saved = nullptr;
            blockEnd = nullptr;
            continue;
        }
        Field f{c, 1, false};
        int32_t fields = 1;
        if (*t >= '0' && *t <= '9') {
            fields = parseCount(t);
        } else if (*t == '[') {
            ++t;
            f.count = parseCount(t);
            while (!endOfType(*t) && *t != ']') ++t;
            if (*t == ']') ++t;
            f.bracketed = true;
        }
        for (int32_t i = 0; i < fields; ++i) {
            int32_t stride = *packing;
            if (stride <= 0) return noErr;
            if (blockEnd) {
                int64_t extent = int64_t(letterWidth(f.letter)) * f.count;
                if (pos + std::max<int64_t>(extent, 0) > blockEnd) return kStructSmallBlock;
            }
            OSErr err = visit(f, pos, first);
            if (err == kStop) return noErr;
            if (err) return err;
            first = false;
            pos += stride;
            ++packing;
        }
    }
    return noErr;
}

bool isTextField(const Field& f) {
    return f.letter == 'E' || f.letter == 'T' || (f.letter == 'C' && f.count > 1);
}

// ---- Output ----

struct Out {
    explicit Out(StreamRec* stream) : s(stream) {}
    ~Out() { flush(); }
    StreamRec* s;
    char buf[2048];
    int32_t n = 0;
    OSErr err = noErr;

    void flush() {
        if (!n) return;
        OSErr e = appendText(s, buf, n);
        if (e && !err) err = e;
        n = 0;
    }
    void put(const char* p, int32_t len) {
        if (n + len > int32_t(sizeof buf)) {
            flush();
            if (len > int32_t(sizeof buf)) {
                OSErr e = appendText(s, p, len);
                if (e && !err) err = e;
                return;
            }
        }
        std::memcpy(buf + n, p, size_t(len));
        n += len;
    }
    void put(char c) {
        if (n == int32_t(sizeof buf)) flush();
        buf[n++] = c;
    }
    void putInt(int64_t v) {
        char t[24];
        put(t, formatInt(v, t));
    }
    void putReal(double v) {
        char t[kNumberTextMax];
        int len = formatReal(v, t);
        for (int i = 0; i < len; ++i)
            if (t[i] == ',') t[i] = '.';
        put(t, len);
    }
    void putHex8(uint32_t v) {
        static const char kDigits[] = "0123456789abcdef";
        char t[8];
        for (int i = 7; i >= 0; --i, v >>= 4) t[i] = kDigits[v & 15];
        put(t, 8);
    }
    void putHexBytes(const uint8_t* p, uint32_t count) {
        static const char kDigits[] = "0123456789ABCDEF";
        char t[512];
        uint32_t i = 0;
        while (i < count) {
            int k = 0;
            for (; k < int(sizeof t) && i < count; ++i) {
                t[k++] = kDigits[p[i] >> 4];
                t[k++] = kDigits[p[i] & 15];
            }
            put(t, k);
        }
    }
    // Text fields: backslashes doubled, CR as "\r", an LF after a CR as "\n",
    // any other LF dropped.
    void putEscapedText(const char* p, int32_t len) {
        int32_t run = 0;
        for (int32_t i = 0; i < len; ++i) {
            char c = p[i];
            if (c != '\\' && c != '\r' && c != '\n') continue;
            put(p + run, i - run);
            run = i + 1;
            if (c == '\\')
                put("\\\\", 2);
            else if (c == '\r')
                put("\\r", 2);
            else if (i > 0 && p[i - 1] == '\r')
                put("\\n", 2);
        }
        put(p + run, len - run);
    }
    // Handle texts in their escaped form: every line break kept.
    void putEscapedAll(const char* p, int32_t len) {
        int32_t run = 0;
        for (int32_t i = 0; i < len; ++i) {
            char c = p[i];
            if (c != '\\' && c != '\r' && c != '\n') continue;
            put(p + run, i - run);
            run = i + 1;
            put(c == '\\' ? "\\\\" : c == '\r' ? "\\r" : "\\n", 2);
        }
        put(p + run, len - run);
    }
};

bool hasLineBreak(const char* p, uint32_t len) {
    return len && (std::memchr(p, '\r', len) || std::memchr(p, '\n', len));
}

// H and M values are raw text on one line. A value holding a CR or LF would
// break the line (and could fake a tag line), so such a value is written in
// its escaped form instead: "~" after the size, then backslash, CR and LF as
// "\\", "\r" and "\n". So is a text with bytes after its NUL. Other values
// are written as before.
void writeHandleText(Out& o, Handle h) {
    if (!h) {
        o.put("-1", 2);
        return;
    }
    uint32_t size = FmGetHandleSize(h);
    if (size == 0) {
        o.put('0');
        return;
    }
    const char* text = *h;
    int32_t len = int32_t(strnlen(text, size));
    // The raw form states exactly the text's bytes (size less its NUL); a
    // text shorter than its Handle goes in the escaped form, so that a raw
    // value is never read past its line by mistake.
    bool escaped = hasLineBreak(text, uint32_t(len)) || uint32_t(len) + 1 != size;
    o.putInt(size);
    if (escaped) o.put('~');
    o.put(',');
    if (escaped)
        o.putEscapedAll(text, len);
    else
        o.put(text, len);
}

// "total," then "len," and, for a non-empty string, the string and ",".
void writeStringList(Out& o, Handle h) {
    if (!h) {
        o.put("-1", 2);
        return;
    }
    uint32_t total = FmGetHandleSize(h);
    const char* data = total ? *h : nullptr;
    bool escaped = data && hasLineBreak(data, total);
    o.putInt(total);
    if (escaped) o.put('~');
    o.put(',');
    uint32_t pos = 0;
    while (pos < total) {
        int32_t len = int32_t(strnlen(data + pos, total - pos));
        o.putInt(len);
        o.put(',');
        if (len > 0) {
            if (escaped)
                o.putEscapedAll(data + pos, len);
            else
                o.put(data + pos, len);
            o.put(',');
        }
        pos += uint32_t(len) + 1;
    }
}

void writeHexBlock(Out& o, const uint8_t* p, bool present, uint32_t size) {
    if (!present) return;
    if (size == 0) {
        o.put('0');
        return;
    }
    o.putInt(size);
    o.put(',');
    o.putHexBytes(p, size);
}

// Writes n values separated by commas.
template <typename PutOne>
void putCommaList(Out& o, int32_t n, PutOne putOne) {
    for (int32_t i = 0; i < n; ++i) {
        if (i) o.put(',');
        putOne(i);
    }
}

void writeValue(Out& o, const Field& f, const uint8_t* p) {
    int32_t n = f.count;
    switch (f.letter) {
        case 'B':
            putCommaList(o, n, [&](int32_t i) { o.putInt(p[i]); });
            break;
        case 'C':
        case 'E':
            if (n == 1 && f.letter == 'C') {
                o.putInt(int8_t(p[0]));
            } else if (n > 0) {
                const char* text = reinterpret_cast<const char*>(p);
                o.putEscapedText(text, int32_t(strnlen(text, size_t(n))));
            }
            break;
        case 'D':
            putCommaList(o, n, [&](int32_t i) { o.putReal(load<double>(p + 8 * i)); });
            break;
        case 'F':
            putCommaList(o, n, [&](int32_t i) { o.putReal(load<float>(p + 4 * i)); });
            break;
        case 'I':
        case 'L':
            putCommaList(o, n, [&](int32_t i) { o.putInt(load<int32_t>(p + 4 * i)); });
            break;
        case 'S':
            putCommaList(o, n, [&](int32_t i) { o.putInt(load<int16_t>(p + 2 * i)); });
            break;
        case 'T':
            putCommaList(o, n, [&](int32_t i) {
                char c[4];
                typeToChars(load<uint32_t>(p + 4 * i), c);
                o.put(c, 4);
            });
            break;
        case 'X':
            putCommaList(o, n, [&](int32_t i) { o.putHex8(load<uint32_t>(p + 4 * i)); });
            break;
        case 'P':
        case 'R': {
            int32_t values = n * (f.letter == 'P' ? 2 : 4);
            putCommaList(o, values, [&](int32_t i) { o.putInt(load<int32_t>(p + 4 * i)); });
            break;
        }
        case 'H':
            if (n > 0) writeHandleText(o, loadHandle(p));
            break;
        case 'M':
            if (n > 0) writeStringList(o, loadHandle(p));
            break;
        case 'W':
            if (n > 0) {
                Handle h = loadHandle(p);
                if (h) o.putInt(FmGetHandleSize(h));
            }
            break;
        case 'Y':
            if (n > 0) {
                Ptr block = load<Ptr>(p);
                writeHexBlock(o, reinterpret_cast<const uint8_t*>(block), block != nullptr,
                              block ? FmGetPtrSize(block) : 0);
            }
            break;
        case 'Z':
            if (n > 0) {
                Handle h = loadHandle(p);
                uint32_t size = h ? FmGetHandleSize(h) : 0;
                writeHexBlock(o, h && size ? reinterpret_cast<const uint8_t*>(*h) : nullptr,
                              h != nullptr, size);
            }
            break;
        case 'N':
            // Six lines per marker: two longs and four string lists.
            for (int32_t i = 0; i < n; ++i) {
                const uint8_t* m = p + 24 * i;
                if (i) o.put("\r\n", 2);
                o.putInt(load<int32_t>(m));
                o.put("\r\n", 2);
                o.putInt(load<int32_t>(m + 4));
                for (int k = 0; k < 4; ++k) {
                    o.put("\r\n", 2);
                    writeStringList(o, loadHandle(m + 8 + 4 * k));
                }
            }
            break;
        default:
            break;  // 'O' and unknown letters: an empty value
    }
}

// Next name of a field-name list: up to the next ","; then the run of ","
// and blanks after it is skipped.
void takeName(const char*& names, const char*& name, int32_t& len) {
    name = nullptr;
    len = 0;
    if (!names || !*names) return;
    const char* p = names;
    while (*p && *p != ',') ++p;
    name = names;
    len = int32_t(p - names);
    while (*p == ',' || *p == ' ' || *p == '\t') ++p;
    names = p;
}

void writeLineStart(Out& o, const char* name, int32_t len, const Field& f) {
    if (len > 0) {
        o.put(name, len);
        o.put('=');
    } else if (isTextField(f)) {
        // A nameless text still starts with "=", so a "=" inside it, or a
        // leading "[", is never mistaken for a key or a tag.
        o.put('=');
    }
}

// ---- Input ----

struct Span {
    const char* p;
    const char* e;
};

// The text up to the next "," (consumed) or the end of the span.
Span token(Span& s) {
    const char* q = s.p;
    while (q < s.e && *q != ',') ++q;
    Span t{s.p, q};
    s.p = q < s.e ? q + 1 : s.e;
    return t;
}

bool fail(ReadCtx* ctx, const char* reason) {
    if (ctx && !ctx->reason) ctx->reason = reason;
    return false;
}

bool isInteger(Span t) {
    const char* p = t.p;
    if (p < t.e && *p == '-') ++p;
    if (p == t.e) return false;
    for (; p < t.e; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

// In strict mode a value with a syntax fault is refused.
bool checkInteger(ReadCtx* ctx, Span t) {
    if (!ctx || !ctx->strict || isInteger(t)) return true;
    return fail(ctx, "not an integer");
}

bool checkReal(ReadCtx* ctx, Span t) {
    if (!ctx || !ctx->strict) return true;
    double v;
    const char* p = t.p;
    auto r = std::from_chars(p, t.e, v);
    if (p != t.e && r.ptr == t.e) return true;
    return fail(ctx, "not a number");
}

bool checkEnd(ReadCtx* ctx, const Span& rest, bool consumedAll) {
    if (!ctx || !ctx->strict) return true;
    if (rest.p == rest.e && consumedAll) return true;
    return fail(ctx, "wrong number of values");
}

int32_t readInt(ReadCtx* ctx, Span& s, bool& ok) {
    if (!ctx || !ctx->strict) {
        // Plain digits up to "," or the end: one pass.
        const char* p = s.p;
        bool negative = p < s.e && *p == '-';
        if (negative) ++p;
        const char* digits = p;
        uint32_t v = 0;
        while (p < s.e && unsigned(*p - '0') < 10 && p - digits < 9)
            v = v * 10 + uint32_t(*p++ - '0');
        if (p > digits && (p == s.e || *p == ',')) {
            s.p = p < s.e ? p + 1 : p;
            return negative ? -int32_t(v) : int32_t(v);
        }
    }
    Span t = token(s);
    if (!checkInteger(ctx, t)) ok = false;
    return parseInt(t.p, t.e);
}

// Unescapes "\\", "\r" and "\n" from `in` into at most `room` bytes of `out`;
// returns the bytes produced and leaves `in` after the bytes consumed.
int32_t unescape(Span& in, char* out, int32_t room) {
    int32_t k = 0;
    const char* q = in.p;
    while (q < in.e && k < room) {
        char c = *q;
        if (c == '\\' && q + 1 < in.e) {
            char d = q[1];
            if (d == '\\' || d == 'r' || d == 'n') {
                out[k++] = d == '\\' ? '\\' : d == 'r' ? '\r' : '\n';
                q += 2;
                continue;
            }
        }
        out[k++] = c;
        ++q;
    }
    in.p = q;
    return k;
}

// Bytes that unescaping `in` would produce.
int32_t unescapedLength(Span in) {
    int32_t k = 0;
    for (const char* q = in.p; q < in.e; ++k) {
        if (*q == '\\' && q + 1 < in.e && (q[1] == '\\' || q[1] == 'r' || q[1] == 'n'))
            q += 2;
        else
            ++q;
    }
    return k;
}

// A size token, optionally followed by "~" (the escaped form).
int32_t readSize(ReadCtx* ctx, Span& s, bool& escaped, bool& ok) {
    Span t = token(s);
    escaped = false;
    if (t.e > t.p && t.e[-1] == '~') {
        escaped = true;
        --t.e;
    }
    if (!checkInteger(ctx, t)) ok = false;
    return parseInt(t.p, t.e);
}

OSErr readHandleText(ReadCtx* ctx, Span s, uint8_t* field) {
    bool escaped = false, ok = true;
    int32_t size = readSize(ctx, s, escaped, ok);
    if (!ok) return kStructBadValue;
    if (size <= -1) {
        storeHandle(field, nullptr);
        return noErr;
    }
    int32_t textLen = escaped ? unescapedLength(s) : int32_t(s.e - s.p);
    if (int64_t(size) > int64_t(textLen) + 1 + kMaxUnbackedSize) {
        storeHandle(field, nullptr);
        fail(ctx, "text size far beyond its text");
        return kStructBadValue;
    }
    Handle h = FmNewHandleClear(uint32_t(size));
    if (!h) {
        storeHandle(field, nullptr);
        return memFullErr;
    }
    if (size > 1) {
        int32_t room = size - 1;
        if (escaped)
            unescape(s, *h, room);
        else
            std::memcpy(*h, s.p, size_t(std::min(room, textLen)));
    }
    storeHandle(field, h);
    return noErr;
}

OSErr readStringList(ReadCtx* ctx, Span s, uint8_t* field) {
    bool escaped = false, ok = true;
    int32_t total = readSize(ctx, s, escaped, ok);
    if (!ok) return kStructBadValue;
    if (total < 0) {
        storeHandle(field, nullptr);
        return noErr;
    }
    // Every byte of the list takes at least one character of the line.
    if (total > s.e - s.p) {
        storeHandle(field, nullptr);
        fail(ctx, "string list larger than its line");
        return kStructBadValue;
    }
    Handle h = FmNewHandleClear(uint32_t(total));
    if (!h) {
        storeHandle(field, nullptr);
        return memFullErr;
    }
    storeHandle(field, h);
    char* data = *h;
    int32_t pos = 0;
    while (s.p < s.e) {
        const char* comma = static_cast<const char*>(std::memchr(s.p, ',', size_t(s.e - s.p)));
        if (!comma || pos >= total) {
            fail(ctx, "string list does not match its size");
            return kStructBadValue;
        }
        Span t{s.p, comma};
        s.p = comma + 1;
        if (!checkInteger(ctx, t)) return kStructBadValue;
        int32_t len = parseInt(t.p, t.e);
        if (len < 0 || len > total - pos) {
            fail(ctx, "string longer than the room left");
            return kStructBadValue;
        }
        if (len > 0) {
            int32_t got;
            if (escaped) {
                got = unescape(s, data + pos, len);
            } else {
                got = int32_t(std::min<int64_t>(len, s.e - s.p));
                std::memcpy(data + pos, s.p, size_t(got));
                s.p += got;
            }
            if (got != len || s.p >= s.e || *s.p != ',') {
                fail(ctx, "string does not match its length");
                return kStructBadValue;
            }
            ++s.p;
        }
        pos += len;
        if (pos < total) ++pos;  // the string's NUL (already zero)
    }
    if (pos != total) {
        fail(ctx, "string list shorter than its size");
        return kStructBadValue;
    }
    return noErr;
}

// Y and Z: "size," and two hex digits per byte.
OSErr readHexBlock(ReadCtx* ctx, Span s, uint8_t* field, bool pointer) {
    const OSErr mismatch = pointer ? OSErr(kStructShort) : OSErr(kStructBadValue);
    Handle existing = pointer ? nullptr : loadHandle(field);
    if (existing && !FmIsValidHandle(existing)) existing = nullptr;
    if (s.p == s.e) {
        if (pointer)
            store<Ptr>(field, nullptr);
        else
            storeHandle(field, nullptr);
        return noErr;
    }
    bool ok = true;
    Span t = token(s);
    if (!checkInteger(ctx, t)) ok = false;
    int32_t size = parseInt(t.p, t.e);
    const char* q = s.p;
    while (q < s.e && hexValue(uint8_t(*q)) >= 0) ++q;
    int64_t digits = q - s.p;
    if (ctx && ctx->strict && q != s.e) ok = false;
    int32_t bytes = int32_t(std::clamp<int64_t>(std::min<int64_t>(size, digits / 2), 0, INT32_MAX));
    uint8_t* out = nullptr;
    if (pointer) {
        Ptr block = FmNewPtrClear(uint32_t(bytes));
        if (!block) {
            store<Ptr>(field, nullptr);
            return memFullErr;
        }
        store<Ptr>(field, block);
        out = reinterpret_cast<uint8_t*>(block);
    } else {
        Handle h = existing;
        if (h) {
            if (FmSetHandleSize(h, uint32_t(bytes)) != 0) return memFullErr;
        } else {
            h = FmNewHandleClear(uint32_t(bytes));
            if (!h) {
                storeHandle(field, nullptr);
                return memFullErr;
            }
        }
        storeHandle(field, h);
        out = reinterpret_cast<uint8_t*>(*h);
    }
    for (int32_t i = 0; i < bytes; ++i)
        out[i] = uint8_t(hexValue(uint8_t(s.p[2 * i])) << 4 | hexValue(uint8_t(s.p[2 * i + 1])));
    if (size < 0 || digits != 2 * int64_t(size)) {
        fail(ctx, "hex data does not match its size");
        return mismatch;
    }
    if (!ok) {
        fail(ctx, "bad hex data");
        return kStructBadValue;
    }
    return noErr;
}

// Decodes one value from the text of its line (after the "=").
OSErr decodeValue(ReadCtx* ctx, const Field& f, uint8_t* p, Span s) {
    int32_t n = f.count;
    bool ok = true;
    switch (f.letter) {
        case 'B':
            for (int32_t i = 0; i < n; ++i) p[i] = uint8_t(readInt(ctx, s, ok));
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        case 'C':
        case 'E':
            if (n == 1) {
                // The whole rest of the line is the number.
                if (!checkInteger(ctx, s)) return kStructBadValue;
                p[0] = uint8_t(parseInt(s.p, s.e));
            } else if (n > 1) {
                if (s.e - s.p > 3 * int64_t(n) - 1) s.e = s.p + (3 * int64_t(n) - 1);
                char* out = reinterpret_cast<char*>(p);
                int32_t len = unescape(s, out, n - 1);
                std::memset(out + len, 0, size_t(n - len));
            }
            break;
        case 'D':
        case 'F':
            for (int32_t i = 0; i < n; ++i) {
                Span t = token(s);
                if (!checkReal(ctx, t)) ok = false;
                double v = parseReal(t.p, t.e);
                if (f.letter == 'D')
                    store<double>(p + 8 * i, v);
                else
                    store<float>(p + 4 * i, static_cast<float>(v));
            }
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        case 'I':
        case 'L':
            for (int32_t i = 0; i < n; ++i) store<int32_t>(p + 4 * i, readInt(ctx, s, ok));
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        case 'S':
            for (int32_t i = 0; i < n; ++i) store<int16_t>(p + 2 * i, int16_t(readInt(ctx, s, ok)));
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        case 'T':
            for (int32_t i = 0; i < n; ++i) {
                // Four raw characters; a code may hold "," or "=".
                char c[4] = {0, 0, 0, 0};
                int32_t take = int32_t(std::min<int64_t>(4, s.e - s.p));
                std::memcpy(c, s.p, size_t(take));
                s.p += take;
                if (take < 4) ok = false;
                if (s.p < s.e && *s.p == ',') ++s.p;
                store<uint32_t>(p + 4 * i, charsToType(c));
            }
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        case 'X':
            for (int32_t i = 0; i < n; ++i) {
                Span t = token(s);
                uint32_t v = 0;
                const char* q = t.p;
                for (int k = 0; k < 8 && q < t.e && hexValue(uint8_t(*q)) >= 0; ++k, ++q)
                    v = v << 4 | uint32_t(hexValue(uint8_t(*q)));
                if (q != t.e || t.p == t.e) ok = false;
                store<uint32_t>(p + 4 * i, v);
            }
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        case 'P':
        case 'R': {
            int32_t values = n * (f.letter == 'P' ? 2 : 4);
            for (int32_t i = 0; i < values; ++i) store<int32_t>(p + 4 * i, readInt(ctx, s, ok));
            if (!checkEnd(ctx, s, ok)) return kStructBadValue;
            break;
        }
        case 'H':
            if (n > 0) return readHandleText(ctx, s, p);
            break;
        case 'M':
            if (n > 0) return readStringList(ctx, s, p);
            break;
        case 'W':
            if (n > 0) {
                if (s.p == s.e) {  // a null Handle
                    storeHandle(p, nullptr);
                    break;
                }
                int32_t size = readInt(ctx, s, ok);
                if (!ok) return kStructBadValue;
                if (size > kMaxUnbackedSize) {
                    storeHandle(p, nullptr);
                    fail(ctx, "block size too large");
                    return kStructBadValue;
                }
                Handle h = nullptr;
                if (size > 0) {
                    h = FmNewHandleClear(uint32_t(size));
                    if (!h) {
                        storeHandle(p, nullptr);
                        return memFullErr;
                    }
                }
                storeHandle(p, h);
            }
            break;
        case 'Y':
        case 'Z':
            if (n > 0) return readHexBlock(ctx, s, p, f.letter == 'Y');
            break;
        default:
            break;
    }
    return noErr;
}

// The line at the cursor, with the key before its "=" skipped (when there is
// a "=" before the first "," and the line's end).
Span currentValue(StreamRec* s, int32_t& span) {
    // Usually the key and its "=" are already in the buffer: find them first
    // and scan the rest of the line only once.
    const char* start = s->pub.cursor;
    const char* end = s->pub.buffer + s->filled;
    const char* q = start;
    while (q < end && *q != '=' && *q != ',' && *q != '\r' && *q != '\n') ++q;
    if (q < end) {
        int32_t key = int32_t(q - start);
        span = lineSpan(s, false, key);
        const char* line = s->pub.cursor;
        return Span{line[key] == '=' && key < span ? line + key + 1 : line, line + span};
    }
    span = lineSpan(s, false);
    Span v{s->pub.cursor, s->pub.cursor + span};
    for (const char* q = v.p; q < v.e; ++q) {
        if (*q == '=') {
            v.p = q + 1;
            break;
        }
        if (*q == ',') break;
    }
    return v;
}

// ---- Raw multi-line values ----
// Older files hold H and M values in the raw form: a size, then that many
// bytes, which may include CR and LF. Such a value runs on past its first
// line for exactly the bytes its sizes state; it is taken that way only when
// those bytes end where a line ends (or the data ends), so that a short text
// in a larger Handle, written on one line, still reads as one line.

// Decimal digits at cursor + k up to a ",", which is consumed.
bool rawNumber(StreamRec* s, int32_t& k, int64_t& value) {
    value = 0;
    const int32_t first = k;
    for (int c = peekAt(s, k); c >= '0' && c <= '9'; c = peekAt(s, ++k)) {
        value = value * 10 + (c - '0');
        if (value > kMaxUnbackedSize) return false;
    }
    if (k == first || peekAt(s, k) != ',') return false;
    ++k;
    return true;
}

// A line ends at k, and k does not split a CR LF pair.
bool endsALine(StreamRec* s, int32_t k) {
    const int c = peekAt(s, k);
    if (c < 0) return true;
    if (c != '\r' && c != '\n') return false;
    return c == '\r' || k == 0 || peekAt(s, k - 1) != '\r';
}

// Offset from the cursor where a raw H value starting at `at` ends, or -1.
int32_t rawTextEnd(StreamRec* s, int32_t at) {
    int64_t size = 0;
    if (!rawNumber(s, at, size) || size <= 1) return -1;
    const int64_t end = at + size - 1;  // the NUL is not written
    if (end > INT32_MAX || !endsALine(s, int32_t(end))) return -1;
    for (int32_t k = at; k < end; ++k)
        if (peekAt(s, k) <= 0) return -1;  // a NUL or the data's end inside the text
    return int32_t(end);
}

// The same for a raw M value: total, then "length," and the bytes and ","
// of each string.
int32_t rawListEnd(StreamRec* s, int32_t at) {
    int64_t total = 0;
    if (!rawNumber(s, at, total)) return -1;
    int64_t pos = 0;
    while (pos < total) {
        int64_t len = 0;
        if (!rawNumber(s, at, len) || len > total - pos) return -1;
        if (len > 0) {
            if (int64_t(at) + len > INT32_MAX) return -1;
            at += int32_t(len);
            if (peekAt(s, at) != ',') return -1;
            ++at;
        }
        pos += len;
        if (pos < total) ++pos;
    }
    return endsALine(s, at) ? at : -1;
}

// Widens the value of an H or M line to its raw multi-line extent. `span` is
// the line's length from the cursor; the value and span are updated.
void takeRawValue(StreamRec* s, char letter, Span& v, int32_t& span) {
    const int32_t start = int32_t(v.p - s->pub.cursor);
    const int32_t end = letter == 'H' ? rawTextEnd(s, start) : rawListEnd(s, start);
    if (end > span) span = end;
    v = Span{s->pub.cursor + start, s->pub.cursor + span};  // the buffer may have moved
}

bool atSectionEnd(StreamRec* s) {
    int c = peekAt(s, 0);
    return c < 0 || c == '[';
}

// One value line of the section body being skipped; a raw H or M value is
// taken whole, exactly as readField takes it.
// Other lines end at CR, LF or NUL, as the plain tag scan has them.
void skipValueLine(StreamRec* s, char letter) {
    if (letter == 'H' || letter == 'M') {
        int32_t span = 0;
        Span v = currentValue(s, span);
        const int32_t line = span;
        takeRawValue(s, letter, v, span);
        if (span > line) {
            s->pub.cursor += span;
            consumeEOL(s);
            return;
        }
    }
    s->pub.cursor += lineSpan(s, true);
    while (peekAt(s, 0) == 0) ++s->pub.cursor;
    consumeEOL(s);
}

// True at a tag line or at the data's end.
bool atTagOrEnd(StreamRec* s) {
    return atEndOfData(s) || tagAtCursor(s, nullptr);
}

// Reads one field: its line (or its six lines per element for N), consumed
// whole with its line end.
OSErr readField(StreamRec* s, const Field& f, uint8_t* p, ReadCtx* ctx) {
    if (ctx && ctx->strict) ctx->badPos = position(s);
    if (f.letter != 'N') {
        int32_t span = 0;
        Span v = currentValue(s, span);
        if ((f.letter == 'H' || f.letter == 'M') && f.count > 0) takeRawValue(s, f.letter, v, span);
        OSErr err = decodeValue(ctx, f, p, v);
        s->pub.cursor += span;
        consumeEOL(s);
        return err;
    }
    if (f.count <= 0) {
        s->pub.cursor += lineSpan(s, false);
        consumeEOL(s);
        return noErr;
    }
    for (int32_t i = 0; i < f.count; ++i) {
        uint8_t* m = p + 24 * i;
        for (int k = 0; k < 6; ++k) {
            bool firstLine = i == 0 && k == 0;
            if (!firstLine && atSectionEnd(s)) return kStructShort;
            if (ctx && ctx->strict) ctx->badPos = position(s);
            int32_t span = 0;
            Span v;
            if (firstLine) {
                v = currentValue(s, span);
            } else {
                span = lineSpan(s, false);
                v = Span{s->pub.cursor, s->pub.cursor + span};
            }
            if (k >= 2) takeRawValue(s, 'M', v, span);
            OSErr err = noErr;
            if (k < 2) {
                bool ok = true;
                store<int32_t>(m + 4 * k, readInt(ctx, v, ok));
                if (!checkEnd(ctx, v, ok)) err = kStructBadValue;
            } else {
                err = readStringList(ctx, v, m + 8 + 4 * (k - 2));
            }
            s->pub.cursor += span;
            consumeEOL(s);
            if (err) return err;
        }
    }
    return noErr;
}

Field keyedField(char letter, int32_t count) {
    return Field{letter, count < 0 ? 0 : count, count != 1};
}

void freeField(const Field& f, uint8_t* p) {
    auto freeHandle = [](uint8_t* at) {
        Handle h = loadHandle(at);
        if (h && FmIsValidHandle(h)) FmDisposeHandle(h);
        storeHandle(at, nullptr);
    };
    if (f.count <= 0) return;
    switch (f.letter) {
        case 'H':
        case 'M':
        case 'W':
        case 'Z':
            freeHandle(p);
            break;
        case 'Y': {
            Ptr block = load<Ptr>(p);
            if (block) FmDisposePtr(block);
            store<Ptr>(p, nullptr);
            break;
        }
        case 'N':
            for (int32_t i = 0; i < f.count; ++i)
                for (int k = 0; k < 4; ++k) freeHandle(p + 24 * i + 8 + 4 * k);
            break;
        default:
            break;
    }
}

}  // namespace

int32_t letterWidth(char letter) {
    switch (letter) {
        case 'B':
        case 'C':
        case 'E':
            return 1;
        case 'S':
            return 2;
        case 'F':
        case 'I':
        case 'L':
        case 'T':
        case 'X':
        case 'H':
        case 'M':
        case 'W':
        case 'Z':
            return 4;
        case 'D':
        case 'P':
            return 8;
        case 'Y':
            return int32_t(sizeof(Ptr));
        case 'R':
            return 16;
        case 'N':
            return 24;
        default:
            return 0;
    }
}

OSErr readStructWith(ProjBufHand stream, OSType tag, const char* typeString, const int32_t* packing,
                     void* record, ReadCtx* ctx) {
    StreamRec* s = rec(stream);
    if (!s || !typeString || !packing || !record) return kProjParamErr;
    if (s->pub.mode != kProjModeRead) return kProjParamErr;
    if (!FindStruct(stream, tag)) {
        s = rec(stream);
        return s->readError ? s->readError : OSErr(kStructNotFound);
    }
    skipLine(s);
    if (atSectionEnd(s)) return noErr;  // an empty record
    OSErr err = walkFields(typeString, packing, static_cast<uint8_t*>(record),
                           [&](const Field& f, uint8_t* p, bool first) -> OSErr {
                               if (!first && atSectionEnd(s)) return kStructShort;
                               return readField(s, f, p, ctx);
                           });
    if (!err && s->readError) err = s->readError;
    return err;
}

OSErr writeKeyed(StreamRec* s, const char* key, char letter, int32_t count, const void* data) {
    if (!s) return kProjParamErr;
    if (s->pub.mode != kProjModeWrite) return writErr;
    Field f = keyedField(letter, count);
    if (f.count > 0 && letterWidth(letter) > 0 && !data) return kProjParamErr;
    Out o(s);
    writeLineStart(o, key, key ? int32_t(std::strlen(key)) : 0, f);
    if (data) writeValue(o, f, static_cast<const uint8_t*>(data));
    o.put("\r\n", 2);
    o.flush();
    return o.err;
}

OSErr readKeyed(StreamRec* s, char letter, int32_t count, void* data, ReadCtx* ctx) {
    if (!s) return kProjParamErr;
    if (s->pub.mode != kProjModeRead) return kProjParamErr;
    Field f = keyedField(letter, count);
    if (f.count > 0 && letterWidth(letter) > 0 && !data) return kProjParamErr;
    if (atSectionEnd(s)) return s->readError ? s->readError : OSErr(kStructShort);
    static uint8_t none[1];
    return readField(s, f, data ? static_cast<uint8_t*>(data) : none, ctx);
}

std::vector<int32_t> naturalPacking(const char* typeString) {
    std::vector<int32_t> list;
    if (!typeString) {
        list.push_back(0);
        return list;
    }
    const char* t = typeString;
    while (!endOfType(*t)) {
        char c = *t++;
        if (c == '{' || c == '}') continue;
        int32_t fields = 1, count = 1;
        if (*t >= '0' && *t <= '9') {
            fields = parseCount(t);
        } else if (*t == '[') {
            ++t;
            count = parseCount(t);
            while (!endOfType(*t) && *t != ']') ++t;
            if (*t == ']') ++t;
        }
        int64_t stride = std::max<int64_t>(int64_t(letterWidth(c)) * count, 1);
        for (int32_t i = 0; i < fields && list.size() < 100000; ++i)
            list.push_back(int32_t(std::min<int64_t>(stride, 1 << 24)));
    }
    list.push_back(0);
    return list;
}

void skipSectionBody(StreamRec* s, const char* typeString) {
    if (!typeString || !*typeString) {
        while (!atTagOrEnd(s)) skipValueLine(s, 0);
        return;
    }
    // Sections such as marker lists repeat their type once per element: the
    // walk starts over until the next tag line.
    for (;;) {
        const char* t = typeString;
        bool consumed = false;
        while (!endOfType(*t)) {
            char c = *t++;
            if (c == '{' || c == '}') continue;
            int32_t fields = 1, count = 1;
            if (*t >= '0' && *t <= '9') {
                fields = parseCount(t);
            } else if (*t == '[') {
                ++t;
                count = parseCount(t);
                while (!endOfType(*t) && *t != ']') ++t;
                if (*t == ']') ++t;
            }
            for (int32_t i = 0; i < fields; ++i) {
                if (c == 'N') {
                    for (int32_t e = 0; e < count; ++e)
                        for (int k = 0; k < 6; ++k) {
                            if (atTagOrEnd(s)) return;
                            skipValueLine(s, k >= 2 ? 'M' : 'L');
                            consumed = true;
                        }
                    continue;
                }
                if (atTagOrEnd(s)) return;
                skipValueLine(s, count > 0 ? c : 0);
                consumed = true;
            }
        }
        if (!consumed) {
            while (!atTagOrEnd(s)) skipValueLine(s, 0);
            return;
        }
    }
}

void freeRecordHandles(const char* typeString, const int32_t* packing, void* record) {
    if (!typeString || !packing || !record) return;
    // Fields inside "{ }" live in the caller's blocks and are left alone.
    const char* t = typeString;
    uint8_t* pos = static_cast<uint8_t*>(record);
    bool inBlock = false;
    while (!endOfType(*t)) {
        char c = *t++;
        if (c == '{' || c == '}') {
            if (c == '{') pos += 4;
            inBlock = c == '{';
            continue;
        }
        Field f{c, 1, false};
        int32_t fields = 1;
        if (*t >= '0' && *t <= '9') {
            fields = parseCount(t);
        } else if (*t == '[') {
            ++t;
            f.count = parseCount(t);
            while (!endOfType(*t) && *t != ']') ++t;
            if (*t == ']') ++t;
        }
        for (int32_t i = 0; i < fields; ++i) {
            if (*packing <= 0) return;
            if (!inBlock) {
                freeField(f, pos);
                pos += *packing;
            }
            ++packing;
        }
    }
}

}  // namespace rc::project

using namespace rc::project;

RC_API int16_t FindStruct(ProjBufHand stream, OSType tag) {
    StreamRec* s = rec(stream);
    if (!s || s->pub.mode != kProjModeRead) return 0;
    for (;;) {
        OSType found = 0;
        if (tagAtCursor(s, &found) && found == tag) return 1;
        if (atEndOfData(s)) return 0;
        nextLine(s);
    }
}

RC_API OSType GetStructInfo(ProjBufHand stream, OSType* tag) {
    StreamRec* s = rec(stream);
    OSType found = 0;
    if (s && s->pub.mode == kProjModeRead) {
        while (!tagAtCursor(s, &found)) {
            found = 0;
            if (atEndOfData(s)) break;
            nextLine(s);
        }
    }
    if (tag) *tag = found;
    return found;
}

RC_API int16_t SeekNextStruct(ProjBufHand stream, OSType* tag) {
    StreamRec* s = rec(stream);
    if (!s || s->pub.mode != kProjModeRead) {
        if (tag) *tag = 0;
        return 0;
    }
    nextLine(s);
    return GetStructInfo(stream, tag) != 0;
}

RC_API int32_t CheckPackingSize(const int32_t* packing) {
    int64_t sum = 0;
    if (packing)
        for (; *packing != 0; ++packing) sum += *packing;
    return int32_t(sum);
}

RC_API OSErr WriteStruct(ProjBufHand stream, OSType tag, const char* typeString,
                         const char* nameList, const int32_t* packing, const void* record) {
    StreamRec* s = rec(stream);
    if (!s || !typeString || !packing || !record) return kProjParamErr;
    if (s->pub.mode != kProjModeWrite) return writErr;
    if (s->writeError) return s->writeError;
    Out o(s);
    char line[8] = {'['};
    typeToChars(tag, line + 1);
    line[5] = ']';
    line[6] = '\r';
    line[7] = '\n';
    o.put(line, 8);
    const char* names = nameList;
    OSErr err =
        walkFields(typeString, packing, const_cast<uint8_t*>(static_cast<const uint8_t*>(record)),
                   [&](const Field& f, uint8_t* p, bool) -> OSErr {
                       const char* name;
                       int32_t len;
                       takeName(names, name, len);
                       writeLineStart(o, name, len, f);
                       writeValue(o, f, p);
                       o.put("\r\n", 2);
                       return o.err;
                   });
    o.flush();
    return err ? err : o.err;
}

RC_API OSErr ReadStruct(ProjBufHand stream, OSType tag, const char* typeString,
                        const int32_t* packing, void* record) {
    return readStructWith(stream, tag, typeString, packing, record, nullptr);
}
