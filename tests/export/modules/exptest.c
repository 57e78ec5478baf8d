/* An export module for the export host's tests: it describes itself as the
   test asks (including in hostile ways), records the compile records and
   frames it is given, writes a marker into the output and answers with the
   result the test chose. */
#include <string.h>
#include <unistd.h>

#include "exptest.h"

static ExpTestState* state(RcCompileServices* host) {
    return (ExpTestState*)host->groups->classData->getClassData(EXPTEST_CLASS);
}

static const RcAudioFormat kFormats[] = {{kRcAudio16Stereo, 48000}, {kRcAudio8Mono, -1}, {0, 0}};
static RcAudioFormat gEndless[100];

static int32_t describe(ExpTestState* st, RcCompilerInfo* info, int32_t index) {
    info->fileType = RC_FOURCC('T', 'E', 'S', 'T');
    info->classID = RC_FOURCC('?', '?', '?', '?');
    info->flags = st->flags;
    if (st->mode == kExpTestEndless) {
        memset(info->name, 'A', sizeof info->name);
        memset(info->extension, 'x', sizeof info->extension);
        return kRcCompileMoreExporters;
    }
    strcpy(info->extension, "tst");
    if (index == 0) {
        info->customExport = 1;
        return kRcCompileMoreExporters; /* no name: the host takes the file's */
    }
    info->classID = RC_FOURCC('C', 'L', 'S', '2');
    strcpy(info->name, "Second");
    return kRcCompileOK;
}

static int32_t compressor(ExpTestState* st, RcCompressorInfo* c, int32_t index) {
    if (st->mode == kExpTestCorrections) {
        if (index == 0) {
            c->code = RC_FOURCC('R', 'A', 'W', ' ');
            c->minValue = 0;
            c->minWidth = -5;
            c->maxWidth = 0;
            c->maxHeight = 5000;
            c->fixedRate = 1;
            c->rateValue = 0;
            c->rateScale = 2997;
            c->qualityLimit = 150;
            return 0;
        }
        if (index == 1) {
            c->code = RC_FOURCC('f', 'i', 'x', 'd');
            strcpy(c->name, "Fixed");
            c->fixedRate = 1;
            c->rateValue = 100;
            c->rateScale = 2997;
            c->qualityLimit = -1;
            c->maxWidth = 720;
            return 0;
        }
        if (index == 2) {
            c->code = RC_FOURCC('p', 'a', 'l', ' ');
            c->fixedRate = 1;
            c->rateValue = 1;
            c->rateScale = 25;
            return 0;
        }
        return 0; /* code left at -1: the list ends */
    }
    if (index != 0) return 1;
    c->code = RC_FOURCC('R', 'A', 'W', ' ');
    if (st->mode == kExpTestHostile) memset(c->name, 'C', sizeof c->name);
    return 0;
}

static int32_t audioCompressor(ExpTestState* st, RcAudioCompressorInfo* a, int32_t index) {
    int i;
    if (index != 0) return 1;
    a->code = RC_FOURCC('R', 'A', 'W', ' ');
    if (st->mode == kExpTestHostile) {
        memset(a->name, 'B', sizeof a->name);
        for (i = 0; i < 100; ++i) gEndless[i] = (RcAudioFormat){kRcAudio16Mono, 8000 + i};
        a->formats = gEndless;
    } else {
        a->formats = kFormats;
    }
    return 0;
}

static int32_t compile(RcCompileServices* host, ExpTestState* st, RcCompileRecord* r) {
    static const char kMarker[] = "EXPTEST";
    int32_t f, result;
    ++st->compileCalls;
    st->lastRecord = *r;
    if (pwrite((int)r->fileRef, kMarker, sizeof kMarker - 1, 0) != (ssize_t)(sizeof kMarker - 1))
        return 17;
    for (f = r->firstFrame; st->readFrames && f < r->lastFrame; ++f) {
        void* pixels = NULL;
        int32_t rowBytes = 0;
        ExpTestFrame* seen = &st->frames[st->frameCount < 255 ? st->frameCount : 255];
        result = host->groups->video->getFrame(f, &pixels, &rowBytes, &seen->info);
        if (result != kRcServiceOK) return result;
        seen->frame = f;
        memcpy(&seen->firstPixel, pixels, 4);
        ++st->frameCount;
        if (st->stopAfter && st->frameCount >= st->stopAfter) {
            st->progressResult = host->groups->status->progress(f, r->lastFrame);
            if (st->progressResult) return st->progressResult;
        }
    }
    if (st->readAudio) {
        void *first = NULL, *again = NULL;
        int32_t bytes = 0, bytesAgain = 0;
        if (host->groups->audio->getAudio(r->firstFrame, 2, &first, &bytes) != kRcServiceOK ||
            host->groups->audio->getAudio(r->firstFrame, 2, &again, &bytesAgain) != kRcServiceOK)
            return 9;
        st->audioBytes = bytes;
        st->audioSame = first == again && bytes == bytesAgain;
    }
    if (st->failAtCall == 0 || st->failAtCall == st->compileCalls) return st->compileResult;
    return kRcCompileOK;
}

static int32_t editSettings(RcCompileServices* host, ExpTestState* st, int32_t selector,
                            RcCompileSettingsRequest* request) {
    ++st->settingsCalls;
    st->lastRequest = *request;
    if (st->replaceSettings) {
        int32_t* fresh = (int32_t*)host->groups->memory->newPtrClear(8);
        if (!fresh) return kRcCompileOutOfMemory;
        fresh[0] = selector;
        fresh[1] = st->settingsCalls;
        if (request->settings) host->groups->memory->disposePtr(request->settings);
        request->settings = fresh;
    }
    return st->settingsResult;
}

RC_MODULE_ENTRY int32_t xCompileEntry(int32_t selector, RcCompileServices* host, void* record,
                                      int32_t index) {
    ExpTestState* st = state(host);
    if (!st) return 1;
    st->lastSelector = selector;
    switch (selector) {
        case kRcCompileStartup:
            return describe(st, (RcCompilerInfo*)record, index);
        case kRcCompileGetVideoCompressor:
            return compressor(st, (RcCompressorInfo*)record, index);
        case kRcCompileGetAudioCompressor:
            return audioCompressor(st, (RcAudioCompressorInfo*)record, index);
        case kRcCompileDoCompile:
        case kRcCompileCustom:
            return compile(host, st, (RcCompileRecord*)record);
        case kRcCompileSettings:
        case kRcCompileVideoSettings:
        case kRcCompileAudioSettings:
            return editSettings(host, st, selector, (RcCompileSettingsRequest*)record);
        case kRcCompileShutdown:
            ++st->shutdowns;
            return 0;
        default:
            return 1;
    }
}
