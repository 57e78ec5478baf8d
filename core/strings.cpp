// Comparison, numbers, counted strings, type codes and byte swaps.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "reelcore/strings.h"

namespace {

std::string lowered(const char* s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

RC_API Boolean StringsSame(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::strcmp(a, b) == 0;
}

RC_API Boolean FmStringsSame(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == nullptr;
    return std::strncmp(a, b, std::strlen(a)) == 0;
}

RC_API int32_t fmCompareString(const char* a, const char* b) {
    const int c = std::strcoll(lowered(a ? a : "").c_str(), lowered(b ? b : "").c_str());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

RC_API int32_t StringToNum(const char* text, int32_t* out) {
    int64_t value = 0;
    if (text != nullptr) {
        const char* p = text;
        while (*p == ' ' || *p == '\t') ++p;
        bool negative = false;
        if (*p == '-' || *p == '+') negative = *p++ == '-';
        for (; *p >= '0' && *p <= '9'; ++p) {
            value = value * 10 + (*p - '0');
            if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;  // saturate
        }
        if (negative) value = -value;
        if (value > INT32_MAX) value = INT32_MAX;
    }
    if (out != nullptr) *out = static_cast<int32_t>(value);
    return static_cast<int32_t>(value);
}

RC_API void FmNumToString(int32_t n, char* dst) {
    std::snprintf(dst, 12, "%d", n);
}
RC_API void NumToString(int32_t n, char* dst) {
    FmNumToString(n, dst);
}

RC_API Boolean HasCR(const char* text) {
    return text != nullptr && std::strchr(text, '\r') != nullptr;
}

RC_API int16_t NullSpace(char* text) {
    char* space = text ? std::strchr(text, ' ') : nullptr;
    if (space == nullptr) return 0;
    *space = '\0';
    return 1;
}

RC_API void TitleString(const char* src, char* dst) {
    if (src != nullptr && dst != nullptr) std::memmove(dst, src, std::strlen(src) + 1);
}

RC_API Fixed fmDouble2Fix(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 32768.0) return INT32_MAX;
    if (x <= -32768.0) return INT32_MIN;
    const double whole = std::trunc(x);
    const auto fraction = static_cast<int32_t>((x - whole) * 65536.0);
    return static_cast<int32_t>(whole) * 65536 + fraction;
}

RC_API double fmFix2Double(Fixed f) {
    return static_cast<double>(f >> 16) +
           static_cast<double>(static_cast<uint32_t>(f) & 0xFFFF) / 65536.0;
}

RC_API uint16_t SwapShort(void* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    const uint16_t swapped = static_cast<uint16_t>((v >> 8) | (v << 8));
    std::memcpy(p, &swapped, sizeof swapped);
    return v;
}

RC_API uint32_t SwapLong(void* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    const uint32_t swapped = __builtin_bswap32(v);
    std::memcpy(p, &swapped, sizeof swapped);
    return v;
}

RC_API unsigned char* c2pstr(char* s) {
    auto* out = reinterpret_cast<unsigned char*>(s);
    if (s == nullptr) return out;
    const size_t n = strnlen(s, 255);
    std::memmove(s + 1, s, n);
    out[0] = static_cast<unsigned char>(n);
    return out;
}

RC_API char* p2cstr(unsigned char* s) {
    auto* out = reinterpret_cast<char*>(s);
    if (s == nullptr) return out;
    const size_t n = s[0];
    std::memmove(s, s + 1, n);
    s[n] = '\0';
    return out;
}

RC_API void CopyPascalStringToC(const unsigned char* src, char* dst) {
    if (src == nullptr || dst == nullptr) return;
    const size_t n = src[0];
    std::memmove(dst, src + 1, n);
    dst[n] = '\0';
}

RC_API void CopyCStringToPascal(const char* src, unsigned char* dst) {
    if (src == nullptr || dst == nullptr) return;
    const size_t n = strnlen(src, 255);
    std::memmove(dst + 1, src, n);
    dst[0] = static_cast<unsigned char>(n);
}

RC_API char* FmTypeToStr(OSType type, char* dst) {
    for (int i = 0; i < 4; ++i) dst[i] = static_cast<char>(type >> (24 - 8 * i));
    dst[4] = '\0';
    return dst;
}

RC_API char* TypeToStr(OSType type, char* dst) {
    return FmTypeToStr(type, dst);
}

RC_API void FmStrToType(OSType* out, const char* chars) {
    if (out == nullptr) return;
    OSType t = 0;
    bool ended = chars == nullptr;
    for (int i = 0; i < 4; ++i) {
        if (!ended && chars[i] == '\0') ended = true;
        const auto c = ended ? uint8_t{0} : static_cast<uint8_t>(chars[i]);
        t = (t << 8) | c;
    }
    *out = t;
}
