/* An export-effect module that grabs frames: each frame it is handed is
   written, as it is, to the record's path as a 24-bit BMP file (alpha is
   dropped). Start-up and shutdown have nothing to do. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "reelcore/sdk/effect.h"

enum {
    kGrabFine = 0,
    kGrabBadRecord = 3,   /* wrong version, no picture, or an unusable one */
    kGrabCannotWrite = 4, /* the file could not be made or filled */
    kMostSide = 32768
};

static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

/* File header (14 bytes) and info header (40 bytes) of a bottom-up 24-bit
   picture. */
static void header(uint8_t out[54], int32_t width, int32_t height, uint32_t rowBytes) {
    const uint32_t imageBytes = rowBytes * (uint32_t)height;
    memset(out, 0, 54);
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, 54 + imageBytes);
    put32(out + 10, 54);
    put32(out + 14, 40);
    put32(out + 18, (uint32_t)width);
    put32(out + 22, (uint32_t)height);
    put16(out + 26, 1);
    put16(out + 28, 24);
    put32(out + 34, imageBytes);
    put32(out + 38, 2835); /* 72 dpi */
    put32(out + 42, 2835);
}

static int32_t grab(const RcExportModuleRecord* r) {
    if (r->version != kRcExportModuleRecordVersion || !r->picture || !*RC_HANDLE(r->picture))
        return kGrabBadRecord;
    const RcPixelBuffer* pix = RC_PIXELS(r->picture);
    const int32_t width = pix->bounds.right - pix->bounds.left;
    const int32_t height = pix->bounds.bottom - pix->bounds.top;
    if (pix->depth != 32 || width <= 0 || height <= 0 || width > kMostSide || height > kMostSide ||
        pix->rowBytes < width * 4 || !pix->pixels)
        return kGrabBadRecord;
    char path[sizeof r->path];
    memcpy(path, r->path, sizeof path);
    path[sizeof path - 1] = '\0';
    FILE* f = fopen(path, "wb");
    if (!f) return kGrabCannotWrite;

    const uint32_t rowBytes = ((uint32_t)width * 3 + 3) & ~3u;
    uint8_t head[54];
    header(head, width, height, rowBytes);
    int ok = fwrite(head, 1, sizeof head, f) == sizeof head;
    uint8_t* row = (uint8_t*)malloc(rowBytes);
    if (!row) ok = 0;
    /* Both the picture and the file keep the bottom row first; B, G, R
       bytes, padding zero. */
    for (int32_t y = 0; ok && y < height; ++y) {
        const uint8_t* in = (const uint8_t*)pix->pixels + (size_t)pix->rowBytes * y;
        memset(row, 0, rowBytes);
        for (int32_t x = 0; x < width; ++x) memcpy(row + 3 * x, in + 4 * x, 3);
        ok = fwrite(row, 1, rowBytes, f) == rowBytes;
    }
    free(row);
    if (fclose(f) != 0) ok = 0;
    if (!ok) remove(path);
    return ok ? kGrabFine : kGrabCannotWrite;
}

RC_MODULE_ENTRY int16_t xExport(int16_t selector, void* record) {
    RcExportModuleRecord* r = (RcExportModuleRecord*)record;
    switch (selector) {
        case kRcExportStartup:
        case kRcExportShutdown:
            return kGrabFine;
        case kRcExportFrame:
            if (!r) return kGrabBadRecord;
            r->result = grab(r);
            return (int16_t)r->result;
        default:
            return kRcModuleUnsupported;
    }
}
