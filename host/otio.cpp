// Reading and writing OpenTimelineIO JSON into the plain timeline model.
#include "otio.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "reelcore/timerecord.h"

namespace otio {

namespace {

// A malformed file: the message says where.
struct Refused {
    std::string message;
};

std::string schemaName(const Json& j) {
    if (!j.is_object()) return "";
    auto it = j.find("OTIO_SCHEMA");
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

// "Clip.2" is of family "Clip".
bool isSchema(const std::string& schema, const char* family) {
    const std::string f = std::string(family) + ".";
    return schema.compare(0, f.size(), f) == 0;
}

std::string text(const Json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

const Json* field(const Json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && !it->is_null() ? &*it : nullptr;
}

double number(const Json& j, const char* key, const std::string& where) {
    const Json* v = field(j, key);
    if (!v || !v->is_number()) throw Refused{where + ": \"" + key + "\" is not a number"};
    const double d = v->get<double>();
    if (!std::isfinite(d)) throw Refused{where + ": \"" + key + "\" is not finite"};
    return d;
}

// A number as a whole 32-bit value, saturated.
int32_t whole(double d) {
    if (!(d > -2147483648.0)) return INT32_MIN;
    if (!(d < 2147483647.0)) return INT32_MAX;
    return int32_t(d);
}

RationalTime readTime(const Json& j, const std::string& where) {
    if (!j.is_object()) throw Refused{where + ": not a RationalTime"};
    RationalTime t{number(j, "value", where), number(j, "rate", where)};
    if (t.rate <= 0) throw Refused{where + ": the rate is not positive"};
    if (std::fabs(t.value) > 1e12) throw Refused{where + ": the time is out of range"};
    return t;
}

TimeRange readRange(const Json& j, const std::string& where) {
    if (!j.is_object() || !field(j, "start_time") || !field(j, "duration"))
        throw Refused{where + ": not a TimeRange"};
    TimeRange r{readTime(j["start_time"], where + " start"),
                readTime(j["duration"], where + " duration")};
    if (r.duration.value < 0) throw Refused{where + ": negative duration"};
    return r;
}

Json writeTime(const RationalTime& t) {
    return Json{{"OTIO_SCHEMA", "RationalTime.1"}, {"rate", t.rate}, {"value", t.value}};
}

Json writeRange(const TimeRange& r) {
    return Json{{"OTIO_SCHEMA", "TimeRange.1"},
                {"duration", writeTime(r.duration)},
                {"start_time", writeTime(r.start)}};
}

Json arrayOrEmpty(const Json& j, const char* key) {
    const Json* v = field(j, key);
    return v && v->is_array() ? *v : Json::array();
}

// ---- metadata.reelcore ----

std::vector<BandPoint> readBand(const Json& j, const std::string& where) {
    std::vector<BandPoint> out;
    if (!j.is_array()) throw Refused{where + ": band points are not a list"};
    for (const Json& p : j) {
        if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number())
            throw Refused{where + ": a band point is not [frame, level]"};
        const double frame = p[0].get<double>(), level = p[1].get<double>();
        if (!std::isfinite(frame) || !std::isfinite(level) || level < 0 || level > 256)
            throw Refused{where + ": band levels are 0 ... 256"};
        out.push_back({frame, int32_t(level)});
    }
    return out;
}

Json writeBand(const std::vector<BandPoint>& band) {
    Json out = Json::array();
    for (const BandPoint& p : band) out.push_back(Json::array({p.frame, p.level}));
    return out;
}

void readSettings(Json& metadata, ItemSettings& s, const std::string& where) {
    auto it = metadata.find("reelcore");
    if (it == metadata.end()) return;
    const Json rc = *it;
    metadata.erase(it);
    if (!rc.is_object()) throw Refused{where + ": metadata.reelcore is not an object"};
    if (const Json* g = field(rc, "gain")) s.gain = readBand(*g, where + " gain");
    if (const Json* p = field(rc, "pan")) s.pan = readBand(*p, where + " pan");
    if (field(rc, "opacity")) s.opacity = whole(number(rc, "opacity", where));
    if (field(rc, "hold_rate")) s.holdRate = whole(number(rc, "hold_rate", where));
    if (const Json* h = field(rc, "hold")) {
        if (!h->is_object()) throw Refused{where + ": hold is not an object"};
        s.hold = text(*h, "source");
        if (s.hold != "in" && s.hold != "marker" && s.hold != "out" && s.hold != "window")
            throw Refused{where + ": hold source \"" + s.hold +
                          "\" is not in, marker, out or window"};
        if (const Json* f = field(*h, "filters")) s.holdFilters = f->is_boolean() && f->get<bool>();
        if (field(*h, "start")) s.holdStart = number(*h, "start", where + " hold");
        if (field(*h, "end")) s.holdEnd = number(*h, "end", where + " hold");
    }
    if (const Json* k = field(rc, "key")) s.key = *k;
    if (const Json* m = field(rc, "motion")) s.motion = *m;
}

Json writeSettings(const ItemSettings& s) {
    Json rc = Json::object();
    if (!s.gain.empty()) rc["gain"] = writeBand(s.gain);
    if (!s.pan.empty()) rc["pan"] = writeBand(s.pan);
    if (s.opacity) rc["opacity"] = s.opacity;
    if (!s.hold.empty()) {
        Json h{{"source", s.hold}, {"filters", s.holdFilters}};
        if (s.holdStart) h["start"] = s.holdStart;
        if (s.holdEnd) h["end"] = s.holdEnd;
        rc["hold"] = h;
    }
    if (s.holdRate) rc["hold_rate"] = s.holdRate;
    if (!s.key.is_null()) rc["key"] = s.key;
    if (!s.motion.is_null()) rc["motion"] = s.motion;
    return rc;
}

// A whole number within [lo, hi], or refused with the key's name.
int32_t wholeIn(const Json& j, const char* key, int32_t lo, int32_t hi, const std::string& where) {
    const double d = number(j, key, where);
    if (d != std::floor(d) || d < lo || d > hi)
        throw Refused{where + ": \"" + key + "\" is a whole number from " + std::to_string(lo) +
                      " to " + std::to_string(hi)};
    return int32_t(d);
}

void readPoint(const Json& j, const char* key, int32_t out[2], const std::string& where) {
    const Json* p = field(j, key);
    if (!p) return;
    if (!p->is_array() || p->size() != 2 || !(*p)[0].is_number() || !(*p)[1].is_number())
        throw Refused{where + ": \"" + key + "\" is not [x, y]"};
    for (int i = 0; i < 2; ++i) {
        const double d = (*p)[i].get<double>();
        if (!std::isfinite(d) || d < -32768 || d > 32767)
            throw Refused{where + ": \"" + key + "\" lies beyond -32768 ... 32767"};
        out[i] = int32_t(std::lround(d));
    }
}

constexpr size_t kMaxTransitionSettings = 65536;

void readTransition(Json& metadata, TransitionOptions& t, const std::string& where) {
    auto it = metadata.find("reelcore");
    if (it == metadata.end()) return;
    Json rc = *it;
    metadata.erase(it);
    if (!rc.is_object()) throw Refused{where + ": metadata.reelcore is not an object"};
    if (const Json* m = field(rc, "module")) {
        if (!m->is_string() || m->get<std::string>().empty() ||
            m->get<std::string>().find('/') != std::string::npos)
            throw Refused{where + ": \"module\" is the name of a module in the effect folder"};
        t.module = m->get<std::string>();
    }
    if (field(rc, "border")) t.border = wholeIn(rc, "border", 0, 100, where);
    if (const Json* c = field(rc, "border_colour")) {
        std::string hex = c->is_string() ? c->get<std::string>() : "";
        if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw Refused{where + ": \"border_colour\" is not #RRGGBB"};
        t.borderColour = uint32_t(std::stoul(hex, nullptr, 16));
    }
    if (field(rc, "anti_alias")) t.antiAlias = wholeIn(rc, "anti_alias", 0, 16, where);
    if (const Json* r = field(rc, "reversed")) {
        if (!r->is_boolean()) throw Refused{where + ": \"reversed\" is not true or false"};
        t.reversed = r->get<bool>();
    }
    if (field(rc, "source")) t.source = wholeIn(rc, "source", 0, 255, where);
    for (auto [key, out] : {std::pair{"start", &t.start}, std::pair{"end", &t.end}}) {
        if (!field(rc, key)) continue;
        *out = number(rc, key, where);
        if (*out < 0 || *out > 100) throw Refused{where + ": \"" + key + "\" is 0 ... 100 percent"};
    }
    readPoint(rc, "start_point", t.startPoint, where);
    readPoint(rc, "end_point", t.endPoint, where);
    if (const Json* b = field(rc, "settings")) {
        const std::string hex = b->is_string() ? b->get<std::string>() : "?";
        if (hex.size() % 2 || hex.size() / 2 > kMaxTransitionSettings ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw Refused{where + ": \"settings\" is not bytes in hexadecimal (up to 64 KiB)"};
        for (size_t i = 0; i < hex.size(); i += 2)
            t.settings.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    for (const char* known : {"module", "border", "border_colour", "anti_alias", "reversed",
                              "source", "start", "end", "start_point", "end_point", "settings"})
        rc.erase(known);
    t.other = rc;
}

Json writeTransition(const TransitionOptions& t) {
    Json rc = Json::object();
    if (!t.module.empty()) rc["module"] = t.module;
    if (t.border) rc["border"] = t.border;
    if (t.borderColour) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%06X", unsigned(*t.borderColour & 0xFFFFFF));
        rc["border_colour"] = hex;
    }
    if (t.antiAlias) rc["anti_alias"] = t.antiAlias;
    if (t.reversed) rc["reversed"] = true;
    if (t.source >= 0) rc["source"] = t.source;
    if (t.start != 0) rc["start"] = t.start;
    if (t.end != 100) rc["end"] = t.end;
    if (t.startPoint[0] || t.startPoint[1])
        rc["start_point"] = Json::array({t.startPoint[0], t.startPoint[1]});
    if (t.endPoint[0] || t.endPoint[1])
        rc["end_point"] = Json::array({t.endPoint[0], t.endPoint[1]});
    if (!t.settings.empty()) {
        std::string hex;
        char two[3];
        for (uint8_t b : t.settings) {
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        rc["settings"] = hex;
    }
    for (const auto& [key, value] : t.other.items()) rc[key] = value;
    return rc;
}

Json metadataWith(const Json& metadata, const Json& reelcore) {
    Json out = metadata.is_object() ? metadata : Json::object();
    if (!reelcore.empty()) out["reelcore"] = reelcore;
    return out;
}

// ---- items ----

void readReference(const Json& ref, Item& item, const std::string& where,
                   std::vector<std::string>& notes) {
    const std::string schema = schemaName(ref);
    if (isSchema(schema, "ExternalReference")) {
        item.targetUrl = text(ref, "target_url");
        if (const Json* a = field(ref, "available_range"))
            item.available = readRange(*a, where + " available_range");
        return;
    }
    // Missing, generator and image-sequence references: kept as written.
    item.reference = ref;
    if (!isSchema(schema, "MissingReference"))
        notes.push_back(where + ": media reference " + (schema.empty() ? "(none)" : schema) +
                        " kept as written; the clip is offline");
}

void readEffects(const Json& j, Item& item, const std::string& where,
                 std::vector<std::string>& notes) {
    for (const Json& e : arrayOrEmpty(j, "effects")) {
        const std::string schema = schemaName(e);
        if (isSchema(schema, "FreezeFrame")) {
            item.speed = 0;
        } else if (isSchema(schema, "LinearTimeWarp")) {
            item.speed = number(e, "time_scalar", where + " time warp");
        } else {
            item.effects.push_back(e);
            // Effects naming a module in metadata.reelcore are rendered.
            const Json* m = field(e, "metadata");
            const bool module = m && m->is_object() && m->contains("reelcore") &&
                                (*m)["reelcore"].is_object() && (*m)["reelcore"].contains("module");
            if (!module)
                notes.push_back(where + ": effect " + (schema.empty() ? "(no schema)" : schema) +
                                " kept as written");
        }
    }
}

Item readItem(const Json& j, const std::string& where, std::vector<std::string>& notes) {
    Item item;
    item.schema = schemaName(j);
    item.name = text(j, "name");
    if (isSchema(item.schema, "Stack"))
        throw Refused{where + ": nested stacks are not supported; flatten the timeline first"};
    if (const Json* m = field(j, "metadata"); m && m->is_object()) item.metadata = *m;
    item.markers = arrayOrEmpty(j, "markers");
    if (isSchema(item.schema, "Clip")) {
        item.kind = Kind::Clip;
        if (const Json* refs = field(j, "media_references"); refs && refs->is_object()) {
            const std::string key = text(j, "active_media_reference_key");
            auto it = refs->find(key.empty() ? "DEFAULT_MEDIA" : key);
            if (it != refs->end()) readReference(*it, item, where, notes);
        } else if (const Json* ref = field(j, "media_reference")) {
            readReference(*ref, item, where, notes);
        }
        if (const Json* r = field(j, "source_range"))
            item.range = readRange(*r, where + " source_range");
        else if (item.available)
            item.range = *item.available;
        else
            throw Refused{where + ": the clip has neither a source range nor an available range"};
        readEffects(j, item, where, notes);
        readSettings(item.metadata, item.settings, where);
    } else if (isSchema(item.schema, "Gap")) {
        item.kind = Kind::Gap;
        if (const Json* r = field(j, "source_range"))
            item.range = readRange(*r, where + " source_range");
        else if (const Json* d = field(j, "duration"))  // the first Gap schema
            item.range.duration = readTime(*d, where + " duration");
        item.effects = arrayOrEmpty(j, "effects");
    } else if (isSchema(item.schema, "Transition")) {
        item.kind = Kind::Transition;
        item.transitionType = text(j, "transition_type");
        if (const Json* in = field(j, "in_offset"))
            item.inOffset = readTime(*in, where + " in_offset");
        if (const Json* out = field(j, "out_offset"))
            item.outOffset = readTime(*out, where + " out_offset");
        if (item.inOffset.value < 0 || item.outOffset.value < 0)
            throw Refused{where + ": negative transition offsets"};
        readTransition(item.metadata, item.transition, where);
    } else {
        item.kind = Kind::Unknown;
        item.raw = j;
        if (const Json* r = field(j, "source_range")) {
            try {
                item.range = readRange(*r, where);
            } catch (const Refused&) {
                item.range = TimeRange{};
            }
        }
        notes.push_back(
            where + ": " + (item.schema.empty() ? "an object without a schema" : item.schema) +
            " kept as written (it takes " + std::to_string(item.range.duration.value) + " frames)");
    }
    return item;
}

Json writeItem(const Item& item) {
    switch (item.kind) {
        case Kind::Unknown:
            return item.raw;
        case Kind::Gap:
            return Json{{"OTIO_SCHEMA", "Gap.1"},  {"metadata", item.metadata},
                        {"name", item.name},       {"source_range", writeRange(item.range)},
                        {"effects", item.effects}, {"markers", item.markers},
                        {"enabled", true}};
        case Kind::Transition:
            return Json{{"OTIO_SCHEMA", "Transition.1"},
                        {"metadata", metadataWith(item.metadata, writeTransition(item.transition))},
                        {"name", item.name},
                        {"in_offset", writeTime(item.inOffset)},
                        {"out_offset", writeTime(item.outOffset)},
                        {"transition_type", item.transitionType}};
        case Kind::Clip:
            break;
    }
    Json reference = item.reference;
    if (reference.is_null()) {
        reference = Json{{"OTIO_SCHEMA", "ExternalReference.1"},
                         {"metadata", Json::object()},
                         {"name", ""},
                         {"available_range", nullptr},
                         {"target_url", item.targetUrl}};
        if (item.available) reference["available_range"] = writeRange(*item.available);
    }
    Json effects = Json::array();
    if (item.speed == 0)
        effects.push_back(Json{{"OTIO_SCHEMA", "FreezeFrame.1"},
                               {"metadata", Json::object()},
                               {"name", ""},
                               {"effect_name", "FreezeFrame"},
                               {"time_scalar", 0.0}});
    else if (item.speed != 1)
        effects.push_back(Json{{"OTIO_SCHEMA", "LinearTimeWarp.1"},
                               {"metadata", Json::object()},
                               {"name", ""},
                               {"effect_name", "LinearTimeWarp"},
                               {"time_scalar", item.speed}});
    for (const Json& e : item.effects) effects.push_back(e);
    return Json{{"OTIO_SCHEMA", "Clip.1"},
                {"metadata", metadataWith(item.metadata, writeSettings(item.settings))},
                {"name", item.name},
                {"source_range", writeRange(item.range)},
                {"effects", effects},
                {"markers", item.markers},
                {"enabled", true},
                {"media_reference", reference}};
}

// ---- tracks ----

Track readTrack(const Json& j, size_t index, std::vector<std::string>& notes) {
    const std::string where = "track " + std::to_string(index);
    const std::string schema = schemaName(j);
    Track track;
    if (isSchema(schema, "Stack"))
        throw Refused{where + ": nested stacks are not supported; flatten the timeline first"};
    if (!isSchema(schema, "Track")) {
        track.kind = TrackKind::Unknown;
        track.raw = j;
        notes.push_back(where + ": " + (schema.empty() ? "an object without a schema" : schema) +
                        " kept as written");
        return track;
    }
    track.name = text(j, "name");
    const std::string kind = text(j, "kind");
    if (kind != "Video" && kind != "Audio") {
        track.kind = TrackKind::Unknown;
        track.raw = j;
        notes.push_back(where + ": a track of kind \"" + kind + "\" kept as written");
        return track;
    }
    track.kind = kind == "Video" ? TrackKind::Video : TrackKind::Audio;
    if (const Json* m = field(j, "metadata"); m && m->is_object()) track.metadata = *m;
    if (auto it = track.metadata.find("reelcore"); it != track.metadata.end()) {
        if (it->is_object()) track.type = text(*it, "type");
        if (!track.type.empty() && track.type != "A" && track.type != "B" &&
            track.type != "superimpose" && track.type != "audio")
            throw Refused{where + ": track type \"" + track.type +
                          "\" is not A, B, superimpose or audio"};
        track.metadata.erase(it);
    }
    if (const Json* r = field(j, "source_range")) {
        track.sourceRange = *r;
        notes.push_back(where + ": the track's source range is kept but not applied");
    }
    track.effects = arrayOrEmpty(j, "effects");
    track.markers = arrayOrEmpty(j, "markers");
    const Json* children = field(j, "children");
    if (children && !children->is_array()) throw Refused{where + ": children are not a list"};
    if (children)
        for (size_t i = 0; i < children->size(); ++i)
            track.items.push_back(
                readItem((*children)[i], where + " item " + std::to_string(i), notes));
    return track;
}

Json writeTrack(const Track& track) {
    if (track.kind == TrackKind::Unknown) return track.raw;
    Json children = Json::array();
    for (const Item& item : track.items) children.push_back(writeItem(item));
    Json reelcore = Json::object();
    if (!track.type.empty()) reelcore["type"] = track.type;
    return Json{{"OTIO_SCHEMA", "Track.1"},
                {"metadata", metadataWith(track.metadata, reelcore)},
                {"name", track.name},
                {"source_range", track.sourceRange},
                {"effects", track.effects},
                {"markers", track.markers},
                {"enabled", true},
                {"children", children},
                {"kind", track.kind == TrackKind::Video ? "Video" : "Audio"}};
}

// The rate of the first clip, else of the first gap, else 25.
Rate timelineRate(const Timeline& t) {
    for (Kind kind : {Kind::Clip, Kind::Gap})
        for (const Track& track : t.tracks)
            for (const Item& item : track.items)
                if (item.kind == kind) {
                    Rate r;
                    if (rateFromFps(item.range.duration.rate, r)) return r;
                }
    return Rate{};
}

}  // namespace

bool rateFromFps(double fps, Rate& out) {
    if (!std::isfinite(fps) || fps <= 0 || fps > 1e6) return false;
    const double rounded = std::round(fps * 1000) / 1000;
    if (rounded == std::floor(rounded)) {
        out = Rate{int32_t(rounded), 1};
        return out.scale > 0;
    }
    TDB d{};
    TDB_FRate2Duration(rounded, &d);
    if (d.scale <= 0 || d.samp <= 0) return false;
    out = Rate{d.scale, d.samp};
    return true;
}

int64_t toTicks(const RationalTime& t, const Rate& rate) {
    Rate own;
    double ticks;
    if (rateFromFps(t.rate, own) && own.scale == rate.scale && own.samp == rate.samp)
        ticks = t.value * rate.samp;  // the same rate: exact
    else
        ticks = t.value / t.rate * rate.scale;
    // Saturated far beyond any 32-bit tick count, so the cast is defined.
    constexpr double kLimit = 4.0e18;
    return int64_t(std::clamp(std::floor(ticks + 0.5), -kLimit, kLimit));
}

RationalTime fromTicks(int64_t ticks, const Rate& rate) {
    return RationalTime{double(ticks) / rate.samp, rate.fps()};
}

RationalTime Item::length() const {
    if (kind == Kind::Transition) return RationalTime{0, range.duration.rate};
    return range.duration;
}

bool read(const std::string& text, Timeline& out, std::string& error,
          std::vector<std::string>& notes) {
    out = Timeline{};
    Json j = Json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        error = "not JSON";
        return false;
    }
    try {
        const std::string schema = schemaName(j);
        if (isSchema(schema, "SerializableCollection"))
            throw Refused{"a collection of timelines; open one timeline"};
        if (!isSchema(schema, "Timeline"))
            throw Refused{"not a Timeline (" +
                          (schema.empty() ? std::string("no schema") : schema) + ")"};
        out.name = otio::text(j, "name");
        if (const Json* m = field(j, "metadata"); m && m->is_object()) out.metadata = *m;
        if (const Json* g = field(j, "global_start_time")) out.globalStart = *g;
        const Json* stack = field(j, "tracks");
        if (!stack || !isSchema(schemaName(*stack), "Stack"))
            throw Refused{"the timeline's tracks are not a Stack"};
        const Json* children = field(*stack, "children");
        if (children && !children->is_array()) throw Refused{"the stack's children are not a list"};
        if (children)
            for (size_t i = 0; i < children->size(); ++i)
                out.tracks.push_back(readTrack((*children)[i], i, notes));
        out.rate = timelineRate(out);
    } catch (const Refused& r) {
        error = r.message;
        return false;
    } catch (const nlohmann::json::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool readFile(const std::string& path, Timeline& out, std::string& error,
              std::vector<std::string>& notes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (!read(buffer.str(), out, error, notes)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string write(const Timeline& t) {
    Json tracks = Json::array();
    for (const Track& track : t.tracks) tracks.push_back(writeTrack(track));
    Json j{{"OTIO_SCHEMA", "Timeline.1"},
           {"metadata", t.metadata},
           {"name", t.name},
           {"global_start_time", t.globalStart},
           {"tracks", Json{{"OTIO_SCHEMA", "Stack.1"},
                           {"metadata", Json::object()},
                           {"name", "tracks"},
                           {"source_range", nullptr},
                           {"effects", Json::array()},
                           {"markers", Json::array()},
                           {"enabled", true},
                           {"children", tracks}}}};
    return j.dump(4) + "\n";
}

bool writeFile(const std::string& path, const Timeline& timeline, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << write(timeline);
    out.close();
    if (!out) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

std::string resolveUrl(const std::string& url, const std::string& baseDir) {
    std::string path = url;
    if (path.compare(0, 7, "file://") == 0) {
        path = path.substr(7);
        if (path.compare(0, 9, "localhost") == 0) path = path.substr(9);
        // %20 and the like.
        std::string decoded;
        for (size_t i = 0; i < path.size(); ++i) {
            if (path[i] == '%' && i + 2 < path.size() && std::isxdigit(uint8_t(path[i + 1])) &&
                std::isxdigit(uint8_t(path[i + 2]))) {
                decoded += char(std::stoi(path.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += path[i];
            }
        }
        path = decoded;
    }
    if (path.empty() || path[0] == '/' || baseDir.empty()) return path;
    return baseDir + "/" + path;
}

}  // namespace otio
