#include "platform/png.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace rc::platform {

namespace {

// libpng reports errors by longjmp; nothing with a destructor may live in
// the frames it unwinds, so the state the callbacks touch sits here.
struct WriteState {
    std::vector<uint8_t>* out;
    bool failed = false;
};

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    try {
        state->out->insert(state->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        state->failed = true;
    }
    if (state->failed) png_error(png, "out of memory");  // not from inside the handler
}

void noFlush(png_structp) {}

void quietWarning(png_structp, png_const_charp) {}

struct ErrorText {
    char text[128] = "";
};

void recordError(png_structp png, png_const_charp message) {
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    if (error) std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

// Compression chosen for speed: the "up" filter and deflate level 3 make a
// frame about as small as FFmpeg's PNG encoder does (bench_png), in a
// fraction of its time; level 6 is 8% smaller and five times slower.
constexpr int kCompressionLevel = 3;

bool encodeInto(std::vector<uint8_t>& out, int32_t width, int32_t height, bool withAlpha,
                const std::function<void(int32_t, uint8_t*)>& fillRow, std::vector<uint8_t>& row) {
    ErrorText error;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, recordError, quietWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    WriteState state{&out};
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &state, appendBytes, noFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y) {
        fillRow(y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return !state.failed;
}

struct ReadSource {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool truncated = false;
};

void readBytes(png_structp png, png_bytep out, png_size_t length) {
    auto* src = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (length > src->size - src->at) {
        src->truncated = true;
        png_error(png, "the file ends early");
    }
    std::memcpy(out, src->data + src->at, length);
    src->at += length;
}

}  // namespace

std::vector<uint8_t> encodePngRows(int32_t width, int32_t height, bool withAlpha,
                                   const std::function<void(int32_t y, uint8_t* out)>& fillRow) {
    std::vector<uint8_t> out;
    if (width <= 0 || height <= 0) return out;
    try {
        std::vector<uint8_t> row(size_t(width) * (withAlpha ? 4 : 3));
        // Most pictures compress to well under a third of their bytes.
        out.reserve(row.size() * size_t(height) / 3 + 1024);
        if (!encodeInto(out, width, height, withAlpha, fillRow, row)) out.clear();
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    out.shrink_to_fit();
    return out;
}

namespace {

// Each step that libpng may leave by longjmp sits in a function of its own
// whose frame holds nothing with a destructor.
struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ReadSource src;
    ErrorText error;
    int64_t maxPixels = 0;
    PngRead failure = PngRead::Malformed;
    png_uint_32 width = 0, height = 0;
};

bool readHeader(Decoder& d) {
    if (setjmp(png_jmpbuf(d.png))) return false;
    png_set_read_fn(d.png, &d.src, readBytes);
    png_read_info(d.png, d.info);
    d.width = png_get_image_width(d.png, d.info);
    d.height = png_get_image_height(d.png, d.info);
    if (int64_t(d.width) * int64_t(d.height) > d.maxPixels) {
        d.failure = PngRead::TooLarge;
        std::snprintf(d.error.text, sizeof d.error.text, "%ux%u is too large", d.width, d.height);
        return false;
    }
    const int colourType = png_get_color_type(d.png, d.info);
    const int depth = png_get_bit_depth(d.png, d.info);
    if (depth == 16) png_set_scale_16(d.png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(d.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(d.png);
    if (png_get_valid(d.png, d.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(d.png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(d.png);
    png_set_bgr(d.png);
    png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);  // no effect where alpha is present
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    if (png_get_rowbytes(d.png, d.info) != size_t(d.width) * 4) {
        std::snprintf(d.error.text, sizeof d.error.text, "unexpected row layout");
        return false;
    }
    return true;
}

bool readPixels(Decoder& d, png_bytep* rows) {
    if (setjmp(png_jmpbuf(d.png))) return false;
    png_read_image(d.png, rows);
    png_read_end(d.png, nullptr);
    return true;
}

}  // namespace

PngRead decodePng(const uint8_t* data, size_t size, int64_t maxPixels, PngPicture& out) {
    out = PngPicture{};
    if (!data || !looksLikePng(data, size)) return PngRead::NotPng;
    Decoder d;
    d.src = ReadSource{data, size};
    d.maxPixels = maxPixels;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.error, recordError, quietWarning);
    if (!d.png) return PngRead::NoMemory;
    d.info = png_create_info_struct(d.png);
    PngRead result = PngRead::Ok;
    if (!d.info) {
        result = PngRead::NoMemory;
    } else if (!readHeader(d)) {
        result = d.src.truncated ? PngRead::Truncated : d.failure;
    } else {
        std::vector<png_bytep> rows;
        try {
            out.bgra.resize(size_t(d.width) * d.height * 4);
            rows.resize(d.height);
        } catch (const std::bad_alloc&) {
            result = PngRead::NoMemory;
        }
        if (result == PngRead::Ok) {
            for (png_uint_32 y = 0; y < d.height; ++y)
                rows[y] = out.bgra.data() + size_t(y) * d.width * 4;
            if (!readPixels(d, rows.data()))
                result = d.src.truncated ? PngRead::Truncated : PngRead::Malformed;
        }
    }
    png_destroy_read_struct(&d.png, d.info ? &d.info : nullptr, nullptr);
    if (result != PngRead::Ok) {
        out.bgra = {};
        out.problem = d.error.text;
        return result;
    }
    out.width = int32_t(d.width);
    out.height = int32_t(d.height);
    return PngRead::Ok;
}

}  // namespace rc::platform
