// reelhost's timeline file: OpenTimelineIO JSON written by hand in the style
// of published OTIO examples, read into the model, mapped onto the track
// table, and written back.
#include "otio.h"
#include "otio_tracks.h"
#include "tracks_fixture.h"

using namespace trackstest;

namespace {

std::string rt(double value, double rate) {
    return R"({"OTIO_SCHEMA": "RationalTime.1", "rate": )" + std::to_string(rate) +
           R"(, "value": )" + std::to_string(value) + "}";
}
std::string range(double start, double duration, double rate) {
    return R"({"OTIO_SCHEMA": "TimeRange.1", "duration": )" + rt(duration, rate) +
           R"(, "start_time": )" + rt(start, rate) + "}";
}
std::string clipJson(const std::string& name, const std::string& url, double start, double duration,
                     double rate, const std::string& effects = "[]",
                     const std::string& metadata = "{}") {
    return R"({"OTIO_SCHEMA": "Clip.1", "metadata": )" + metadata + R"(, "name": ")" + name +
           R"(", "source_range": )" + range(start, duration, rate) + R"(, "effects": )" + effects +
           R"(, "markers": [], "media_reference": {"OTIO_SCHEMA": "ExternalReference.1", "metadata": {}, "target_url": ")" +
           url + R"(", "available_range": null}})";
}
std::string gap(double duration, double rate) {
    return R"({"OTIO_SCHEMA": "Gap.1", "metadata": {}, "name": "", "source_range": )" +
           range(0, duration, rate) + R"(, "effects": [], "markers": []})";
}
std::string transition(double in, double out, double rate) {
    return R"({"OTIO_SCHEMA": "Transition.1", "metadata": {}, "name": "", "transition_type": "SMPTE_Dissolve", "in_offset": )" +
           rt(in, rate) + R"(, "out_offset": )" + rt(out, rate) + "}";
}
std::string track(const std::string& kind, const std::vector<std::string>& children,
                  const std::string& metadata = "{}") {
    std::string out = R"({"OTIO_SCHEMA": "Track.1", "metadata": )" + metadata + R"(, "name": ")" +
                      kind + R"(", "source_range": null, "effects": [], "markers": [], "kind": ")" +
                      kind + R"(", "children": [)";
    for (size_t i = 0; i < children.size(); ++i) out += (i ? ", " : "") + children[i];
    return out + "]}";
}
std::string timeline(const std::vector<std::string>& tracks) {
    std::string out =
        R"({"OTIO_SCHEMA": "Timeline.1", "metadata": {}, "name": "cut", "global_start_time": null, "tracks": {"OTIO_SCHEMA": "Stack.1", "metadata": {}, "name": "tracks", "source_range": null, "effects": [], "markers": [], "children": [)";
    for (size_t i = 0; i < tracks.size(); ++i) out += (i ? ", " : "") + tracks[i];
    return out + "]}}";
}

class Otio : public TracksTest {
  protected:
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;

    bool load(const std::string& text) { return otio::read(text, t, error, notes); }
    static const TrackItemRec* itemAt(Handle table, int32_t track, int32_t index) {
        Handle list = GetTypeTrack(kTrackAll, track, table);
        uint32_t word;
        std::memcpy(&word, *list + index * 4, 4);
        return reinterpret_cast<const TrackItemRec*>(*WordToHandle(word));
    }
};

TEST_F(Otio, TwoVideoTracksWithADissolveAndAudio) {
    ASSERT_TRUE(load(timeline({
        track("Video", {clipJson("bars", "bars.synth", 0, 48, 24), gap(24, 24)}),
        track("Video", {gap(36, 24), transition(0, 12, 24),
                        clipJson("disc", "file:///media/disc%20one.synth", 100, 36, 24)}),
        track("Video", {gap(10, 24), clipJson("logo", "disc.synth", 0, 20, 24)}),
        track("Audio", {clipJson("tone", "/media/tone.synth", 0, 72, 24)}),
    }))) << error;
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(t.rate.scale, 24);
    EXPECT_EQ(t.rate.samp, 1);
    ASSERT_EQ(t.tracks.size(), 4u);
    EXPECT_EQ(t.tracks[1].items[1].kind, otio::Kind::Transition);
    EXPECT_EQ(otio::resolveUrl(t.tracks[1].items[2].targetUrl, "/x"), "/media/disc one.synth");
    EXPECT_EQ(otio::resolveUrl("bars.synth", "/x"), "/x/bars.synth");

    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(t, "/nowhere", error)) << error;
    Handle table = lib.table();
    ASSERT_EQ(CountTracks(table), 5);
    EXPECT_EQ(lib.trackLabel(0), "A");
    EXPECT_EQ(lib.trackLabel(1), "B");
    EXPECT_EQ(lib.trackLabel(2), "transition");
    EXPECT_EQ(lib.trackLabel(3), "superimpose 1");
    EXPECT_EQ(lib.trackLabel(4), "audio 1");
    EXPECT_EQ(lib.length(), 72);
    // B's disc starts at 36; the dissolve covers [36, 48) on the transition track.
    const TrackItemRec* disc = itemAt(table, 1, 0);
    EXPECT_EQ(+disc->start, 36);
    EXPECT_EQ(+disc->end, 72);
    EXPECT_EQ(CountTrackItems(GetTypeTrack(kTrackTransition, 0, table)), 1);
    const TrackItemRec* dissolve = itemAt(table, 2, 0);
    EXPECT_EQ(+dissolve->start, 36);
    EXPECT_EQ(+dissolve->end, 48);
    // Each clip's file, and the source frame at a time.
    const int16_t bars = GetTrackSegPtr(kTrackAll, 0, 10, nullptr, table);
    const int16_t discFile = GetTrackSegPtr(kTrackAll, 1, 40, nullptr, table);
    EXPECT_GT(bars, 0);
    EXPECT_GT(discFile, 0);
    EXPECT_NE(bars, discFile);
    EXPECT_GT(GetTrackSegPtr(kTrackAll, 3, 15, nullptr, table), 0);
    EXPECT_EQ(GetTrackSegPtr(kTrackAll, 3, 5, nullptr, table), 0);  // the gap before the logo
    EXPECT_EQ(GetLocalFrame(40, &lib.timeBase(), disc, 0), 104);
    EXPECT_EQ(GetTrackSegPtr(kTrackAll, 0, 48, nullptr, table), 0);  // bars end at 48
    EXPECT_TRUE(RangeHasAudio(0, 72, table));
    EXPECT_EQ(ClipFile(disc->clipID), discFile);
}

TEST_F(Otio, NestedStacksAreRefused) {
    const std::string stack =
        R"({"OTIO_SCHEMA": "Stack.1", "metadata": {}, "name": "nested", "source_range": null, "effects": [], "markers": [], "children": []})";
    EXPECT_FALSE(load(timeline({track("Video", {clipJson("a", "a.synth", 0, 10, 24), stack})})));
    EXPECT_NE(error.find("track 0 item 1: nested stacks are not supported"), std::string::npos)
        << error;
    EXPECT_FALSE(load(timeline({stack})));
    EXPECT_NE(error.find("track 0: nested stacks are not supported"), std::string::npos) << error;
    EXPECT_FALSE(load("{\"OTIO_SCHEMA\": \"Track.1\"}"));
    EXPECT_EQ(error, "not a Timeline (Track.1)");
    EXPECT_FALSE(load("{\"OTIO_SCHEMA\": \"SerializableCollection.1\", \"children\": []}"));
    EXPECT_FALSE(load("{\"OTIO_SCHEMA\": \"Timeline.1\""));
    EXPECT_EQ(error, "not JSON");
    EXPECT_FALSE(load(timeline({track("Video", {clipJson("a", "a.synth", 0, -3, 24)})})));
    EXPECT_NE(error.find("negative duration"), std::string::npos);
    EXPECT_FALSE(load(timeline({track("Video", {clipJson("a", "a.synth", 0, 3, 0)})})));
    EXPECT_NE(error.find("rate is not positive"), std::string::npos);
}

TEST_F(Otio, RatesBecomeExactTimeBases) {
    struct Case {
        double fps;
        int32_t scale, samp;
    } cases[] = {
        {23.976, 23976, 1000}, {23.976023976023978, 23976, 1000}, {24, 24, 1},       {25, 25, 1},
        {29.97, 2997, 100},    {30000.0 / 1001, 2997, 100},       {59.94, 5994, 100}};
    for (const Case& c : cases) {
        otio::Rate r;
        ASSERT_TRUE(otio::rateFromFps(c.fps, r)) << c.fps;
        EXPECT_EQ(r.scale, c.scale) << c.fps;
        EXPECT_EQ(r.samp, c.samp) << c.fps;
    }
    otio::Rate r;
    EXPECT_FALSE(otio::rateFromFps(0, r));
    EXPECT_FALSE(otio::rateFromFps(-24, r));
    // A 29.97 timeline: frame counts become ticks of 2997/100 exactly.
    ASSERT_TRUE(load(
        timeline({track("Video", {gap(30, 29.97), clipJson("tc", "tc.synth", 86313, 60, 29.97)})})))
        << error;
    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(t, "", error)) << error;
    EXPECT_EQ(lib.timeBase().scale, 2997);
    EXPECT_EQ(lib.timeBase().samp, 100);
    const TrackItemRec* item = itemAt(lib.table(), 0, 0);
    EXPECT_EQ(+item->start, 3000);
    EXPECT_EQ(+item->end, 9000);
    EXPECT_EQ(GetClipIn(item->clipID, nullptr), 8631300);
    EXPECT_EQ(GetClipOut(item->clipID, nullptr), 8637200);
    // Times at another rate are converted through seconds: 25 fps frames on a
    // 24 fps timeline.
    EXPECT_EQ(otio::toTicks({50, 25}, otio::Rate{24, 1}), 48);
    EXPECT_EQ(otio::toTicks({1001, 23.976}, otio::Rate{23976, 1000}), 1001000);
}

TEST_F(Otio, TimeWarpsSetDirectionSpeedAndHolds) {
    const std::string backwards =
        R"([{"OTIO_SCHEMA": "LinearTimeWarp.1", "metadata": {}, "name": "", "effect_name": "LinearTimeWarp", "time_scalar": -1.0}])";
    const std::string fast =
        R"([{"OTIO_SCHEMA": "LinearTimeWarp.1", "metadata": {}, "name": "", "effect_name": "LinearTimeWarp", "time_scalar": 2.0}])";
    const std::string freeze =
        R"([{"OTIO_SCHEMA": "FreezeFrame.1", "metadata": {}, "name": "", "effect_name": "FreezeFrame", "time_scalar": 0.0}])";
    ASSERT_TRUE(load(timeline({track("Video", {clipJson("back", "a.synth", 10, 20, 25, backwards),
                                               clipJson("fast", "a.synth", 0, 20, 25, fast),
                                               clipJson("still", "a.synth", 5, 20, 25, freeze)})})))
        << error;
    ASSERT_EQ(t.tracks[0].items.size(), 3u);
    EXPECT_EQ(t.tracks[0].items[0].speed, -1);
    EXPECT_EQ(t.tracks[0].items[1].speed, 2);
    EXPECT_EQ(t.tracks[0].items[2].speed, 0);
    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(t, "", error)) << error;
    const TDB& tb = lib.timeBase();
    const TrackItemRec* back = itemAt(lib.table(), 0, 0);
    EXPECT_EQ(GetClipBackwards(back->clipID), 1);
    EXPECT_EQ(GetLocalFrame(0, &tb, back, 0), 29);  // plays from the Out point
    EXPECT_EQ(GetLocalFrame(19, &tb, back, 0), 10);
    EXPECT_FLOAT_EQ(ClipRate(itemAt(lib.table(), 0, 1)->clipID), 200.0f);
    const TrackItemRec* still = itemAt(lib.table(), 0, 2);
    EXPECT_EQ(still->flags & (kItemHoldOn | kItemHoldSource), kItemHoldOn | kItemHoldIn);
    EXPECT_EQ(GetLocalFrame(55, &tb, still, 0), 5);
    // Written back, the warps are effects again.
    otio::Timeline again;
    ASSERT_TRUE(otio::read(otio::write(t), again, error, notes)) << error;
    EXPECT_EQ(again.tracks[0].items[0].speed, -1);
    EXPECT_EQ(again.tracks[0].items[2].speed, 0);
}

TEST_F(Otio, UnknownSchemasAreKeptAndReported) {
    const std::string unknownItem =
        R"({"OTIO_SCHEMA": "Spline.1", "name": "curve", "points": [1, 2, 3], "source_range": )" +
        range(0, 5, 24) + "}";
    const std::string blur =
        R"([{"OTIO_SCHEMA": "Effect.1", "metadata": {}, "name": "blur", "effect_name": "Blur"}])";
    const std::string generator =
        R"({"OTIO_SCHEMA": "Clip.2", "metadata": {"vendor": {"take": 3}}, "name": "gen", "source_range": )" +
        range(0, 10, 24) +
        R"(, "effects": [], "markers": [], "active_media_reference_key": "DEFAULT_MEDIA", "media_references": {"DEFAULT_MEDIA": {"OTIO_SCHEMA": "GeneratorReference.1", "generator_kind": "SMPTEBars", "parameters": {}, "metadata": {}, "name": ""}}})";
    const std::string dataTrack =
        R"({"OTIO_SCHEMA": "Track.1", "kind": "Data", "name": "cc", "children": []})";
    ASSERT_TRUE(load(timeline(
        {track("Video", {clipJson("a", "a.synth", 0, 10, 24, blur), unknownItem, generator}),
         dataTrack})))
        << error;
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_NE(notes[0].find("effect Effect.1 kept"), std::string::npos) << notes[0];
    EXPECT_NE(notes[1].find("Spline.1 kept as written (it takes 5"), std::string::npos) << notes[1];
    EXPECT_NE(notes[2].find("GeneratorReference.1 kept as written"), std::string::npos) << notes[2];
    EXPECT_NE(notes[3].find("track 1: a track of kind \"Data\" kept"), std::string::npos)
        << notes[3];
    // The unknown item still takes its time: the generator clip starts at 15.
    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(t, "", error)) << error;
    EXPECT_EQ(CountTracks(lib.table()), 3);  // A, B and transition; the data track is not mapped
    EXPECT_EQ(+itemAt(lib.table(), 0, 1)->start, 15);
    // Written back, everything is still there.
    const std::string out = otio::write(t);
    EXPECT_NE(out.find("\"points\""), std::string::npos);
    EXPECT_NE(out.find("\"effect_name\": \"Blur\""), std::string::npos);
    EXPECT_NE(out.find("SMPTEBars"), std::string::npos);
    EXPECT_NE(out.find("\"kind\": \"Data\""), std::string::npos);
    EXPECT_NE(out.find("\"take\": 3"), std::string::npos);
    otio::Timeline again;
    std::vector<std::string> notes2;
    ASSERT_TRUE(otio::read(out, again, error, notes2));
    EXPECT_EQ(notes2.size(), notes.size());
    EXPECT_EQ(otio::write(again), out);
}

TEST_F(Otio, ReelcoreMetadataBecomesBandsHoldsAndTypes) {
    const std::string settings =
        R"({"reelcore": {"gain": [[0, 0], [10, 256], [40, 128]], "pan": [[20, 0]], "opacity": 60, "hold": {"source": "window", "filters": true, "start": 5, "end": 30}, "hold_rate": 12, "key": {"type": "chroma"}}, "other": 1})";
    const std::string typed = R"({"reelcore": {"type": "superimpose"}})";
    ASSERT_TRUE(
        load(timeline({track("Video", {clipJson("s", "s.synth", 0, 40, 25, "[]", settings)}, typed),
                       track("Video", {clipJson("a", "a.synth", 0, 40, 25)})})))
        << error;
    EXPECT_EQ(t.tracks[0].type, "superimpose");
    const otio::ItemSettings& s = t.tracks[0].items[0].settings;
    EXPECT_EQ(s.gain.size(), 3u);
    EXPECT_EQ(s.hold, "window");
    EXPECT_EQ(t.tracks[0].items[0].metadata.dump(), "{\"other\":1}");
    otio::LibraryTimeline lib;
    ASSERT_TRUE(lib.build(t, "", error)) << error;
    EXPECT_EQ(lib.trackLabel(3), "superimpose 1");
    EXPECT_EQ(CountTrackItems(GetTypeTrack(kTrackAll, 0, lib.table())),
              1);  // the untyped track is A
    const TrackItemRec* item = itemAt(lib.table(), 3, 0);
    Handle gain = GetTrackGainBand(item), pan = GetTrackPanBand(item);
    EXPECT_EQ(ValueAtPoint(5, 256, gain), 128);
    EXPECT_EQ(ValueAtPoint(25, 200, gain), 150);
    EXPECT_EQ(ValueAtPoint(0, 200, pan), 0);  // one point spread over the item
    EXPECT_EQ(ValueAtPoint(40, 200, pan), 0);
    EXPECT_EQ(+item->opacity, 60);
    EXPECT_EQ(+item->holdRate, 12);
    EXPECT_EQ(+item->flags, kItemHoldOn | kItemHoldWindow | kItemHoldFilters | kItemFieldA);
    EXPECT_EQ(+item->holdStart, 5);
    EXPECT_EQ(+item->holdEnd, 30);
    // Round trip keeps it all.
    const std::string out = otio::write(t);
    otio::Timeline again;
    ASSERT_TRUE(otio::read(out, again, error, notes));
    EXPECT_EQ(otio::write(again), out);
    EXPECT_EQ(again.tracks[0].items[0].settings.key.dump(), "{\"type\":\"chroma\"}");
    // Bad settings are refused with the place named.
    EXPECT_FALSE(
        load(timeline({track("Video", {clipJson("s", "s.synth", 0, 40, 25, "[]",
                                                R"({"reelcore": {"gain": [[0, 300]]}})")})})));
    EXPECT_EQ(error, "track 0 item 0 gain: band levels are 0 ... 256");
}

}  // namespace
