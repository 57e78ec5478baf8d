// The window layer fills the hooks that lower families leave for it: the
// out-of-memory notice to the main window, the main window's title (the
// application's name in alerts), text measuring, restoring a minimised main
// window before an alert, and the file table's messages, debug lines and
// module resource files.
#include "ui/hooks.h"

#include "core/memory_hooks.h"
#include "core/text_hooks.h"
#include "media/media_hooks.h"
#include "platform/window.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/resources.h"
#include "ui/method_table.h"

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

int16_t sendToFirst(OSType type, int32_t code, intptr_t p1, intptr_t p2, intptr_t pointer,
                    intptr_t p4) {
    return PMSendMessage(type, code, p1, p2, reinterpret_cast<void*>(pointer), p4);
}

// One line of the file table for the debug channel.
void debugLine(const char* text) {
    FmDebug(0, "%s\n", text);
}

bool activeWindows() {
    return interfacePresent();
}

// Files of the file table are located by their path; module resources are
// only ever read, whatever permission is asked for.
int32_t openResourceFile(const FSSpec* spec, int32_t) {
    return spec ? OpenResFile(spec->name) : -1;
}

}  // namespace

bool installHooks() {
    static const bool installed = [] {
        memhooks::setLowMemoryNotice(lowMemoryNotice);
        texthooks::setMainWindowTitle(mainWindowTitle);
        texthooks::setMeasureText(platform::measureText);
        texthooks::setRestoreMainWindow(restoreMainWindow);
        mediahooks::setSendMessage(sendToFirst);
        mediahooks::setDebug(debugLine);
        mediahooks::setActiveWindows(activeWindows);
        mediahooks::setResourceFiles(openResourceFile, CloseResFile, UseResFile);
        return true;
    }();
    return installed;
}

}  // namespace rc::ui
