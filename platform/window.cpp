// The headless window model. One table guarded by a mutex (messages may be
// posted from other threads); window procedures are always called with the
// mutex released, so they may call back into the model.
#include "platform/window.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "platform/surface.h"

namespace rc::platform {
namespace {

constexpr uint32_t kIndexBits = 16;
constexpr uint32_t kMaxIndex = (1u << kIndexBits) - 1;
constexpr uint32_t kMaxGeneration = 0x7FFF;  // keeps identifiers positive as 32-bit values
constexpr size_t kMaxEvents = 8192;
constexpr size_t kMaxQueued = 10000;
// Surfaces follow the window's size up to this many pixels a side.
constexpr int32_t kMaxSurfaceSide = 4096;
constexpr uint32_t kSurfaceBackground = 0xFFFFFFFFu;

struct Window {
    WindowId parent = 0;
    std::vector<WindowId> children;  // top first
    FmRect rect{0, 0, 0, 0};
    bool visible = false;
    bool iconic = false;
    bool dying = false;  // kWmDestroy is on its way; a second destroy does nothing
    std::string title;
    std::vector<std::pair<std::string, intptr_t>> properties;
    WindowProc proc = nullptr;
    // Owned through a pointer so drawing code may keep it while the table grows.
    std::unique_ptr<Surface> surface;
};

struct Slot {
    uint32_t generation = 1;
    bool used = false;
    Window window;
};

struct Model {
    std::mutex mutex;
    std::vector<Slot> slots = std::vector<Slot>(1);  // index 0 is never a window
    std::vector<uint32_t> freeSlots;
    std::vector<WindowId> topLevel;  // top first
    std::deque<QueuedMessage> queue;
    std::deque<WindowEvent> log;
    WindowId focus = 0;
    WindowId active = 0;
    size_t live = 0;
    TextMeasureFn measure = nullptr;
};

Model& M() {
    static Model m;
    return m;
}

int32_t surfaceSide(int32_t low, int32_t high) {
    int64_t side = int64_t(high) - int64_t(low);
    return int32_t(std::clamp<int64_t>(side, 0, kMaxSurfaceSide));
}

// Sizes the window's surface to its rectangle, keeping the same object.
void fitSurface(Window& w) {
    int32_t width = surfaceSide(w.rect.left, w.rect.right);
    int32_t height = surfaceSide(w.rect.top, w.rect.bottom);
    Surface& s = *w.surface;
    if (s.width == width && s.height == height) return;
    try {
        s = Surface(width, height, kSurfaceBackground);
    } catch (const std::bad_alloc&) {
        s = Surface();
    }
}

uint32_t indexOf(WindowId id) {
    return id & kMaxIndex;
}

// The live window named by id, or null (mutex held).
Window* find(Model& m, WindowId id) {
    uint32_t index = indexOf(id);
    if (index == 0 || index >= m.slots.size()) return nullptr;
    Slot& s = m.slots[index];
    if (!s.used || (id >> kIndexBits) != s.generation) return nullptr;
    return &s.window;
}

void record(Model& m, EventKind kind, WindowId window, intptr_t detail) {
    if (m.log.size() >= kMaxEvents) m.log.pop_front();
    m.log.push_back(WindowEvent{kind, window, detail});
}

std::vector<WindowId>* siblingList(Model& m, WindowId parent) {
    if (parent == 0) return &m.topLevel;
    Window* p = find(m, parent);
    return p ? &p->children : nullptr;
}

// Moves the window within its sibling list; records the event when the
// position changed.
bool moveInZOrder(WindowId id, bool toTop) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    std::vector<WindowId>* list = siblingList(m, w->parent);
    auto it = std::find(list->begin(), list->end(), id);
    size_t before = size_t(it - list->begin());
    list->erase(it);
    if (toTop) {
        list->insert(list->begin(), id);
    } else {
        list->push_back(id);
    }
    size_t after = toTop ? 0 : list->size() - 1;
    if (after != before) record(m, EventKind::ZOrder, id, intptr_t(after));
    return true;
}

void collectSubtree(Model& m, WindowId id, std::vector<WindowId>& out) {
    Window* w = find(m, id);
    if (!w || w->dying) return;
    w->dying = true;
    for (WindowId child : w->children) collectSubtree(m, child, out);
    out.push_back(id);
}

WindowProc procOf(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    return w ? w->proc : nullptr;
}

// Changes the focus or active window and tells both windows.
bool switchTo(WindowId id, bool focus) {
    Model& m = M();
    WindowId old;
    {
        std::lock_guard lock(m.mutex);
        if (id != 0 && !find(m, id)) return false;
        WindowId& current = focus ? m.focus : m.active;
        old = current;
        if (old == id) return true;
        current = id;
        EventKind kind = focus ? EventKind::Focus : EventKind::Activated;
        if (old && find(m, old)) record(m, kind, old, 0);
        if (id) record(m, kind, id, 1);
    }
    if (focus) {
        if (old) sendMessage(old, kWmKillFocus, intptr_t(id), 0);
        if (id) sendMessage(id, kWmSetFocus, intptr_t(old), 0);
    } else {
        if (old) {
            sendMessage(old, kWmNcActivate, 0, 0);
            sendMessage(old, kWmActivate, 0, intptr_t(id));
        }
        if (id) {
            sendMessage(id, kWmNcActivate, 1, 0);
            sendMessage(id, kWmActivate, 1, intptr_t(old));
        }
    }
    return true;
}

}  // namespace

WindowId createWindow(WindowId parent, const FmRect& rect, const char* title, WindowProc proc,
                      bool visible) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    std::vector<WindowId>* siblings = siblingList(m, parent);
    if (!siblings) return 0;
    uint32_t index;
    if (!m.freeSlots.empty()) {
        index = m.freeSlots.back();
        m.freeSlots.pop_back();
    } else {
        if (m.slots.size() > kMaxIndex) return 0;
        index = uint32_t(m.slots.size());
        m.slots.emplace_back();
        siblings = siblingList(m, parent);  // the table may have moved
    }
    std::unique_ptr<Surface> surface(new (std::nothrow) Surface());
    if (!surface) {
        m.freeSlots.push_back(index);
        return 0;
    }
    Slot& s = m.slots[index];
    s.used = true;
    s.window = Window{};
    s.window.surface = std::move(surface);
    s.window.parent = parent;
    s.window.rect = rect;
    s.window.visible = visible;
    s.window.title = title ? title : "";
    s.window.proc = proc;
    fitSurface(s.window);
    WindowId id = (s.generation << kIndexBits) | index;
    registerWindowSurface(id, s.window.surface.get());
    siblings->insert(siblings->begin(), id);
    ++m.live;
    record(m, EventKind::Created, id, intptr_t(parent));
    return id;
}

bool destroyWindow(WindowId id) {
    Model& m = M();
    std::vector<WindowId> doomed;
    {
        std::lock_guard lock(m.mutex);
        collectSubtree(m, id, doomed);
    }
    if (doomed.empty()) return false;
    for (WindowId w : doomed) sendMessage(w, kWmDestroy, 0, 0);

    std::lock_guard lock(m.mutex);
    for (WindowId w : doomed) {
        Window* win = find(m, w);
        if (!win) continue;  // a procedure destroyed it meanwhile
        if (std::vector<WindowId>* list = siblingList(m, win->parent)) {
            list->erase(std::remove(list->begin(), list->end(), w), list->end());
        }
        for (WindowId child : win->children) {
            // Children created during kWmDestroy are orphaned to the top level.
            if (Window* c = find(m, child)) {
                c->parent = 0;
                m.topLevel.push_back(child);
            }
        }
        std::erase_if(m.queue, [w](const QueuedMessage& q) { return q.window == w; });
        if (m.focus == w) m.focus = 0;
        if (m.active == w) m.active = 0;
        unregisterWindowSurface(w);
        uint32_t index = indexOf(w);
        Slot& s = m.slots[index];
        s.used = false;
        s.window = Window{};
        --m.live;
        record(m, EventKind::Destroyed, w, 0);
        if (s.generation < kMaxGeneration) {
            ++s.generation;
            m.freeSlots.push_back(index);
        }  // else the slot is retired for good
    }
    return true;
}

bool isWindow(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return find(m, id) != nullptr;
}

void destroyAllWindows() {
    // Windows created while others are destroyed are taken in the next pass.
    for (;;) {
        std::vector<WindowId> tops = childrenOf(0);
        bool any = false;
        for (WindowId w : tops) any = destroyWindow(w) || any;
        if (!any) break;
    }
}

size_t windowCount() {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return m.live;
}

WindowId parentOf(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    return w ? w->parent : 0;
}

std::vector<WindowId> childrenOf(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    std::vector<WindowId>* list = siblingList(m, id);
    return list ? *list : std::vector<WindowId>{};
}

WindowId firstChild(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    std::vector<WindowId>* list = siblingList(m, id);
    return list && !list->empty() ? list->front() : 0;
}

WindowId lastChild(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    std::vector<WindowId>* list = siblingList(m, id);
    return list && !list->empty() ? list->back() : 0;
}

namespace {
WindowId neighbour(WindowId id, int step) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return 0;
    std::vector<WindowId>* list = siblingList(m, w->parent);
    auto it = std::find(list->begin(), list->end(), id);
    ptrdiff_t pos = (it - list->begin()) + step;
    if (pos < 0 || pos >= ptrdiff_t(list->size())) return 0;
    return (*list)[size_t(pos)];
}
}  // namespace

WindowId nextSibling(WindowId id) {
    return neighbour(id, 1);
}
WindowId previousSibling(WindowId id) {
    return neighbour(id, -1);
}

bool bringToTop(WindowId id) {
    return moveInZOrder(id, true);
}
bool sendToBack(WindowId id) {
    return moveInZOrder(id, false);
}

bool setRect(WindowId id, const FmRect& rect) {
    bool resized;
    {
        Model& m = M();
        std::lock_guard lock(m.mutex);
        Window* w = find(m, id);
        if (!w) return false;
        FmRect old = w->rect;
        if (old.left == rect.left && old.top == rect.top && old.right == rect.right &&
            old.bottom == rect.bottom)
            return true;
        w->rect = rect;
        fitSurface(*w);
        resized = (old.right - old.left != rect.right - rect.left) ||
                  (old.bottom - old.top != rect.bottom - rect.top);
        record(m, EventKind::Moved, id, 0);
    }
    sendMessage(id, kWmMove, 0, 0);
    if (resized) sendMessage(id, kWmSize, 0, 0);
    return true;
}

bool getRect(WindowId id, FmRect& rect) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    rect = w->rect;
    return true;
}

bool showWindow(WindowId id, bool show) {
    {
        Model& m = M();
        std::lock_guard lock(m.mutex);
        Window* w = find(m, id);
        if (!w) return false;
        if (w->visible == show) return true;
        w->visible = show;
        record(m, show ? EventKind::Shown : EventKind::Hidden, id, 0);
    }
    sendMessage(id, kWmShowWindow, show ? 1 : 0, 0);
    return true;
}

bool isVisible(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    return w && w->visible;
}

bool setIconic(WindowId id, bool iconic) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    if (w->iconic != iconic) {
        w->iconic = iconic;
        record(m, EventKind::Iconic, id, iconic ? 1 : 0);
    }
    return true;
}

bool isIconic(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    return w && w->iconic;
}

bool setFocus(WindowId id) {
    return switchTo(id, true);
}
bool setActive(WindowId id) {
    return switchTo(id, false);
}

WindowId focusWindow() {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return m.focus;
}

WindowId activeWindow() {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return m.active;
}

bool setTitle(WindowId id, const char* title) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    w->title = title ? title : "";
    record(m, EventKind::Title, id, 0);
    return true;
}

bool getTitle(WindowId id, std::string& title) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    title = w->title;
    return true;
}

bool setProperty(WindowId id, const char* name, intptr_t value) {
    if (!name) return false;
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    for (auto& p : w->properties) {
        if (p.first == name) {
            p.second = value;
            return true;
        }
    }
    w->properties.emplace_back(name, value);
    return true;
}

intptr_t getProperty(WindowId id, const char* name) {
    if (!name) return 0;
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return 0;
    for (const auto& p : w->properties)
        if (p.first == name) return p.second;
    return 0;
}

bool hasProperty(WindowId id, const char* name) {
    if (!name) return false;
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    for (const auto& p : w->properties)
        if (p.first == name) return true;
    return false;
}

intptr_t removeProperty(WindowId id, const char* name) {
    if (!name) return 0;
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return 0;
    for (auto it = w->properties.begin(); it != w->properties.end(); ++it) {
        if (it->first == name) {
            intptr_t value = it->second;
            w->properties.erase(it);
            return value;
        }
    }
    return 0;
}

bool setWindowProc(WindowId id, WindowProc proc) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    Window* w = find(m, id);
    if (!w) return false;
    w->proc = proc;
    return true;
}

intptr_t sendMessage(WindowId id, uint32_t message, intptr_t wParam, intptr_t lParam) {
    WindowProc proc = procOf(id);
    return proc ? proc(id, message, wParam, lParam) : 0;
}

bool postMessage(WindowId id, uint32_t message, intptr_t wParam, intptr_t lParam) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    if (!find(m, id) || m.queue.size() >= kMaxQueued) return false;
    m.queue.push_back(QueuedMessage{id, message, wParam, lParam});
    return true;
}

bool peekMessage(WindowId id, QueuedMessage& out, bool remove) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    for (auto it = m.queue.begin(); it != m.queue.end(); ++it) {
        if (id == 0 || it->window == id) {
            out = *it;
            if (remove) m.queue.erase(it);
            return true;
        }
    }
    return false;
}

size_t removeMessages(WindowId id, uint32_t message) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return std::erase_if(
        m.queue, [&](const QueuedMessage& q) { return q.window == id && q.message == message; });
}

size_t queuedMessageCount(WindowId id) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return size_t(std::count_if(m.queue.begin(), m.queue.end(),
                                [&](const QueuedMessage& q) { return id == 0 || q.window == id; }));
}

bool updateWindow(WindowId id) {
    {
        Model& m = M();
        std::lock_guard lock(m.mutex);
        if (!find(m, id)) return false;
        record(m, EventKind::Painted, id, 0);
    }
    sendMessage(id, kWmNcPaint, 0, 0);
    sendMessage(id, kWmPaint, 0, 0);
    return true;
}

bool saveSurfacePng(WindowId id, const std::string& path) {
    Surface copy;
    {
        Model& m = M();
        std::lock_guard lock(m.mutex);
        Window* w = find(m, id);
        if (!w) return false;
        copy = *w->surface;
    }
    return writePng(copy, path);
}

std::vector<WindowEvent> events() {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    return std::vector<WindowEvent>(m.log.begin(), m.log.end());
}

void clearEvents() {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    m.log.clear();
}

void setTextMeasure(TextMeasureFn fn) {
    Model& m = M();
    std::lock_guard lock(m.mutex);
    m.measure = fn;
}

int32_t measureText(intptr_t dc, const char* text, int32_t length) {
    TextMeasureFn fn;
    {
        Model& m = M();
        std::lock_guard lock(m.mutex);
        fn = m.measure;
    }
    if (fn) return fn(dc, text, length);
    if (!text || length <= 0) return 0;
    return length * kFixedCharWidth;
}

}  // namespace rc::platform
