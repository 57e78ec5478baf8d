// Reading plug-in property lists from their bytes. Every count and length
// comes from the module, so each is checked against the bytes at hand.
#pragma once

#include <cstdint>
#include <string>

#include "reelcore/sdk/pipl.h"
#include "reelcore/types.h"

namespace rc::plugins {

struct PiplProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    int32_t id = 0;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};

class PiplView {
  public:
    PiplView(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    // A resource handle or a plain handle of PiPL bytes.
    static PiplView of(Handle h);

    // False when the header is short, the count negative or larger than the
    // bytes can hold, or a property runs past the end.
    bool wellFormed() const;
    int32_t version() const;
    // The first property with vendor and key (and id, unless anyID).
    bool find(uint32_t vendor, uint32_t key, PiplProperty& out, bool anyID = true,
              int32_t id = 0) const;
    // A counted-string property as text; false when absent or its length
    // byte runs past the property.
    bool findCounted(uint32_t vendor, uint32_t key, std::string& out) const;
    // Counted strings and the name, match name and category are readable.
    bool stringsReadable() const;

  private:
    const uint8_t* bytes_;
    size_t size_;
};

// The text of a C string property (to its NUL or its end).
std::string cStringOf(const PiplProperty& p);

// Copies text into dst of `room` bytes as a C string, cut to fit.
void copyCString(const std::string& text, char* dst, size_t room);

}  // namespace rc::plugins
