#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "platform/surface.h"
#include "platform/window.h"
#if REEL_TEST_HAVE_ZLIB
#include <zlib.h>
#endif
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

int gDestroyCalls = 0;

TEST_F(WindowModel, DestroyingFromTheDestroyMessageHappensOnce) {
    gDestroyCalls = 0;
    FmWindowProc selfDestroying = [](FmWindow w, uint32_t message, intptr_t, intptr_t) {
        if (message == kFmWndDestroy) {
            ++gDestroyCalls;
            EXPECT_EQ(FmWndDestroy(w), -1);  // already on its way
        }
        return intptr_t(0);
    };
    FmWindow parent = FmWndCreate(0, nullptr, "p", selfDestroying, 1);
    FmWindow child = FmWndCreate(parent, nullptr, "c", selfDestroying, 1);
    EXPECT_EQ(FmWndDestroy(parent), 0);
    EXPECT_EQ(gDestroyCalls, 2);
    EXPECT_FALSE(FmWndIsWindow(parent));
    EXPECT_FALSE(FmWndIsWindow(child));
    EXPECT_EQ(plat::windowCount(), 0u);
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

TEST_F(WindowModel, MessagesPostedFromAnotherThreadAllArrive) {
    FmWindow w = make(0);
    constexpr int kCount = 2000;
    std::thread poster([w] {
        for (int i = 0; i < kCount; ++i)
            while (!FmWndPostMessage(w, 33275, i, 0)) std::this_thread::yield();
    });
    std::vector<intptr_t> got;
    FmQueuedMessage m{};
    while (got.size() < size_t(kCount)) {
        if (FmWndPeekMessage(w, &m, 1)) {
            got.push_back(m.wParam);
        } else {
            std::this_thread::yield();
        }
    }
    poster.join();
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(got[size_t(i)], i);  // first in, first out
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t referenceCrc(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

TEST_F(WindowModel, SurfacesFollowTheWindowAndSaveAsPng) {
    FmRect r{5, 5, 9, 8};  // 4 x 3
    FmWindow w = FmWndCreate(0, &r, "s", nullptr, 1);
    int32_t width = 0, height = 0;
    ASSERT_TRUE(FmWndGetSurfaceSize(w, &width, &height));
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 3);
    plat::Surface* s = plat::surfaceForWindow(w);
    ASSERT_NE(s, nullptr);
    FmRect cell{1, 1, 2, 2};
    EXPECT_TRUE(FmWndFillRect(w, &cell, 0x00332211));  // 0x00BBGGRR
    EXPECT_EQ(s->at(1, 1), 0xFF112233u);
    EXPECT_EQ(s->at(0, 0), 0xFFFFFFFFu);

    // Growing the window keeps the registered surface object.
    FmRect bigger{0, 0, 6, 5};
    FmWndSetRect(w, &bigger);
    EXPECT_EQ(plat::surfaceForWindow(w), s);
    EXPECT_EQ(s->width, 6);
    EXPECT_EQ(s->height, 5);
    FmRect huge{0, 0, 100000, -5};
    FmWndSetRect(w, &huge);
    EXPECT_EQ(s->width, 4096);
    EXPECT_EQ(s->height, 0);
    FmWndSetRect(w, &bigger);
    EXPECT_TRUE(FmWndFillRect(w, &cell, 0x000000FF));

    std::string path = ::testing::TempDir() + "reel_window_" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(FmWndSavePNG(w, path.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(png.size(), 8u + 25u + 12u);
    ASSERT_EQ(std::memcmp(png.data(), signature, 8), 0);
    std::vector<std::string> chunks;
    std::vector<uint8_t> idat;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t length = be32(&png[at]);
        ASSERT_LE(at + 12 + length, png.size());
        std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        EXPECT_EQ(be32(&png[at + 8 + length]), referenceCrc(&png[at + 4], length + 4)) << type;
        if (type == "IHDR") {
            EXPECT_EQ(be32(&png[at + 8]), 6u);
            EXPECT_EQ(be32(&png[at + 12]), 5u);
        }
        if (type == "IDAT") idat.insert(idat.end(), &png[at + 8], &png[at + 8 + length]);
        chunks.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front(), "IHDR");
    EXPECT_EQ(chunks.back(), "IEND");
    EXPECT_FALSE(idat.empty());
#if REEL_TEST_HAVE_ZLIB
    // 8-bit RGB rows, each after a filter byte.
    std::vector<uint8_t> raw(5 * (1 + 6 * 3));
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize, idat.data(), idat.size()), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    // Rows are filtered with "none" (0) or "up" (2: plus the row above).
    for (size_t row = 0; row < 5; ++row) {
        const uint8_t filter = raw[row * 19];
        ASSERT_TRUE(filter == 0 || filter == 2) << int(filter);
        for (size_t i = 1; filter == 2 && row > 0 && i < 19; ++i)
            raw[row * 19 + i] = uint8_t(raw[row * 19 + i] + raw[(row - 1) * 19 + i]);
    }
    const uint8_t* px = &raw[1 * 19 + 1 + 1 * 3];  // row 1, column 1
    EXPECT_EQ(px[0], 0xFF);
    EXPECT_EQ(px[1], 0x00);
    EXPECT_EQ(px[2], 0x00);
    EXPECT_EQ(raw[1], 0xFF);  // the background stays white
#endif

    FmWndDestroy(w);
    EXPECT_EQ(plat::surfaceForWindow(w), nullptr);
    EXPECT_FALSE(FmWndSavePNG(w, path.c_str()));
    EXPECT_FALSE(FmWndFillRect(w, &cell, 0));
}

}  // namespace
