#include "timeline/render/render_hooks.h"

#include <vector>

#include "reelcore/memory.h"

namespace rc::render {

namespace {

int16_t noEffect(int16_t, int16_t, void*) {
    return 1;
}
int16_t noFilter(int16_t, int16_t, void*, void*) {
    return 1;
}
int16_t noWindow(OSType) {
    return 1;
}

const Hooks kDefaults{noEffect, noFilter, noWindow};
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
    for (Kept& k : kept())
        if (k.data) DisposeHandle(k.data);
    kept().clear();
}

}  // namespace rc::render
