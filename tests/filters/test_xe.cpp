// XE filters through the host's table of XE calls: the empty case (no
// filter info) and a table that answers, sequence data, list flattening and
// the shutdowns.
#include "filter_fixture.h"

using namespace filtertest;
using rc::effects::XeFilterHooks;

namespace {

struct XeDouble {
    static inline uint32_t flags = 0;
    static inline std::vector<std::pair<int16_t, int32_t>> commands;
    static inline std::vector<int16_t> cleaned;
    static inline int32_t failOn = -1;  // command that fails (with 33)
    static inline int32_t filterCalls = 0;

    static int16_t doFilter(int16_t, int16_t, Handle, intptr_t, RcFilterListEntry*) {
        ++filterCalls;
        return 0;
    }
    static uint32_t info(int16_t) { return flags; }
    // Each command replaces the data with a new Handle naming the command.
    static int16_t command(int16_t fileID, int32_t cmd, Handle data, Handle* out) {
        commands.emplace_back(fileID, cmd);
        if (cmd == failOn) return 33;
        DisposeHandle(data);
        *out = cmd == rc::effects::kXeDisposeSequence ? nullptr : handleOf({uint8_t(cmd)});
        return 0;
    }
    static void cleanup(int16_t fileID) { cleaned.push_back(fileID); }
    static void install() {
        flags = rc::effects::kXeInfoSequenceData;
        commands.clear();
        cleaned.clear();
        failOn = -1;
        filterCalls = 0;
        const XeFilterHooks hooks{doFilter, info, command, cleanup};
        rc::effects::setXeFilterHooks(&hooks);
    }
};

class Xe : public FilterTest {
  protected:
    int16_t xe = 0, plain = 0;
    void SetUp() override {
        FilterTest::SetUp();
        xe = testModule("bump", cc("eFKT"));
        plain = testModule("square", cc("VFlt"));
    }
    static RcFilterListEntry entry(int16_t fileID, Handle data, uint8_t live) {
        RcFilterListEntry e{};
        e.fileID = fileID;
        e.sequenceData = HandleToWord(data);
        e.unflatdata = live;
        return e;
    }
};

TEST_F(Xe, WithoutFilterInfoDataIsOnlyMarkedAndFramesPassThrough) {
    Handle data = handleOf({1, 2, 3});
    RcFilterListEntry e = entry(xe, data, 0);
    EXPECT_EQ(UnflattenXESequenceData(xe, &e), noErr);
    EXPECT_EQ(+e.unflatdata, 1);
    EXPECT_EQ(+e.sequenceData, HandleToWord(data)) << "the same bytes";
    EXPECT_EQ(FlattenXESequenceData(xe, &e), noErr);
    EXPECT_EQ(+e.unflatdata, 0);
    EXPECT_EQ(bytesOf(data), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(DisposeXESequenceData(xe, &e), noErr);
    EXPECT_EQ(+e.sequenceData, 0u) << "flat data is freed";

    // Data only marked live is still the host's bytes: freed all the same.
    e = entry(xe, handleOf({4}), 1);
    EXPECT_EQ(DisposeXESequenceData(xe, &e), noErr);
    EXPECT_EQ(+e.sequenceData, 0u);
    EXPECT_EQ(+e.unflatdata, 0);

    // An XE filter passes the frame through.
    PPixHand src =
        picture(3, 2, [](int32_t x, int32_t y) { return bgra(uint8_t(x), uint8_t(y), 9); });
    PPixHand dst = picture(3, 2);
    Handle comp = NewCompSpec(nullptr, xe, 0);
    Handle rec = videoRecord(src, dst, comp, 0, 1);
    EXPECT_EQ(Filter(xe, kRcFilterProcess, rec, nullptr), noErr);
    EXPECT_EQ(at(dst, 2, 1), at(src, 2, 1));
    DisposeHandle(rec);
    DisposeCompSpec(comp);
}

TEST_F(Xe, ModulesWithSequenceCallsConvertTheirData) {
    XeDouble::install();
    RcFilterListEntry e = entry(xe, handleOf({0}), 0);
    ASSERT_EQ(UnflattenXESequenceData(xe, &e), noErr);
    EXPECT_EQ(bytesOf(WordToHandle(e.sequenceData)), std::vector<uint8_t>{6});
    EXPECT_EQ(+e.unflatdata, 1);
    ASSERT_EQ(UnflattenXESequenceData(xe, &e), noErr) << "live data stays";
    ASSERT_EQ(FlattenXESequenceData(xe, &e), noErr);
    EXPECT_EQ(bytesOf(WordToHandle(e.sequenceData)), std::vector<uint8_t>{7});
    EXPECT_EQ(+e.unflatdata, 0);
    ASSERT_EQ(UnflattenXESequenceData(xe, &e), noErr);
    ASSERT_EQ(DisposeXESequenceData(xe, &e), noErr);
    EXPECT_EQ(+e.sequenceData, 0u);
    const std::vector<std::pair<int16_t, int32_t>> expected{{xe, 6}, {xe, 7}, {xe, 6}, {xe, 8}};
    EXPECT_EQ(XeDouble::commands, expected);

    // An error leaves the entry as it was.
    XeDouble::failOn = 6;
    Handle flat = handleOf({1});
    e = entry(xe, flat, 0);
    EXPECT_EQ(UnflattenXESequenceData(xe, &e), 33);
    EXPECT_EQ(+e.sequenceData, HandleToWord(flat));
    EXPECT_EQ(+e.unflatdata, 0);
    DisposeHandle(flat);

    // Other kinds of modules have no sequence data to convert.
    XeDouble::commands.clear();
    e = entry(plain, nullptr, 0);
    EXPECT_EQ(UnflattenXESequenceData(plain, &e), noErr);
    EXPECT_EQ(+e.unflatdata, 0);
    EXPECT_TRUE(XeDouble::commands.empty());

    // Filtering goes through the XE host.
    PPixHand pic = picture(2, 2);
    Handle rec = videoRecord(pic, pic, nullptr, 0, 1);
    EXPECT_EQ(Filter(xe, kRcFilterSetup, rec, nullptr), noErr);
    EXPECT_EQ(XeDouble::filterCalls, 1);
    DisposeHandle(rec);
}

TEST_F(Xe, FlatteningAListStopsAtTheFirstErrorAndShutdownsReleaseXeModules) {
    XeDouble::install();
    const RcFilterListEntry entries[3] = {entry(xe, handleOf({1}), 1), entry(plain, nullptr, 0),
                                          entry(xe, handleOf({2}), 1)};
    Handle list = NewHandle(sizeof entries);
    std::memcpy(*list, entries, sizeof entries);
    ASSERT_EQ(FlattenXEFilterList(list), noErr);
    auto at = [&](int i) { return reinterpret_cast<RcFilterListEntry*>(*list)[i]; };
    EXPECT_EQ(+at(0).unflatdata, 0);
    EXPECT_EQ(+at(2).unflatdata, 0);
    EXPECT_EQ(bytesOf(WordToHandle(at(2).sequenceData)), std::vector<uint8_t>{7});

    // The first entry fails: the third is not reached.
    reinterpret_cast<RcFilterListEntry*>(*list)[0].unflatdata = 1;
    reinterpret_cast<RcFilterListEntry*>(*list)[2].unflatdata = 1;
    XeDouble::failOn = 7;
    XeDouble::commands.clear();
    EXPECT_EQ(FlattenXEFilterList(list), 33);
    EXPECT_EQ(XeDouble::commands.size(), 1u);
    EXPECT_EQ(+at(2).unflatdata, 1);
    EXPECT_EQ(FlattenXEFilterList(nullptr), noErr);
    for (int i : {0, 2}) DisposeHandle(WordToHandle(at(i).sequenceData));
    DisposeHandle(list);

    // Shutdowns: XE modules of each list are released, others are not.
    const int16_t video[2] = {plain, xe};
    const int16_t audio[1] = {xe};
    Handle v = NewHandle(sizeof video), a = NewHandle(sizeof audio);
    std::memcpy(*v, video, sizeof video);
    std::memcpy(*a, audio, sizeof audio);
    SetAGlobal(kSlotVideoFilters, reinterpret_cast<intptr_t>(v));
    SetAGlobal(kSlotAudioFilters, reinterpret_cast<intptr_t>(a));
    vidFiltersShutdown();
    EXPECT_EQ(XeDouble::cleaned, std::vector<int16_t>{xe});
    audFiltersShutdown();
    EXPECT_EQ(XeDouble::cleaned, (std::vector<int16_t>{xe, xe}));
    SetAGlobal(kSlotVideoFilters, 0);
    SetAGlobal(kSlotAudioFilters, 0);
    DisposeHandle(v);
    DisposeHandle(a);
}

}  // namespace
