// A transition's metadata.reelcore in the timeline file: read into the model,
// written back unchanged, refused when it makes no sense, and put into the
// transition item's settings block with its module.
#include <cstring>

#include "otio.h"
#include "otio_effects.h"
#include "otio_tracks.h"
#include "reelcore/clips.h"
#include "reelcore/tracks.h"
#include "timeline_fixture.h"

namespace {

using namespace timelinetest;

std::string rt(double value) {
    return R"({"OTIO_SCHEMA": "RationalTime.1", "rate": 25, "value": )" + std::to_string(value) +
           "}";
}
std::string clip(const char* url, double duration) {
    return R"({"OTIO_SCHEMA": "Clip.1", "name": "c", "source_range": {"OTIO_SCHEMA": "TimeRange.1", "start_time": )" +
           rt(0) + R"(, "duration": )" + rt(duration) +
           R"(}, "media_reference": {"OTIO_SCHEMA": "ExternalReference.1", "target_url": ")" + url +
           R"("}})";
}
std::string gap(double duration) {
    return R"({"OTIO_SCHEMA": "Gap.1", "source_range": {"OTIO_SCHEMA": "TimeRange.1", "start_time": )" +
           rt(0) + R"(, "duration": )" + rt(duration) + "}}";
}
std::string transition(const std::string& metadata) {
    return R"({"OTIO_SCHEMA": "Transition.1", "transition_type": "SMPTE_Dissolve", "metadata": )" +
           metadata + R"(, "in_offset": )" + rt(0) + R"(, "out_offset": )" + rt(12) + "}";
}
// A: bars, a transition into more bars at 60; B: a transition into the disc
// at 36 carrying `metadata`.
std::string timelineWith(const std::string& metadata) {
    return R"({"OTIO_SCHEMA": "Timeline.1", "name": "t", "tracks": {"OTIO_SCHEMA": "Stack.1", "children": [)"
           R"({"OTIO_SCHEMA": "Track.1", "kind": "Video", "children": [)" +
           clip("bars.synth", 48) + ", " + gap(12) + ", " + transition("{}") + ", " +
           clip("bars.synth", 24) +
           R"(]}, {"OTIO_SCHEMA": "Track.1", "kind": "Video", "children": [)" + gap(36) + ", " +
           transition(metadata) + ", " + clip("disc.synth", 48) + "]}]}}";
}

const char* kFull = R"({"reelcore": {"module": "fx-wipe", "border": 3, "border_colour": "#ff8000",
    "anti_alias": 2, "reversed": true, "source": 0, "start": 25, "end": 75.5,
    "start_point": [10, 20], "end_point": [100, 80], "settings": "0a0BfF",
    "future": {"x": 1}}, "note": "kept"})";

class OtioTransition : public TimelineTest {
  protected:
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;
    bool load(const std::string& text) { return otio::read(text, t, error, notes); }
    // The settings blocks of the transition track's items, in order.
    static std::vector<TransitionSettings> blocks(const otio::LibraryTimeline& lib,
                                                  std::vector<int16_t>* modules = nullptr) {
        std::vector<TransitionSettings> out;
        Handle list = GetTypeTrack(kTrackTransition, 0, lib.table());
        for (int32_t i = 0; i < CountTrackItems(list); ++i) {
            uint32_t word;
            std::memcpy(&word, *list + i * 4, 4);
            const auto* r = reinterpret_cast<const TrackItemRec*>(*WordToHandle(word));
            TransitionSettings s;
            std::memcpy(&s, &r->transition, sizeof s);
            out.push_back(s);
            if (modules) {
                FmClipRecord c{};
                if (r->clip) std::memcpy(&c, *WordToHandle(r->clip), sizeof c);
                modules->push_back(r->clip ? c.fileID : 0);
            }
        }
        return out;
    }
};

TEST_F(OtioTransition, SettingsAreReadWrittenBackAndPutIntoTheItem) {
    ASSERT_TRUE(load(timelineWith(kFull))) << error;
    const otio::Item& item = t.tracks[1].items[1];
    ASSERT_EQ(item.kind, otio::Kind::Transition);
    const otio::TransitionOptions& o = item.transition;
    EXPECT_EQ(o.module, "fx-wipe");
    EXPECT_EQ(o.border, 3);
    EXPECT_EQ(o.borderColour.value_or(0), 0xFF8000u);
    EXPECT_EQ(o.antiAlias, 2);
    EXPECT_TRUE(o.reversed);
    EXPECT_EQ(o.source, 0);
    EXPECT_EQ(o.start, 25);
    EXPECT_EQ(o.end, 75.5);
    EXPECT_EQ(o.startPoint[0], 10);
    EXPECT_EQ(o.endPoint[1], 80);
    EXPECT_EQ(o.settings, (std::vector<uint8_t>{0x0A, 0x0B, 0xFF}));
    EXPECT_EQ(o.other.dump(), R"({"future":{"x":1}})") << "unknown keys are kept";
    EXPECT_EQ(item.metadata.dump(), R"({"note":"kept"})");
    EXPECT_EQ(t.tracks[0].items[2].transition, otio::TransitionOptions{}) << "no settings given";

    // Written and read again: the same model, and the file says it plainly.
    const std::string text = otio::write(t);
    otio::Timeline again;
    ASSERT_TRUE(otio::read(text, again, error, notes)) << error;
    EXPECT_EQ(again.tracks[1].items[1].transition, o);
    EXPECT_EQ(again.tracks[1].items[1].metadata, item.metadata);
    EXPECT_EQ(again.tracks[0].items[2].transition, otio::TransitionOptions{});
    const otio::Json written = otio::Json::parse(text);
    const otio::Json& rc = written["tracks"]["children"][1]["children"][1]["metadata"]["reelcore"];
    EXPECT_EQ(rc["border_colour"], "#FF8000");
    EXPECT_EQ(rc["settings"], "0a0bff");
    EXPECT_EQ(rc["future"]["x"], 1);

    // Onto the track table: the wipe's block, the plain transition a dissolve
    // leading from B back into A.
    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(again, "/nowhere", error)) << error;
    otio::LibraryEffects effects;
    ASSERT_TRUE(effects.attach(again, lib, REEL_EFFECT_SAMPLES_DIR, error)) << error;
    std::vector<int16_t> modules;
    const std::vector<TransitionSettings> b = blocks(lib, &modules);
    ASSERT_EQ(b.size(), 2u);
    // In order of start: the wipe at 36, the plain one at 60.
    const TransitionSettings& w = b[0];
    EXPECT_EQ(+w.source, 0);
    EXPECT_EQ(+w.reverse, 1);
    EXPECT_EQ(+w.antiAliasPasses, 2);
    EXPECT_EQ(+w.startPercent, 2500);
    EXPECT_EQ(+w.endPercent, 7550);
    EXPECT_EQ(+w.borderWidth, 3);
    EXPECT_EQ(+w.borderColor, 0x0080FFu) << "0x00BBGGRR";
    EXPECT_EQ(+w.startPoint.x, 10);
    EXPECT_EQ(+w.startPoint.y, 20);
    EXPECT_EQ(+w.endPoint.x, 100);
    EXPECT_EQ(+w.endPoint.y, 80);
    Handle settings = WordToHandle(w.settings);
    ASSERT_NE(settings, nullptr);
    ASSERT_EQ(GetHandleSize(settings), 3u);
    EXPECT_EQ(std::memcmp(*settings, "\x0A\x0B\xFF", 3), 0);
    const TransitionSettings& plain = b[1];
    EXPECT_EQ(+plain.source, 0) << "on A: from B into A";
    EXPECT_EQ(+plain.reverse, 0);
    EXPECT_EQ(+plain.startPercent, 0);
    EXPECT_EQ(+plain.endPercent, 10000);
    EXPECT_EQ(+plain.settings, 0u);
    char path[2][300];
    GetFSSpecPath(modules[0], path[0]);
    GetFSSpecPath(modules[1], path[1]);
    EXPECT_NE(std::string(path[0]).find("/fx-wipe.fmx"), std::string::npos) << path[0];
    EXPECT_NE(std::string(path[1]).find("/fx-dissolve.fmx"), std::string::npos) << path[1];
    EXPECT_EQ(GetFileVersion(modules[0]), 3);
}

TEST_F(OtioTransition, ATransitionOnBLeadsFromAIntoB) {
    ASSERT_TRUE(load(timelineWith("{}"))) << error;
    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(t, "/nowhere", error)) << error;
    otio::LibraryEffects effects;
    ASSERT_TRUE(effects.attach(t, lib, REEL_EFFECT_SAMPLES_DIR, error)) << error;
    const std::vector<TransitionSettings> b = blocks(lib);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(+b[0].source, 1) << "differing source and reverse bytes put A into source 1";
    EXPECT_EQ(+b[1].source, 0);
    // A module that is not there is an error that names it.
    ASSERT_TRUE(load(timelineWith(R"({"reelcore": {"module": "fx-none"}})"))) << error;
    otio::LibraryTimeline lib2;
    ASSERT_TRUE(lib2.build(t, "/nowhere", error)) << error;
    otio::LibraryEffects effects2;
    EXPECT_FALSE(effects2.attach(t, lib2, "/nowhere", error));
    EXPECT_NE(error.find("fx-none"), std::string::npos) << error;
}

TEST_F(OtioTransition, SettingsThatMakeNoSenseAreRefusedWithTheReason) {
    const std::pair<const char*, const char*> bad[] = {
        {R"({"border": 101})", "\"border\" is a whole number from 0 to 100"},
        {R"({"border": 2.5})", "\"border\" is a whole number"},
        {R"({"anti_alias": -1})", "\"anti_alias\" is a whole number from 0 to 16"},
        {R"({"border_colour": "red"})", "\"border_colour\" is not #RRGGBB"},
        {R"({"reversed": "yes"})", "\"reversed\" is not true or false"},
        {R"({"source": 256})", "\"source\" is a whole number from 0 to 255"},
        {R"({"start": 120})", "\"start\" is 0 ... 100 percent"},
        {R"({"end": "all"})", "\"end\" is not a number"},
        {R"({"start_point": [1]})", "\"start_point\" is not [x, y]"},
        {R"({"end_point": [1, 99999]})", "\"end_point\" lies beyond"},
        {R"({"settings": "abc"})", "\"settings\" is not bytes in hexadecimal"},
        {R"({"settings": 12})", "\"settings\" is not bytes in hexadecimal"},
        {R"({"module": "../fx-wipe"})", "\"module\" is the name of a module"},
        {R"("wipe")", "metadata.reelcore is not an object"},
    };
    for (const auto& [reelcore, why] : bad) {
        EXPECT_FALSE(load(timelineWith(std::string(R"({"reelcore": )") + reelcore + "}")))
            << reelcore;
        EXPECT_NE(error.find(why), std::string::npos) << reelcore << ": " << error;
        EXPECT_NE(error.find("track 1 item 1"), std::string::npos) << error;
    }
}

}  // namespace
