// XE filters: their sequence data (flat bytes in a project, live while
// rendering), the flattening of a whole filter list, and the release of XE
// modules at shutdown. The XE host does the module calls; until it installs
// its table the modules have no filter info: a frame passes through and
// sequence data is only marked live or flat.
#include <cstring>

#include "plugins/effects/effect_host.h"
#include "reelcore/depthcon.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"

namespace rc::effects {
namespace {

int16_t passThrough(int16_t, int16_t selector, Handle record, intptr_t, RcFilterListEntry*) {
    if (selector != kRcFilterProcess || !record || !*record) return noErr;
    const auto& r = *reinterpret_cast<const RcVideoFilterRecord*>(*record);
    Handle src = handleOf(r.source), dst = handleOf(r.destination);
    if (src && dst && src != dst) ppixCopy(src, dst, nullptr, nullptr, 0, nullptr);
    return noErr;
}
uint32_t noInfo(int16_t) {
    return 0;
}
int16_t keepData(int16_t, int32_t command, Handle data, Handle* out) {
    *out = command == kXeDisposeSequence ? nullptr : data;
    if (command == kXeDisposeSequence) DisposeHandle(data);
    return noErr;
}
void noCleanup(int16_t) {}

constexpr XeFilterHooks kDefaults{passThrough, noInfo, keepData, noCleanup};
XeFilterHooks g_hooks = kDefaults;

bool isXE(int16_t fileID) {
    return GetFileTypeID(fileID) == kKindXE;
}

bool hasSequenceCalls(int16_t fileID) {
    return (g_hooks.infoFlags(fileID) & kXeInfoSequenceData) != 0;
}

int16_t runCommand(int16_t fileID, int32_t command, RcFilterListEntry* seq) {
    Handle out = nullptr;
    const int16_t err = g_hooks.command(fileID, command, handleOf(seq->sequenceData), &out);
    if (err != noErr) return err;
    seq->sequenceData = HandleToWord(out);
    return noErr;
}

void releaseList(int slot) {
    Handle list = reinterpret_cast<Handle>(GetAGlobal(slot));
    if (!list || !*list) return;
    const size_t n = GetHandleSize(list) / sizeof(int16_t);
    for (size_t i = 0; i < n; ++i) {
        int16_t id;
        std::memcpy(&id, *list + i * sizeof id, sizeof id);
        if (isXE(id)) g_hooks.cleanup(id);
    }
}

}  // namespace

void setXeFilterHooks(const XeFilterHooks* hooks) {
    g_hooks = kDefaults;
    if (!hooks) return;
    if (hooks->doFilter) g_hooks.doFilter = hooks->doFilter;
    if (hooks->infoFlags) g_hooks.infoFlags = hooks->infoFlags;
    if (hooks->command) g_hooks.command = hooks->command;
    if (hooks->cleanup) g_hooks.cleanup = hooks->cleanup;
}

const XeFilterHooks& xeFilterHooks() {
    return g_hooks;
}

}  // namespace rc::effects

using namespace rc::effects;

RC_API int16_t UnflattenXESequenceData(int16_t fileID, RcFilterListEntry* seq) {
    if (!seq || !isXE(fileID) || seq->unflatdata) return noErr;
    if (seq->sequenceData && hasSequenceCalls(fileID)) {
        const int16_t err = runCommand(fileID, kXeUnflattenSequence, seq);
        if (err != noErr) return err;
    }
    seq->unflatdata = 1;
    return noErr;
}

RC_API int16_t FlattenXESequenceData(int16_t fileID, RcFilterListEntry* seq) {
    if (!seq || !isXE(fileID) || !seq->unflatdata) return noErr;
    if (seq->sequenceData && hasSequenceCalls(fileID)) {
        const int16_t err = runCommand(fileID, kXeFlattenSequence, seq);
        if (err != noErr) return err;
    }
    seq->unflatdata = 0;
    return noErr;
}

RC_API int16_t DisposeXESequenceData(int16_t fileID, RcFilterListEntry* seq) {
    if (!seq || !seq->sequenceData) return noErr;
    // Live data the module made is the module's to free; flat data (and data
    // only marked live, still the host's bytes) is freed here.
    if (seq->unflatdata && isXE(fileID) && hasSequenceCalls(fileID)) {
        const int16_t err = runCommand(fileID, kXeDisposeSequence, seq);
        if (err != noErr) return err;
    } else {
        DisposeHandle(handleOf(seq->sequenceData));
    }
    seq->sequenceData = 0;
    seq->unflatdata = 0;
    return noErr;
}

RC_API int16_t FlattenXEFilterList(Handle list) {
    if (!list || !*list) return noErr;
    const size_t n = GetHandleSize(list) / sizeof(RcFilterListEntry);
    for (size_t i = 0; i < n; ++i) {
        // Flattening may move blocks: the entry is re-read for each step.
        auto entry = [&] { return reinterpret_cast<RcFilterListEntry*>(*list) + i; };
        int16_t err = FlattenCompSpec(handleOf(entry()->compSpec));
        if (err == noErr) err = FlattenSingleSpec(handleOf(entry()->fixedSpec));
        if (err == noErr) {
            RcFilterListEntry copy = *entry();
            err = FlattenXESequenceData(copy.fileID, &copy);
            *entry() = copy;
        }
        if (err != noErr) return err;
    }
    return noErr;
}

RC_API void vidFiltersShutdown(void) {
    releaseList(kSlotVideoFilters);
    releaseKeptModules();
}

RC_API void audFiltersShutdown(void) {
    releaseList(kSlotAudioFilters);
    releaseKeptModules();
}
