// Effects of the timeline model onto the library's track items.
#include "otio_effects.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "reelcore/clips.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/plugins.h"
#include "reelcore/tracks.h"

namespace otio {

namespace {

constexpr OSType kTransitionKind = 0x53504658;  // 'SPFX'
constexpr OSType kFilterKind = 0x56466C74;      // 'VFlt'

// "#RRGGBB" as 0x00BBGGRR; false for anything else.
bool colourOf(const Json& j, uint32_t& bgr) {
    if (!j.is_string()) return false;
    std::string t = j.get<std::string>();
    if (!t.empty() && t[0] == '#') t.erase(0, 1);
    if (t.size() != 6 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const uint32_t rgb = uint32_t(std::stoul(t, nullptr, 16));
    bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
    return true;
}

int32_t intOf(const Json& j, const char* key, int32_t fallback, int32_t lo, int32_t hi) {
    if (!j.is_object() || !j.contains(key) || !j[key].is_number()) return fallback;
    const double v = j[key].get<double>();
    return int32_t(std::clamp(v, double(lo), double(hi)));
}

TrackItemRec* rec(Handle h) {
    return reinterpret_cast<TrackItemRec*>(*h);
}

}  // namespace

LibraryEffects::~LibraryEffects() {
    release();
}

void LibraryEffects::release() {
    for (Handle h : compSpecs_) DisposeCompSpec(h);
    for (Handle h : handles_) DisposeHandle(h);
    compSpecs_.clear();
    handles_.clear();
}

bool LibraryEffects::attach(const Timeline& t, LibraryTimeline& lib, const std::string& moduleDir,
                            std::string& error) {
    std::map<std::string, int16_t> modules;
    auto module = [&](const std::string& name, OSType kind) -> int16_t {
        int16_t& id = modules[name];
        if (!id) {
            const std::string path = moduleDir + "/" + name + ".fmx";
            // The file table takes paths of files that are not there (offline
            // media); a missing module would render black frames.
            std::error_code missing;
            if (!std::filesystem::is_regular_file(path, missing)) return int16_t(0);
            id = AddFile(path.c_str(), 0, 0, kind);
            if (id > 0) {
                FileSubscribe(id);
                PlugVersionCheck(id, kind);
            }
        }
        return id;
    };
    for (const PlacedItem& p : lib.placed()) {
        const Item& m = t.tracks[p.track].items[p.item];
        const Json meta = m.metadata.contains("reelcore") ? m.metadata["reelcore"] : Json();
        TrackItemRec* r = rec(p.record);
        if (m.kind == Kind::Transition) {
            const TransitionOptions& o = m.transition;
            const std::string name = o.module.empty() ? "fx-dissolve" : o.module;
            const int16_t id = module(name, kTransitionKind);
            if (id <= 0) {
                error = "transition module \"" + name + "\" is not in " + moduleDir;
                return false;
            }
            Handle clip = NewHandleClear(sizeof(FmClipRecord));
            if (!clip) return (error = "out of memory", false);
            handles_.push_back(clip);
            auto* c = reinterpret_cast<FmClipRecord*>(*clip);
            for (int32_t& mk : c->markers) mk = -1;
            c->fileID = id;
            c->timeBase = lib.timeBase();
            Handle settings = nullptr;
            if (!o.settings.empty()) {
                settings = NewHandle(uint32_t(o.settings.size()));
                if (!settings) return (error = "out of memory", false);
                handles_.push_back(settings);
                std::memcpy(*settings, o.settings.data(), o.settings.size());
            }
            TransitionSettings& s = rec(p.record)->transition;
            rec(p.record)->clip = HandleToWord(clip);
            if (o.source >= 0) s.source = uint8_t(o.source);
            s.reverse = o.reversed;
            s.antiAliasPasses = uint8_t(o.antiAlias);
            s.startPercent = int16_t(std::lround(o.start * 100));
            s.endPercent = int16_t(std::lround(o.end * 100));
            s.borderWidth = int16_t(o.border);
            // 0xRRGGBB as the library's 0x00BBGGRR.
            const uint32_t rgb = o.borderColour.value_or(0);
            s.borderColor = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
            s.startPoint = FmPoint{o.startPoint[0], o.startPoint[1]};
            s.endPoint = FmPoint{o.endPoint[0], o.endPoint[1]};
            s.settings = HandleToWord(settings);
            continue;
        }
        const Json& key = m.settings.key;
        if (key.is_object()) {
            r->keyType = int16_t(intOf(key, "type", 0, 0, 14));
            r->threshold = uint8_t(intOf(key, "threshold", 0, 0, 255));
            r->cutoff = uint8_t(intOf(key, "cutoff", 0, 0, 255));
            r->similarity = uint8_t(intOf(key, "similarity", 0, 0, 255));
            r->smoothing = uint8_t(intOf(key, "smoothing", 0, 0, 255));
            uint32_t bgr = 0;
            if (key.contains("colour") && colourOf(key["colour"], bgr)) r->keyColor = bgr;
        }
        const Json& motion = m.settings.motion;
        if (motion.is_object() && motion.contains("points") && motion["points"].is_array()) {
            std::vector<FmMotionPoint> points;
            for (const Json& pt : motion["points"]) {
                if (!pt.is_array() || pt.size() != 5)
                    return (error = "motion points are [x, y, zoom, rotation, time]", false);
                FmMotionPoint q{};
                q.spot[0] = int16_t(std::clamp(pt[0].get<double>(), -32768.0, 32767.0));
                q.spot[1] = int16_t(std::clamp(pt[1].get<double>(), -32768.0, 32767.0));
                q.zoom = int16_t(std::clamp(pt[2].get<double>(), 0.0, 32767.0));
                q.rot = int16_t(std::clamp(pt[3].get<double>(), -32768.0, 32767.0));
                q.time = int16_t(std::clamp(pt[4].get<double>(), 0.0, 1000.0));
                points.push_back(q);
            }
            Handle h = NewHandleClear(
                uint32_t(sizeof(FmMotionHeader) + sizeof(FmMotionPoint) * points.size()));
            if (!h) return (error = "out of memory", false);
            handles_.push_back(h);
            FmMotionHeader header{};
            header.smoothMethod = 1;
            if (motion.contains("fill") && !colourOf(motion["fill"], header.colr))
                return (error = "the motion's fill is not #RRGGBB", false);
            header.count = int16_t(points.size());
            std::memcpy(*h, &header, sizeof header);
            if (!points.empty())
                std::memcpy(*h + sizeof header, points.data(),
                            sizeof(FmMotionPoint) * points.size());
            rec(p.record)->motion = HandleToWord(h);
        }
        // Video filters.
        std::vector<RcFilterListEntry> entries;
        for (const Json& e : m.effects) {
            if (!e.is_object() || !e.contains("metadata") || !e["metadata"].contains("reelcore"))
                continue;
            const Json& fx = e["metadata"]["reelcore"];
            if (!fx.contains("module") || !fx["module"].is_string()) continue;
            const std::string name = fx["module"].get<std::string>();
            const int16_t id = module(name, kFilterKind);
            if (id <= 0)
                return (error = "filter module \"" + name + "\" is not in " + moduleDir, false);
            Handle comp = nullptr;
            if (fx.contains("keys") && fx["keys"].is_array()) {
                int32_t index = 0;
                for (const Json& k : fx["keys"]) {
                    if (!k.is_array() || k.size() != 3 || !k[0].is_number() || !k[1].is_number())
                        return (error = "filter keys are [frame, amount, \"#RRGGBB\"]", false);
                    struct {
                        int32_t amount;
                        uint8_t colour[4];
                    } s{int32_t(std::clamp(k[1].get<double>(), 0.0, 100.0)), {0, 0, 0, 0}};
                    uint32_t bgr = 0;
                    colourOf(k[2], bgr);
                    s.colour[0] = uint8_t(bgr), s.colour[1] = uint8_t(bgr >> 8);
                    s.colour[2] = uint8_t(bgr >> 16);
                    // Key times are source positions of the item's clip.
                    const int32_t at =
                        GetClipIn(r->clipID, nullptr) +
                        int32_t(std::llround(k[0].get<double>() * lib.timeBase().samp));
                    Handle single = NewHandle(sizeof s);
                    if (!single) return (error = "out of memory", false);
                    std::memcpy(*single, &s, sizeof s);
                    if (!comp) {
                        comp = NewCompSpec(single, id, at);
                        if (comp) compSpecs_.push_back(comp);
                    } else {
                        InsertSingleSpec(comp, single, ++index, at);
                    }
                    DisposeHandle(single);
                }
            }
            RcFilterListEntry entry{};
            entry.fileID = id;
            entry.compSpec = HandleToWord(comp);
            entries.push_back(entry);
        }
        if (!entries.empty()) {
            Handle list = NewHandle(uint32_t(entries.size() * sizeof(RcFilterListEntry)));
            if (!list) return (error = "out of memory", false);
            handles_.push_back(list);
            std::memcpy(*list, entries.data(), entries.size() * sizeof(RcFilterListEntry));
            rec(p.record)->filterList = HandleToWord(list);
        }
    }
    return true;
}

}  // namespace otio
