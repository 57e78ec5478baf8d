// Imagist-style filters: entry points, modes, the selector sequences with
// the record they get, persistent data words, field pictures, and the
// parameter memory turned into settings and back.
#include <fstream>

#include "filter_fixture.h"

using namespace filtertest;

namespace {

// One recorded call: selector, planes, mode, fixed fields as expected,
// columns, rows.
struct Call {
    int selector, planes, mode, fieldsOK, columns, rows;
    bool operator==(const Call&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Call& c) {
    return o << "{" << c.selector << " planes " << c.planes << " mode " << c.mode << " ok "
             << c.fieldsOK << " " << c.columns << "x" << c.rows << "}";
}

std::vector<Call> callsIn(intptr_t word) {
    std::vector<Call> calls;
    Handle log = reinterpret_cast<Handle>(word);
    if (!log) return calls;
    const auto b = bytesOf(log);
    for (size_t i = 0; i + 6 <= b.size(); i += 6)
        calls.push_back({b[i], b[i + 1], b[i + 2], b[i + 3], b[i + 4], b[i + 5]});
    return calls;
}

std::vector<int> selectorsOf(const std::vector<Call>& calls, size_t from = 0) {
    std::vector<int> s;
    for (size_t i = from; i < calls.size(); ++i) s.push_back(calls[i].selector);
    return s;
}

class Imagist : public FilterTest {
  protected:
    std::string settingsPath;

    void SetUp() override {
        FilterTest::SetUp();
        settingsPath = scratch() + "/settings.ini";
        SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(settingsPath.c_str()));
    }
    void alphaChannelBug(int value) const {
        std::ofstream(settingsPath) << "[KPT]\nAlphaChannelBug=" << value << "\n";
    }
    // Slots 4 and 5 as registration leaves them, with `id` second.
    static void listVideoFilter(int16_t id) {
        const int16_t ids[2] = {int16_t(id + 100), id};
        Handle list = NewHandle(sizeof ids);
        std::memcpy(*list, ids, sizeof ids);
        SetAGlobal(kSlotVideoFilters, reinterpret_cast<intptr_t>(list));
        SetAGlobal(kSlotVideoFilterData,
                   reinterpret_cast<intptr_t>(NewHandleClear(2 * sizeof(intptr_t))));
    }
    static intptr_t listedWord(size_t index) {
        return reinterpret_cast<intptr_t*>(*reinterpret_cast<Handle>(GetAGlobal(5)))[index];
    }
    void TearDown() override {
        for (int slot : {kSlotVideoFilters, kSlotVideoFilterData}) {
            DisposeHandle(reinterpret_cast<Handle>(GetAGlobal(slot)));
            SetAGlobal(slot, 0);
        }
        FilterTest::TearDown();
    }
};

TEST_F(Imagist, SelectorSequencesAndTheRecordTheModuleSees) {
    alphaChannelBug(1);
    const int16_t rec = testModule("recorder", cc("Q7FM"), ".Q7F");
    listVideoFilter(rec);
    PPixHand src = picture(6, 4), dst = picture(6, 4);
    Handle vr = videoRecord(src, dst, nullptr, 0, 1);

    // About: module selector 0 alone. The PiPL's aFLT flag 0x80 gives mode
    // 3; the "KPT" name gives alpha mode 3 (planes).
    ASSERT_EQ(Filter(rec, 2, vr, nullptr), noErr);
    std::vector<Call> calls = callsIn(listedWord(1));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (Call{0, 3, 3, 1, 6, 4}));

    // Setup: parameters, prepare, start, continue, finish, 3 planes; the
    // parameters (made, then once continued) become the settings: tag 0,
    // then the bytes.
    ASSERT_EQ(Filter(rec, kRcFilterSetup, vr, nullptr), noErr);
    calls = callsIn(listedWord(1));
    EXPECT_EQ(selectorsOf(calls, 1), (std::vector<int>{1, 2, 3, 4, 5}));
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i], (Call{calls[i].selector, 3, 3, 1, 6, 4}));
    Handle spec = WordToHandle(video(vr).specsHandle);
    EXPECT_EQ(bytesOf(spec), (std::vector<uint8_t>{0, 0, 0, 0, 0x45, 0x33, 0x22, 0x11}));

    // Processing: prepare, start, continue, finish with the settings as the
    // module's parameters; what it leaves becomes the settings.
    Handle comp = NewCompSpec(spec, rec, 0);
    DisposeHandle(spec);
    video(vr).specsHandle = HandleToWord(comp);
    ASSERT_EQ(Filter(rec, kRcFilterProcess, vr, nullptr), noErr);
    calls = callsIn(listedWord(1));
    EXPECT_EQ(selectorsOf(calls, 6), (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(calls.back().planes, 3);
    EXPECT_EQ(video(vr).specsHandle, HandleToWord(comp));
    if (!CanVary(rec)) {
        Handle key0 = GetSingleSpec(comp, 0, nullptr);
        EXPECT_EQ(bytesOf(key0), (std::vector<uint8_t>{0, 0, 0, 0, 0x46, 0x33, 0x22, 0x11}));
        DisposeSingleSpec(key0);
    }

    // Without the switch the name does not matter: alpha mode 4 with an aFLT.
    alphaChannelBug(0);
    ASSERT_EQ(Filter(rec, 2, vr, nullptr), noErr);
    EXPECT_EQ(callsIn(listedWord(1)).back(), (Call{0, 4, 3, 1, 6, 4}));
    EXPECT_EQ(listedWord(0), 0) << "other modules' words are left alone";

    // A field picture (width halved) runs at double width.
    video(vr).fieldFlags = 0x400;
    ASSERT_EQ(Filter(rec, kRcFilterProcess, vr, nullptr), noErr);
    EXPECT_EQ(callsIn(listedWord(1)).back(), (Call{5, 4, 3, 1, 12, 4}));
    video(vr).fieldFlags = 0x800;
    ASSERT_EQ(Filter(rec, kRcFilterProcess, vr, nullptr), noErr);
    EXPECT_EQ(callsIn(listedWord(1)).back(), (Call{5, 4, 3, 1, 6, 8}));
    video(vr).fieldFlags = 0x400 | 0x800;  // both: neither is doubled
    ASSERT_EQ(Filter(rec, kRcFilterProcess, vr, nullptr), noErr);
    EXPECT_EQ(callsIn(listedWord(1)).back(), (Call{5, 4, 3, 1, 6, 4}));

    DisposeHandle(reinterpret_cast<Handle>(listedWord(1)));
    DisposeCompSpec(comp);
    DisposeHandle(vr);
}

TEST_F(Imagist, ModulesWithoutAPiPLUseTheDefaultEntryAndTheirOwnResources) {
    alphaChannelBug(0);
    const int16_t plain = testModule("plain_imagist", cc("Q7FM"), ".Q7F");
    PPixHand src = picture(3, 2), dst = picture(3, 2);
    Handle vr = videoRecord(src, dst, nullptr, 0, 1);
    // Mode from 'FltS' (5), alpha mode 3 without an aFLT.
    ASSERT_EQ(Filter(plain, 2, vr, nullptr), noErr);
    ASSERT_EQ(Filter(plain, 2, vr, nullptr), noErr);
    // The module is not in the video filter list: its word is the host's
    // own, and it lasts from one call to the next.
    intptr_t* word = rc::effects::imagistDataWord(plain);
    std::vector<Call> calls = callsIn(*word);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], (Call{0, 3, 5, 1, 3, 2}));
    DisposeHandle(reinterpret_cast<Handle>(*word));
    *word = 0;
    // A module whose entry cannot be found answers 1.
    EXPECT_EQ(Filter(testModule("imagist_sized", cc("Q7FM"), ".Q7F"), 2, vr, nullptr), 1);
    DisposeHandle(vr);
}

TEST_F(Imagist, PosterizeSampleSetsUpItsDefaultsAndPosterizes) {
    const int16_t post = sample("posterize", cc("Q7FM"), ".Q7F");
    auto colour = [](int32_t x, int32_t y) {
        return bgra(uint8_t(37 * x + 11 * y), uint8_t(255 - 23 * x), uint8_t(64 * y), 77);
    };
    PPixHand src = picture(7, 4, colour), dst = picture(7, 4);
    Handle vr = videoRecord(src, dst, nullptr, 0, 1);
    ASSERT_EQ(Filter(post, kRcFilterSetup, vr, nullptr), noErr);
    Handle spec = WordToHandle(video(vr).specsHandle);
    ASSERT_EQ(bytesOf(spec), (std::vector<uint8_t>{0, 0, 0, 0, 4, 0, 0, 0}));
    // Three levels this time.
    (*spec)[4] = 3;
    Handle comp = NewCompSpec(spec, post, 0);
    DisposeHandle(spec);
    video(vr).specsHandle = HandleToWord(comp);
    ASSERT_EQ(Filter(post, kRcFilterProcess, vr, nullptr), noErr);
    auto level = [](uint8_t v) { return uint8_t((v * 3 / 256) * 255 / 2); };
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 7; ++x) {
            const uint32_t s = colour(x, y), d = at(dst, x, y);
            EXPECT_EQ(red(d), level(red(s)));
            EXPECT_EQ(green(d), level(green(s)));
            EXPECT_EQ(blue(d), level(blue(s)));
            EXPECT_EQ(d >> 24, 77u);
        }
    DisposeCompSpec(comp);
    DisposeHandle(vr);
}

TEST_F(Imagist, ParameterMemoryRoundTripsForEveryTag) {
    const int16_t q7 = testModule("recorder", cc("Q7FM"), ".Q7F");  // declares no size
    auto roundTrip = [&](const std::vector<uint8_t>& stored) {
        Handle memory = CreateSpec(stored.data(), int32_t(stored.size()));
        EXPECT_NE(memory, nullptr);
        uint32_t tag;
        std::memcpy(&tag, stored.data(), 4);
        Handle back = SpecToHand(q7, memory, int32_t(tag));
        const std::vector<uint8_t> out = bytesOf(back);
        DisposeHandle(back);
        return out;
    };
    // Tags 0 and 2: the bytes; tag 0 is locked.
    const std::vector<uint8_t> t0{0, 0, 0, 0, 1, 2, 3, 4, 5};
    Handle m0 = CreateSpec(t0.data(), int32_t(t0.size()));
    EXPECT_EQ(bytesOf(m0), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(HGetState(m0), 1) << "locked";
    DisposeHandle(m0);
    EXPECT_EQ(roundTrip(t0), t0);
    const std::vector<uint8_t> t2{2, 0, 0, 0, 9};
    Handle m2 = CreateSpec(t2.data(), int32_t(t2.size()));
    EXPECT_EQ(HGetState(m2), 0) << "unlocked";
    DisposeHandle(m2);
    EXPECT_EQ(roundTrip(t2), t2);

    // Tags 1 and 3: the block's first word (pointer-sized) points past
    // itself; the stored marker says so, and the data offset stays 8.
    const std::vector<uint8_t> t1{1, 0, 0, 0, 1, 0, 0, 0, 9, 8, 7};
    Handle m1 = CreateSpec(t1.data(), int32_t(t1.size()));
    ASSERT_EQ(GetHandleSize(m1), sizeof(void*) + 3);
    uintptr_t first;
    std::memcpy(&first, *m1, sizeof first);
    EXPECT_EQ(first, uintptr_t(*m1 + sizeof(void*)));
    DisposeHandle(m1);
    EXPECT_EQ(roundTrip(t1), t1);
    const std::vector<uint8_t> t3{3, 0, 0, 0, 0, 0, 0, 0, 6};
    EXPECT_EQ(roundTrip(t3), t3) << "a block that did not point at itself stays so";
    Handle self = handleOf(std::vector<uint8_t>(sizeof(void*) + 2, 0));
    first = uintptr_t(*self + sizeof(void*));
    std::memcpy(*self, &first, sizeof first);
    (*self)[sizeof(void*)] = 42;
    Handle fromModule = SpecToHand(q7, self, 3);
    EXPECT_EQ(bytesOf(fromModule), (std::vector<uint8_t>{3, 0, 0, 0, 1, 0, 0, 0, 42, 0}));
    DisposeHandle(fromModule);

    // Tag 5: a data pointer, then 'FOTO' (the data follows in the block).
    const std::vector<uint8_t> t5{5, 0, 0, 0, 'a', 'b', 'c'};
    Handle m5 = CreateSpec(t5.data(), int32_t(t5.size()));
    ASSERT_EQ(GetHandleSize(m5), sizeof(void*) + 4 + 3);
    Ptr data;
    std::memcpy(&data, *m5, sizeof data);
    EXPECT_EQ(data, *m5 + sizeof(void*) + 4);
    EXPECT_EQ(std::string(data, 3), "abc");
    EXPECT_EQ(std::memcmp(*m5 + sizeof(void*), "OTOF", 4), 0) << "'FOTO' as a number";
    DisposeHandle(SpecToHand(q7, m5, 5));
    EXPECT_EQ(roundTrip(t5), t5);

    // Tag 4: the Handle of a module of another kind.
    const int16_t tint = sample("vf-tint", cc("VFlt"));
    Handle other = handleOf({7, 8});
    Handle s4 = SpecToHand(tint, other, 0);
    EXPECT_EQ(bytesOf(s4), (std::vector<uint8_t>{4, 0, 0, 0, 7, 8}));
    Handle m4 = CreateSpec(*s4, int32_t(GetHandleSize(s4)));
    EXPECT_EQ(bytesOf(m4), (std::vector<uint8_t>{7, 8}));
    DisposeHandle(s4);
    DisposeHandle(m4);

    // An unknown tag, or too few bytes for one: a plain Handle of the bytes.
    const std::vector<uint8_t> t9{9, 0, 0, 0, 1}, shortBytes{1, 2};
    Handle m9 = CreateSpec(t9.data(), 5), mShort = CreateSpec(shortBytes.data(), 2);
    EXPECT_EQ(bytesOf(m9), t9);
    EXPECT_EQ(bytesOf(mShort), shortBytes);
    DisposeHandle(m9);
    DisposeHandle(mShort);
}

TEST_F(Imagist, MemoryTheHostDidNotMakeIsRefusedAndSpecsTakeTheDeclaredSize) {
    const int16_t q7 = testModule("recorder", cc("Q7FM"), ".Q7F");
    // A "handle" to memory of the module's own: refused, left alone.
    char bytes[16] = {1, 2, 3};
    Ptr master = bytes;
    EXPECT_EQ(SpecToHand(q7, &master, 0), nullptr);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(SpecToHand(q7, nullptr, 0), nullptr);
    // Tag 5 whose pointer leads out of the block, or without 'FOTO'.
    Handle foto = NewHandleClear(sizeof(void*) + 4);
    Ptr stray = bytes;
    std::memcpy(*foto, &stray, sizeof stray);
    std::memcpy(*foto + sizeof(void*), "OTOF", 4);
    EXPECT_EQ(SpecToHand(q7, foto, 5), nullptr);
    std::memset(*foto + sizeof(void*), 0, 4);
    EXPECT_EQ(SpecToHand(q7, foto, 5), nullptr);
    EXPECT_TRUE(FmIsValidHandle(foto)) << "a refused block is not freed";
    DisposeHandle(foto);

    // A filter declaring one 32-bit parameter: specs of 8 bytes (12 with
    // the marker word of tags 1 and 3), cut or zero-filled to fit.
    const int16_t sized = testModule("imagist_sized", cc("Q7FM"), ".Q7F");
    Handle small = handleOf({5, 6});
    Handle grown = SpecToHand(sized, small, 0);
    EXPECT_EQ(bytesOf(grown), (std::vector<uint8_t>{0, 0, 0, 0, 5, 6, 0, 0}));
    DisposeHandle(grown);
    Handle big = handleOf({1, 2, 3, 4, 5, 6, 7, 8});
    Handle cut = SpecToHand(sized, big, 2);
    EXPECT_EQ(bytesOf(cut), (std::vector<uint8_t>{2, 0, 0, 0, 1, 2, 3, 4}));
    DisposeHandle(cut);
    Handle selfBlock = handleOf(std::vector<uint8_t>(sizeof(void*) + 4, 3));
    Handle withMarker = SpecToHand(sized, selfBlock, 1);
    EXPECT_EQ(GetHandleSize(withMarker), 12u);
    DisposeHandle(withMarker);
}

}  // namespace
