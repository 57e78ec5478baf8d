// Routing message blocks to handler windows, and finding the first window
// of a handler type.
#include "platform/window.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "ui/hooks.h"
#include "ui/method_table.h"
#include "ui/window_data.h"

namespace plat = rc::platform;

namespace {

const bool gHooked = rc::ui::installHooks();

// The registry's window for the type when exactly one window of it is open.
FmWindow registryWindow(OSType type) {
    intptr_t slot = GetAGlobal(kSlotOpenWindowRegistry);
    if (!rc::ui::isHandle(slot)) return 0;
    auto registry = reinterpret_cast<Handle>(slot);
    if (!*registry) return 0;
    uint32_t n = FmGetHandleSize(registry) / sizeof(FmWindowRegistryEntry);
    auto* entries = reinterpret_cast<const FmWindowRegistryEntry*>(*registry);
    for (uint32_t i = 0; i < n; ++i) {
        if (entries[i].type != type) continue;
        // A registry entry outliving its window is not an answer.
        if (entries[i].count == 1 && plat::isWindow(entries[i].window)) return entries[i].window;
        return 0;
    }
    return 0;
}

bool isOfType(FmWindow window, OSType type) {
    OSType t;
    return rc::ui::windowHandlerType(window, t) && t == type;
}

}  // namespace

RC_API FmWindow GetFirstWind(OSType type) {
    if (!rc::ui::interfacePresent()) return 0;
    auto main = FmWindow(GetMainWnd());
    if (isOfType(main, type)) return main;
    if (FmWindow w = registryWindow(type)) return w;
    for (FmWindow child : plat::childrenOf(main))
        if (isOfType(child, type)) return child;
    for (FmWindow sibling : plat::childrenOf(plat::parentOf(main)))
        if (sibling != main && isOfType(sibling, type)) return sibling;
    return 0;
}

RC_API int16_t ClassMessage(OSType type, FmWindow window, intptr_t* block) {
    if (!block) return 1;
    if (!rc::ui::interfacePresent()) return rc::ui::plainAnswer(block[0]);
    rc::ui::HandlerCall call(type, kHandlerMessageProcIndex);
    if (!call.procedure()) return 1;
    return call.run(
        [&](void* proc) { return reinterpret_cast<HandlerMessageProc>(proc)(window, block); });
}

RC_API int16_t HDLRSendMessage(OSType type, intptr_t* block) {
    return ClassMessage(type, 0, block);
}

RC_API int16_t Message(FmWindow window, intptr_t* block) {
    if (!block) return 1;
    OSType type;
    if (!rc::ui::interfacePresent() || !rc::ui::windowHandlerType(window, type))
        return rc::ui::plainAnswer(block[0]);
    return ClassMessage(type, window, block);
}

RC_API int16_t HDLRSendWindowMessage(FmWindow window, intptr_t* block) {
    return Message(window, block);
}

RC_API int16_t HDLRSendMessageToFirst(OSType type, intptr_t* block) {
    return Message(GetFirstWind(type), block);
}

RC_API int16_t PMSendMessage(OSType type, intptr_t code, intptr_t p1, intptr_t p2, void* pointer,
                             intptr_t p4) {
    intptr_t block[kMessageBlockWords] = {code, p1, p2, reinterpret_cast<intptr_t>(pointer), p4};
    return HDLRSendMessageToFirst(type, block);
}

RC_API int16_t SendBigMessage(OSType type, intptr_t code, intptr_t p1, intptr_t p2, intptr_t p3,
                              intptr_t p4, intptr_t p5, intptr_t p6, intptr_t p7, intptr_t p8) {
    intptr_t block[kMessageBlockWords] = {code, p1, p2, p3, p4, p5, p6, p7, p8};
    return HDLRSendMessageToFirst(type, block);
}

RC_API int16_t SendWindowMessage(FmWindow window, intptr_t code, intptr_t p1, intptr_t p2,
                                 intptr_t p3, intptr_t p4) {
    intptr_t block[kMessageBlockWords] = {code, p1, p2, p3, p4};
    return Message(window, block);
}

RC_API int16_t MessageAll(intptr_t* block) {
    if (!block) return 1;
    int16_t answer = rc::ui::plainAnswer(block[0]);
    if (!rc::ui::interfacePresent()) return answer;
    // A snapshot: handlers may open or close windows while they answer.
    for (FmWindow child : plat::childrenOf(FmWindow(GetMainWnd()))) {
        OSType type;
        if (rc::ui::windowHandlerType(child, type)) answer = ClassMessage(type, child, block);
    }
    return answer;
}
