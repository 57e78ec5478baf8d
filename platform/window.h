// The headless window model: windows with identifiers, a parent and
// children in z-order, rectangles, visible/iconic/focus state, titles, named
// properties, a window procedure and a message queue. Nothing is displayed;
// activation, focus, painting and z-order changes are recorded as events
// that tests and tools can read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/types.h"

namespace rc::platform {

// Window identifiers: the low 16 bits index the window table, bits 16 to 30
// count the times that table slot has been reused. A slot whose count is
// exhausted is retired, so a stale identifier never names a new window.
using WindowId = uint32_t;

// Messages the model itself delivers to window procedures.
enum WindowMessage : uint32_t {
    kWmDestroy = 0x0002,
    kWmMove = 0x0003,
    kWmSize = 0x0005,
    kWmActivate = 0x0006,
    kWmSetFocus = 0x0007,
    kWmKillFocus = 0x0008,
    kWmPaint = 0x000F,
    kWmShowWindow = 0x0018,
    kWmNcPaint = 0x0085,
    kWmNcActivate = 0x0086,
};

using WindowProc = intptr_t (*)(WindowId window, uint32_t message, intptr_t wParam,
                                intptr_t lParam);

enum class EventKind : int32_t {
    Created = 1,
    Destroyed,
    Shown,
    Hidden,
    Moved,      // the rectangle changed
    Iconic,     // detail: 1 minimised, 0 restored
    ZOrder,     // detail: new position among the siblings, 0 = top
    Activated,  // detail: 1 activated, 0 deactivated
    Focus,      // detail: 1 gained, 0 lost
    Painted,
    Title,
};

struct WindowEvent {
    EventKind kind;
    WindowId window;
    intptr_t detail;
};

struct QueuedMessage {
    WindowId window;
    uint32_t message;
    intptr_t wParam;
    intptr_t lParam;
};

// Creation and destruction. `parent` 0 makes a top-level window. The new
// window goes on top of its siblings. Returns 0 when the parent is not a
// window or the table is full.
WindowId createWindow(WindowId parent, const FmRect& rect, const char* title, WindowProc proc,
                      bool visible);
// Destroys the window and its children (children first). False for a
// non-window.
bool destroyWindow(WindowId window);
bool isWindow(WindowId window);
// Destroys every window (tests); identifiers stay unique.
void destroyAllWindows();
size_t windowCount();

// Tree and z-order. Children are ordered from the top; 0 when none.
WindowId parentOf(WindowId window);
WindowId firstChild(WindowId window);  // 0 names the top-level list
WindowId lastChild(WindowId window);
WindowId nextSibling(WindowId window);  // the one below
WindowId previousSibling(WindowId window);
std::vector<WindowId> childrenOf(WindowId window);  // top first
bool bringToTop(WindowId window);
bool sendToBack(WindowId window);

// Geometry and state.
bool setRect(WindowId window, const FmRect& rect);
bool getRect(WindowId window, FmRect& rect);
bool showWindow(WindowId window, bool show);
bool isVisible(WindowId window);
bool setIconic(WindowId window, bool iconic);
bool isIconic(WindowId window);
// Focus and activation: one window each. Setting records the change for the
// old and the new window and sends them the focus/activation messages.
bool setFocus(WindowId window);  // 0 clears
WindowId focusWindow();
bool setActive(WindowId window);  // 0 clears
WindowId activeWindow();
bool setTitle(WindowId window, const char* title);
bool getTitle(WindowId window, std::string& title);

// Named properties (exact names). Values are pointer-sized.
bool setProperty(WindowId window, const char* name, intptr_t value);
intptr_t getProperty(WindowId window, const char* name);  // 0 when absent
bool hasProperty(WindowId window, const char* name);
intptr_t removeProperty(WindowId window, const char* name);  // the value removed, or 0

// Window procedure and messages. sendMessage calls the procedure directly
// (0 for a window without one); the queue is first in, first out.
bool setWindowProc(WindowId window, WindowProc proc);
intptr_t sendMessage(WindowId window, uint32_t message, intptr_t wParam, intptr_t lParam);
bool postMessage(WindowId window, uint32_t message, intptr_t wParam, intptr_t lParam);
// The oldest queued message of the window (any window when `window` is 0);
// `remove` takes it off the queue.
bool peekMessage(WindowId window, QueuedMessage& out, bool remove);
// Removes every queued message of the window with the given code; returns
// how many were removed.
size_t removeMessages(WindowId window, uint32_t message);
size_t queuedMessageCount(WindowId window);

// Painting: sends kWmNcPaint and kWmPaint to the procedure and records the
// event.
bool updateWindow(WindowId window);

// Each window owns an off-screen surface sized to its rectangle (at most
// 4096 pixels a side), registered for drawing code under the window's
// identifier (surfaceForWindow in platform/surface.h). Writes it as a PNG
// file; false for a non-window, an empty surface or a write error.
bool saveSurfacePng(WindowId window, const std::string& path);

// Event log.
std::vector<WindowEvent> events();
void clearEvents();

// Pixel width of `length` bytes of text in a device context; the default is
// a fixed width per byte. Null restores the default.
using TextMeasureFn = int32_t (*)(intptr_t dc, const char* text, int32_t length);
constexpr int32_t kFixedCharWidth = 8;
void setTextMeasure(TextMeasureFn fn);
int32_t measureText(intptr_t dc, const char* text, int32_t length);

}  // namespace rc::platform
