/* An export module offering two exporters of PNG pictures: stills (class
   '????') and sequences (class 'PSEQ'), one file per frame: for a sequence
   the host makes the numbered files and calls the module once for each.

   Its one setting is the compression level: compiler settings starting with
   'PNGS' and a 32-bit level. Without settings (or at level -1) a frame goes
   through the host's PNG writer; levels 0 to 9 are the deflate levels of the
   module's own libpng encoder (level 0 stores the rows unfiltered, for
   writing speed). Asked to edit its settings (selector 5) the module has no
   window: it keeps settings it knows and otherwise makes the default ones. */
#include <png.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "reelcore/sdk/export.h"

typedef struct PngPrefs {
    uint32_t magic; /* 'PNGS' */
    int32_t level;  /* -1: the host's writer; 0 to 9: deflate level */
} PngPrefs;

static int32_t levelOf(const void* settings) {
    const PngPrefs* p = (const PngPrefs*)settings;
    if (!p || p->magic != RC_FOURCC('P', 'N', 'G', 'S')) return -1;
    return p->level >= 0 && p->level <= 9 ? p->level : -1;
}

/* ---- The module's own encoder ---- */

typedef struct Buffer {
    png_bytep bytes;
    size_t size, capacity;
    int failed;
} Buffer;

static void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    Buffer* b = (Buffer*)png_get_io_ptr(png);
    if (b->failed) return;
    if (b->size + length > b->capacity) {
        size_t capacity = b->capacity * 2 > b->size + length ? b->capacity * 2 : b->size + length;
        png_bytep grown = (png_bytep)realloc(b->bytes, capacity);
        if (!grown) {
            b->failed = 1;
            return;
        }
        b->bytes = grown;
        b->capacity = capacity;
    }
    memcpy(b->bytes + b->size, data, length);
    b->size += length;
}

static void noFlush(png_structp png) {
    (void)png;
}

/* Rows arrive bottom-up as B, G, R, A; libpng swaps them to R, G, B, A. The
   picture is built in memory and written in one piece. */
static int encode(const uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height, int level,
                  int fd) {
    Buffer out = {NULL, 0, 0, 0};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    int32_t y;
    int ok = 0;
    if (!info) goto done;
    /* Stored rows grow by the zlib block headers only. */
    out.capacity = (size_t)(width * 4 + 1) * (size_t)height + (size_t)height / 8 + 1024;
    out.bytes = (png_bytep)malloc(out.capacity);
    if (!out.bytes) goto done;
    if (setjmp(png_jmpbuf(png))) goto done;
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, level == 0 ? PNG_FILTER_NONE : PNG_FILTER_UP);
    png_set_compression_level(png, level);
    png_set_compression_buffer_size(png, 1 << 20);
    png_write_info(png, info);
    png_set_bgr(png);
    for (y = height - 1; y >= 0; --y)
        png_write_row(png, (png_const_bytep)(pixels + (size_t)y * (size_t)rowBytes));
    png_write_end(png, NULL);
    ok = !out.failed;
done:
    png_destroy_write_struct(png ? &png : NULL, info ? &info : NULL);
    if (ok) {
        size_t done = 0;
        while (done < out.size) {
            ssize_t n = write(fd, out.bytes + done, out.size - done);
            if (n <= 0) {
                ok = 0;
                break;
            }
            done += (size_t)n;
        }
    }
    free(out.bytes);
    return ok;
}

static int32_t compile(RcCompileServices* host, RcCompileRecord* r) {
    const RcCompileVideoFuncs* video = host->groups->video;
    const int level = levelOf(r->settings.compilerPrefs);
    void* pixels = NULL;
    int32_t rowBytes = 0;
    RcCompileFrameInfo info;
    int32_t result = video->getFrame(r->firstFrame, &pixels, &rowBytes, &info);
    if (result != kRcServiceOK) return result;
    if (level < 0)
        result =
            video->writePNG(pixels, rowBytes, r->settings.width, r->settings.height, r->fileRef);
    else
        result = encode((const uint8_t*)pixels, rowBytes, r->settings.width, r->settings.height,
                        level, (int)r->fileRef)
                     ? 0
                     : 1;
    if (result != 0) return 17;
    return host->groups->status->progress(1, 1);
}

/* Selector 5 without a window: settings of ours stand; anything else is
   replaced by the default settings, made with the host's memory. */
static int32_t editSettings(RcCompileServices* host, RcCompileSettingsRequest* request) {
    PngPrefs* prefs;
    const PngPrefs* old = (const PngPrefs*)request->settings;
    if (old && old->magic == RC_FOURCC('P', 'N', 'G', 'S') &&
        host->groups->memory->getPtrSize(request->settings) >= (int32_t)sizeof(PngPrefs))
        return kRcCompileOK;
    prefs = (PngPrefs*)host->groups->memory->newPtrClear((int32_t)sizeof(PngPrefs));
    if (!prefs) return kRcCompileOutOfMemory;
    prefs->magic = RC_FOURCC('P', 'N', 'G', 'S');
    prefs->level = -1;
    if (request->settings) host->groups->memory->disposePtr(request->settings);
    request->settings = prefs;
    return kRcCompileSettingsChanged;
}

RC_MODULE_ENTRY int32_t xCompileEntry(int32_t selector, RcCompileServices* host, void* record,
                                      int32_t index) {
    switch (selector) {
        case kRcCompileStartup: {
            RcCompilerInfo* info = (RcCompilerInfo*)record;
            info->fileType = RC_FOURCC('P', 'N', 'G', ' ');
            strcpy(info->extension, "png");
            if (index == 0) {
                info->classID = RC_FOURCC('?', '?', '?', '?');
                info->flags = kRcCompileMakesStills;
                strcpy(info->name, "PNG Still");
                return kRcCompileMoreExporters;
            }
            info->classID = RC_FOURCC('P', 'S', 'E', 'Q');
            info->flags = kRcCompileMakesMovies | kRcCompileOneFilePerFrame;
            strcpy(info->name, "PNG Sequence");
            return kRcCompileOK;
        }
        case kRcCompileGetVideoCompressor: {
            RcCompressorInfo* c = (RcCompressorInfo*)record;
            if (index != 0) return 1;
            c->code = RC_FOURCC('R', 'A', 'W', ' ');
            c->depthMask = kRcDepth32;
            c->flags = kRcCompressorNoKeyframes;
            return kRcCompileOK;
        }
        case kRcCompileSettings:
            return editSettings(host, (RcCompileSettingsRequest*)record);
        case kRcCompileVideoSettings:
            return kRcCompileOK; /* 'RAW ' has no settings to edit */
        case kRcCompileDoCompile:
            return compile(host, (RcCompileRecord*)record);
        case kRcCompileShutdown:
            return kRcCompileOK;
        default:
            return 1;
    }
}
