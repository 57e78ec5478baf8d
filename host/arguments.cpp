// Argument declarations the commands share: strict decimal numbers, sizes and
// picture files, each refusing bad text with a message naming the argument.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"
#include "reelcore/depthcon.h"

namespace host {

bool hasExtension(const std::string& path, const char* ext) {
    const size_t n = std::strlen(ext);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i])
            return false;
    return true;
}

std::string bytesText(uint64_t bytes) {
    if (bytes < 1024) return countText(bytes, "byte");
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double v = double(bytes) / 1024;
    int unit = 0;
    while (v >= 1024 && unit < 3) {
        v /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, v < 10 ? "%.1f %s" : "%.0f %s", v, kUnits[unit]);
    return text;
}

std::string countText(uint64_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string windowText(uint32_t window) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", window);
    return text;
}

bool parseDecimal(const std::string& text, int64_t& out) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const unsigned digit = unsigned(text[i] - '0');
        if (value > (uint64_t(INT64_MAX) - digit) / 10) return false;
        value = value * 10 + digit;
    }
    out = negative ? -int64_t(value) : int64_t(value);
    return true;
}

namespace {

std::string rangeText(int64_t lo, int64_t hi) {
    return std::to_string(lo) + ".." + std::to_string(hi);
}

}  // namespace

CLI::Option* addInteger(CLI::App& cmd, const std::string& name, int64_t& out, int64_t lo,
                        int64_t hi, const std::string& help) {
    auto* opt = cmd.add_option_function<std::string>(
        name,
        [&out, name, lo, hi](const std::string& text) {
            int64_t v = 0;
            if (!parseDecimal(text, v))
                throw CLI::ValidationError(name, "'" + text + "' is not a decimal number");
            if (v < lo || v > hi)
                throw CLI::ValidationError(name, text + " is outside " + rangeText(lo, hi));
            out = v;
        },
        help);
    opt->type_name("INT in " + rangeText(lo, hi));
    return opt;
}

CLI::Option* addNumber(CLI::App& cmd, const std::string& name, double& out, double lo, double hi,
                       const std::string& help) {
    auto* opt = cmd.add_option_function<std::string>(
        name,
        [&out, name, lo, hi](const std::string& text) {
            bool ok = !text.empty();
            for (char c : text) ok = ok && ((c >= '0' && c <= '9') || c == '.' || c == '-');
            char* end = nullptr;
            const double v = ok ? std::strtod(text.c_str(), &end) : 0;
            if (!ok || *end != '\0' || !std::isfinite(v))
                throw CLI::ValidationError(name, "'" + text + "' is not a number");
            if (v < lo || v > hi)
                throw CLI::ValidationError(name, text + " is outside " +
                                                     CLI::detail::to_string(lo) + ".." +
                                                     CLI::detail::to_string(hi));
            out = v;
        },
        help);
    opt->type_name("NUMBER");
    return opt;
}

CLI::Option* addSize(CLI::App& cmd, const std::string& name, Size& out, int32_t lo, int32_t hi,
                     const std::string& help) {
    auto* opt = cmd.add_option_function<std::string>(
        name,
        [&out, name, lo, hi](const std::string& text) {
            const size_t x = text.find_first_of("xX");
            int64_t w = 0, h = 0;
            if (x == std::string::npos || !parseDecimal(text.substr(0, x), w) ||
                !parseDecimal(text.substr(x + 1), h))
                throw CLI::ValidationError(name, "'" + text + "' is not WIDTHxHEIGHT");
            if (w < lo || w > hi || h < lo || h > hi)
                throw CLI::ValidationError(
                    name, "width and height must each be " + rangeText(lo, hi) + ", not " + text);
            out.width = int32_t(w);
            out.height = int32_t(h);
        },
        help + " (WIDTHxHEIGHT, each " + rangeText(lo, hi) + ")");
    opt->type_name("WxH");
    return opt;
}

CLI::Option* addInputPicture(CLI::App& cmd, const std::string& name, std::string& out) {
    return cmd.add_option(name, out, "picture to read (BMP or PNG)")
        ->check(CLI::Validator(CLI::ExistingFile).description(""))
        ->type_name("FILE");
}

int32_t writePicture(PPixHand pix, const std::string& path) {
    return hasExtension(path, ".png") ? FmWritePngFile(pix, path.c_str(), 0)
                                      : FmWriteBmpFile(pix, path.c_str());
}

PPixHand readPicture(const std::string& path, std::string& why) {
    int32_t status = 0;
    PPixHand pix = FmReadPictureFile(path.c_str(), &status);
    if (pix) return pix;
    switch (status) {
        case kPictureNotFound:
            why = "there is no such file";
            break;
        case kPictureReadFailed:
            why = "the file cannot be read";
            break;
        case kPictureNoMemory:
            why = "not enough memory";
            break;
        case kPictureUnknownFormat:
            why = "it is neither a BMP nor a PNG file";
            break;
        case kPictureTruncated:
            why = "the file is truncated";
            break;
        case kPictureUnsupported:
            why = "its bit depth or compression is not supported";
            break;
        case kPictureTooLarge:
            why = "the picture is too large";
            break;
        default:
            why = "the file is damaged";
            break;
    }
    return nullptr;
}

CLI::Option* addOutputPicture(CLI::App& cmd, const std::string& name, std::string& out) {
    return cmd.add_option(name, out, "picture to write; .bmp or .png picks the format")
        ->check(CLI::Validator(
            [](std::string& path) -> std::string {
                if (hasExtension(path, ".bmp") || hasExtension(path, ".png")) return "";
                return "'" + path + "' must end in .bmp or .png";
            },
            "", "picture extension"))
        ->type_name("OUT.bmp|OUT.png");
}

}  // namespace host
