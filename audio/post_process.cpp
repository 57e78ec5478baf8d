// The library's post-processing entry of the utility table: the current
// frame's audio brought to the output format and rate by the resampler,
// with the neighbouring frames as the filter's history.
#include <algorithm>
#include <cstdint>

#include "audio/audio_internal.h"
#include "reelcore/audio.h"
#include "reelcore/utility_table.h"

RC_API int32_t FmAudioPostProcess(const FmAudioPostRequest* request) {
    if (!request || !request->output || request->outBytes <= 0) return -50;
    const FmAudioPostRequest& p = *request;
    const int32_t inFrame = rc::audio::frameBytes(p.inFormat);
    const int32_t outFrames = p.outBytes / rc::audio::frameBytes(p.outFormat);
    if (outFrames <= 0) return -50;
    if (!p.input || p.prevBytes < 0 || p.curBytes <= 0 || p.nextBytes < 0) {
        rc::audio::writeSilence(p.output, outFrames, p.outFormat);
        return -50;
    }
    const int64_t total = (int64_t(p.prevBytes) + p.curBytes + p.nextBytes) / inFrame;
    FmResampleRequest r{};
    r.src = p.input;
    r.srcFirst = p.prevBytes / inFrame;
    r.srcAvailable = int32_t(std::min<int64_t>(total, INT32_MAX));
    r.srcCount = p.curBytes / inFrame;
    r.srcFormat = p.inFormat & kAudioFormatMask;
    r.dst = p.output;
    r.dstFrames = outFrames;
    r.dstFormat = p.outFormat & kAudioFormatMask;
    r.srcRate = p.inRate;
    r.dstRate = p.outRate;
    return DoResample(&r);
}
