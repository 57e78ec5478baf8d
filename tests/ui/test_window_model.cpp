#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/window.h"
#include "reelcore/windows.h"

namespace plat = rc::platform;

namespace {

struct Delivered {
    FmWindow window;
    uint32_t message;
    intptr_t wParam;
};
std::vector<Delivered> gDelivered;

intptr_t recordingProc(FmWindow w, uint32_t message, intptr_t wParam, intptr_t) {
    gDelivered.push_back({w, message, wParam});
    return intptr_t(message) + 1000;
}

class WindowModel : public ::testing::Test {
  protected:
    void SetUp() override {
        plat::destroyAllWindows();
        plat::clearEvents();
        plat::setTextMeasure(nullptr);
        gDelivered.clear();
    }
    void TearDown() override { plat::destroyAllWindows(); }

    static FmWindow make(FmWindow parent, const char* title = "w") {
        FmRect r{0, 0, 100, 50};
        return FmWndCreate(parent, &r, title, recordingProc, 1);
    }

    static std::vector<plat::WindowEvent> eventsOf(plat::EventKind kind) {
        std::vector<plat::WindowEvent> out;
        for (const auto& e : plat::events())
            if (e.kind == kind) out.push_back(e);
        return out;
    }
};

TEST_F(WindowModel, IdentifiersAreNeverReusedWhileStale) {
    FmWindow a = make(0);
    ASSERT_NE(a, 0u);
    EXPECT_GT(int32_t(a), 0);
    ASSERT_EQ(FmWndDestroy(a), 0);
    EXPECT_FALSE(FmWndIsWindow(a));
    EXPECT_EQ(FmWndDestroy(a), -1);

    FmWindow b = make(0);
    EXPECT_NE(b, a);
    EXPECT_EQ(b & 0xFFFF, a & 0xFFFF);  // same table slot, new generation
    // Operations through the stale identifier reach nothing.
    EXPECT_FALSE(FmWndSetTitle(a, "stale"));
    EXPECT_FALSE(FmWndSetProp(a, "X", 1));
    EXPECT_FALSE(FmWndPostMessage(a, 1, 0, 0));
    char title[8];
    EXPECT_EQ(FmWndGetTitle(a, title, sizeof title), -1);
    EXPECT_STREQ(title, "");
    FmWndDestroy(b);

    // Cycling one slot until its generations run out never repeats an id.
    std::set<FmWindow> seen;
    for (int i = 0; i < 0x8000; ++i) {
        FmWindow w = make(0);
        ASSERT_NE(w, 0u);
        ASSERT_TRUE(seen.insert(w).second) << "reused id " << w << " at " << i;
        FmWndDestroy(w);
    }
}

TEST_F(WindowModel, ChildrenKeepZOrderAndDieWithTheirParent) {
    FmWindow parent = make(0);
    FmWindow a = make(parent), b = make(parent), c = make(parent);
    // Newest on top.
    EXPECT_EQ(plat::childrenOf(parent), (std::vector<plat::WindowId>{c, b, a}));
    EXPECT_EQ(FmWndGetFirstChild(parent), c);
    EXPECT_EQ(FmWndGetLastChild(parent), a);
    EXPECT_EQ(FmWndGetNextSibling(c), b);
    EXPECT_EQ(FmWndGetPrevSibling(b), c);
    EXPECT_EQ(FmWndGetNextSibling(a), 0u);
    EXPECT_EQ(FmWndGetParent(a), parent);

    plat::clearEvents();
    EXPECT_TRUE(FmWndBringToTop(a));
    EXPECT_TRUE(FmWndBringToTop(a));  // already there: no event
    EXPECT_TRUE(FmWndSendToBack(c));
    EXPECT_EQ(plat::childrenOf(parent), (std::vector<plat::WindowId>{a, b, c}));
    auto z = eventsOf(plat::EventKind::ZOrder);
    ASSERT_EQ(z.size(), 2u);
    EXPECT_EQ(z[0].window, a);
    EXPECT_EQ(z[0].detail, 0);
    EXPECT_EQ(z[1].window, c);
    EXPECT_EQ(z[1].detail, 2);

    gDelivered.clear();
    plat::clearEvents();
    ASSERT_EQ(FmWndDestroy(parent), 0);
    for (FmWindow w : {parent, a, b, c}) EXPECT_FALSE(FmWndIsWindow(w));
    auto gone = eventsOf(plat::EventKind::Destroyed);
    ASSERT_EQ(gone.size(), 4u);
    EXPECT_EQ(gone.back().window, parent);  // children go first
    ASSERT_EQ(gDelivered.size(), 4u);
    for (const auto& d : gDelivered) EXPECT_EQ(d.message, uint32_t(kFmWndDestroy));
    EXPECT_EQ(FmWndCreate(parent, nullptr, "orphan", nullptr, 0), 0u);
}

TEST_F(WindowModel, ActivationAndFocusAreRecordedAndDelivered) {
    FmWindow a = make(0), b = make(0);
    plat::clearEvents();
    gDelivered.clear();
    EXPECT_TRUE(FmWndSetActive(a));
    EXPECT_TRUE(FmWndSetActive(b));
    EXPECT_EQ(FmWndGetActive(), b);
    auto act = eventsOf(plat::EventKind::Activated);
    ASSERT_EQ(act.size(), 3u);
    EXPECT_EQ(act[0].window, a);
    EXPECT_EQ(act[0].detail, 1);
    EXPECT_EQ(act[1].window, a);
    EXPECT_EQ(act[1].detail, 0);
    EXPECT_EQ(act[2].window, b);
    EXPECT_EQ(act[2].detail, 1);
    // a: nc-activate(1), activate(1); then a loses, b gains.
    std::vector<std::pair<FmWindow, uint32_t>> got;
    for (const auto& d : gDelivered) got.emplace_back(d.window, d.message);
    std::vector<std::pair<FmWindow, uint32_t>> want = {{a, kFmWndNcActivate}, {a, kFmWndActivate},
                                                       {a, kFmWndNcActivate}, {a, kFmWndActivate},
                                                       {b, kFmWndNcActivate}, {b, kFmWndActivate}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(gDelivered[2].wParam, 0);  // deactivation

    EXPECT_TRUE(FmWndSetFocus(a));
    EXPECT_EQ(FmWndGetFocus(), a);
    EXPECT_FALSE(FmWndSetFocus(0xDEAD));
    EXPECT_EQ(FmWndGetFocus(), a);
    FmWndDestroy(a);
    EXPECT_EQ(FmWndGetFocus(), 0u);
    EXPECT_EQ(FmWndGetActive(), b);

    plat::clearEvents();
    gDelivered.clear();
    EXPECT_TRUE(FmWndUpdate(b));
    ASSERT_EQ(eventsOf(plat::EventKind::Painted).size(), 1u);
    ASSERT_EQ(gDelivered.size(), 2u);
    EXPECT_EQ(gDelivered[0].message, uint32_t(kFmWndNcPaint));
    EXPECT_EQ(gDelivered[1].message, uint32_t(kFmWndPaint));
}

TEST_F(WindowModel, GeometryVisibilityAndIconicState) {
    FmWindow w = make(0);
    plat::clearEvents();
    FmRect r{10, 20, 110, 70};
    EXPECT_TRUE(FmWndSetRect(w, &r));
    EXPECT_TRUE(FmWndSetRect(w, &r));  // unchanged: one event only
    FmRect back{};
    EXPECT_TRUE(FmWndGetRect(w, &back));
    EXPECT_EQ(back.left, 10);
    EXPECT_EQ(back.bottom, 70);
    EXPECT_EQ(eventsOf(plat::EventKind::Moved).size(), 1u);
    EXPECT_FALSE(FmWndGetRect(w, nullptr));

    EXPECT_TRUE(FmWndIsVisible(w));
    EXPECT_TRUE(FmWndShow(w, 0));
    EXPECT_FALSE(FmWndIsVisible(w));
    EXPECT_EQ(eventsOf(plat::EventKind::Hidden).size(), 1u);
    EXPECT_TRUE(FmWndSetIconic(w, 1));
    EXPECT_TRUE(FmWndIsIconic(w));
    EXPECT_TRUE(FmWndSetIconic(w, 0));
    auto ic = eventsOf(plat::EventKind::Iconic);
    ASSERT_EQ(ic.size(), 2u);
    EXPECT_EQ(ic[0].detail, 1);
    EXPECT_EQ(ic[1].detail, 0);
    EXPECT_EQ(FmWndEventCount(), int32_t(plat::events().size()));
    FmWindowEvent e{};
    EXPECT_TRUE(FmWndGetEvent(0, &e));
    EXPECT_EQ(e.kind, kFmEventMoved);
    EXPECT_FALSE(FmWndGetEvent(FmWndEventCount(), &e));
}

TEST_F(WindowModel, PropertiesTitlesAndTextMeasure) {
    FmWindow w = make(0, "Main title");
    EXPECT_TRUE(FmWndSetProp(w, "WREFHI", 11));
    EXPECT_TRUE(FmWndSetProp(w, "wrefhi", 22));  // names are exact
    EXPECT_TRUE(FmWndSetProp(w, "WREFHI", 33));
    EXPECT_EQ(FmWndGetProp(w, "WREFHI"), 33);
    EXPECT_EQ(FmWndGetProp(w, "wrefhi"), 22);
    EXPECT_TRUE(FmWndHasProp(w, "WREFHI"));
    EXPECT_EQ(FmWndRemoveProp(w, "WREFHI"), 33);
    EXPECT_FALSE(FmWndHasProp(w, "WREFHI"));
    EXPECT_EQ(FmWndGetProp(w, "WREFHI"), 0);
    EXPECT_EQ(FmWndRemoveProp(w, "WREFHI"), 0);
    EXPECT_FALSE(FmWndSetProp(w, nullptr, 1));

    char buf[5];
    EXPECT_EQ(FmWndGetTitle(w, buf, sizeof buf), 10);
    EXPECT_STREQ(buf, "Main");
    EXPECT_TRUE(FmWndSetTitle(w, nullptr));
    EXPECT_EQ(FmWndGetTitle(w, buf, sizeof buf), 0);

    EXPECT_EQ(FmWndMeasureText(0, "abc", 3), 3 * plat::kFixedCharWidth);
    EXPECT_EQ(FmWndMeasureText(0, nullptr, 3), 0);
    FmWndSetTextMeasure([](intptr_t dc, const char* text, int32_t n) {
        int32_t width = 0;
        for (int32_t i = 0; i < n; ++i) width += text[i] == 'W' ? 12 : 5;
        return width + int32_t(dc);
    });
    EXPECT_EQ(FmWndMeasureText(1, "WaW", 3), 30);
    FmWndSetTextMeasure(nullptr);
    EXPECT_EQ(FmWndMeasureText(0, "WaW", 3), 24);
}

TEST_F(WindowModel, MessageQueuePostPeekAndRemoveByCode) {
    FmWindow a = make(0), b = make(0);
    EXPECT_TRUE(FmWndPostMessage(a, 33275, 1, 0));
    EXPECT_TRUE(FmWndPostMessage(b, 7, 2, 0));
    EXPECT_TRUE(FmWndPostMessage(a, 8, 3, 0));
    EXPECT_TRUE(FmWndPostMessage(a, 33275, 4, 0));
    FmQueuedMessage m{};
    EXPECT_TRUE(FmWndPeekMessage(a, &m, 0));
    EXPECT_EQ(m.wParam, 1);
    EXPECT_TRUE(FmWndPeekMessage(0, &m, 0));  // any window: the oldest
    EXPECT_EQ(m.wParam, 1);
    EXPECT_EQ(FmWndRemoveMessages(a, 33275), 2);
    EXPECT_TRUE(FmWndPeekMessage(a, &m, 1));
    EXPECT_EQ(m.message, 8u);
    EXPECT_FALSE(FmWndPeekMessage(a, &m, 1));
    EXPECT_EQ(plat::queuedMessageCount(0), 1u);
    FmWndDestroy(b);  // its messages go with it
    EXPECT_FALSE(FmWndPeekMessage(0, &m, 0));
    EXPECT_EQ(FmWndSendMessage(a, 42, 0, 0), 1042);
    EXPECT_EQ(FmWndSendMessage(b, 42, 0, 0), 0);
}

}  // namespace
