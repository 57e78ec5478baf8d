#include "timeline/render/render_hooks.h"

#include <map>

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

std::map<int16_t, Handle>& kept() {
    static std::map<int16_t, Handle> m;
    return m;
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
    return kept()[fileID];
}

void releaseSequenceData() {
    for (auto& [id, h] : kept())
        if (h) DisposeHandle(h);
    kept().clear();
}

}  // namespace rc::render
