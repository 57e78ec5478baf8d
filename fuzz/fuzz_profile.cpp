// Fuzz entry for the profile (INI) reader: the bytes are a settings file;
// keys of every section found in it, and a few fixed ones, are looked up as
// strings into short buffers and as numbers.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

// "[section]" and "key=" names that appear in the text, a few of each.
void namesIn(const std::string& text, std::vector<std::string>& sections,
             std::vector<std::string>& keys) {
    size_t at = 0;
    while (at < text.size() && sections.size() + keys.size() < 32) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line[0] == '[') {
            sections.push_back(line.substr(
                1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1));
        } else if (size_t eq = line.find('='); eq != std::string::npos) {
            keys.push_back(line.substr(0, eq));
        }
        at = end + 1;
    }
}

}  // namespace

extern "C" int fuzz_profile_entry(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/reel_fuzz_profile_" + std::to_string(getpid()) + ".ini";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> sections = {"override", "Default", ""}, keys = {"NumCPUs", ""};
    namesIn(text, sections, keys);
    for (const std::string& s : sections)
        for (const std::string& k : keys) {
            for (uint32_t room : {1u, 2u, 8u, 256u}) {
                // exactly `room` bytes, so a write past them is caught
                std::unique_ptr<char[]> buffer(new char[room]);
                const uint32_t n = rc::platform::getPrivateProfileString(
                    s.c_str(), k.c_str(), "dflt", buffer.get(), room, path.c_str());
                check(n < room && buffer[n] == '\0');
            }
            (void)rc::platform::getPrivateProfileInt(s.c_str(), k.c_str(), -7, path.c_str());
        }
    std::remove(path.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_profile_entry(data, size);
}
