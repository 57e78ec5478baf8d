#include "timeline/render/render_hooks.h"

#include <vector>

#include "reelcore/effects.h"
#include "reelcore/memory.h"

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

const Hooks kDefaults{callEffect, callFilter, noWindow};
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
