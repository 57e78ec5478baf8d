#include "timeline/render/render_hooks.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "plugins/playback_link.h"
#include "reelcore/effects.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/render.h"
#include "reelcore/sdk/pipl.h"

namespace rc::render {

namespace {

int16_t callEffect(int16_t fileID, int16_t selector, Handle record) {
    return Effect(fileID, selector, record);
}
int16_t callFilter(int16_t fileID, int16_t selector, Handle record, RcFilterListEntry* entry) {
    return Filter(fileID, selector, record, entry);
}
int16_t noWindow(OSType) {
    return 1;
}

constexpr uint32_t kAnyAspectBits = kRcAnimAnyAspect | kRcAnimAnyAspectToo;

// The option bits of the module's PiPL: its option block read as a word,
// and its animated-filter flags.
bool piplAnyAspect(int16_t fileID) {
    Handle pipl = GetPiPLHandle(fileID);
    if (!pipl) return false;
    uint32_t options = 0;
    if (Handle block = GetPiPLpOpt(pipl)) {
        std::memcpy(&options, *block, std::min<size_t>(GetHandleSize(block), sizeof options));
        DisposeHandle(block);
    }
    RcAnimFilterInfo info;
    if (GetAnimFilterInfo(pipl, &info)) options |= info.flags;
    DisposeHandle(pipl);
    return (options & kAnyAspectBits) != 0;
}

intptr_t compPlayModule() {
    if (!GetFirstWind(kHandlerCOMP)) return 0;
    intptr_t module = 0;
    PMSendMessage(kHandlerCOMP, kMsgCompPlayModule, 0, 0, &module, 0);
    return module;
}

const Hooks kDefaults{callEffect,
                      callFilter,
                      noWindow,
                      piplAnyAspect,
                      compPlayModule,
                      rc::playback::canRenderFrames,
                      rc::playback::renderRTFrame};
Hooks current = kDefaults;

struct Kept {
    int16_t fileID;
    Handle data;
};

std::vector<Kept>& kept() {
    static std::vector<Kept> v;
    return v;
}

}  // namespace

void setHooks(const Hooks* hooks) {
    current = hooks ? *hooks : kDefaults;
    if (!current.effect) current.effect = kDefaults.effect;
    if (!current.filter) current.filter = kDefaults.filter;
    if (!current.newWindow) current.newWindow = kDefaults.newWindow;
    if (!current.anyAspect) current.anyAspect = kDefaults.anyAspect;
    if (!current.playModule) current.playModule = kDefaults.playModule;
    if (!current.canRender) current.canRender = kDefaults.canRender;
    if (!current.renderRT) current.renderRT = kDefaults.renderRT;
}

const Hooks& hooks() {
    return current;
}

Handle& sequenceData(int16_t fileID) {
    for (Kept& k : kept())
        if (k.fileID == fileID) return k.data;
    kept().push_back({fileID, nullptr});
    return kept().back().data;
}

void releaseSequenceData() {
    // Each module releases what it kept (selector 5 with its data in a record).
    std::vector<Kept> all;
    all.swap(kept());
    for (const Kept& k : all) {
        if (!k.data) continue;
        Handle record = NewHandleClear(sizeof(RcEffectRecord));
        if (!record) continue;
        auto* r = reinterpret_cast<RcEffectRecord*>(*record);
        r->sequenceData = HandleToWord(k.data);
        r->version = kRcEffectRecordVersion;
        current.effect(k.fileID, kRcEffectDisposeData, record);
        DisposeHandle(record);
    }
}

}  // namespace rc::render
