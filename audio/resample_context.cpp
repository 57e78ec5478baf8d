// The resampler's context block and its filter cache.
#include "audio/resample_context.h"

#include <cstring>
#include <initializer_list>

#include "audio/resample_filter.h"
#include "reelcore/audio.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace rc::audio {

namespace {

constexpr int32_t kParamErr = -50;
constexpr int32_t kMemFullErr = -108;
constexpr uint32_t kLargestScratch = 0x7FFFFFFFu;

// Entry `index` of the handle table of slot 174, made or grown when `create`.
Handle* handleTableEntry(int32_t index, bool create) {
    auto table = reinterpret_cast<Handle>(GetAGlobal(kSlotHandleTable));
    const uint32_t needed = uint32_t(index + 1) * sizeof(Handle);
    if (!table) {
        if (!create) return nullptr;
        table = FmNewHandleClear(needed);
        if (!table) return nullptr;
        SetAGlobal(kSlotHandleTable, reinterpret_cast<intptr_t>(table));
    }
    const uint32_t size = FmGetHandleSize(table);
    if (size < needed) {
        if (!create || FmSetHandleSize(table, needed) != 0) return nullptr;
        std::memset(*table + size, 0, needed - size);
    }
    return reinterpret_cast<Handle*>(*table) + index;
}

// Entry u of the expansion table: 0 -> -32768, 128 -> 0, 255 -> 32767.
int16_t expanded(int32_t u) {
    return int16_t(u < 128 ? 256 * u - 32768 : (u - 128) * 32767 / 127);
}

Handle makeContext() {
    Handle h = FmNewHandleClear(sizeof(ResamplerContext));
    if (!h) return nullptr;
    auto* c = reinterpret_cast<ResamplerContext*>(*h);
    for (int32_t u = 0; u < 256; ++u) c->expand[u] = expanded(u);
    return h;
}

void releaseAfterCall(ResamplerContext& c) {
    for (Handle scratch : {c.scratchIn, c.scratchOut}) {
        if (!scratch) continue;
        FmHUnlock(scratch);
        FmHPurge(scratch);
    }
    for (const FilterCacheEntry& e : c.cache)
        if (e.coefs) FmHUnlock(e.coefs);
}

bool entryUsable(const FilterCacheEntry& e) {
    return e.coefs && *e.coefs;
}

}  // namespace

ContextLock::ContextLock() {
    Handle* entry = handleTableEntry(kHandleTableResampler, true);
    if (!entry) return;
    if (!*entry || !**entry) {
        if (*entry) FmDisposeHandle(*entry);
        *entry = nullptr;
        Handle made = makeContext();
        // The table may have moved while the context was made.
        entry = handleTableEntry(kHandleTableResampler, true);
        if (!made || !entry) {
            if (made) FmDisposeHandle(made);
            return;
        }
        *entry = made;
    }
    handle_ = *entry;
    FmHLock(handle_);
    context_ = reinterpret_cast<ResamplerContext*>(*handle_);
}

ContextLock::~ContextLock() {
    if (!context_) return;
    releaseAfterCall(*context_);
    FmHUnlock(handle_);
}

void* lockScratch(Handle& scratch, uint64_t bytes) {
    if (bytes == 0) bytes = 1;
    if (bytes > kLargestScratch) return nullptr;
    if (!scratch) {
        scratch = FmNewHandle(uint32_t(bytes));
        if (!scratch) return nullptr;
    } else {
        FmHNoPurge(scratch);
        if (!*scratch || FmGetHandleSize(scratch) < bytes) {
            if (FmSetHandleSize(scratch, uint32_t(bytes)) != 0 || !*scratch) return nullptr;
        }
    }
    FmHLock(scratch);
    return *scratch;
}

int32_t findFilter(ResamplerContext& c, int32_t coefCount, double rolloff, double beta,
                   const int16_t** coefs, uint32_t* scale) {
    auto sameKey = [&](const FilterCacheEntry& e) {
        return e.coefCount == coefCount && e.rolloff == rolloff && e.beta == beta;
    };
    int hit = -1;
    for (int i = 0; i < kFilterCacheEntries; ++i)
        if (entryUsable(c.cache[i]) && sameKey(c.cache[i])) {
            hit = i;
            break;
        }
    if (hit >= 0) {
        const FilterCacheEntry found = c.cache[hit];
        for (int i = hit; i > 0; --i) c.cache[i] = c.cache[i - 1];
        c.cache[0] = found;
    } else {
        if (c.cache[kFilterCacheEntries - 1].coefs)
            FmDisposeHandle(c.cache[kFilterCacheEntries - 1].coefs);
        for (int i = kFilterCacheEntries - 1; i > 0; --i) c.cache[i] = c.cache[i - 1];
        c.cache[0] = FilterCacheEntry{};
        if (coefCount <= 0 || coefCount > kMaxWingCoefs) return kParamErr;
        Handle h = FmNewHandle(uint32_t(coefCount) * sizeof(int16_t));
        if (!h) return kMemFullErr;
        uint32_t s = 0;
        const int32_t err =
            designFilter(coefCount, rolloff, beta, reinterpret_cast<int16_t*>(*h), &s);
        if (err != 0) {
            FmDisposeHandle(h);
            return err;
        }
        c.cache[0] = FilterCacheEntry{coefCount, rolloff, beta, h, s};
    }
    FmHLock(c.cache[0].coefs);
    *coefs = reinterpret_cast<const int16_t*>(*c.cache[0].coefs);
    *scale = c.cache[0].scale;
    return 0;
}

void disposeResamplerContext() {
    Handle* entry = handleTableEntry(kHandleTableResampler, false);
    if (!entry || !*entry) return;
    Handle h = *entry;
    *entry = nullptr;
    if (*h) {
        auto* c = reinterpret_cast<ResamplerContext*>(*h);
        if (c->scratchIn) FmDisposeHandle(c->scratchIn);
        if (c->scratchOut) FmDisposeHandle(c->scratchOut);
        for (const FilterCacheEntry& e : c->cache)
            if (e.coefs) FmDisposeHandle(e.coefs);
    }
    FmDisposeHandle(h);
}

}  // namespace rc::audio
