// reelhost's timeline file: OpenTimelineIO JSON (".otio"). A plain in-memory
// model of a timeline (video and audio tracks of clips, gaps and
// transitions), its reader and writer, and its mapping onto the library's
// track table (otio_tracks.cpp).
//
// What OTIO has no schema for lives in each object's metadata under
// "reelcore", so other OTIO tools keep it:
//   track: "type": "A" | "B" | "superimpose" | "audio"
//   clip:  "gain", "pan": [[frame, level], ...] band points, frames counted
//          from the item's start, levels 0 ... 256 (128 is half height:
//          unity gain, centre pan); "opacity": percent (0 means 100);
//          "hold": {"source": "in" | "marker" | "out" | "window",
//          "filters": bool, "start": frame, "end": frame};
//          "hold_rate": frames per second of a reduced frame rate;
//          "key", "motion": kept as written (their settings)
//   transition: "module": a transition module's name (default the
//          dissolve), "border": width 0 ... 100, "border_colour": "#RRGGBB",
//          "anti_alias": passes 0 ... 16, "reversed": bool, "source":
//          direction byte 0 ... 255 (default: 1 on track B, where a transition
//          leads from A into B, else 0), "start", "end": percent of the
//          effect run over the transition (0 ... 100), "start_point",
//          "end_point": [x, y] in the 117 x 87 reference frame, "settings":
//          the module's own settings bytes in hexadecimal
// Objects whose schema the reader does not know are kept as written and
// listed in the reader's notes; a nested Stack is refused.
//
// Target URLs are file paths, or file:// URLs; relative paths are taken
// from the folder of the .otio file.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace otio {

using Json = nlohmann::ordered_json;

// A frame rate as a library time base: scale ÷ samp frames per second.
// Rates are taken to three decimals, written as the library writes them:
// 29.97 (or 30000/1001) is 2997/100, 23.976 is 23976/1000.
struct Rate {
    int32_t scale = 25;
    int32_t samp = 1;
    double fps() const { return double(scale) / double(samp); }
};
// False for a rate that is not positive or cannot be held in 32 bits.
bool rateFromFps(double fps, Rate& out);

// A time as OTIO writes it: value frames at rate frames per second.
struct RationalTime {
    double value = 0;
    double rate = 25;
};
struct TimeRange {
    RationalTime start;
    RationalTime duration;
};

// Ticks of the timeline's time base (frames × samp), rounded to the nearest.
int64_t toTicks(const RationalTime& t, const Rate& rate);
RationalTime fromTicks(int64_t ticks, const Rate& rate);

struct BandPoint {
    double frame = 0;   // from the item's start
    int32_t level = 0;  // 0 ... 256
};

// metadata.reelcore of a clip.
struct ItemSettings {
    std::vector<BandPoint> gain, pan;
    int32_t opacity = 0;
    std::string hold;  // "" none, "in", "marker", "out", "window"
    bool holdFilters = false;
    double holdStart = 0, holdEnd = 0;  // frames; 0 = open
    int32_t holdRate = 0;
    Json key, motion;  // null when absent
};

// metadata.reelcore of a transition: what the library keeps in the
// transition item's settings block.
struct TransitionOptions {
    std::string module;  // "" : the dissolve
    int32_t border = 0;
    std::optional<uint32_t> borderColour;  // 0xRRGGBB
    int32_t antiAlias = 0;
    bool reversed = false;
    int32_t source = -1;  // -1: from the track
    double start = 0, end = 100;
    int32_t startPoint[2] = {0, 0};
    int32_t endPoint[2] = {0, 0};
    std::vector<uint8_t> settings;
    Json other = Json::object();  // keys this reader does not know, kept as written

    bool operator==(const TransitionOptions&) const = default;
};

enum class Kind { Clip, Gap, Transition, Unknown };

struct Item {
    Kind kind = Kind::Gap;
    std::string schema;  // as written, e.g. "Clip.1"
    std::string name;
    TimeRange range;  // clip: source_range; gap and unknown: its length
    std::string targetUrl;
    std::optional<TimeRange> available;  // the media reference's available_range
    Json reference;                      // a media reference other than ExternalReference
    double speed = 1;                    // time warp: negative plays backwards, 0 freezes
    std::string transitionType;
    RationalTime inOffset, outOffset;
    ItemSettings settings;
    TransitionOptions transition;
    Json metadata = Json::object();  // metadata without "reelcore"
    Json effects = Json::array();    // effects other than time warps
    Json markers = Json::array();
    Json raw;  // Unknown: the whole object

    // Frames this item takes in its track (transitions take none).
    RationalTime length() const;
};

enum class TrackKind { Video, Audio, Unknown };

struct Track {
    TrackKind kind = TrackKind::Video;
    std::string name;
    std::string type;  // metadata.reelcore.type; empty: from the track's place
    std::vector<Item> items;
    Json metadata = Json::object();
    Json sourceRange;  // kept as written; the library does not trim tracks
    Json effects = Json::array();
    Json markers = Json::array();
    Json raw;  // Unknown: the whole object
};

struct Timeline {
    std::string name;
    Rate rate;  // the first clip's (or gap's) rate, else 25
    std::vector<Track> tracks;
    Json metadata = Json::object();
    Json globalStart;  // kept as written
};

// Reads OTIO JSON text. False with a message for text that is not a timeline
// (bad JSON, a nested Stack, a malformed time); notes list what was kept
// without being understood.
bool read(const std::string& text, Timeline& out, std::string& error,
          std::vector<std::string>& notes);
bool readFile(const std::string& path, Timeline& out, std::string& error,
              std::vector<std::string>& notes);
std::string write(const Timeline& timeline);
bool writeFile(const std::string& path, const Timeline& timeline, std::string& error);

// The file path a target URL names, relative ones taken from baseDir.
std::string resolveUrl(const std::string& url, const std::string& baseDir);

}  // namespace otio
