#include "time/tc_text.h"

#include <cstring>

namespace rc::time {

void TextOut::putFixed(int64_t v, int width) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v > 0 && n < 20);
    for (int i = n; i < width; ++i) put('0');
    while (n > 0) put(digits[--n]);
}

void TextOut::putNumber(int64_t v) {
    if (v < 0) {
        put('-');
        // INT64_MIN has no positive twin: print its digits from the unsigned form.
        uint64_t u = 0 - static_cast<uint64_t>(v);
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u > 0);
        while (n > 0) put(digits[--n]);
        return;
    }
    putFixed(v, 1);
}

void stripLeading(char* text) {
    const size_t len = std::strlen(text);
    if (len < 2) return;
    size_t skip = 0;
    while (skip + 1 < len && std::strchr(" 0:;", text[skip]) != nullptr) ++skip;
    if (skip > 0) std::memmove(text, text + skip, len - skip + 1);
}

int64_t parseInteger(const char* text) {
    constexpr int64_t kLimit = 4000000000;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    int64_t v = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        v = v * 10 + (*text - '0');
        if (v > kLimit) v = kLimit;  // keep reading digits, but never grow
    }
    return negative ? -v : v;
}

namespace {

bool isFieldSeparator(char c) {
    return c == '+' || c == ',' || c == '.' || c == ':' || c == ';';
}

}  // namespace

int64_t fieldSum(const char* text, int64_t rate, int maxFields) {
    if (maxFields > 4) maxFields = 4;
    const char* fields[4] = {text, nullptr, nullptr, nullptr};
    int count = 1;
    for (const char* p = text; *p && count < maxFields; ++p)
        if (isFieldSeparator(*p)) fields[count++] = p + 1;
    if (count == 1 && rate <= 100) {
        int64_t v = parseInteger(text);
        const bool negative = v < 0;
        if (negative) v = -v;
        const int64_t ff = v % 100, ss = v / 100 % 100, mm = v / 10000 % 100, hh = v / 1000000;
        const int64_t frames = rate * (ss + 60 * mm + 3600 * hh) + ff;
        return negative ? -frames : frames;
    }
    const int64_t weights[4] = {1, rate, rate * 60, rate * 3600};
    int64_t sum = 0;
    for (int i = 0; i < count; ++i) sum += parseInteger(fields[i]) * weights[count - 1 - i];
    return sum;
}

}  // namespace rc::time
