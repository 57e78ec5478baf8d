// The rules-line scanner and the reading of rules text into the tables.
//
// A rules line is "width,height=numerator/denominator" with an optional
// /"name". The scanner reads it as the scanf patterns
// "%ld, %ld%*[^=]= %lf/%lf/\"%[^\"]\"" and "%ld, %ld = %lf/%lf/\"%[^\"]\""
// would, taken together (the second only differs when '=' follows the
// height at once), but with "." as the decimal point whatever the locale,
// names of any length, and no trust in numbers past 32 bits.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pixels/aspect_internal.h"
#include "reelcore/timecode.h"

namespace rc::aspect {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Cursor {
    std::string_view s;
    size_t at = 0;

    bool done() const { return at >= s.size(); }
    char peek() const { return done() ? '\0' : s[at]; }
    void skipSpace() {
        while (!done() && isSpace(s[at])) ++at;
    }
    bool literal(char c) {
        if (peek() != c || done()) return false;
        ++at;
        return true;
    }

    // %ld: white space, a sign, decimal digits. Values past 32 bits are
    // flagged (and held at a 64-bit bound).
    bool integer(int64_t* out, bool* outOfRange) {
        skipSpace();
        size_t i = at;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        size_t digits = i;
        int64_t v = 0;
        bool big = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (v > (INT64_MAX - 9) / 10)
                big = true;
            else
                v = v * 10 + (s[i] - '0');
            ++i;
        }
        if (i == digits) return false;
        at = i;
        if (negative) v = -v;
        if (big || v > INT32_MAX || v < INT32_MIN) *outOfRange = true;
        *out = v;
        return true;
    }

    // %lf: white space, a sign, then a decimal or 0x-hexadecimal number, or
    // inf, infinity, nan, nan(chars).
    bool real(double* out) {
        skipSpace();
        size_t i = at;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        const char* first = s.data() + i;
        const char* last = s.data() + s.size();
        if (first < last && (*first == '+' || *first == '-')) return false;  // one sign only
        double v = 0;
        std::from_chars_result r{first, std::errc::invalid_argument};
        bool hex = last - first >= 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X');
        if (hex) {
            r = std::from_chars(first + 2, last, v, std::chars_format::hex);
            if (r.ec == std::errc::invalid_argument) hex = false;  // "0x" alone reads 0
        }
        if (!hex) r = std::from_chars(first, last, v, std::chars_format::general);
        if (r.ec == std::errc::invalid_argument) return false;
        if (r.ec == std::errc::result_out_of_range) v = outOfRangeValue(first, r.ptr);
        at = static_cast<size_t>(r.ptr - s.data());
        *out = negative ? -v : v;
        return true;
    }

    // A number too large or too small for a double: infinity, or 0 when its
    // exponent is negative.
    static double outOfRangeValue(const char* first, const char* last) {
        for (const char* p = first; p < last; ++p)
            if (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')
                if (p + 1 < last && p[1] == '-') return 0.0;
        return HUGE_VAL;
    }
};

// Ratio text of a code as the presets show it.
std::string ratioText(FmPARCode code) {
    char text[kPARTextSize];
    FmGetPixelAspectRatioStr(code, 0, text);
    return text;
}

std::string presetName(std::string_view name, FmPARCode code) {
    std::string built(name);
    if (name.find('(') == std::string_view::npos) built += " (" + ratioText(code) + ")";
    if (built.size() > kMaxPresetName) built.resize(kMaxPresetName);
    return built;
}

}  // namespace

RuleFields scanRuleLine(std::string_view line) {
    RuleFields f;
    Cursor c{line};
    if (!c.integer(&f.width, &f.sizeOutOfRange)) return f;
    f.count = 1;
    if (!c.literal(',')) return f;
    if (!c.integer(&f.height, &f.sizeOutOfRange)) return f;
    f.count = 2;
    // %*[^=]= (or " = " when '=' follows at once): up to the first '='.
    size_t eq = line.find('=', c.at);
    if (eq == std::string_view::npos) return f;
    c.at = eq + 1;
    if (!c.real(&f.numerator)) return f;
    f.count = 3;
    if (!c.literal('/')) return f;
    if (!c.real(&f.denominator)) return f;
    f.count = 4;
    if (!c.literal('/') || !c.literal('"')) return f;
    size_t close = line.find('"', c.at);
    if (close == std::string_view::npos) close = line.size();
    if (close == c.at) return f;  // %[^"] needs one character
    f.name = line.substr(c.at, close - c.at);
    f.count = 5;
    return f;
}

int32_t readRules(std::string_view text, int32_t source, bool apply, FmPARLineProc proc,
                  void* refcon) {
    int32_t used = 0;
    std::vector<std::pair<int32_t, int32_t>> sizesSeen;  // when only reporting
    forEachLine(text, [&](int32_t number, std::string_view line) {
        FmPARLineReport r{};
        r.source = source;
        r.line = number;
        r.text = line.data();
        r.length = static_cast<int32_t>(line.size());
        r.outcome = kPARLineUsed;
        std::string name;
        if (!line.empty() && line[0] == '#') {
            r.outcome = kPARLineComment;
        } else if (line.size() <= 6) {
            r.outcome = kPARLineShort;
        } else {
            const RuleFields f = scanRuleLine(line);
            r.fields = f.count;
            r.width = f.width;
            r.height = f.height;
            r.numerator = f.numerator;
            r.denominator = f.denominator;
            if (f.count < 4)
                r.outcome = kPARLineFields;
            else if (f.sizeOutOfRange)
                r.outcome = kPARLineSizeRange;
            else if (!(f.numerator > 0))
                r.outcome = kPARLineNumerator;
            else if (f.denominator < 0)
                r.outcome = kPARLineDenominator;
            if (r.outcome == kPARLineUsed) {
                ++used;
                r.code = FmPARRatioToCode(f.numerator, f.denominator);
                if (f.count == 5) {
                    name = presetName(f.name, r.code);
                    if (!apply || appendPreset(name, r.code, source, number))
                        r.presetName = name.c_str();
                }
                if (r.code != kPARSquare) {
                    const auto w = static_cast<int32_t>(f.width);
                    const auto h = static_cast<int32_t>(f.height);
                    const auto num = static_cast<int32_t>(FmPARNumerator(r.code));
                    const auto den = static_cast<int32_t>(FmPARDenominator(r.code));
                    if (apply)
                        r.defaultOutcome = appendDefault(w, h, num, den, source, number);
                    else if (std::find(sizesSeen.begin(), sizesSeen.end(), std::make_pair(w, h)) !=
                             sizesSeen.end())
                        r.defaultOutcome = kPARDefaultSizePresent;
                    else {
                        sizesSeen.emplace_back(w, h);
                        r.defaultOutcome = kPARDefaultAdded;
                    }
                }
            }
        }
        if (proc) proc(&r, refcon);
    });
    return used;
}

}  // namespace rc::aspect

RC_API int32_t FmPARExplainRules(const char* text, int32_t length, FmPARLineProc proc,
                                 void* refcon) {
    if (!text || length <= 0) return 0;
    return rc::aspect::readRules(std::string_view(text, static_cast<size_t>(length)),
                                 kPARSourceText, false, proc, refcon);
}
