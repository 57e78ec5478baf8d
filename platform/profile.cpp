#include "platform/profile.h"

#include "platform/files.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>

namespace rc::platform {

namespace {

std::string trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool sameName(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> profileLookup(const char* section, const char* key, const char* path) {
    if (!section || !key || !path || !*path) return std::nullopt;
    std::ifstream in(normalisePath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            inSection =
                close != std::string::npos && sameName(trim(t.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        if (!sameName(trim(t.substr(0, eq)), key)) continue;
        std::string value = trim(t.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

uint32_t getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const char* path) {
    if (!buffer || size == 0) return 0;
    std::optional<std::string> found = profileLookup(section, key, path);
    std::string value = found ? *found : std::string(defaultValue ? defaultValue : "");
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

int32_t getPrivateProfileInt(const char* section, const char* key, int32_t defaultValue,
                             const char* path) {
    std::optional<std::string> found = profileLookup(section, key, path);
    if (!found) return defaultValue;
    const std::string& v = *found;
    size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) negative = v[i++] == '-';
    int64_t value = 0;
    for (; i < v.size() && std::isdigit(static_cast<unsigned char>(v[i])); ++i) {
        value = value * 10 + (v[i] - '0');
        if (value > INT32_MAX) value = static_cast<int64_t>(INT32_MAX) + 1;  // saturate
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace rc::platform
