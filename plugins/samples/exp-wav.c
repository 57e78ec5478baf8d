/* An export module writing uncompressed WAV files: 8- or 16-bit samples, mono
   or stereo, at any rate. The host mixes the audio; the module asks for it a
   block at a time and writes it after a RIFF header whose sizes are filled
   in at the end. */
#include <string.h>
#include <unistd.h>

#include "reelcore/sdk/export.h"

static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

static int writeAt(int fd, const void* data, size_t size, off_t at) {
    const uint8_t* p = (const uint8_t*)data;
    while (size > 0) {
        ssize_t n = pwrite(fd, p, size, at);
        if (n <= 0) return 0;
        p += n;
        size -= (size_t)n;
        at += n;
    }
    return 1;
}

static void header(uint8_t h[44], const RcCompileSettings* s, uint32_t dataBytes) {
    const uint32_t align = (uint32_t)(s->channels * s->bitsPerSample / 8);
    memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + dataBytes + (dataBytes & 1));
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1); /* PCM */
    put16(h + 22, (uint32_t)s->channels);
    put32(h + 24, (uint32_t)s->audioRate);
    put32(h + 28, (uint32_t)s->audioRate * align);
    put16(h + 32, align);
    put16(h + 34, (uint32_t)s->bitsPerSample);
    memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
}

static int32_t compile(RcCompileServices* host, RcCompileRecord* r) {
    const RcCompileAudioFuncs* audio = host->groups->audio;
    const RcCompileStatusFuncs* status = host->groups->status;
    const int fd = (int)r->fileRef;
    const int32_t total = r->lastFrame - r->firstFrame;
    const int32_t block = r->settings.audioBlockFrames > 0 ? r->settings.audioBlockFrames : 1;
    uint8_t h[44];
    uint32_t written = 0;
    int32_t f;
    header(h, &r->settings, 0);
    if (!writeAt(fd, h, sizeof h, 0)) return 17; /* could not write: an input/output error */
    status->setProgressText("Writing audio");
    for (f = r->firstFrame; f < r->lastFrame; f += block) {
        void* samples = NULL;
        int32_t bytes = 0, result;
        const int32_t count = r->lastFrame - f < block ? r->lastFrame - f : block;
        result = audio->getAudio(f, count, &samples, &bytes);
        if (result != kRcServiceOK) return result;
        if (bytes > 0 && !writeAt(fd, samples, (size_t)bytes, 44 + (off_t)written)) return 17;
        written += (uint32_t)bytes;
        result = status->progress(f + count - r->firstFrame, total);
        if (result != kRcServiceOK) return result;
    }
    if (written & 1) {
        const uint8_t pad = 0;
        if (!writeAt(fd, &pad, 1, 44 + (off_t)written)) return 17;
    }
    header(h, &r->settings, written);
    return writeAt(fd, h, sizeof h, 0) ? kRcCompileOK : 17;
}

RC_MODULE_ENTRY int32_t xCompileEntry(int32_t selector, RcCompileServices* host, void* record,
                                      int32_t index) {
    static const RcAudioFormat kFormats[] = {
        {kRcAudio8Mono | kRcAudio8Stereo | kRcAudio16Mono | kRcAudio16Stereo, -1}, {0, 0}};
    switch (selector) {
        case kRcCompileStartup: {
            RcCompilerInfo* info = (RcCompilerInfo*)record;
            info->fileType = RC_FOURCC('W', 'A', 'V', 'E');
            info->classID = RC_FOURCC('?', '?', '?', '?');
            info->flags = kRcCompileMakesAudio;
            strcpy(info->extension, "wav");
            return kRcCompileOK;
        }
        case kRcCompileGetAudioCompressor: {
            RcAudioCompressorInfo* a = (RcAudioCompressorInfo*)record;
            if (index != 0) return 1;
            a->code = RC_FOURCC('R', 'A', 'W', ' ');
            strcpy(a->name, "PCM");
            a->formats = kFormats;
            return kRcCompileOK;
        }
        case kRcCompileSettings:
        case kRcCompileAudioSettings:
            return kRcCompileOK; /* nothing to edit: the settings stand */
        case kRcCompileDoCompile:
            return compile(host, (RcCompileRecord*)record);
        case kRcCompileShutdown:
            return kRcCompileOK;
        default:
            return 1; /* no video compressors, no settings of its own */
    }
}
