// Small text helpers shared by the timecode writers and readers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rc::time {

// Appends to a caller's buffer of a known capacity; never writes past it
// and always leaves room for the NUL that finish() stores.
class TextOut {
  public:
    TextOut(char* dst, size_t capacity) : dst_(dst), cap_(capacity) {}
    void put(char c) {
        if (len_ + 1 < cap_) dst_[len_++] = c;
    }
    void putText(const char* s) {
        while (*s) put(*s++);
    }
    // v >= 0, zero-padded to at least width digits.
    void putFixed(int64_t v, int width);
    void putNumber(int64_t v);
    size_t finish() {
        if (cap_ > 0) dst_[len_ < cap_ ? len_ : cap_ - 1] = 0;
        return len_;
    }
    size_t length() const { return len_; }

  private:
    char* dst_;
    size_t cap_;
    size_t len_ = 0;
};

// Remove leading ' ', '0', ':' and ';', keeping at least the last character.
void stripLeading(char* text);

// atoi in 64 bits: leading blanks, a sign, digits; clamped to ±4e9 so that
// typed text can neither wrap nor overflow the sums it feeds.
int64_t parseInteger(const char* text);

// Frames in separated fields read from the left (at most maxFields),
// weighted from the right by 1, rate, rate × 60, rate × 3600. Text without
// separators at a rate of 100 or less is a packed hhmmssff number.
int64_t fieldSum(const char* text, int64_t rate, int maxFields);

}  // namespace rc::time
