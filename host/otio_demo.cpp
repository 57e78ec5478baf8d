// The demo timeline, built in the timeline model.
#include "otio_demo.h"

namespace otio {

namespace {

constexpr double kRate = 25;

TimeRange frames(double start, double duration) {
    return {{start, kRate}, {duration, kRate}};
}

Item gap(double duration) {
    Item g;
    g.kind = Kind::Gap;
    g.range = frames(0, duration);
    return g;
}

Item clip(const char* name, const char* url, double start, double duration) {
    Item c;
    c.kind = Kind::Clip;
    c.name = name;
    c.targetUrl = url;
    c.range = frames(start, duration);
    return c;
}

Item transition(const char* type, double in, double out) {
    Item t;
    t.kind = Kind::Transition;
    t.transitionType = type;
    t.inOffset = {in, kRate};
    t.outOffset = {out, kRate};
    return t;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> demoMedia() {
    const std::string picture = "width 320\nheight 240\nrate 25\nframes 250\n";
    const std::string header = "# synthetic media for the synthetic importer\n";
    return {
        {"bars.synth", header + "kind bars\n" + picture},
        {"disc.synth", header + "kind disc\n" + picture},
        {"tone.synth",
         header + "kind tone\nfrequency 440\nsamplerate 48000\nchannels 2\nseconds 10\n"},
    };
}

Timeline demoTimeline() {
    Timeline t;
    t.name = "demo";
    t.rate = Rate{25, 1};
    // A: bars for 137 frames, tinted towards blue as they go; from 200 bars
    // again, wiped in over the disc with a white edge.
    Track a;
    a.name = "A";
    a.type = "A";
    Item bars = clip("bars", "bars.synth", 0, 137);
    bars.effects.push_back(
        Json{{"OTIO_SCHEMA", "Effect.1"},
             {"name", "tint"},
             {"effect_name", "Tint"},
             {"metadata",
              {{"reelcore",
                {{"module", "vf-tint"},
                 {"keys", Json::array({Json::array({0, 0, "#2040FF"}),
                                       Json::array({136, 80, "#2040FF"})})}}}}}});
    Item wipe = transition("Custom_Transition", 0, 24);
    wipe.transition.module = "fx-wipe";
    wipe.transition.border = 3;
    wipe.transition.borderColour = 0xFFFFFF;
    wipe.transition.antiAlias = 2;
    wipe.transition.startPoint[0] = 0, wipe.transition.startPoint[1] = 0;
    wipe.transition.endPoint[0] = 117, wipe.transition.endPoint[1] = 87;
    a.items = {bars, gap(63), wipe, clip("bars again", "bars.synth", 200, 50)};
    // B: the disc from 113, dissolving in over 24 frames.
    Track b;
    b.name = "B";
    b.type = "B";
    Item dissolve = transition("SMPTE_Dissolve", 0, 24);
    dissolve.transition.module = "fx-dissolve";
    b.items = {gap(113), dissolve, clip("disc", "disc.synth", 0, 137)};
    // The disc again over the bars, its green keyed out, fading in and out
    // while it crosses the frame turning and shrinking.
    Track s;
    s.name = "superimpose";
    s.type = "superimpose";
    Item over = clip("disc over", "disc.synth", 50, 50);
    over.settings.gain = {{0, 0}, {10, 256}, {40, 256}, {50, 0}};
    over.settings.key = Json{{"type", 10}, {"threshold", 40}, {"cutoff", 100}};
    // Around the moved picture: the disc's own green, keyed out with it.
    over.settings.motion =
        Json{{"points",
              Json::array({Json::array({25, 30, 90, 0, 0}), Json::array({55, 30, 50, 180, 1000})})},
             {"fill", "#00A000"}};
    s.items = {gap(50), over};
    // The tone at unity gain after a fade-in, panned from left to right.
    Track audio;
    audio.name = "tone";
    audio.kind = TrackKind::Audio;
    audio.type = "audio";
    Item tone = clip("tone", "tone.synth", 0, 250);
    tone.settings.gain = {{0, 0}, {25, 128}, {225, 128}, {250, 0}};
    tone.settings.pan = {{0, 0}, {250, 256}};
    audio.items = {tone};
    t.tracks = {a, b, s, audio};
    return t;
}

}  // namespace otio
