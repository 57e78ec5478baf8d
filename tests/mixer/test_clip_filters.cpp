// Audio filters around the mix: the setup of a filter over a preview of the
// clip's audio (through a module whose calls the test answers), and a clip
// filter (the gain sample) in the frame mix.
#include <dlfcn.h>

#include "mixer_fixture.h"
#include "platform/alloc.h"
#include "reelcore/keyframes.h"
#include "reelcore/resources.h"
#include "reelcore/sdk/effect.h"

namespace {

using namespace mixtest;

constexpr OSType kAudioFilterKind = cc("AFlt");

// What the recording module saw on one call.
struct Call {
    int16_t selector = 0;
    RcAudioFilterRecord record{};
    intptr_t noCacheSlot = 0;
    std::vector<int16_t> source, destination;  // the first samples of each block
    int16_t sourceLast = 0;                    // the block's last sample
};

struct Recording {
    std::vector<Call> calls;
    int16_t useSettingsAnswer = 0;
    int16_t setupAnswer = 0;
    bool makeSettings = true;
};
Recording recording;

int16_t recordCall(int16_t selector, RcAudioFilterRecord* r) {
    Call c;
    c.selector = selector;
    c.record = *r;
    c.noCacheSlot = GetAGlobal(kSlotNoCacheOverride);
    if (r->source && r->count > 0) {
        const auto* s = static_cast<const int16_t*>(r->source);
        const auto* d = static_cast<const int16_t*>(r->destination);
        c.source.assign(s, s + 8);
        c.destination.assign(d, d + 8);
        c.sourceLast = s[int64_t(r->count) * 2 - 1];
    }
    recording.calls.push_back(c);
    if (selector == kRcFilterUseSettings) return recording.useSettingsAnswer;
    if (selector == kRcFilterSetup && recording.makeSettings) {
        RcHandle h = r->host->newHandle(4);
        if (!h) return -108;
        const int32_t value = 0x5EED;
        std::memcpy(*h, &value, 4);
        if (r->specsHandle) r->host->disposeHandle(RC_HANDLE(r->specsHandle));
        r->specsHandle = RC_HANDLE_WORD(h);
    }
    return recording.setupAnswer;
}

class ClipFilters : public MixerTest {
  protected:
    void* recorder = nullptr;

    void SetUp() override {
        MixerTest::SetUp();
        InitResMgr(nullptr);
        // The preview is made in the project's audio format: 48 kHz 16-bit
        // stereo like the pattern files, so no conversion stands between.
        PsetBlock* b = psetGetBlock(reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)));
        const int32_t rate = 48000;
        std::memcpy(reinterpret_cast<char*>(b) + offsetof(PsetBlock, audio.audrate), &rate, 4);
        ASSERT_TRUE(psetIsStereo(nullptr));
        ASSERT_TRUE(psetIs16BitAudio(nullptr));
        recording = Recording{};
    }
    void TearDown() override {
        rc::platform::resetAllocationFaults();
        if (recorder) {
            reinterpret_cast<void (*)(void*)>(dlsym(recorder, "recorderSetHook"))(nullptr);
            dlclose(recorder);
        }
        MixerTest::TearDown();
    }

    static int16_t registerModule(const std::string& path) {
        const int16_t id = AddFile(path.c_str(), 0, 0, kAudioFilterKind);
        EXPECT_GT(id, 0) << path;
        FileSubscribe(id);
        PlugVersionCheck(id, kAudioFilterKind);
        return id;
    }
    // The recording module, held open here so its hook stays while the
    // library loads and unloads it.
    int16_t recorderModule() {
        const std::string path = MIXER_MODULES_DIR "/recorder.fmx";
        recorder = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(recorder, nullptr) << dlerror();
        if (!recorder) return 0;
        auto set = reinterpret_cast<void (*)(int16_t(*)(int16_t, RcAudioFilterRecord*))>(
            dlsym(recorder, "recorderSetHook"));
        EXPECT_NE(set, nullptr);
        if (set) set(recordCall);
        return registerModule(path);
    }

    static Handle int32Spec(int32_t v) {
        Handle h = NewHandle(4);
        std::memcpy(*h, &v, 4);
        return h;
    }
    // Gain keys (percent) at clip times.
    static Handle gainKeys(int16_t fileID, std::vector<std::pair<int32_t, int32_t>> keys) {
        Handle first = int32Spec(keys[0].second);
        Handle comp = NewCompSpec(first, fileID, keys[0].first);
        DisposeHandle(first);
        for (size_t i = 1; i < keys.size(); ++i) {
            Handle s = int32Spec(keys[i].second);
            EXPECT_EQ(InsertSingleSpec(comp, s, int32_t(i), keys[i].first), noErr);
            DisposeHandle(s);
        }
        return comp;
    }
};

// The pattern's stereo sample n (interleaved index) of seed 3.
int16_t stereo(int64_t index) {
    return pattern16(index / 2, int32_t(index % 2), 3);
}

TEST_F(ClipFilters, SetupGetsAPreviewAroundThePositionAndKeepsItsSettings) {
    const int16_t module = recorderModule();
    ASSERT_GT(module, 0);
    PatternFile f;
    f.seconds = 30;
    f.seed = 3;
    // 20 seconds of the file from 2 s in.
    const int32_t clip = addClip(f, 50, 500);
    ASSERT_GT(clip, 0);
    RcFilterListEntry entry{};
    entry.fileID = module;
    SetAGlobal(kSlotNoCacheOverride, 7);
    recording.setupAnswer = 9;

    // Ten seconds around tick 300: from 175, 125 ticks (6 s) into the clip.
    ASSERT_EQ(AudFilterSetup(clip, &tb, 300, &entry, table, 1), 9);
    ASSERT_EQ(recording.calls.size(), 1u);
    const Call& c = recording.calls[0];
    EXPECT_EQ(c.selector, kRcFilterSetup);
    EXPECT_EQ(c.record.version, kRcAudioFilterRecordVersion);
    EXPECT_EQ(c.record.count, 10 * 48000);
    EXPECT_EQ(c.record.format, 0x300);
    EXPECT_EQ(c.record.rate, 48000);
    EXPECT_EQ(c.record.clipID, clip);
    EXPECT_EQ(c.record.position, 125 * 1920);
    EXPECT_EQ(c.record.total, 500 * 1920);
    EXPECT_NE(c.record.source, c.record.destination);
    EXPECT_EQ(c.noCacheSlot, 1) << "files marked no-caching may be cached during the setup";
    EXPECT_EQ(GetAGlobal(kSlotNoCacheOverride), 7);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(c.source[size_t(k)], stereo(175 * 1920 * 2 + k)) << k;
        EXPECT_EQ(c.destination[size_t(k)], c.source[size_t(k)]) << k;
    }
    EXPECT_EQ(c.sourceLast, stereo((175 + 250) * 1920 * 2 - 1));
    // The settings the module made come back in the entry.
    Handle made = WordToHandle(entry.compSpec);
    ASSERT_NE(made, nullptr);
    int32_t value = 0;
    std::memcpy(&value, *made, 4);
    EXPECT_EQ(value, 0x5EED);

    // Near either end the preview stays inside the clip; a negative position
    // starts at the clip's start, or around marker 2 when it is set.
    const struct {
        int32_t position, marker, from;
    } cases[] = {{540, -1, 300}, {60, -1, 50}, {-1, -1, 50}, {-1, 250, 125}};
    for (const auto& k : cases) {
        recording.calls.clear();
        FmSetClipMarker(clip, 2, k.marker, &tb);
        ASSERT_EQ(AudFilterSetup(clip, &tb, k.position, &entry, table, 1), 9) << k.position;
        ASSERT_EQ(recording.calls.size(), 1u);
        EXPECT_EQ(recording.calls[0].record.position, int64_t(k.from - 50) * 1920) << k.position;
        EXPECT_EQ(recording.calls[0].source[0], stereo(int64_t(k.from) * 1920 * 2)) << k.position;
    }
    FmSetClipMarker(clip, 2, -1, &tb);

    // Selector -1 asks first; present settings that are enough skip the
    // setup and the answer is 0.
    recording.calls.clear();
    recording.useSettingsAnswer = 1;
    EXPECT_EQ(AudFilterSetup(clip, &tb, 300, &entry, table, -1), 0);
    ASSERT_EQ(recording.calls.size(), 1u);
    EXPECT_EQ(recording.calls[0].selector, kRcFilterUseSettings);
    EXPECT_EQ(WordToHandle(entry.compSpec), made);
    // Not enough: the setup follows and its answer is the result.
    recording.calls.clear();
    recording.useSettingsAnswer = 0;
    EXPECT_EQ(AudFilterSetup(clip, &tb, 300, &entry, table, -1), 9);
    ASSERT_EQ(recording.calls.size(), 2u);
    EXPECT_EQ(recording.calls[1].selector, kRcFilterSetup);
    EXPECT_EQ(GetAGlobal(kSlotNoCacheOverride), 7);
    DisposeHandle(WordToHandle(entry.compSpec));
}

TEST_F(ClipFilters, SetupFallsBackToThreeSecondsAndFailsWithoutMemory) {
    const int16_t module = recorderModule();
    ASSERT_GT(module, 0);
    PatternFile f;
    f.seconds = 30;
    f.seed = 3;
    const int32_t clip = addClip(f, 50, 500);
    RcFilterListEntry entry{};
    entry.fileID = module;
    recording.makeSettings = false;
    SetAGlobal(kSlotNoCacheOverride, 0);

    // Ten seconds (1.92 MB a buffer) cannot be had, three can: 75 frames
    // around tick 300 start at 263.
    rc::platform::failAllocationsAbove(1200000);
    ASSERT_EQ(AudFilterSetup(clip, &tb, 300, &entry, table, 1), 0);
    ASSERT_EQ(recording.calls.size(), 1u);
    EXPECT_EQ(recording.calls[0].record.count, 3 * 48000);
    EXPECT_EQ(recording.calls[0].record.position, int64_t(263 - 50) * 1920);
    EXPECT_EQ(recording.calls[0].source[0], stereo(int64_t(263) * 1920 * 2));
    EXPECT_EQ(recording.calls[0].sourceLast, stereo(int64_t(263 + 75) * 1920 * 2 - 1));

    // Not even the 1 MB guard: -108, the module is not called, nothing
    // changed.
    recording.calls.clear();
    rc::platform::failAllocationsAbove(500000);
    EXPECT_EQ(AudFilterSetup(clip, &tb, 300, &entry, table, 1), -108);
    EXPECT_TRUE(recording.calls.empty());
    EXPECT_EQ(uint32_t{entry.compSpec}, 0u);
    EXPECT_EQ(GetAGlobal(kSlotNoCacheOverride), 0);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(AudFilterSetup(clip, &tb, 300, &entry, table, 1), 0);
    EXPECT_EQ(recording.calls.size(), 1u);
}

// A track through the gain sample, whose keys fall from 100 % at frame 0 to
// 0 % at frame 100, mixed with a plain track at half gain: sample i of frame
// f is s0 x (100 - f) / 100 (the ramp inside a frame truncates away), and
// the mix adds s1 / 2.
TEST_F(ClipFilters, TheGainSampleInTheMixMatchesTheReference) {
    const int16_t gainModule = registerModule(std::string(REEL_EFFECT_SAMPLES_DIR "/af-gain.fmx"));
    ASSERT_GT(gainModule, 0);
    PatternFile a, b;
    a.seed = 1;
    b.seed = 2;
    const int32_t clipA = addClip(a, 0, 250), clipB = addClip(b, 0, 250);
    addTrack();
    addTrack();
    TrackItemRec* itemA = addItem(0, clipA, 0, 250);
    TrackItemRec* itemB = addItem(1, clipB, 0, 250);
    band(itemB, true, {{0, 64}, {0, 64}});  // level 128 is unity
    Handle keys = gainKeys(gainModule, {{0, 100}, {100, 0}});
    Handle list = NewHandleClear(sizeof(RcFilterListEntry));
    owned.push_back(list);
    RcFilterListEntry entry{};
    entry.fileID = gainModule;
    entry.compSpec = HandleToWord(keys);
    std::memcpy(*list, &entry, sizeof entry);
    itemA->filterList = HandleToWord(list);

    auto reference = [](int32_t frame, int32_t percent) {
        std::vector<int16_t> out(1920 * 2);
        for (int32_t i = 0; i < 1920 * 2; ++i) {
            const int64_t n = int64_t(frame) * 1920 + i / 2;
            const int32_t s0 = pattern16(n, i % 2, 1) * percent / 100;
            const int32_t s1 = pattern16(n, i % 2, 2);
            const int32_t acc = ((4096 * s0) >> 8) + ((2048 * s1) >> 8);
            out[size_t(i)] = int16_t(std::clamp(acc, -0x80000, 0x7FFFF) >> 4);
        }
        return out;
    };
    auto samples = [](const std::vector<uint8_t>& bytes) {
        std::vector<int16_t> v(bytes.size() / 2);
        std::memcpy(v.data(), bytes.data(), v.size() * 2);
        return v;
    };
    for (int32_t frame : {0, 1, 37, 99})
        EXPECT_EQ(samples(mix(frame, 0x300, 48000)), reference(frame, 100 - frame)) << frame;
    // Past its last key the filter is not run: the block passes unchanged.
    EXPECT_EQ(samples(mix(140, 0x300, 48000)), reference(140, 100));
    // With a mixer reading the envelopes the same, and the keys are kept.
    Mixer m(2);
    m.strip(0)->flags = m.strip(1)->flags = kMixerModeRead;
    EXPECT_EQ(samples(mix(60, 0x300, 48000, m.record())), reference(60, 40));
    RcFilterListEntry after;
    std::memcpy(&after, *list, sizeof after);
    EXPECT_EQ(uint32_t{after.compSpec}, HandleToWord(keys));
    EXPECT_EQ(CountSingleSpecs(keys), 2);
    // A filter switched off leaves the clip as it is.
    after.shy = 1;
    std::memcpy(*list, &after, sizeof after);
    EXPECT_EQ(samples(mix(61, 0x300, 48000)), reference(61, 100));
    itemA->filterList = 0;
    DisposeCompSpec(keys);
}

}  // namespace
