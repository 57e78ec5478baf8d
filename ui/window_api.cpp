// The exported C face of the window model.
#include <algorithm>
#include <cstring>

#include "platform/surface.h"
#include "platform/window.h"
#include "reelcore/windows.h"
#include "ui/hooks.h"

namespace plat = rc::platform;

namespace {
const bool gHooked = rc::ui::installHooks();
}

static_assert(uint32_t(kFmWndActivate) == plat::kWmActivate &&
                  uint32_t(kFmWndNcActivate) == plat::kWmNcActivate &&
                  uint32_t(kFmWndPaint) == plat::kWmPaint &&
                  uint32_t(kFmWndNcPaint) == plat::kWmNcPaint &&
                  uint32_t(kFmWndDestroy) == plat::kWmDestroy &&
                  uint32_t(kFmWndSetFocus) == plat::kWmSetFocus,
              "the exported message codes are the model's");
static_assert(kFmEventTitle == int32_t(plat::EventKind::Title), "event kinds match");

RC_API FmWindow FmWndCreate(FmWindow parent, const FmRect* rect, const char* title,
                            FmWindowProc proc, Boolean visible) {
    FmRect r = rect ? *rect : FmRect{0, 0, 0, 0};
    return plat::createWindow(parent, r, title, proc, visible != 0);
}

RC_API int32_t FmWndDestroy(FmWindow window) {
    return plat::destroyWindow(window) ? 0 : -1;
}

RC_API Boolean FmWndIsWindow(FmWindow window) {
    return plat::isWindow(window);
}

RC_API FmWindow FmWndGetParent(FmWindow window) {
    return plat::parentOf(window);
}
RC_API FmWindow FmWndGetFirstChild(FmWindow parent) {
    return plat::firstChild(parent);
}
RC_API FmWindow FmWndGetLastChild(FmWindow parent) {
    return plat::lastChild(parent);
}
RC_API FmWindow FmWndGetNextSibling(FmWindow window) {
    return plat::nextSibling(window);
}
RC_API FmWindow FmWndGetPrevSibling(FmWindow window) {
    return plat::previousSibling(window);
}
RC_API Boolean FmWndBringToTop(FmWindow window) {
    return plat::bringToTop(window);
}
RC_API Boolean FmWndSendToBack(FmWindow window) {
    return plat::sendToBack(window);
}

RC_API Boolean FmWndSetRect(FmWindow window, const FmRect* rect) {
    return rect && plat::setRect(window, *rect);
}
RC_API Boolean FmWndGetRect(FmWindow window, FmRect* rect) {
    return rect && plat::getRect(window, *rect);
}
RC_API Boolean FmWndShow(FmWindow window, Boolean show) {
    return plat::showWindow(window, show != 0);
}
RC_API Boolean FmWndIsVisible(FmWindow window) {
    return plat::isVisible(window);
}
RC_API Boolean FmWndSetIconic(FmWindow window, Boolean iconic) {
    return plat::setIconic(window, iconic != 0);
}
RC_API Boolean FmWndIsIconic(FmWindow window) {
    return plat::isIconic(window);
}
RC_API Boolean FmWndSetFocus(FmWindow window) {
    return plat::setFocus(window);
}
RC_API FmWindow FmWndGetFocus(void) {
    return plat::focusWindow();
}
RC_API Boolean FmWndSetActive(FmWindow window) {
    return plat::setActive(window);
}
RC_API FmWindow FmWndGetActive(void) {
    return plat::activeWindow();
}
RC_API Boolean FmWndSetTitle(FmWindow window, const char* title) {
    return plat::setTitle(window, title);
}

RC_API int32_t FmWndGetTitle(FmWindow window, char* dst, int32_t room) {
    std::string title;
    bool ok = plat::getTitle(window, title);
    if (dst && room > 0) {
        size_t n = std::min(title.size(), size_t(room - 1));
        std::memcpy(dst, title.data(), n);
        dst[n] = 0;
    }
    return ok ? int32_t(title.size()) : -1;
}

RC_API Boolean FmWndSetProp(FmWindow window, const char* name, intptr_t value) {
    return plat::setProperty(window, name, value);
}
RC_API intptr_t FmWndGetProp(FmWindow window, const char* name) {
    return plat::getProperty(window, name);
}
RC_API Boolean FmWndHasProp(FmWindow window, const char* name) {
    return plat::hasProperty(window, name);
}
RC_API intptr_t FmWndRemoveProp(FmWindow window, const char* name) {
    return plat::removeProperty(window, name);
}

RC_API Boolean FmWndSetProc(FmWindow window, FmWindowProc proc) {
    return plat::setWindowProc(window, proc);
}
RC_API intptr_t FmWndSendMessage(FmWindow window, uint32_t message, intptr_t wParam,
                                 intptr_t lParam) {
    return plat::sendMessage(window, message, wParam, lParam);
}
RC_API Boolean FmWndPostMessage(FmWindow window, uint32_t message, intptr_t wParam,
                                intptr_t lParam) {
    return plat::postMessage(window, message, wParam, lParam);
}

RC_API Boolean FmWndPeekMessage(FmWindow window, FmQueuedMessage* out, Boolean remove) {
    plat::QueuedMessage q{};
    if (!plat::peekMessage(window, q, remove != 0)) return 0;
    if (out) *out = FmQueuedMessage{q.window, q.message, q.wParam, q.lParam};
    return 1;
}

RC_API int32_t FmWndRemoveMessages(FmWindow window, uint32_t message) {
    return int32_t(plat::removeMessages(window, message));
}

RC_API Boolean FmWndUpdate(FmWindow window) {
    return plat::updateWindow(window);
}

RC_API Boolean FmWndGetSurfaceSize(FmWindow window, int32_t* width, int32_t* height) {
    if (!plat::isWindow(window)) return 0;
    plat::Surface* s = plat::surfaceForWindow(window);
    if (width) *width = s ? s->width : 0;
    if (height) *height = s ? s->height : 0;
    return 1;
}

RC_API Boolean FmWndFillRect(FmWindow window, const FmRect* rect, uint32_t colour) {
    if (!rect) return 0;
    FmDeviceContext* dc = plat::getWindowDC(window);
    if (!dc) return 0;
    uint32_t rgb = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    plat::fillSurfaceRect(dc, *rect, rgb);
    plat::releaseDC(dc);
    return 1;
}

RC_API Boolean FmWndSavePNG(FmWindow window, const char* path) {
    return path && plat::saveSurfacePng(window, path);
}

RC_API int32_t FmWndEventCount(void) {
    return int32_t(plat::events().size());
}

RC_API Boolean FmWndGetEvent(int32_t index, FmWindowEvent* out) {
    std::vector<plat::WindowEvent> log = plat::events();
    if (index < 0 || size_t(index) >= log.size() || !out) return 0;
    const plat::WindowEvent& e = log[size_t(index)];
    *out = FmWindowEvent{int32_t(e.kind), e.window, e.detail};
    return 1;
}

RC_API void FmWndClearEvents(void) {
    plat::clearEvents();
}

RC_API void FmWndSetTextMeasure(FmTextMeasureProc proc) {
    plat::setTextMeasure(proc);
}
RC_API int32_t FmWndMeasureText(intptr_t dc, const char* text, int32_t length) {
    return plat::measureText(dc, text, length);
}
