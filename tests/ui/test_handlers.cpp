#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <cstring>
#include <string>
#include <vector>

#include "core/text_hooks.h"
#include "media/media_hooks.h"
#include "platform/alloc.h"
#include "platform/window.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/alerts.h"
#include "reelcore/filetable.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "ui/handler_links.h"

namespace plat = rc::platform;
namespace links = rc::ui::links;

namespace {

constexpr OSType kTypeTEST = 0x54455354;  // 'TEST'

struct Call {
    OSType handler;
    FmWindow window;
    std::array<intptr_t, 9> block;
    intptr_t handlerFile;  // slot 333 during the call
    int32_t resFile;       // current resource file during the call
};
std::vector<Call> gCalls;

// A fake resource-file chain: the current file is a number.
int32_t gCurRes = 7;
int gReleases = 0;

template <OSType kType>
int16_t recordingHandler(FmWindow window, intptr_t* block) {
    Call c{kType, window, {}, GetAGlobal(kSlotCurrentHandlerFile), gCurRes};
    std::memcpy(c.block.data(), block, sizeof c.block);
    gCalls.push_back(c);
    gCurRes = 99;  // handlers may switch resource files
    return int16_t(block[1] + 1);
}

void* procs(HandlerMessageProc message) {
    return reinterpret_cast<void*>(message);
}

class Handlers : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        plat::destroyAllWindows();
        plat::clearEvents();
        DBActivate(0);
        gCalls.clear();
        gCurRes = 7;
        gReleases = 0;
        links::Hooks hooks;
        hooks.currentResFile = [] { return gCurRes; };
        hooks.useResFile = [](int32_t f) {
            if (f != -1) gCurRes = f;
        };
        links::setHooks(hooks);
        table_ = FmNewHandle(0);
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(table_));
    }

    void TearDown() override {
        plat::destroyAllWindows();
        plat::resetAllocationFaults();
        links::setHooks(links::Hooks{});
        FmDisposeHandle(table_);
        DBActivate(0);
    }

    void add(OSType type, HandlerMessageProc message, int16_t fileID = 0) {
        void* entries[8] = {nullptr, nullptr, procs(message)};
        ASSERT_EQ(AddMethod(type, entries, table_, fileID), noErr);
    }

    // A window whose window data names the handler type.
    static FmWindow handlerWindow(FmWindow parent, OSType type) {
        FmRect r{0, 0, 10, 10};
        FmWindow w = FmWndCreate(parent, &r, "", nullptr, 1);
        Handle data = NewWData(w);
        std::memcpy(*data + 4, &type, 4);
        return w;
    }

    FmWindow openMainWindow() {
        add(kHandlerHIDE, recordingHandler<kHandlerHIDE>);
        FmWindow main = handlerWindow(0, kHandlerHIDE);
        SetAGlobal(kSlotMainWnd, main);
        return main;
    }

    Handle table_ = nullptr;
};

int16_t otherHandler(FmWindow, intptr_t*) {
    return 77;
}

TEST_F(Handlers, MethodTableNewestRegistrationWins) {
    int16_t fileID = -5;
    EXPECT_EQ(LookupMethod(kTypeTEST, table_, 2, &fileID), nullptr);
    EXPECT_EQ(fileID, 0);

    add(kTypeTEST, recordingHandler<kTypeTEST>, 3);
    add(kHandlerPROJ, otherHandler);
    add(kTypeTEST, otherHandler, 4);
    EXPECT_EQ(LookupMethod(kTypeTEST, table_, 2, &fileID), procs(otherHandler));
    EXPECT_EQ(fileID, 4);
    EXPECT_EQ(LookupMethod(kHandlerPROJ, table_, 2, &fileID), procs(otherHandler));
    EXPECT_EQ(fileID, 0);
    EXPECT_EQ(LookupMethod(kTypeTEST, table_, 0, &fileID), nullptr);  // no create procedure
    EXPECT_EQ(fileID, 4);
    fileID = -5;
    EXPECT_EQ(LookupMethod(kTypeTEST, table_, 8, &fileID), nullptr);
    EXPECT_EQ(fileID, 0);
    EXPECT_EQ(LookupMethod(kHandlerPBAR, table_, 2, &fileID), nullptr);
    EXPECT_EQ(LookupMethod(kTypeTEST, nullptr, 2, &fileID), nullptr);

    // All eight addresses may be omitted: the entry is resolved by name later.
    EXPECT_EQ(AddMethod(kHandlerVCLP, nullptr, table_, 12), noErr);
    EXPECT_EQ(LookupMethod(kHandlerVCLP, table_, 2, &fileID), nullptr);
    EXPECT_EQ(fileID, 12);
    EXPECT_EQ(*reinterpret_cast<int16_t*>(*table_), 4);  // the entry count leads the block
    EXPECT_EQ(AddMethod(kTypeTEST, nullptr, nullptr, 0), nilHandleErr);

    // A failed resize is reported and leaves the table as it was.
    uint32_t before = FmGetHandleSize(table_);
    plat::failAllocationsAbove(1);
    EXPECT_EQ(AddMethod(kHandlerPBAR, nullptr, table_, 1), memFullErr);
    plat::resetAllocationFaults();
    EXPECT_EQ(FmGetHandleSize(table_), before);
    EXPECT_EQ(LookupMethod(kHandlerPBAR, table_, 2, &fileID), nullptr);
    EXPECT_EQ(LookupMethod(kTypeTEST, table_, 2, &fileID), procs(otherHandler));
}

TEST_F(Handlers, MessagesReachBuiltInHandlersAndRestoreState) {
    FmWindow main = openMainWindow();
    SetAGlobal(kSlotCurrentHandlerFile, 55);
    intptr_t block[9] = {3, 40, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(Message(main, block), 41);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].handler, kHandlerHIDE);
    EXPECT_EQ(gCalls[0].window, main);
    EXPECT_EQ(gCalls[0].block[8], 8);
    EXPECT_EQ(gCalls[0].handlerFile, 0);  // built into the executable
    EXPECT_EQ(gCalls[0].resFile, 7);
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 55);
    EXPECT_EQ(gCurRes, 7);

    // A built-in procedure registered under a FileID runs as that file.
    add(kTypeTEST, recordingHandler<kTypeTEST>, 21);
    EXPECT_EQ(ClassMessage(kTypeTEST, 0, block), 41);
    EXPECT_EQ(HDLRSendMessage(kTypeTEST, block), 41);
    ASSERT_EQ(gCalls.size(), 3u);
    EXPECT_EQ(gCalls[1].window, 0u);
    EXPECT_EQ(gCalls[1].handlerFile, 21);
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 55);
    EXPECT_EQ(gCurRes, 7);
    EXPECT_EQ(HDLRGetCurrentResFile(), -1);  // no module file behind FileID 55

    // Unreachable handlers answer 1 and nothing is called.
    EXPECT_EQ(AddMethod(kHandlerPBAR, nullptr, table_, 0), noErr);
    EXPECT_EQ(ClassMessage(kHandlerPBAR, 0, block), 1);
    EXPECT_EQ(ClassMessage(kHandlerLIBR, 0, block), 1);
    block[0] = 10;
    EXPECT_EQ(ClassMessage(kHandlerLIBR, 0, block), 1);
    EXPECT_EQ(ClassMessage(kHandlerLIBR, 0, nullptr), 1);
    EXPECT_EQ(gCalls.size(), 3u);
    EXPECT_EQ(gCurRes, 7);
}

TEST_F(Handlers, SendersFillTheirBlocks) {
    FmWindow main = openMainWindow();
    int payload = 0;
    EXPECT_EQ(PMSendMessage(kHandlerHIDE, 104, 11, 12, &payload, 14), 12);
    EXPECT_EQ(SendBigMessage(kHandlerHIDE, 24, 1, 2, 3, 4, 5, 6, 7, 8), 2);
    EXPECT_EQ(SendWindowMessage(main, 72, 9, 5, 3, 4), 10);
    intptr_t block[9] = {28, 30};
    EXPECT_EQ(HDLRSendMessageToFirst(kHandlerHIDE, block), 31);
    EXPECT_EQ(HDLRSendWindowMessage(main, block), 31);
    ASSERT_EQ(gCalls.size(), 5u);
    using B = std::array<intptr_t, 9>;
    EXPECT_EQ(gCalls[0].block,
              (B{104, 11, 12, reinterpret_cast<intptr_t>(&payload), 14, 0, 0, 0, 0}));
    EXPECT_EQ(gCalls[1].block, (B{24, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(gCalls[2].block, (B{72, 9, 5, 3, 4, 0, 0, 0, 0}));
    for (const Call& c : gCalls) EXPECT_EQ(c.window, main);
    // No window of the type: a plain window's answer.
    EXPECT_EQ(PMSendMessage(kHandlerPBAR, 56, 1, 100, nullptr, 0), 1);
    EXPECT_EQ(PMSendMessage(kHandlerPBAR, 10, 1, 100, nullptr, 0), 0);
    EXPECT_EQ(gCalls.size(), 5u);
}

TEST_F(Handlers, PlainWindowsAnswerOneOrZeroForCodeTen) {
    FmWindow main = openMainWindow();
    FmRect r{0, 0, 1, 1};
    FmWindow plain = FmWndCreate(main, &r, "", nullptr, 1);
    intptr_t ten[9] = {10, 5};
    intptr_t eleven[9] = {11, 5};
    EXPECT_EQ(Message(0, ten), 0);
    EXPECT_EQ(Message(0, eleven), 1);
    EXPECT_EQ(Message(plain, ten), 0);
    EXPECT_EQ(Message(plain, eleven), 1);
    // A free reference value in the window-data property is not window data.
    SetWRefCon(plain, 0x12345);
    EXPECT_EQ(Message(plain, eleven), 1);
    Handle tiny = FmNewHandleClear(4);
    SetFilmoryxWindowData(plain, tiny);
    EXPECT_EQ(Message(plain, ten), 0);
    EXPECT_EQ(Message(0xBEEF, eleven), 1);
    EXPECT_TRUE(gCalls.empty());
    FmDisposeHandle(tiny);
}

TEST_F(Handlers, WithoutAMainWindowEverySendAnswersPlainly) {
    openMainWindow();
    add(kTypeTEST, recordingHandler<kTypeTEST>);
    FmWindow orphan = handlerWindow(0, kTypeTEST);
    for (intptr_t mainWnd : {intptr_t(0), intptr_t(0x7FFF1234)}) {  // none, then a stale id
        SetAGlobal(kSlotMainWnd, mainWnd);
        for (intptr_t code : {10, 56}) {
            int16_t plain = code == 10 ? 0 : 1;
            intptr_t block[9] = {code, 1};
            EXPECT_EQ(Message(orphan, block), plain);
            EXPECT_EQ(HDLRSendWindowMessage(orphan, block), plain);
            EXPECT_EQ(ClassMessage(kTypeTEST, orphan, block), plain);
            EXPECT_EQ(HDLRSendMessage(kTypeTEST, block), plain);
            EXPECT_EQ(HDLRSendMessageToFirst(kTypeTEST, block), plain);
            EXPECT_EQ(PMSendMessage(kHandlerHIDE, code, 1, 2, nullptr, 4), plain);
            EXPECT_EQ(SendBigMessage(kHandlerHIDE, code, 1, 2, 3, 4, 5, 6, 7, 8), plain);
            EXPECT_EQ(SendWindowMessage(orphan, code, 1, 2, 3, 4), plain);
            EXPECT_EQ(MessageAll(block), plain);
        }
        EXPECT_EQ(GetFirstWind(kTypeTEST), 0u);
        EXPECT_EQ(GetFirstWind(kHandlerHIDE), 0u);
        DBActivate(1);
        EXPECT_EQ(FmDebug(0, "x%d", 1), 0);
        DBActivate(0);
    }
    EXPECT_TRUE(gCalls.empty());

    // Running out of memory with no interface only fails the allocation.
    plat::failAllocationsAbove(512);
    EXPECT_EQ(FmNewHandle(4096), nullptr);
    plat::resetAllocationFaults();
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(Handlers, OutOfMemoryNoticesGoToTheMainWindow) {
    FmWindow main = openMainWindow();
    plat::failAllocationsAbove(512);
    EXPECT_EQ(FmNewHandle(4096), nullptr);
    plat::resetAllocationFaults();
    ASSERT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[0].block[0], 105);
    EXPECT_EQ(gCalls[1].block[0], 95);
    EXPECT_EQ(gCalls[1].window, main);
}

TEST_F(Handlers, FirstWindowByZOrderNotRegistry) {
    FmWindow main = openMainWindow();
    FmWindow older = handlerWindow(main, kHandlerPROJ);
    FmWindow newer = handlerWindow(main, kHandlerPROJ);
    FmRect r{0, 0, 1, 1};
    FmWndCreate(main, &r, "plain", nullptr, 1);  // on top, no window data

    Handle registry = FmNewHandle(2 * sizeof(FmWindowRegistryEntry));
    auto* entries = reinterpret_cast<FmWindowRegistryEntry*>(*registry);
    entries[0] = {kHandlerPROJ, 2, older};
    entries[1] = {kHandlerTITL, 1, older};
    SetAGlobal(kSlotOpenWindowRegistry, reinterpret_cast<intptr_t>(registry));

    EXPECT_EQ(GetFirstWind(kHandlerPROJ), newer);
    FmWndBringToTop(older);
    EXPECT_EQ(GetFirstWind(kHandlerPROJ), older);
    // A sole window in the registry is taken at its word...
    EXPECT_EQ(GetFirstWind(kHandlerTITL), older);
    entries[0].count = 1;
    FmWndBringToTop(newer);
    EXPECT_EQ(GetFirstWind(kHandlerPROJ), older);
    // ...unless that window is gone.
    FmWndDestroy(older);
    EXPECT_EQ(GetFirstWind(kHandlerPROJ), newer);
    EXPECT_EQ(GetFirstWind(kHandlerTITL), 0u);

    EXPECT_EQ(GetFirstWind(kHandlerHIDE), main);
    FmWindow sibling = handlerWindow(0, kHandlerLIBR);
    FmWindow nested = handlerWindow(newer, kHandlerFOLD);
    EXPECT_EQ(GetFirstWind(kHandlerLIBR), sibling);
    EXPECT_EQ(GetFirstWind(kHandlerFOLD), 0u);  // grandchildren are not searched
    EXPECT_NE(nested, 0u);
    EXPECT_EQ(GetFirstWind(kHandlerPBAR), 0u);
    SetAGlobal(kSlotOpenWindowRegistry, 0);
    FmDisposeHandle(registry);
}

TEST_F(Handlers, WindowDataAndReferenceProperties) {
    FmRect r{0, 0, 1, 1};
    FmWindow w = FmWndCreate(0, &r, "", nullptr, 1);
    EXPECT_EQ(GetWData(w), nullptr);
    EXPECT_FALSE(HasFilmoryxWindowData(w));
    Handle data = NewWData(w);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(FmGetHandleSize(data), 67u);
    EXPECT_EQ(std::memcmp(*data, "dnaR", 4), 0);  // the word 'Rand', little-endian
    for (int i = 4; i < 67; ++i) ASSERT_EQ((*data)[i], 0) << i;
    EXPECT_EQ(GetWData(w), data);
    EXPECT_EQ(GetFilmoryxWindowData(w), data);
    EXPECT_EQ(GetWRefCon(w), reinterpret_cast<intptr_t>(data));
    EXPECT_TRUE(HasFilmoryxWindowData(w));
    EXPECT_EQ(FmWndGetProp(w, "WREFHI"), reinterpret_cast<intptr_t>(data));

    // Window data that is not ours is reachable but not taken for 'Rand' data.
    Handle foreign = FmNewHandleClear(16);
    SetFilmoryxWindowData(w, foreign);
    EXPECT_EQ(GetWData(w), nullptr);
    EXPECT_EQ(GetFilmoryxWindowData(w), foreign);
    DisposWData(w);  // not 'Rand' data: left alone
    EXPECT_TRUE(FmIsValidHandle(foreign));
    EXPECT_EQ(GetFilmoryxWindowData(w), foreign);
    FmDisposeHandle(data);

    Handle again = NewWData(w);
    DisposWData(w);
    EXPECT_FALSE(FmIsValidHandle(again));
    EXPECT_FALSE(HasFilmoryxWindowData(w));
    EXPECT_TRUE(FmIsValidHandle(foreign));

    // Reference values: plain numbers are removed, handles disposed of.
    SetDRefCon(w, 1234);
    EXPECT_EQ(GetDRefCon(w), 1234);
    EXPECT_EQ(FmWndGetProp(w, "DREFHI"), 1234);
    DisposDRefCon(w);
    EXPECT_FALSE(FmWndHasProp(w, "DREFHI"));
    SetDRefCon(w, reinterpret_cast<intptr_t>(foreign));
    DisposDRefCon(w);
    EXPECT_FALSE(FmIsValidHandle(foreign));
    Handle ref = FmNewHandle(8);
    SetWRefCon(w, reinterpret_cast<intptr_t>(ref));
    EXPECT_EQ(GetFilmoryxWindowData(w), ref);
    DisposWRefCon(w);
    EXPECT_FALSE(FmIsValidHandle(ref));
    EXPECT_FALSE(HasFilmoryxWindowData(w));
    EXPECT_EQ(NewWData(0xBEEF), nullptr);
}

int16_t answerWithWindowIndex(FmWindow window, intptr_t* block) {
    gCalls.push_back(Call{kTypeTEST, window, {}, 0, 0});
    return int16_t(block[1] + int16_t(gCalls.size()));
}

TEST_F(Handlers, MessageAllGoesTopDownToHandlerChildren) {
    FmWindow main = openMainWindow();
    add(kTypeTEST, answerWithWindowIndex);
    FmWindow a = handlerWindow(main, kTypeTEST);
    FmRect r{0, 0, 1, 1};
    FmWndCreate(main, &r, "plain", nullptr, 1);
    FmWindow b = handlerWindow(main, kTypeTEST);
    FmWindow c = handlerWindow(main, kTypeTEST);
    FmWndBringToTop(a);
    intptr_t block[9] = {72, 100};
    EXPECT_EQ(MessageAll(block), 103);  // the last answer
    ASSERT_EQ(gCalls.size(), 3u);
    EXPECT_EQ(gCalls[0].window, a);
    EXPECT_EQ(gCalls[1].window, c);
    EXPECT_EQ(gCalls[2].window, b);
}

struct DebugPiece {
    intptr_t code;
    std::string text;
    intptr_t number;
    intptr_t channel;
};
std::vector<DebugPiece> gPieces;

int16_t debugHandler(FmWindow, intptr_t* block) {
    DebugPiece p{block[0], {}, 0, block[2]};
    if (block[0] == 15) {
        p.text = reinterpret_cast<const char*>(block[1]);
    } else {
        p.number = block[1];
    }
    gPieces.push_back(p);
    return 0;
}

TEST_F(Handlers, DebugOutputPieceByPiece) {
    FmWindow main = openMainWindow();
    add(kHandlerDBUG, debugHandler);
    handlerWindow(main, kHandlerDBUG);
    gPieces.clear();

    plat::clearEvents();
    EXPECT_EQ(FmDebug(3, "off %d", 1), 0);
    EXPECT_TRUE(gPieces.empty());
    EXPECT_TRUE(plat::events().empty());

    EXPECT_EQ(DBActivate(1), 0);
    FmPoint pt{3, -4};
    FmRect rc{1, 2, 30, 40};
    EXPECT_EQ(FmDebug(9, "n=%d s=%s t=%t p=%p r=%r z=%s%%%ld end", 42, "str", kHandlerHIDE, &pt,
                      &rc, nullptr, 7),
              1);
    std::vector<std::pair<intptr_t, std::string>> want = {
        {15, "n="},  {16, "42"},  {15, " s="}, {15, "str"}, {15, " t="}, {15, "\4HIDE"},
        {15, " p="}, {15, "[x="}, {16, "3"},   {15, ",y="}, {16, "-4"},  {15, "]"},
        {15, " r="}, {15, "[L="}, {16, "1"},   {15, ",T="}, {16, "2"},   {15, ",R="},
        {16, "30"},  {15, ",B="}, {16, "40"},  {15, "]"},   {15, " z="}, {15, "(null)"},
        {15, "%"},   {16, "7"},   {15, " end"}};
    std::vector<std::pair<intptr_t, std::string>> got;
    for (const auto& p : gPieces) {
        got.emplace_back(p.code, p.code == 15 ? p.text : std::to_string(p.number));
        EXPECT_EQ(p.channel, 9);
    }
    EXPECT_EQ(got, want);

    // Long texts arrive in bounded pieces, nothing lost; unknown letters stay.
    gPieces.clear();
    std::string longText(600, 'x');
    longText[300] = 'y';
    EXPECT_EQ(FmDebug(1, "%s|%x%", longText.c_str()), 1);
    std::string joined;
    for (const auto& p : gPieces) {
        ASSERT_EQ(p.code, 15);
        EXPECT_LE(p.text.size(), 255u);
        joined += p.text;
    }
    EXPECT_EQ(joined, longText + "|%x%");
    EXPECT_GE(gPieces.size(), 3u);

    EXPECT_EQ(DBActivate(0), 1);
    gPieces.clear();
    EXPECT_EQ(FmDebug(1, "quiet"), 0);
    EXPECT_TRUE(gPieces.empty());

    // A debug handler that logs in turn is not re-entered.
    add(kHandlerDBUG, [](FmWindow, intptr_t* block) -> int16_t {
        gPieces.push_back({block[0], {}, 0, block[2]});
        return int16_t(FmDebug(2, "again"));
    });
    DBActivate(1);
    EXPECT_EQ(FmDebug(1, "once"), 1);
    EXPECT_EQ(gPieces.size(), 1u);
    DBActivate(0);
}

// ---- handlers implemented by a module ----

constexpr int16_t kModuleFile = 9;
constexpr int16_t kMissingFile = 10;
constexpr int16_t kNotAModuleFile = 11;
constexpr int32_t kModuleResFile = 40;
intptr_t gSeenHandlerFile = 0;
int32_t gSeenResFile = 0;
int32_t gSeenCurrentResFile = 0;
int gSeenRounding = 0;

int32_t openTestModule(int16_t fileID, std::string& path) {
    if (fileID == kMissingFile) return -1;
    path = fileID == kModuleFile ? REEL_TEST_HANDLER_MODULE : "/nonexistent/handler.so";
    gCurRes = kModuleResFile;
    return kModuleResFile;
}

intptr_t probe(intptr_t code) {
    gSeenHandlerFile = GetAGlobal(kSlotCurrentHandlerFile);
    gSeenResFile = HDLRGetCurrentResFile();
    gSeenCurrentResFile = gCurRes;
    gSeenRounding = fegetround();
    return code + 1;
}

TEST_F(Handlers, ModuleHandlersAreResolvedByName) {
    links::Hooks hooks;
    hooks.currentResFile = [] { return gCurRes; };
    hooks.useResFile = [](int32_t f) {
        if (f != -1) gCurRes = f;
    };
    hooks.openModuleFile = openTestModule;
    hooks.releaseModuleFile = [](int16_t) { ++gReleases; };
    links::setHooks(hooks);

    FmWindow main = openMainWindow();
    EXPECT_EQ(AddMethod(kHandlerVCLP, nullptr, table_, kModuleFile), noErr);
    FmWindow clip = handlerWindow(main, kHandlerVCLP);
    SetAGlobal(kSlotCurrentHandlerFile, 3);

    fesetround(FE_DOWNWARD);
    intptr_t block[9] = {13, 5, 0, 0, 0, 0, 0, 0, reinterpret_cast<intptr_t>(probe)};
    EXPECT_EQ(Message(clip, block), 105);
    fesetround(FE_TONEAREST);
    EXPECT_EQ(block[5], intptr_t(clip));
    EXPECT_EQ(block[6], 39);
    EXPECT_EQ(block[7], 14);
    EXPECT_EQ(gSeenHandlerFile, kModuleFile);
    EXPECT_EQ(gSeenResFile, kModuleResFile);
    EXPECT_EQ(gSeenCurrentResFile, kModuleResFile);
    EXPECT_EQ(gSeenRounding, FE_TONEAREST);
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 3);
    EXPECT_EQ(gCurRes, 7);
    EXPECT_EQ(gReleases, 2);  // the call's open, and HDLRGetCurrentResFile's

    // A module that cannot be opened, or that is not a module: answer 1.
    gReleases = 0;
    EXPECT_EQ(AddMethod(kHandlerLIBR, nullptr, table_, kMissingFile), noErr);
    EXPECT_EQ(AddMethod(kHandlerFOLD, nullptr, table_, kNotAModuleFile), noErr);
    EXPECT_EQ(HDLRSendMessage(kHandlerLIBR, block), 1);
    EXPECT_EQ(gReleases, 0);
    EXPECT_EQ(HDLRSendMessage(kHandlerFOLD, block), 1);
    EXPECT_EQ(gReleases, 1);
    EXPECT_EQ(gCurRes, 7);
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 3);
}

TEST(HandlerRuntime, FloatingPointResetRestoresDefaults) {
    fesetround(FE_UPWARD);
    feraiseexcept(FE_INEXACT);
    MyFPReset();
    EXPECT_EQ(fegetround(), FE_TONEAREST);
    EXPECT_FALSE(fetestexcept(FE_INEXACT));
}

}  // namespace

namespace {

ResFileRef gModuleRes = -1;

int16_t switchingHandler(FmWindow, intptr_t* block) {
    gModuleRes = OpenResFile(REEL_TEST_HANDLER_MODULE);
    block[1] = CurResFile();
    return 0;
}

TEST_F(Handlers, RealResourceChainIsRestoredAndHooksAnswerForTheWindow) {
    links::setHooks(links::Hooks{});  // the real resource chain
    ResFileRef library = InitResMgr(nullptr);
    ASSERT_NE(library, -1);
    FmWindow main = openMainWindow();
    add(kTypeTEST, switchingHandler);
    intptr_t block[9] = {1};
    EXPECT_EQ(ClassMessage(kTypeTEST, 0, block), 0);
    ASSERT_NE(gModuleRes, -1);
    EXPECT_EQ(block[1], gModuleRes);
    EXPECT_EQ(CurResFile(), library);
    EXPECT_EQ(ResError(), noErr);
    CloseResFile(gModuleRes);

    // The application's name is the main window's title.
    FmWndSetTitle(main, "Reel Test App");
    char name[256];
    GetAppName(name);
    EXPECT_STREQ(name, "Reel Test App");
    FmWndSetTextMeasure([](intptr_t, const char*, int32_t n) { return n * 3; });
    EXPECT_EQ(rc::texthooks::measureText(0, "abcd", 4), 12);
    FmWndSetTextMeasure(nullptr);
    FmWndSetIconic(main, 1);
    rc::texthooks::restoreMainWindow();
    EXPECT_FALSE(FmWndIsIconic(main));
}

}  // namespace

namespace {

intptr_t realProbe(intptr_t code) {
    gSeenHandlerFile = GetAGlobal(kSlotCurrentHandlerFile);
    gSeenResFile = HDLRGetCurrentResFile();
    gSeenCurrentResFile = CurResFile();
    return code;
}

TEST_F(Handlers, ModuleHandlersThroughTheFileTable) {
    links::setHooks(links::Hooks{});
    ResFileRef library = InitResMgr(nullptr);
    ASSERT_NE(library, -1);
    InitFileQueue();
    int16_t id = AddFile(REEL_TEST_HANDLER_MODULE, 0, 0, 0);
    ASSERT_GT(id, 0);
    FmWindow main = openMainWindow();
    ASSERT_EQ(AddMethod(kHandlerVCLP, nullptr, table_, id), noErr);
    FmWindow clip = handlerWindow(main, kHandlerVCLP);

    gSeenHandlerFile = gSeenResFile = gSeenCurrentResFile = -7;
    intptr_t block[9] = {20, 1, 0, 0, 0, 0, 0, 0, reinterpret_cast<intptr_t>(realProbe)};
    EXPECT_EQ(Message(clip, block), 101);
    EXPECT_EQ(block[6], 60);
    EXPECT_EQ(gSeenHandlerFile, id);
    EXPECT_NE(gSeenResFile, -1);
    EXPECT_NE(gSeenResFile, library);
    EXPECT_EQ(gSeenCurrentResFile, gSeenResFile);  // the module's resources come first
    EXPECT_EQ(CurResFile(), library);
    EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 0);
    EXPECT_EQ(HDLRGetCurrentResFile(), -1);

    // A FileID without a file, or a file that is not a module: answer 1.
    ASSERT_EQ(AddMethod(kHandlerLIBR, nullptr, table_, int16_t(id + 50)), noErr);
    EXPECT_EQ(HDLRSendMessage(kHandlerLIBR, block), 1);
    int16_t notModule = AddFile("/nonexistent/handler.so", 0, 0, 0);
    ASSERT_EQ(AddMethod(kHandlerFOLD, nullptr, table_, notModule), noErr);
    EXPECT_EQ(HDLRSendMessage(kHandlerFOLD, block), 1);
    EXPECT_EQ(CurResFile(), library);
}

}  // namespace

namespace {

TEST_F(Handlers, FileTableReachesTheInterfaceThroughTheWindowLayer) {
    EXPECT_FALSE(rc::media::hasActiveWindows());
    EXPECT_EQ(rc::media::sendMessage(kHandlerHIDE, 73, 5), 1);  // no interface: a plain answer
    FmWindow main = openMainWindow();
    EXPECT_TRUE(rc::media::hasActiveWindows());
    EXPECT_EQ(rc::media::sendMessage(kHandlerHIDE, 73, 5), 6);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].window, main);
    EXPECT_EQ(gCalls[0].block[0], 73);

    add(kHandlerDBUG, debugHandler);
    handlerWindow(main, kHandlerDBUG);
    gPieces.clear();
    DBActivate(1);
    rc::media::debugLine("AddFSSpec: FileID limit");
    DBActivate(0);
    ASSERT_EQ(gPieces.size(), 2u);
    EXPECT_EQ(gPieces[0].text, "AddFSSpec: FileID limit");
    EXPECT_EQ(gPieces[1].text, "\n");
}

}  // namespace
