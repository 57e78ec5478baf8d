#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/text_hooks.h"
#include "platform/alloc.h"
#include "reelcore/alerts.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

namespace {

struct Shown {
    std::string caption;
    std::string message;
    int32_t buttons = 0;
};
std::vector<Shown> g_shown;
int32_t g_answer = kAlertOK;

int32_t recordingSink(const char* caption, const char* message, int32_t buttons) {
    g_shown.push_back({caption, message, buttons});
    return g_answer;
}

std::string g_title;
void fakeTitle(char* out, int32_t room) {
    std::snprintf(out, static_cast<size_t>(room), "%s", g_title.c_str());
}

class Alerts : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        g_shown.clear();
        g_answer = kAlertOK;
        previous = FmSetAlertSink(recordingSink);
        savedTitle = rc::texthooks::setMainWindowTitle(nullptr);
    }
    void TearDown() override {
        FmSetAlertSink(previous);
        rc::texthooks::setMainWindowTitle(savedTitle);
    }
    FmAlertSink previous = nullptr;
    rc::texthooks::MainWindowTitleFn savedTitle = nullptr;
};

// The console sink shows each CR line break as a new line.
TEST_F(Alerts, ConsoleSinkBreaksLinesAtCR) {
    FmSetAlertSink(nullptr);
    std::fflush(stderr);
    char path[] = "/tmp/reel_alertXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const int saved = dup(2);
    dup2(fd, 2);
    AlertSystemFile(0, 0, 1017, 1, 1010, -43, "nonexist");
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string shown(4096, '\0');
    shown.resize(size_t(std::max<ssize_t>(0, pread(fd, shown.data(), shown.size(), 0))));
    close(fd);
    unlink(path);
    EXPECT_EQ(shown.find('\r'), std::string::npos);
    EXPECT_NE(shown.find("File or path not found.\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\nFile path: nonexist\n"), std::string::npos) << shown;
}

TEST_F(Alerts, MessageErrorTextAndButtons) {
    EXPECT_EQ(AlertSystem(0, 0, 1017, 1, 1010, -43), kAlertOK);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].caption, "Filmoryx");
    EXPECT_EQ(g_shown[0].message, "Filmoryx\rFile or path not found.");
    EXPECT_EQ(g_shown[0].buttons, kAlertButtonsOK);

    // An unknown code is written as a number; the last code of the list has
    // the last text.
    AlertSystem(0, 0, 1017, 1, 1010, -999);
    EXPECT_EQ(g_shown[1].message, "Filmoryx\r-999");
    AlertSystem(0, 0, 1017, 1, 1010, 1);
    EXPECT_EQ(g_shown[2].message, "Filmoryx\rUnknown error.");
    // Without an error list: the message alone; a missing string is empty.
    AlertSystem(0, 0, 1010, 7, 0, -43);
    EXPECT_EQ(g_shown[3].message, "Out of memory.");
    AlertSystem(0, 0, 4321, 1, 0, 0);
    EXPECT_EQ(g_shown[4].message, "");

    // OK and Cancel only when the low byte of okCancel is set.
    g_answer = kAlertCancel;
    EXPECT_EQ(AlertSystem(0, 1, 1017, 1, 0, 0), kAlertCancel);
    EXPECT_EQ(g_shown.back().buttons, kAlertButtonsOKCancel);
    EXPECT_EQ(AlertSystem(0, 0x100, 1017, 1, 0, 0), kAlertOK);
    EXPECT_EQ(g_shown.back().buttons, kAlertButtonsOK);
}

TEST_F(Alerts, FileAlertAddsThePath) {
    AlertSystemFile(0, 0, 1010, 4, 1010, -44, "/media/clip.avi");
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].message,
              "Disk is write-protected. Switch the write-protect tab and try again.\r"
              "Disk is write-protected. Switch the write-protect tab and try again."
              "\r\rFile path: /media/clip.avi");
    AlertSystemFile(0, 0, 1010, 1, 0, 0, nullptr);
    EXPECT_EQ(g_shown[1].message, "File or path not found.");
    g_answer = kAlertCancel;
    EXPECT_EQ(AlertSystemFile(0, 1, 1010, 1, 0, 0, ""), kAlertCancel);
}

TEST_F(Alerts, AppNameFromWindowTitleOrStrings) {
    char name[64];
    std::memset(name, 'z', sizeof name);
    GetAppName(name);
    EXPECT_STREQ(name, "Filmoryx");

    rc::texthooks::setMainWindowTitle(fakeTitle);
    g_title = "Project 1 - Editor";
    GetAppName(name);
    EXPECT_STREQ(name, "Project 1 - Editor");
    g_title = std::string(70, 'T');
    std::memset(name, 'z', sizeof name);
    GetAppName(name);
    EXPECT_EQ(std::strlen(name), 40u);
    EXPECT_EQ(name[41], 'z');  // nothing written past the NUL
    g_title.clear();
    GetAppName(name);
    EXPECT_STREQ(name, "Filmoryx");
    AlertSystem(0, 0, 1017, 1, 0, 0);
    EXPECT_EQ(g_shown.back().caption, "Filmoryx");
}

TEST_F(Alerts, LookupLists) {
    EXPECT_EQ(ReverseLookup(1010, -108), 6);
    EXPECT_EQ(DataLookup(1010, 6), -108);
    EXPECT_EQ(DataLookup(1010, 12), -47);
    EXPECT_EQ(ReverseLookup(1010, -47), 12);
    EXPECT_EQ(ReverseLookup(1010, 5), -1);
    EXPECT_EQ(DataLookup(1105, 1), 2997);
    EXPECT_EQ(DataLookup(1003, 3), 32);
    // Past the end, negative, or a missing list: 0 and -1.
    EXPECT_EQ(DataLookup(1003, 4), 0);
    EXPECT_EQ(DataLookup(1003, -1), 0);
    EXPECT_EQ(DataLookup(4444, 0), 0);
    EXPECT_EQ(ReverseLookup(4444, 0), -1);

    // A list shorter than one entry.
    ASSERT_GT(OpenResFile(REEL_TEST_MODULE), 0);
    EXPECT_EQ(ReverseLookup(2001, 5), -1);
    EXPECT_EQ(DataLookup(2001, 0), 0);
    EXPECT_EQ(DataLookup(2000, 1), -20);
    // The list is left purgeable after use.
    Handle list = GetResource(0x4C697374, 2000);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(IsPurgeableHandle(list));
}

struct Item {
    int32_t a;
    int32_t b;
    int32_t c;
};

std::vector<int32_t> firstFields(Handle h) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < GetHandleSize(h) / sizeof(Item); ++i) {
        Item it;
        std::memcpy(&it, *h + i * sizeof(Item), sizeof it);
        out.push_back(it.a);
    }
    return out;
}

int32_t stopAt(void* item, intptr_t argument, intptr_t userData) {
    Item it;
    std::memcpy(&it, item, sizeof it);
    ++*reinterpret_cast<int*>(userData);
    return it.a == argument ? it.a * 10 : 0;
}

TEST_F(Alerts, HandleArrays) {
    Handle h = NewHandle(0);
    ASSERT_NE(h, nullptr);
    const Item one{1, 0, 0}, two{2, 0, 0}, three{3, 0, 0}, four{4, 0, 0}, five{5, 0, 0};
    EXPECT_EQ(InsertHandItem(-1, h, sizeof(Item), &two), noErr);
    EXPECT_EQ(firstFields(h), (std::vector<int32_t>{2}));
    InsertHandItem(-7, h, sizeof(Item), &three);  // any negative index appends
    InsertHandItem(99, h, sizeof(Item), &four);   // beyond the end appends
    InsertHandItem(0, h, sizeof(Item), &one);
    InsertHandItem(2, h, sizeof(Item), &five);
    EXPECT_EQ(firstFields(h), (std::vector<int32_t>{1, 2, 5, 3, 4}));

    EXPECT_EQ(DeleteHandItem(5, h, sizeof(Item)), -1);
    EXPECT_EQ(DeleteHandItem(-1, h, sizeof(Item)), -1);
    EXPECT_EQ(firstFields(h), (std::vector<int32_t>{1, 2, 5, 3, 4}));
    EXPECT_EQ(DeleteHandItem(2, h, sizeof(Item)), noErr);
    DeleteHandItem(3, h, sizeof(Item));
    EXPECT_EQ(firstFields(h), (std::vector<int32_t>{1, 2, 3}));

    // A handle that cannot grow stays as it was.
    rc::platform::failNextAllocations(100);
    const Item big{9, 9, 9};
    SetMaxAllocInHeap(0);  // every block goes to the large-block zone, which now fails
    EXPECT_EQ(InsertHandItem(0, h, sizeof(Item), &big), memFullErr);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(8192);
    EXPECT_EQ(firstFields(h), (std::vector<int32_t>{1, 2, 3}));

    // ForEachElement stops at the first non-zero answer and restores the
    // lock state it found.
    int calls = 0;
    EXPECT_EQ(ForEachElement(h, sizeof(Item), stopAt, 2, reinterpret_cast<intptr_t>(&calls)), 20);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(HGetState(h), 0);
    HLock(h);
    calls = 0;
    EXPECT_EQ(ForEachElement(h, sizeof(Item), stopAt, 7, reinterpret_cast<intptr_t>(&calls)), 0);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(HGetState(h), 1);
    DisposeHandle(h);

    EXPECT_EQ(InsertHandItem(0, nullptr, 4, &one), nilHandleErr);
    EXPECT_EQ(InsertHandItem(0, h = NewHandle(0), 0, &one), nilHandleErr);
    DisposeHandle(h);
}

TEST_F(Alerts, FillAndLimit) {
    unsigned char bytes[11];
    std::memset(bytes, 0, sizeof bytes);
    FillMem(bytes + 1, 9, 0x5A);
    EXPECT_EQ(bytes[0], 0);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(bytes[i], 0x5A);
    EXPECT_EQ(bytes[10], 0);
    EXPECT_EQ(LimitLong(20000), 16383);
    EXPECT_EQ(LimitLong(-20000), -16384);
    EXPECT_EQ(LimitLong(16383), 16383);
    EXPECT_EQ(LimitLong(-16384), -16384);
    EXPECT_EQ(LimitLong(-5), -5);
}

constexpr OSType kTextType = 0x54455854;
constexpr OSType kPictType = 0x50494354;
constexpr OSType kContType = 0x434F4E54;
constexpr OSType kNoneType = 0x4E4F4E45;

TEST_F(Alerts, TypedBlocks) {
    const char head[] = "head";
    Handle container = BuildBlock(kContType, 1, 4, head);
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(GetHandleSize(container), 20u);
    ASSERT_EQ(ExtendBlock(container, BuildBlock(kTextType, 5, 3, "abc")), noErr);
    ASSERT_EQ(ExtendBlock(container, BuildBlock(kPictType, 6, 0, nullptr)), noErr);
    ASSERT_EQ(ExtendBlock(container, BuildBlock(kTextType, 6, 2, "xy")), noErr);
    TypedBlockHeader outer;
    std::memcpy(&outer, *container, sizeof outer);
    EXPECT_EQ(outer.totalLength, GetHandleSize(container));
    EXPECT_EQ(outer.dataLength, 4u);

    EXPECT_EQ(CountTypeBlocks(kTextType, *container), 2);
    EXPECT_EQ(CountTypeBlocks(static_cast<OSType>(kAnyBlockType), *container), 3);
    EXPECT_EQ(CountTypeBlocks(kNoneType, *container), 0);
    // The first TEXT block is the 0th of its type before the ID test reaches
    // the second.
    auto* first = static_cast<char*>(FindBlock(kTextType, 6, 0, *container));
    ASSERT_NE(first, nullptr);
    TypedBlockHeader bh;
    std::memcpy(&bh, first, sizeof bh);
    EXPECT_EQ(bh.id, 5);
    auto* byId = static_cast<char*>(FindBlock(kTextType, 6, 5, *container));
    ASSERT_NE(byId, nullptr);
    std::memcpy(&bh, byId, sizeof bh);
    EXPECT_EQ(bh.id, 6);
    auto* anyOne =
        static_cast<char*>(FindBlock(static_cast<OSType>(kAnyBlockType), 0, 1, *container));
    ASSERT_NE(anyOne, nullptr);
    std::memcpy(&bh, anyOne, sizeof bh);
    EXPECT_EQ(bh.type, kPictType);
    EXPECT_EQ(FindBlock(kTextType, 9, 2, *container), nullptr);

    char data[8] = "-------";
    int32_t length = 8;
    ExtractBlockData(byId, data, &length);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(std::string(data, 3), "xy-");
    length = 1;
    ExtractBlockData(first, data, &length);
    EXPECT_EQ(length, 1);
    EXPECT_EQ(data[0], 'a');

    Handle held = container;
    Handle copy = GetBlock(kTextType, 6, 1, &held);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(held, copy);
    EXPECT_EQ(GetHandleSize(copy), 18u);
    EXPECT_EQ(std::memcmp(*copy, byId, 18), 0);
    DisposeHandle(copy);
    held = container;
    EXPECT_EQ(GetBlock(kPictType, 0, 3, &held), nullptr);
    EXPECT_EQ(held, container);
    DisposeHandle(container);
}

TEST_F(Alerts, MalformedBlockChainsEndTheWalk) {
    Handle container = BuildBlock(kContType, 1, 0, nullptr);
    ASSERT_EQ(ExtendBlock(container, BuildBlock(kTextType, 1, 4, "abcd")), noErr);
    ASSERT_EQ(ExtendBlock(container, BuildBlock(kTextType, 2, 4, "efgh")), noErr);
    const uint32_t size = GetHandleSize(container);
    ASSERT_EQ(size, 56u);

    // A zero length in the second block: the walk stops there, no loop.
    TypedBlockHeader bh;
    std::memcpy(&bh, *container + 36, sizeof bh);
    bh.totalLength = 0;
    std::memcpy(*container + 36, &bh, sizeof bh);
    EXPECT_EQ(CountTypeBlocks(kTextType, *container), 1);
    // A length running past the container: that block is not taken.
    bh.totalLength = 1000;
    std::memcpy(*container + 36, &bh, sizeof bh);
    EXPECT_EQ(CountTypeBlocks(kTextType, *container), 1);
    EXPECT_EQ(FindBlock(kTextType, 2, 9, *container), nullptr);

    // A container claiming more than its handle holds: GetBlock stays inside
    // the handle.
    bh.totalLength = 20;
    std::memcpy(*container + 36, &bh, sizeof bh);
    TypedBlockHeader outer;
    std::memcpy(&outer, *container, sizeof outer);
    outer.totalLength = 4096;
    std::memcpy(*container, &outer, sizeof outer);
    SetHandleSize(container, 50);  // the second block now runs past the handle
    Handle held = container;
    EXPECT_EQ(GetBlock(kTextType, 2, 1, &held), nullptr);
    held = container;
    Handle firstCopy = GetBlock(kTextType, 1, 0, &held);
    ASSERT_NE(firstCopy, nullptr);
    DisposeHandle(firstCopy);

    // A container whose own data length runs past it holds no blocks.
    outer.totalLength = 50;
    outer.dataLength = 0xFFFFFFF0u;
    std::memcpy(*container, &outer, sizeof outer);
    EXPECT_EQ(CountTypeBlocks(static_cast<OSType>(kAnyBlockType), *container), 0);
    DisposeHandle(container);

    // A failed extension leaves both handles as they were.
    Handle c2 = BuildBlock(kContType, 1, 0, nullptr);
    Handle block = BuildBlock(kTextType, 3, 4, "wxyz");
    rc::platform::failNextAllocations(100);
    SetMaxAllocInHeap(0);
    EXPECT_EQ(ExtendBlock(c2, block), memFullErr);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(8192);
    EXPECT_EQ(GetHandleSize(c2), 16u);
    EXPECT_EQ(GetHandleSize(block), 20u);
    DisposeHandle(c2);
    DisposeHandle(block);
}

}  // namespace
