// Path splitting and the double-byte aware text routines.
#include <cstring>

#include "core/strings_internal.h"
#include "core/text_hooks.h"
#include "platform/path_status.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace rc::str {

namespace {
int16_t g_script = 0;
}

int16_t script() {
    return g_script;
}

}  // namespace rc::str

namespace {

using rc::str::isLeadByte;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Where the parts of a path start. Separators and dots count only where they
// are whole single-byte characters.
struct PathParts {
    size_t drive = 0;    // length of the drive ("C:"), 0 without one
    ptrdiff_t sep = -1;  // the last separator, -1 without one
    size_t name = 0;     // the first byte of the name
    ptrdiff_t dot = -1;  // the dot that starts the extension, -1 without one
};

PathParts splitPath(const char* p) {
    PathParts parts;
    if (p[0] != '\0' && p[1] == ':') parts.drive = 2;
    const int16_t script = rc::str::script();
    size_t i = parts.drive;
    ptrdiff_t lastDot = -1;
    while (p[i] != '\0') {
        const auto b = static_cast<uint8_t>(p[i]);
        if (isLeadByte(script, b) && p[i + 1] != '\0') {
            i += 2;
            continue;
        }
        if (isSeparator(p[i])) {
            parts.sep = static_cast<ptrdiff_t>(i);
            lastDot = -1;
        } else if (p[i] == '.') {
            lastDot = static_cast<ptrdiff_t>(i);
        }
        ++i;
    }
    parts.name = parts.sep >= 0 ? static_cast<size_t>(parts.sep) + 1 : parts.drive;
    if (lastDot > static_cast<ptrdiff_t>(parts.name)) parts.dot = lastDot;
    return parts;
}

}  // namespace

RC_API char* FileNameFromPath(const char* path) {
    if (path == nullptr) return nullptr;
    return const_cast<char*>(path) + splitPath(path).name;
}

RC_API int16_t DirNameFromPath(const char* path, char* dst) {
    if (path == nullptr || dst == nullptr) return 0;
    const PathParts parts = splitPath(path);
    const size_t n = parts.sep >= 0 ? static_cast<size_t>(parts.sep) : parts.drive;
    std::memmove(dst, path, n);
    dst[n] = '\0';
    return parts.sep >= 0 ? 1 : 0;
}

RC_API char* FindExtension(const char* path) {
    if (path == nullptr) return nullptr;
    const PathParts parts = splitPath(path);
    return parts.dot >= 0 ? const_cast<char*>(path) + parts.dot : nullptr;
}

RC_API void ChopExtension(char* path) {
    if (char* dot = FindExtension(path)) *dot = '\0';
}

RC_API void ChopFileName(char* path) {
    if (path == nullptr) return;
    const PathParts parts = splitPath(path);
    if (parts.sep >= 0) path[parts.sep] = '\0';
}

RC_API void StringToFileName(char* name) {
    if (name == nullptr || strnlen(name, 9) <= 8) return;
    name[8] = '\0';
    for (int i = 1; i < 8; ++i) {
        const char c = name[i];
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '1' && c <= '9') || c == '_' || c == '!' || c == '-' || c == 8;
        if (!keep) name[i] = '_';
    }
}

RC_API const char* DefExtFromFilter(const char* filter) {
    if (filter == nullptr) return nullptr;
    const char* pattern = filter + std::strlen(filter) + 1;
    const char* dot = std::strrchr(pattern, '.');
    return dot ? dot + 1 : pattern + std::strlen(pattern);
}

RC_API int16_t parsename(char* list, char* dst) {
    if (list == nullptr || dst == nullptr) return 0;
    const size_t dirLength = std::strlen(list);
    char* name = list + dirLength + 1;
    const size_t nameLength = std::strlen(name);
    if (nameLength == 0) return 0;
    // A final byte that is the second half of a double-byte character is no
    // separator even when it looks like one.
    const bool hasSeparator = dirLength > 0 && isSeparator(list[dirLength - 1]) &&
                              CharByte(list, static_cast<int32_t>(dirLength - 1)) != 1;
    const size_t joined = dirLength + (hasSeparator ? 0 : 1) + nameLength;
    if (joined + 1 > 260) return 0;
    char path[260];
    std::memcpy(path, list, dirLength);
    size_t at = dirLength;
    if (!hasSeparator) path[at++] = '\\';
    std::memcpy(path + at, name, nameLength + 1);
    std::memcpy(dst, path, joined + 1);

    // Slide the names after this one (through the closing second NUL) down.
    char* rest = name + nameLength + 1;
    char* end = rest;
    while (*end != '\0') end += std::strlen(end) + 1;
    std::memmove(name, rest, static_cast<size_t>(end - rest) + 1);
    return 1;
}

RC_API Boolean exists(const char* path) {
    return path != nullptr && rc::platform::pathStatusReadable(path);
}

RC_API int16_t GetResourceScript(void) {
    return rc::str::g_script;
}

RC_API int16_t FmSetResourceScript(int16_t script) {
    rc::str::g_script = script >= 0 && script <= 3 ? script : 0;
    return rc::str::g_script;
}

RC_API int16_t CharByte(const char* text, int32_t offset) {
    const int16_t script = rc::str::script();
    if (script == 0 || text == nullptr || offset < 0) return 0;
    int32_t i = 0;
    while (i < offset && text[i] != '\0') {
        if (isLeadByte(script, static_cast<uint8_t>(text[i])) && text[i + 1] != '\0') {
            if (i + 1 == offset) return 1;
            i += 2;
        } else {
            ++i;
        }
    }
    if (i == offset && text[i] != '\0' && isLeadByte(script, static_cast<uint8_t>(text[i])) &&
        text[i + 1] != '\0')
        return -1;
    return 0;
}

RC_API int16_t TruncLength(char* text, int32_t n) {
    if (text == nullptr) return 0;
    if (n < 0) n = 0;
    if (strnlen(text, static_cast<size_t>(n) + 1) <= static_cast<size_t>(n)) return 0;
    int32_t cut = n;
    if (cut > 0 && CharByte(text, cut - 1) == -1) --cut;
    text[cut] = '\0';
    return 1;
}

RC_API int16_t FmStringTrunc(intptr_t dc, const char* src, char* dst, int32_t width) {
    if (src == nullptr || dst == nullptr) return 0;
    const size_t length = strnlen(src, 255);
    char text[256];
    std::memcpy(text, src, length);
    text[length] = '\0';
    std::memcpy(dst, text, length + 1);
    if (length < 2) return 0;
    if (rc::texthooks::measureText(dc, dst, static_cast<int32_t>(length)) <= width) return 0;

    char ellipsis[256] = "...";
    GetIndString(ellipsis, 1003, 25);
    const size_t ellipsisLength = std::strlen(ellipsis);
    const int16_t script = rc::str::script();
    size_t cut = length;
    while (cut > 0) {
        // Remove the character before the cut: two bytes when it ends a
        // double-byte character.
        cut -=
            (script != 0 && cut >= 2 && CharByte(text, static_cast<int32_t>(cut - 1)) == 1) ? 2 : 1;
        const size_t room = 255 - cut;
        const size_t e = ellipsisLength < room ? ellipsisLength : room;
        std::memcpy(dst, text, cut);
        std::memcpy(dst + cut, ellipsis, e);
        dst[cut + e] = '\0';
        if (rc::texthooks::measureText(dc, dst, static_cast<int32_t>(cut + e)) <= width) break;
    }
    return 1;
}

RC_API int16_t StringTrunc(intptr_t dc, const char* src, char* dst, int32_t width) {
    return FmStringTrunc(dc, src, dst, width);
}

RC_API void RemoveAmpersands(char* text) {
    if (text == nullptr) return;
    const int16_t script = rc::str::script();
    size_t length = std::strlen(text);
    if (script != 0) {
        for (size_t i = 0; i + 3 < length; ++i) {
            if (isLeadByte(script, static_cast<uint8_t>(text[i]))) {
                ++i;
                continue;
            }
            if (text[i] == '(' && text[i + 1] == '&' && text[i + 3] == ')') {
                std::memmove(text + i, text + i + 4, length - i - 4 + 1);
                length -= 4;
                break;
            }
        }
    }
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        if (script != 0 && isLeadByte(script, static_cast<uint8_t>(text[i])) && i + 1 < length) {
            text[out++] = text[i++];
            text[out++] = text[i];
            continue;
        }
        if (text[i] != '&') text[out++] = text[i];
    }
    text[out] = '\0';
}
