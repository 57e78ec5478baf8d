/* An export module offering two exporters of PNG pictures: stills (class
   '????') and sequences (class 'PSEQ'), one file per frame: for a sequence
   the host makes the numbered files and calls the module once for each.
   Either way the module writes one frame through the host's PNG writer. */
#include <string.h>

#include "reelcore/sdk/export.h"

static int32_t compile(RcCompileServices* host, RcCompileRecord* r) {
    const RcCompileVideoFuncs* video = host->groups->video;
    void* pixels = NULL;
    int32_t rowBytes = 0;
    RcCompileFrameInfo info;
    int32_t result = video->getFrame(r->firstFrame, &pixels, &rowBytes, &info);
    if (result != kRcServiceOK) return result;
    result = video->writePNG(pixels, rowBytes, r->settings.width, r->settings.height, r->fileRef);
    if (result != 0) return 17;
    return host->groups->status->progress(1, 1);
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
        case kRcCompileDoCompile:
            return compile(host, (RcCompileRecord*)record);
        case kRcCompileShutdown:
            return kRcCompileOK;
        default:
            return 1;
    }
}
