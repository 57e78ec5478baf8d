// The window layer fills the hooks that lower families leave for it: the
// out-of-memory notice to the main window, the main window's title (the
// application's name in alerts), text measuring and restoring a minimised
// main window before an alert.
#include "ui/hooks.h"

#include "core/memory_hooks.h"
#include "core/text_hooks.h"
#include "platform/window.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"

namespace rc::ui {
namespace {

void lowMemoryNotice(int32_t message) {
    PMSendMessage(kHandlerHIDE, message, 0, 0, nullptr, 0);
}

void mainWindowTitle(char* out, int32_t room) {
    FmWndGetTitle(FmWindow(GetMainWnd()), out, room);
}

void restoreMainWindow() {
    auto main = platform::WindowId(GetMainWnd());
    if (platform::isIconic(main)) platform::setIconic(main, false);
}

}  // namespace

bool installHooks() {
    static const bool installed = [] {
        memhooks::setLowMemoryNotice(lowMemoryNotice);
        texthooks::setMainWindowTitle(mainWindowTitle);
        texthooks::setMeasureText(platform::measureText);
        texthooks::setRestoreMainWindow(restoreMainWindow);
        return true;
    }();
    return installed;
}

}  // namespace rc::ui
