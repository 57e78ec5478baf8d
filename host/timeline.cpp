// reelhost timeline: writes a demo timeline file over synthetic media, and
// explains a timeline file: its tracks and items as the library holds them
// and, at a time, what each track shows.
//
// Synthetic media are tiny text files read by the synthetic importer: one
// "key value" per line, '#' starts a comment; "kind" is bars (colour bars),
// disc (a moving disc) or tone (a sine tone). Pictures have "width",
// "height", "rate" (frames per second) and "frames"; tones have
// "frequency", "samplerate", "channels" and "seconds".
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host.h"
#include "otio.h"
#include "otio_demo.h"
#include "otio_tracks.h"
#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/tracks.h"

namespace {

struct {
    std::string dir;
    std::string file;
    std::string time;
    std::string action;
} args;

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return bool(out);
}

// ---- demo ----

int runDemo() {
    std::error_code ec;
    std::filesystem::create_directories(args.dir, ec);
    for (const auto& [name, text] : otio::demoMedia()) {
        const std::string path = args.dir + "/" + name;
        if (!writeText(path, text)) {
            std::fprintf(stderr, "reelhost: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("wrote %s\n", path.c_str());
    }
    const std::string path = args.dir + "/demo.otio";
    std::string error;
    if (!otio::writeFile(path, otio::demoTimeline(), error)) {
        std::fprintf(stderr, "reelhost: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s\n", path.c_str());
    return 0;
}

// ---- show ----

// TIME: frames, or HH:MM:SS:FF at the timeline's whole rate.
bool parseTime(const std::string& text, const otio::Rate& rate, int64_t& ticks) {
    int64_t frames = 0;
    if (text.find(':') == std::string::npos) {
        if (!host::parseDecimal(text, frames)) return false;
    } else {
        int64_t part[4];
        size_t from = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t colon = i < 3 ? text.find(':', from) : text.size();
            if (colon == std::string::npos ||
                !host::parseDecimal(text.substr(from, colon - from), part[i]) || part[i] < 0)
                return false;
            from = colon + 1;
        }
        const int64_t fps = std::max<int64_t>(1, int64_t(rate.fps() + 0.5));
        frames = ((part[0] * 60 + part[1]) * 60 + part[2]) * fps + part[3];
    }
    ticks = frames * rate.samp;
    return ticks >= INT32_MIN && ticks <= INT32_MAX;
}

const otio::Item* modelItem(const otio::Timeline& t, const otio::LibraryTimeline& lib,
                            Handle record) {
    for (const otio::PlacedItem& p : lib.placed())
        if (p.record == record) return &t.tracks[p.track].items[p.item];
    return nullptr;
}

Handle itemHandle(Handle list, int32_t index) {
    uint32_t word;
    std::memcpy(&word, *list + size_t(index) * sizeof word, sizeof word);
    return WordToHandle(word);
}

std::string framesText(int64_t ticks, const otio::Rate& rate) {
    const double f = double(ticks) / rate.samp;
    char out[32];
    std::snprintf(out, sizeof out, f == int64_t(f) ? "%.0f" : "%.2f", f);
    return out;
}

// "SMPTE_Dissolve: fx-dissolve", with the settings that are not the defaults.
std::string transitionText(const otio::Item& m) {
    const otio::TransitionOptions& o = m.transition;
    std::string out = m.transitionType + ": " + (o.module.empty() ? "fx-dissolve" : o.module);
    char text[96];
    if (o.border) {
        std::snprintf(text, sizeof text, ", border %d #%06X", int(o.border),
                      unsigned(o.borderColour.value_or(0)));
        out += text;
    }
    if (o.antiAlias) out += ", anti-alias " + std::to_string(o.antiAlias);
    if (o.reversed) out += ", reversed";
    if (o.start != 0 || o.end != 100) {
        std::snprintf(text, sizeof text, ", runs %g ... %g %%", o.start, o.end);
        out += text;
    }
    if (o.startPoint[0] || o.startPoint[1] || o.endPoint[0] || o.endPoint[1]) {
        std::snprintf(text, sizeof text, ", from (%d, %d) to (%d, %d)", int(o.startPoint[0]),
                      int(o.startPoint[1]), int(o.endPoint[0]), int(o.endPoint[1]));
        out += text;
    }
    if (!o.settings.empty()) out += ", " + std::to_string(o.settings.size()) + " bytes of settings";
    return out;
}

void listTracks(const otio::Timeline& t, const otio::LibraryTimeline& lib) {
    const otio::Rate& rate = t.rate;
    for (int32_t i = 0; i < CountTracks(lib.table()); ++i) {
        Handle list = GetTypeTrack(kTrackAll, i, lib.table());
        const int32_t count = CountTrackItems(list);
        std::printf("%s (type 0x%04X): %d item%s\n", lib.trackLabel(i).c_str(),
                    GetIndTrackType(kTrackAll, i, lib.table()), count, count == 1 ? "" : "s");
        for (int32_t k = 0; k < count; ++k) {
            const auto* r = reinterpret_cast<const TrackItemRec*>(*itemHandle(list, k));
            const otio::Item* m = modelItem(t, lib, itemHandle(list, k));
            const int32_t start = r->start, end = r->end, clipID = r->clipID;
            std::printf("  [%s, %s)", framesText(start, rate).c_str(),
                        framesText(end, rate).c_str());
            if (m && m->kind == otio::Kind::Transition) {
                std::printf(" transition %s\n", transitionText(*m).c_str());
                continue;
            }
            std::printf(" %s: %s, FileID %d, clip %d, source %s-%s", m ? m->name.c_str() : "?",
                        m ? m->targetUrl.c_str() : "?", ClipFile(clipID), clipID,
                        framesText(GetClipIn(clipID, nullptr), rate).c_str(),
                        framesText(GetClipOut(clipID, nullptr), rate).c_str());
            if (GetClipBackwards(clipID)) std::printf(", backwards");
            if (r->flags & kItemHoldOn) std::printf(", frame hold");
            if (r->opacity) std::printf(", opacity %d%%", int(r->opacity));
            if (r->gainBand) std::printf(", gain band");
            if (r->panBand) std::printf(", pan band");
            std::printf("\n");
        }
    }
}

void showAt(const otio::Timeline& t, const otio::LibraryTimeline& lib, int32_t ticks) {
    std::printf("at frame %s:\n", framesText(ticks, t.rate).c_str());
    for (int32_t i = 0; i < CountTracks(lib.table()); ++i) {
        const uint16_t type = GetIndTrackType(kTrackAll, i, lib.table());
        Handle ref = nullptr;
        const int16_t file = GetTrackSegPtr(kTrackAll, i, ticks, &ref, lib.table());
        std::printf("  %s: ", lib.trackLabel(i).c_str());
        if (!ref) {
            std::printf("nothing\n");
            continue;
        }
        const auto* r = reinterpret_cast<const TrackItemRec*>(*ref);
        const int32_t start = r->start, end = r->end;
        if (type == kTrackTypeTransition) {
            std::printf("transition [%s, %s), progress %s/%s\n", framesText(start, t.rate).c_str(),
                        framesText(end, t.rate).c_str(), framesText(ticks - start, t.rate).c_str(),
                        framesText(end - start, t.rate).c_str());
            continue;
        }
        std::printf("FileID %d, source frame %s", file,
                    framesText(GetLocalFrame(ticks, &lib.timeBase(), r, 0), t.rate).c_str());
        const int32_t at = ticks - start;
        if (Handle gain = GetTrackGainBand(r)) {
            if (type == kTrackTypeAudio)
                std::printf(", gain %d of 200 (100 unity)", int(ValueAtPoint(at, 200, gain)));
            else
                std::printf(", fade %d of 255", int(ValueAtPoint(at, 255, gain)));
        }
        if (Handle pan = GetTrackPanBand(r))
            std::printf(", pan %d of 200 (100 centre)", int(ValueAtPoint(at, 200, pan)));
        std::printf("\n");
    }
}

int runShow() {
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;
    if (!otio::readFile(args.file, t, error, notes)) {
        std::fprintf(stderr, "reelhost: %s\n", error.c_str());
        return 1;
    }
    const std::string base = std::filesystem::path(args.file).parent_path().string();
    otio::LibraryTimeline lib;
    if (!lib.build(t, base.empty() ? "." : base, error)) {
        std::fprintf(stderr, "reelhost: %s: %s\n", args.file.c_str(), error.c_str());
        return 1;
    }
    int64_t ticks = 0;
    if (!args.time.empty() && !parseTime(args.time, t.rate, ticks))
        throw CLI::ValidationError("TIME",
                                   "'" + args.time + "' is not a frame number or HH:MM:SS:FF");
    std::printf("%s: timeline \"%s\", %g fps (%d/%d), %s frames, %d tracks\n", args.file.c_str(),
                t.name.c_str(), t.rate.fps(), t.rate.scale, t.rate.samp,
                framesText(lib.length(), t.rate).c_str(), CountTracks(lib.table()));
    for (const std::string& note : notes) std::printf("kept, not used: %s\n", note.c_str());
    listTracks(t, lib);
    if (!args.time.empty()) showAt(t, lib, int32_t(ticks));
    return 0;
}

host::Registrar timelineCommand(host::Command{
    "timeline", "write a demo timeline (.otio), or explain a timeline file",
    [](CLI::App& cmd) {
        cmd.require_subcommand(1);
        CLI::App* demo = cmd.add_subcommand(
            "demo", "write demo.otio over synthetic bars, moving disc and tone into DIR");
        demo->add_option("DIR", args.dir, "folder for the files (made when missing)")->required();
        demo->callback([] { args.action = "demo"; });
        CLI::App* show =
            cmd.add_subcommand("show", "list tracks and items; at TIME, what each track shows");
        show->add_option("FILE", args.file, "OpenTimelineIO file (.otio)")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        show->add_option("TIME", args.time, "frame number, or HH:MM:SS:FF");
        show->callback([] { args.action = "show"; });
    },
    [] { return args.action == "demo" ? runDemo() : runShow(); }});

}  // namespace
