/* An export module writing uncompressed AVI files: 24- or 32-bit frames
   ('RAW ') and PCM audio interleaved in blocks of the record's block length.

   The file starts as AVI 1.0 (a RIFF 'AVI ' with an idx1 index) and goes on
   in RIFF 'AVIX' parts once a part would pass its size limit (1 GiB), with
   the OpenDML indexes (a super index per stream, a standard index per part)
   that let readers find frames in every part. The limit is the module's own
   setting: compiler settings starting with 'AVIS' and a 32-bit byte count. */
#include <stdlib.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>

#include "reelcore/sdk/export.h"

typedef struct AviPrefs {
    uint32_t magic; /* 'AVIS' */
    uint32_t riffLimit;
} AviPrefs;

enum { kMaxParts = 256, kSuperIndexBytes = 24 + 16 * kMaxParts, kDefaultLimit = 1u << 30 };
enum { kVideo = 0 };

/* Chunk and index names of stream s: "00db" for video, "01wb" for audio
   after video ("00wb" without video). */
static const char* chunkID(int video, int stream) {
    return video ? "00db" : stream ? "01wb" : "00wb";
}
static const char* indexID(int stream) {
    return stream ? "ix01" : "ix00";
}

typedef struct Entries {
    uint8_t* bytes;
    size_t size, capacity;
} Entries;

typedef struct SuperEntry {
    uint64_t offset;
    uint32_t size, duration;
} SuperEntry;

typedef struct Writer {
    int fd;
    int failed;
    uint64_t pos, riffStart, moviStart, limit;
    int part, streams, audioIndex;
    Entries idx1;
    Entries ix[2];        /* this part's standard index entries */
    uint32_t ixCount[2];  /* their number */
    uint32_t duration[2]; /* frames or sample blocks in this part */
    SuperEntry super[2][kMaxParts];
    uint32_t frames, firstPartFrames;
    uint32_t firstRiffSize; /* known once the first part is closed */
    uint64_t samples;
    /* header values */
    int32_t width, height, bits, rate, channels, sampleBits, scale, samp;
    uint32_t frameBytes;
} Writer;

static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
static void put64(uint8_t* p, uint64_t v) {
    put32(p, (uint32_t)v);
    put32(p + 4, (uint32_t)(v >> 32));
}
static void putCC(uint8_t* p, const char* cc) {
    memcpy(p, cc, 4);
}

static void writeAt(Writer* w, const void* data, size_t size, uint64_t at) {
    const uint8_t* p = (const uint8_t*)data;
    while (size > 0 && !w->failed) {
        ssize_t n = pwrite(w->fd, p, size, (off_t)at);
        if (n <= 0) {
            w->failed = 1;
            return;
        }
        p += n;
        size -= (size_t)n;
        at += (uint64_t)n;
    }
}
static void append(Writer* w, const void* data, size_t size) {
    writeAt(w, data, size, w->pos);
    w->pos += size;
}

static void addEntry(Writer* w, Entries* e, const uint8_t* bytes, size_t size) {
    if (e->size + size > e->capacity) {
        size_t cap = e->capacity ? e->capacity * 2 : 4096;
        uint8_t* grown;
        while (cap < e->size + size) cap *= 2;
        grown = (uint8_t*)realloc(e->bytes, cap);
        if (!grown) {
            w->failed = 1;
            return;
        }
        e->bytes = grown;
        e->capacity = cap;
    }
    memcpy(e->bytes + e->size, bytes, size);
    e->size += size;
}

/* hdrl: everything before the first movi list, the same size every time it
   is written, so the final values simply overwrite the first ones. */
static size_t header(const Writer* w, uint8_t* h) {
    const uint32_t align = (uint32_t)(w->channels * w->sampleBits / 8);
    uint8_t* p = h;
    uint8_t* hdrl;
    int s;
    putCC(p, "RIFF");
    put32(p + 4, w->firstRiffSize);
    putCC(p + 8, "AVI ");
    p += 12;
    hdrl = p;
    putCC(p, "LIST");
    putCC(p + 8, "hdrl");
    p += 12;
    putCC(p, "avih");
    put32(p + 4, 56);
    memset(p + 8, 0, 56);
    if (w->scale > 0)
        put32(p + 8, (uint32_t)((uint64_t)1000000 * (uint64_t)w->samp / (uint64_t)w->scale));
    put32(p + 20, 0x10 | 0x100); /* has an index, interleaved */
    put32(p + 24, w->firstPartFrames);
    put32(p + 32, (uint32_t)w->streams);
    put32(p + 36, w->frameBytes);
    put32(p + 40, (uint32_t)w->width);
    put32(p + 44, (uint32_t)w->height);
    p += 64;
    for (s = 0; s < w->streams; ++s) {
        const int video = s == kVideo && w->width > 0;
        uint8_t* strl = p;
        int i;
        putCC(p, "LIST");
        putCC(p + 8, "strl");
        p += 12;
        putCC(p, "strh");
        put32(p + 4, 56);
        memset(p + 8, 0, 56);
        putCC(p + 8, video ? "vids" : "auds");
        if (video) {
            put32(p + 28, (uint32_t)w->samp);
            put32(p + 32, (uint32_t)w->scale);
            put32(p + 40, w->frames);
            put32(p + 44, w->frameBytes);
            put16(p + 60, (uint32_t)w->width);
            put16(p + 62, (uint32_t)w->height);
        } else {
            put32(p + 28, align);
            put32(p + 32, (uint32_t)w->rate * align);
            put32(p + 40, (uint32_t)w->samples);
            put32(p + 44, (uint32_t)w->rate * align);
            put32(p + 52, align);
        }
        put32(p + 48, 0xFFFFFFFFu); /* quality: default */
        p += 64;
        putCC(p, "strf");
        if (video) {
            put32(p + 4, 40);
            memset(p + 8, 0, 40);
            put32(p + 8, 40);
            put32(p + 12, (uint32_t)w->width);
            put32(p + 16, (uint32_t)w->height); /* positive: rows bottom-up */
            put16(p + 20, 1);
            put16(p + 22, (uint32_t)w->bits);
            put32(p + 28, w->frameBytes);
            p += 48;
        } else {
            put32(p + 4, 18);
            put16(p + 8, 1); /* PCM */
            put16(p + 10, (uint32_t)w->channels);
            put32(p + 12, (uint32_t)w->rate);
            put32(p + 16, (uint32_t)w->rate * align);
            put16(p + 20, align);
            put16(p + 22, (uint32_t)w->sampleBits);
            put16(p + 24, 0);
            p += 26;
        }
        /* The super index: one entry per RIFF part. */
        putCC(p, "indx");
        put32(p + 4, kSuperIndexBytes);
        memset(p + 8, 0, kSuperIndexBytes);
        put16(p + 8, 4);
        p[10] = 0;
        p[11] = 0; /* an index of indexes */
        put32(p + 12, (uint32_t)(w->part + 1));
        putCC(p + 16, chunkID(video, s));
        for (i = 0; i <= w->part && i < kMaxParts; ++i) {
            put64(p + 32 + 16 * i, w->super[s][i].offset);
            put32(p + 40 + 16 * i, w->super[s][i].size);
            put32(p + 44 + 16 * i, w->super[s][i].duration);
        }
        p += 8 + kSuperIndexBytes;
        put32(strl + 4, (uint32_t)(p - strl - 8));
    }
    {
        uint8_t* odml = p;
        putCC(p, "LIST");
        putCC(p + 8, "odml");
        putCC(p + 12, "dmlh");
        put32(p + 16, 248);
        memset(p + 20, 0, 248);
        put32(p + 20, w->frames);
        p += 20 + 248;
        put32(odml + 4, (uint32_t)(p - odml - 8));
    }
    put32(hdrl + 4, (uint32_t)(p - hdrl - 8));
    return (size_t)(p - h);
}

static void openMovi(Writer* w) {
    uint8_t list[12];
    w->moviStart = w->pos;
    putCC(list, "LIST");
    put32(list + 4, 0);
    putCC(list + 8, "movi");
    append(w, list, sizeof list);
}

/* Ends the part: its standard indexes, the movi list's size, idx1 in the
   first part, and the RIFF size. */
static void closePart(Writer* w) {
    uint8_t word[4];
    int s;
    for (s = 0; s < w->streams; ++s) {
        uint8_t head[32];
        const int video = s == kVideo && w->width > 0;
        const uint64_t at = w->pos;
        putCC(head, indexID(s));
        put32(head + 4, (uint32_t)(24 + w->ix[s].size));
        put16(head + 8, 2);
        head[10] = 0;
        head[11] = 1; /* an index of chunks */
        put32(head + 12, w->ixCount[s]);
        putCC(head + 16, chunkID(video, s));
        put64(head + 20, w->moviStart);
        put32(head + 28, 0);
        append(w, head, sizeof head);
        append(w, w->ix[s].bytes, w->ix[s].size);
        if (w->part < kMaxParts) {
            w->super[s][w->part].offset = at;
            w->super[s][w->part].size = (uint32_t)(32 + w->ix[s].size);
            w->super[s][w->part].duration = w->duration[s];
        }
        w->ix[s].size = 0;
        w->ixCount[s] = 0;
        w->duration[s] = 0;
    }
    put32(word, (uint32_t)(w->pos - w->moviStart - 8));
    writeAt(w, word, 4, w->moviStart + 4);
    if (w->part == 0) {
        uint8_t head[8];
        putCC(head, "idx1");
        put32(head + 4, (uint32_t)w->idx1.size);
        append(w, head, sizeof head);
        append(w, w->idx1.bytes, w->idx1.size);
    }
    put32(word, (uint32_t)(w->pos - w->riffStart - 8));
    writeAt(w, word, 4, w->riffStart + 4);
    if (w->part == 0) w->firstRiffSize = (uint32_t)(w->pos - w->riffStart - 8);
}

static void newPart(Writer* w) {
    uint8_t riff[12];
    closePart(w);
    ++w->part;
    w->riffStart = w->pos;
    putCC(riff, "RIFF");
    put32(riff + 4, 0);
    putCC(riff + 8, "AVIX");
    append(w, riff, sizeof riff);
    openMovi(w);
}

static void chunk(Writer* w, int stream, const void* data, uint32_t size, uint32_t duration) {
    const int video = stream == kVideo && w->width > 0;
    const char* id = chunkID(video, stream);
    uint8_t head[8], entry[16];
    /* Room for this chunk and the indexes that close the part. */
    const uint64_t closing =
        64 + w->ix[0].size + w->ix[1].size + (w->part == 0 ? w->idx1.size + 40 : 0);
    if (w->pos > w->moviStart + 12 && w->part + 1 < kMaxParts &&
        w->pos - w->riffStart + 8 + size + closing > w->limit)
        newPart(w);
    putCC(head, id);
    put32(head + 4, size);
    if (w->part == 0) {
        putCC(entry, id);
        put32(entry + 4, 0x10); /* a keyframe */
        put32(entry + 8, (uint32_t)(w->pos - (w->moviStart + 8)));
        put32(entry + 12, size);
        addEntry(w, &w->idx1, entry, 16);
    }
    put32(entry, (uint32_t)(w->pos + 8 - w->moviStart));
    put32(entry + 4, size);
    addEntry(w, &w->ix[stream], entry, 8);
    ++w->ixCount[stream];
    w->duration[stream] += duration;
    /* Header, data and padding in one write. */
    {
        static const uint8_t pad = 0;
        struct iovec parts[3] = {{head, 8}, {(void*)data, size}, {(void*)&pad, size & 1}};
        size_t total = 8 + (size_t)size + (size & 1);
        ssize_t n = w->failed ? -1 : pwritev(w->fd, parts, 3, (off_t)w->pos);
        if (n != (ssize_t)total && !w->failed) {
            /* A short write: the rest piece by piece. */
            size_t done = n > 0 ? (size_t)n : 0;
            uint64_t at = w->pos + done;
            int i;
            for (i = 0; i < 3; ++i) {
                if (done >= parts[i].iov_len) {
                    done -= parts[i].iov_len;
                    continue;
                }
                writeAt(w, (const uint8_t*)parts[i].iov_base + done, parts[i].iov_len - done, at);
                at += parts[i].iov_len - done;
                done = 0;
            }
        }
        w->pos += total;
    }
}

static int32_t writeAudio(Writer* w, RcCompileServices* host, int32_t first, int32_t count) {
    void* samples = NULL;
    int32_t bytes = 0;
    const uint32_t align = (uint32_t)(w->channels * w->sampleBits / 8);
    const int32_t result = host->groups->audio->getAudio(first, count, &samples, &bytes);
    if (result != kRcServiceOK) return result;
    if (bytes > 0) {
        chunk(w, w->audioIndex, samples, (uint32_t)bytes, (uint32_t)bytes / align);
        w->samples += (uint32_t)bytes / align;
    }
    return kRcServiceOK;
}

static int32_t compile(RcCompileServices* host, RcCompileRecord* r) {
    const RcCompileSettings* s = &r->settings;
    const AviPrefs* prefs = (const AviPrefs*)s->compilerPrefs;
    const int32_t total = r->lastFrame - r->firstFrame;
    const int32_t block = s->audioBlockFrames > 0 ? s->audioBlockFrames : 1;
    const int doVideo = s->doVideo != 0, doAudio = s->doAudio != 0 && s->audioRate > 0;
    uint8_t* head;
    size_t headSize;
    int32_t result = kRcCompileOK, f;
    Writer* w = (Writer*)calloc(1, sizeof(Writer));
    if (!w) return kRcCompileOutOfMemory;
    w->fd = (int)r->fileRef;
    w->limit = prefs && prefs->magic == RC_FOURCC('A', 'V', 'I', 'S') && prefs->riffLimit >= 4096
                   ? prefs->riffLimit
                   : kDefaultLimit;
    w->bits = s->depth == kRcDepth32 ? 32 : 24;
    w->width = doVideo ? s->width : 0;
    w->height = doVideo ? s->height : 0;
    w->frameBytes = (uint32_t)(((w->width * (w->bits / 8) + 3) & ~3) * w->height);
    w->scale = s->timeScale;
    w->samp = s->timeSampleSize > 0 ? s->timeSampleSize : 1;
    w->rate = doAudio ? s->audioRate : 0;
    w->channels = s->channels;
    w->sampleBits = s->bitsPerSample;
    /* Streams: video first when there is video. */
    w->streams = doVideo + doAudio;
    w->audioIndex = doVideo ? 1 : 0;
    if (w->streams == 0) {
        free(w);
        return kRcCompileOK;
    }
    head =
        (uint8_t*)calloc(1, 2 * (12 + 12 + 64 + 2 * (12 + 64 + 48 + 8 + kSuperIndexBytes) + 268));
    if (!head) {
        free(w);
        return kRcCompileOutOfMemory;
    }
    headSize = header(w, head);
    append(w, head, headSize);
    openMovi(w);
    host->groups->status->setProgressText("Writing movie");
    for (f = r->firstFrame; f < r->lastFrame && result == kRcCompileOK && !w->failed; ++f) {
        if (doAudio && (f - r->firstFrame) % block == 0) {
            const int32_t n = r->lastFrame - f < block ? r->lastFrame - f : block;
            result = writeAudio(w, host, f, n);
            if (result != kRcServiceOK) break;
        }
        if (doVideo) {
            void* pixels = NULL;
            int32_t rowBytes = 0;
            RcCompileFrameInfo info;
            result = host->groups->video->getFrameAtDepth(f, w->bits, &pixels, &rowBytes, &info);
            if (result != kRcServiceOK) break;
            chunk(w, kVideo, pixels, w->frameBytes, 1);
            ++w->frames;
            if (w->part == 0) ++w->firstPartFrames;
        }
        result = host->groups->status->progress(f + 1 - r->firstFrame, total);
    }
    if (result == kRcCompileOK && !w->failed) {
        closePart(w);
        header(w, head);
        writeAt(w, head, headSize, 0);
    }
    if (result == kRcCompileOK && w->failed) result = 17; /* could not write */
    free(head);
    free(w->idx1.bytes);
    free(w->ix[0].bytes);
    free(w->ix[1].bytes);
    free(w);
    return result;
}

/* Selector 5 without a window: settings of ours stand; anything else is
   replaced by the default settings (the 1 GiB part limit), made with the
   host's memory. */
static int32_t editSettings(RcCompileServices* host, RcCompileSettingsRequest* request) {
    AviPrefs* prefs;
    const AviPrefs* old = (const AviPrefs*)request->settings;
    if (old && old->magic == RC_FOURCC('A', 'V', 'I', 'S') &&
        host->groups->memory->getPtrSize(request->settings) >= (int32_t)sizeof(AviPrefs))
        return kRcCompileOK;
    prefs = (AviPrefs*)host->groups->memory->newPtrClear((int32_t)sizeof(AviPrefs));
    if (!prefs) return kRcCompileOutOfMemory;
    prefs->magic = RC_FOURCC('A', 'V', 'I', 'S');
    prefs->riffLimit = kDefaultLimit;
    if (request->settings) host->groups->memory->disposePtr(request->settings);
    request->settings = prefs;
    return kRcCompileSettingsChanged;
}

RC_MODULE_ENTRY int32_t xCompileEntry(int32_t selector, RcCompileServices* host, void* record,
                                      int32_t index) {
    static const RcAudioFormat kFormats[] = {
        {kRcAudio8Mono | kRcAudio8Stereo | kRcAudio16Mono | kRcAudio16Stereo, -1}, {0, 0}};
    switch (selector) {
        case kRcCompileStartup: {
            RcCompilerInfo* info = (RcCompilerInfo*)record;
            info->fileType = RC_FOURCC('A', 'V', 'I', 'V');
            info->classID = RC_FOURCC('?', '?', '?', '?');
            info->flags = kRcCompileMakesMovies | kRcCompileMakesAudio;
            strcpy(info->extension, "avi");
            return kRcCompileOK;
        }
        case kRcCompileGetVideoCompressor: {
            RcCompressorInfo* c = (RcCompressorInfo*)record;
            if (index != 0) return 1;
            c->code = RC_FOURCC('R', 'A', 'W', ' '); /* named by the host */
            c->depthMask = kRcDepth24 | kRcDepth32;
            c->flags = kRcCompressorNoKeyframes;
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
            return editSettings(host, (RcCompileSettingsRequest*)record);
        case kRcCompileVideoSettings:
        case kRcCompileAudioSettings:
            return kRcCompileOK; /* 'RAW ' video and PCM have nothing to edit */
        case kRcCompileDoCompile:
            return compile(host, (RcCompileRecord*)record);
        case kRcCompileShutdown:
            return kRcCompileOK;
        default:
            return 1;
    }
}
