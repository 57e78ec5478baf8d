// Window data and the free reference values of handler windows.
#include "ui/window_data.h"

#include <cstring>

#include "core/memory_internal.h"
#include "platform/window.h"
#include "reelcore/memory.h"

namespace plat = rc::platform;

namespace rc::ui {
namespace {

// The value as a live handle with at least `bytes` bytes, else null.
Handle asHandle(intptr_t value, uint32_t bytes) {
    if (!isHandle(value)) return nullptr;
    auto h = reinterpret_cast<Handle>(value);
    if (!*h || FmGetHandleSize(h) < bytes) return nullptr;
    return h;
}

uint32_t word(Handle h, int index) {
    uint32_t w;
    std::memcpy(&w, *h + index * 4, 4);
    return w;
}

void disposeIfHandle(intptr_t value) {
    if (isHandle(value)) FmDisposeHandle(reinterpret_cast<Handle>(value));
}

}  // namespace

bool isHandle(intptr_t value) {
    return value != 0 &&
           rc::memory::zoneKind(reinterpret_cast<Handle>(value)) != rc::memory::ZoneKind::None;
}

bool windowHandlerType(FmWindow window, OSType& type) {
    if (window == 0) return false;
    Handle h = asHandle(plat::getProperty(window, kWindowDataProperty), 8);
    if (!h) return false;
    type = word(h, 1);
    return true;
}

}  // namespace rc::ui

using namespace rc::ui;

RC_API Handle NewWData(FmWindow window) {
    if (!plat::isWindow(window)) return nullptr;
    Handle h = FmNewHandleClear(kWindowDataSize);
    if (!h) return nullptr;
    std::memcpy(*h, &kWindowDataTag, 4);
    // Window data made here belongs to the window: a previous block of ours
    // is not left behind.
    Handle old = GetWData(window);
    plat::setProperty(window, kWindowDataProperty, reinterpret_cast<intptr_t>(h));
    if (old) FmDisposeHandle(old);
    return h;
}

RC_API Handle GetWData(FmWindow window) {
    Handle h = asHandle(plat::getProperty(window, kWindowDataProperty), 4);
    return h && word(h, 0) == kWindowDataTag ? h : nullptr;
}

RC_API void DisposWData(FmWindow window) {
    Handle h = GetWData(window);
    if (!h) return;
    plat::removeProperty(window, kWindowDataProperty);
    FmDisposeHandle(h);
}

RC_API Handle GetFilmoryxWindowData(FmWindow window) {
    return reinterpret_cast<Handle>(plat::getProperty(window, kWindowDataProperty));
}

RC_API Boolean HasFilmoryxWindowData(FmWindow window) {
    return plat::getProperty(window, kWindowDataProperty) != 0;
}

RC_API void SetFilmoryxWindowData(FmWindow window, Handle data) {
    if (data) {
        plat::setProperty(window, kWindowDataProperty, reinterpret_cast<intptr_t>(data));
    } else {
        plat::removeProperty(window, kWindowDataProperty);
    }
}

RC_API void SetDRefCon(FmWindow window, intptr_t value) {
    plat::setProperty(window, kDocumentRefProperty, value);
}

RC_API intptr_t GetDRefCon(FmWindow window) {
    return plat::getProperty(window, kDocumentRefProperty);
}

RC_API void DisposDRefCon(FmWindow window) {
    if (!plat::hasProperty(window, kDocumentRefProperty)) return;
    disposeIfHandle(plat::removeProperty(window, kDocumentRefProperty));
}

RC_API void SetWRefCon(FmWindow window, intptr_t value) {
    plat::setProperty(window, kWindowDataProperty, value);
}

RC_API intptr_t GetWRefCon(FmWindow window) {
    return plat::getProperty(window, kWindowDataProperty);
}

RC_API void DisposWRefCon(FmWindow window) {
    if (!plat::hasProperty(window, kWindowDataProperty)) return;
    disposeIfHandle(plat::removeProperty(window, kWindowDataProperty));
}
