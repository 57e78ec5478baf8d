// Output files of the export host: whether the library still uses a path,
// the numbered names of one-file-per-frame exports, and the PNG writer.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "media/file_table_internal.h"
#include "platform/files.h"
#include "platform/png.h"
#include "plugins/export_host.h"
#include "reelcore/files.h"
#include "reelcore/filetable.h"

namespace rc::exporthost {

namespace {

struct Numbered {
    std::string prefix;  // up to the digits
    std::string suffix;  // after them (the extension)
    int64_t number = -1;
};

// "shot0007.tga" → "shot", ".tga", 7; number -1 for a name without digits
// before its extension.
Numbered splitNumbered(const std::string& path) {
    Numbered n;
    size_t name = path.find_last_of('/');
    name = name == std::string::npos ? 0 : name + 1;
    size_t dot = path.find_last_of('.');
    const size_t end = (dot == std::string::npos || dot <= name) ? path.size() : dot;
    size_t b = end;
    while (b > name && path[b - 1] >= '0' && path[b - 1] <= '9') --b;
    n.prefix = path.substr(0, b);
    n.suffix = path.substr(end);
    if (b == end || end - b > 18) return n;
    n.number = std::stoll(path.substr(b, end - b));
    return n;
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

bool pathInUse(const char* path) {
    FmFileTable* table = media::fileTable();
    if (!path || !*path || !table) return false;
    const std::string wanted = platform::normalisePath(path);
    const Numbered asFrame = splitNumbered(wanted);
    for (int32_t id = 1; id <= table->count && id < 32768; ++id) {
        const FmFileRecord* r = media::findFileRec(int16_t(id));
        if (!r) continue;
        char own[261];
        copyBounded(own, sizeof own, r->spec.name, sizeof r->spec.name);
        const std::string registered = platform::normalisePath(own);
        if (sameText(registered, wanted)) return true;
        if (!r->info.isFramestore || asFrame.number < 0) continue;
        // Any later number of a registered sequence belongs to it.
        const Numbered start = splitNumbered(registered);
        if (start.number >= 0 && asFrame.number >= start.number &&
            sameText(start.prefix, asFrame.prefix) && sameText(start.suffix, asFrame.suffix))
            return true;
    }
    return false;
}

int16_t fileIDOfPath(const char* path) {
    FmFileTable* table = media::fileTable();
    if (!path || !table) return 0;
    const std::string wanted = platform::normalisePath(path);
    for (int32_t id = 1; id <= table->count && id < 32768; ++id) {
        const FmFileRecord* r = media::findFileRec(int16_t(id));
        if (!r) continue;
        char own[261];
        copyBounded(own, sizeof own, r->spec.name, sizeof r->spec.name);
        if (sameText(platform::normalisePath(own), wanted)) return int16_t(id);
    }
    return 0;
}

std::string numberedName(const std::string& outputPath, const char* extension, int32_t i,
                         int32_t n) {
    size_t nameStart = outputPath.find_last_of("/\\");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    const size_t dot = outputPath.find_last_of('.');
    const bool hasExt = dot != std::string::npos && dot > nameStart;
    std::string folder = outputPath.substr(0, nameStart);
    std::string base = outputPath.substr(nameStart, (hasExt ? dot : outputPath.size()) - nameStart);
    std::string ext;
    if (extension && extension[0]) {
        ext.assign(1, '.');
        ext.append(extension, strnlen(extension, 7));
    } else if (hasExt) {
        ext = outputPath.substr(dot);
    }
    const std::string digits = std::to_string(std::max(n, 1));
    std::string number = std::to_string(i);
    if (number.size() < digits.size()) number.insert(0, digits.size() - number.size(), '0');
    if (base.size() + number.size() > 100) base.resize(100 - std::min<size_t>(number.size(), 100));
    return folder + base + number + ext;
}

}  // namespace rc::exporthost

extern "C" {

RC_API OSErr ppixWritePNG(PPixHand pix, FileRef file) {
    if (!pix || ppixGetDepth(pix) != 32 || file < 0) return -50;
    FmRect b{};
    ppixGetBounds(pix, &b);
    const int32_t w = b.right - b.left, h = b.bottom - b.top;
    const int32_t rowBytes = ppixGetRowbytes(pix);
    const char* pixels = ppixGetPixels(pix);
    if (w <= 0 || h <= 0 || !pixels) return -50;
    // Rows are stored bottom-up; PNG wants the top row first.
    std::vector<uint8_t> png =
        rc::platform::encodePngRows(w, h, true, [&](int32_t y, uint8_t* out) {
            const auto* s =
                reinterpret_cast<const uint8_t*>(pixels) + size_t(h - 1 - y) * size_t(rowBytes);
            for (int32_t x = 0; x < w; ++x, s += 4, out += 4) {
                out[0] = s[2];
                out[1] = s[1];
                out[2] = s[0];
                out[3] = s[3];
            }
        });
    if (png.empty()) return -108;
    int32_t count = int32_t(png.size());
    return FSWrite(file, &count, png.data());
}

}  // extern "C"
