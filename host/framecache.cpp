// Start-up of the frame cache and its part of `reelhost info`.
#include "host.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace {

host::Registrar queue(host::Step{320, "frame cache",
                                 [](const host::Options&) { return InitFrameQueue() == 0; },
                                 [] { KillFrameQueue(); }});

const FrameCacheEntry* entryAt(FBlock b) {
    return reinterpret_cast<const FrameCacheEntry*>(b->address);
}

void printCache(FILE* out) {
    FBlock head = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead));
    FBlock tail = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheTail));
    if (!head || !tail) {
        std::fprintf(out, "frame cache: not started\n");
        return;
    }
    unsigned video = 0, audio = 0, other = 0;
    for (FBlock b = entryAt(head)->next; b && b != tail; b = entryAt(b)->next) {
        const int16_t kind = entryAt(b)->kind;
        ++(kind == kCacheKindVideo ? video : kind == kCacheKindAudio ? audio : other);
    }
    std::fprintf(out, "frame cache: %s, %s", host::countText(video, "video frame").c_str(),
                 host::countText(audio, "audio second").c_str());
    if (other)
        std::fprintf(
            out, ", %s",
            (std::to_string(other) + (other == 1 ? " other entry" : " other entries")).c_str());
    const intptr_t limit = GetAGlobal(kSlotFrameCacheKindLimit);
    std::fprintf(out, ", %s", host::bytesText(CacheTotal()).c_str());
    if (limit > 0)
        std::fprintf(out, " (at most %ld entries of a kind)\n", long(limit));
    else
        std::fprintf(out, " (no per-kind limit)\n");
    std::fprintf(out, "frame cache pool: %s of %s free\n", host::bytesText(PurgeFSpace()).c_str(),
                 host::bytesText(GetFHeapSize()).c_str());
}

host::Registrar info(host::InfoSection{320, printCache});

}  // namespace
