// Shared by the pixel aspect sources: the rules-line scanner and the
// tables' storage.
#pragma once

#include <cstdint>
#include <string_view>

#include "reelcore/aspect.h"

namespace rc::aspect {

// One rules line read with the semantics of the two scanf patterns
// "%ld, %ld%*[^=]= %lf/%lf/\"%[^\"]\"" and "%ld, %ld = %lf/%lf/\"%[^\"]\"".
struct RuleFields {
    int32_t count = 0;  // fields read, 0 to 5
    int64_t width = 0, height = 0;
    bool sizeOutOfRange = false;  // a width or height past 32 bits
    double numerator = 0, denominator = 0;
    std::string_view name;
};
RuleFields scanRuleLine(std::string_view line);

// Splits text into lines: a line ends at the first CR or LF, a CR LF pair
// counting once; a NUL ends the line's content. fn(lineNumber, line) gets
// each line after its leading white space.
template <class Fn>
void forEachLine(std::string_view text, Fn&& fn) {
    size_t i = 0;
    int32_t number = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        ++number;
        std::string_view line = text.substr(i, end - i);
        size_t nul = line.find('\0');
        if (nul != std::string_view::npos) line = line.substr(0, nul);
        size_t lead = 0;
        while (lead < line.size() && (line[lead] == ' ' || line[lead] == '\t' ||
                                      line[lead] == '\v' || line[lead] == '\f'))
            ++lead;
        fn(number, line.substr(lead));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        i = end + 1;
    }
}

// The preset name of a rules line: the name itself when it holds "(", else
// "name (ratio)"; at most 255 bytes.
constexpr size_t kMaxPresetName = 255;

// Reads the rules in text into the tables (or, with apply false, only
// reports). Returns the number of used lines.
int32_t readRules(std::string_view text, int32_t source, bool apply, FmPARLineProc proc,
                  void* refcon);

// Table storage. resetTables frees both tables and makes them anew, empty
// (false when they cannot be allocated: then there are none).
bool resetTables();
bool hasNamedPreset();
// Each returns false when the table cannot grow (it keeps its entries).
bool appendPreset(std::string_view name, FmPARCode code, int32_t source, int32_t line);
// kPARDefaultAdded, kPARDefaultSizePresent or kPARDefaultNoRoom.
int32_t appendDefault(int32_t width, int32_t height, int32_t numerator, int32_t denominator,
                      int32_t source, int32_t line);
const FmPARFrameDefault* findDefault(int32_t width, int32_t height);
int32_t presetCount();
const FmPARPreset* presetAt(int32_t index);

}  // namespace rc::aspect
