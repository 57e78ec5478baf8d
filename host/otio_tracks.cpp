// Mapping the timeline model onto the library's track table.
#include "otio_tracks.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>

#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/memory.h"
#include "reelcore/tracks.h"

namespace otio {

namespace {

// frames × samp as ticks, clamped to [lo, hi].
int64_t frameTicks(double frames, int32_t samp, int64_t lo, int64_t hi) {
    const double t = std::floor(frames * samp + 0.5);
    if (!(t > double(lo))) return lo;
    if (!(t < double(hi))) return hi;
    return int64_t(t);
}

enum class Role { A, B, Superimpose, Audio, None };

// A and B go to the first video tracks not told otherwise; a track tagged
// with a taken role superimposes.
std::vector<Role> assignRoles(const Timeline& t) {
    std::vector<Role> roles(t.tracks.size(), Role::None);
    bool haveA = false, haveB = false;
    for (size_t i = 0; i < t.tracks.size(); ++i) {
        const Track& track = t.tracks[i];
        if (track.kind == TrackKind::Audio) {
            roles[i] = Role::Audio;
        } else if (track.kind == TrackKind::Video && !track.type.empty()) {
            if (track.type == "A" && !haveA)
                roles[i] = Role::A, haveA = true;
            else if (track.type == "B" && !haveB)
                roles[i] = Role::B, haveB = true;
            else
                roles[i] = Role::Superimpose;
        }
    }
    for (size_t i = 0; i < t.tracks.size(); ++i) {
        if (t.tracks[i].kind != TrackKind::Video || roles[i] != Role::None) continue;
        if (!haveA)
            roles[i] = Role::A, haveA = true;
        else if (!haveB)
            roles[i] = Role::B, haveB = true;
        else
            roles[i] = Role::Superimpose;
    }
    return roles;
}

Handle listHandle(const std::vector<Handle>& items) {
    Handle h = NewHandle(uint32_t(items.size() * sizeof(uint32_t)));
    if (!h) return nullptr;
    for (size_t i = 0; i < items.size(); ++i) {
        const uint32_t word = HandleToWord(items[i]);
        std::memcpy(*h + i * sizeof word, &word, sizeof word);
    }
    return h;
}

TrackItemRec* rec(Handle h) {
    return reinterpret_cast<TrackItemRec*>(*h);
}

uint16_t holdFlags(const ItemSettings& s, double speed) {
    uint16_t flags = 0;
    if (s.hold == "in" || (s.hold.empty() && speed == 0))
        flags = kItemHoldOn | kItemHoldIn;
    else if (s.hold == "marker")
        flags = kItemHoldOn | kItemHoldMarker;
    else if (s.hold == "out")
        flags = kItemHoldOn | kItemHoldOut;
    else if (s.hold == "window")
        flags = kItemHoldOn | kItemHoldWindow;
    if (flags && s.holdFilters) flags |= kItemHoldFilters;
    return flags;
}

}  // namespace

LibraryTimeline::~LibraryTimeline() {
    release();
}

void LibraryTimeline::release() {
    for (Handle h : bands_) DisposeHandle(h);
    for (Handle h : records_) DisposeHandle(h);
    for (Handle h : lists_) DisposeHandle(h);
    if (table_) DisposeHandle(table_);
    for (int32_t id : clips_) ClipCancel(id);
    bands_.clear();
    records_.clear();
    lists_.clear();
    clips_.clear();
    placed_.clear();
    table_ = nullptr;
}

bool LibraryTimeline::build(const Timeline& timeline, const std::string& baseDir,
                            std::string& error) {
    release();
    const Rate& rate = timeline.rate;
    timeBase_ = TDB{0, rate.scale, rate.samp};
    auto ticks = [&](const RationalTime& t) { return toTicks(t, rate); };
    auto fail = [&](const std::string& message) {
        error = message;
        release();
        return false;
    };

    // A band of 256 pixels (heights equal levels) over [0, length].
    auto makeBand = [&](const std::vector<BandPoint>& pts, int32_t length, int16_t kind) -> Handle {
        std::vector<RubberHandPt> out;
        for (const BandPoint& p : pts) {
            const int64_t at = frameTicks(p.frame, rate.samp, 0, length);
            out.push_back({int32_t(at), int16_t(p.level), int16_t(p.level)});
        }
        std::stable_sort(out.begin(), out.end(), [](const RubberHandPt& a, const RubberHandPt& b) {
            return a.position < b.position;
        });
        if (out.front().position > 0)
            out.insert(out.begin(), {0, out.front().height, out.front().level});
        if (out.back().position < length)
            out.push_back({length, out.back().height, out.back().level});
        if (out.size() < 2) out.push_back(out.back());
        out.resize(std::min<size_t>(out.size(), INT16_MAX - 1));
        Handle band =
            NewHandleClear(uint32_t(sizeof(RubberHand) + (out.size() + 1) * sizeof(RubberHandPt)));
        if (!band) return nullptr;
        *reinterpret_cast<RubberHand*>(*band) = RubberHand{256, int16_t(out.size()), 0, kind};
        std::memcpy(*band + sizeof(RubberHand), out.data(), out.size() * sizeof(RubberHandPt));
        bands_.push_back(band);
        return band;
    };

    std::map<std::string, int16_t> files;
    std::vector<Role> roles = assignRoles(timeline);
    struct Pending {
        Handle record;
        size_t track, item;
        Role role;
    };
    std::vector<Pending> pending;  // in track order, then by start
    for (size_t ti = 0; ti < timeline.tracks.size(); ++ti) {
        const Track& track = timeline.tracks[ti];
        if (roles[ti] == Role::None) continue;
        const bool audio = roles[ti] == Role::Audio;
        int64_t pos = 0;
        for (size_t ii = 0; ii < track.items.size(); ++ii) {
            const Item& item = track.items[ii];
            const std::string where = "track " + std::to_string(ti) + " item " + std::to_string(ii);
            if (item.kind == Kind::Transition) {
                if (roles[ti] != Role::A && roles[ti] != Role::B) continue;
                const int64_t from = pos - ticks(item.inOffset), to = pos + ticks(item.outOffset);
                if (from < INT32_MIN || to > INT32_MAX) return fail(where + ": out of range");
                Handle h = NewHandleClear(sizeof(TrackItemRec));
                if (!h) return fail("out of memory");
                records_.push_back(h);
                rec(h)->start = int32_t(from);
                rec(h)->end = int32_t(to);
                rec(h)->transition.endPercent = 10000;
                // On B it leads from A into B: A is source 1 when the source
                // and reverse bytes differ (the timeline file may say otherwise).
                rec(h)->transition.source = roles[ti] == Role::B ? 1 : 0;
                pending.push_back({h, ti, ii, Role::None});  // the transition track
                continue;
            }
            const int64_t length = ticks(item.length());
            if (item.kind != Kind::Clip || length <= 0) {
                pos += std::max<int64_t>(length, 0);
                continue;
            }
            if (pos + length > INT32_MAX) return fail(where + ": the timeline is too long");
            // The media and a clip cut from it.
            const std::string path = resolveUrl(item.targetUrl, baseDir);
            int16_t& file = files[path];
            if (!file) file = AddFile(path.c_str(), 0, 0, 0);
            if (file <= 0) return fail(where + ": \"" + path + "\" cannot be registered");
            int32_t times[kClipFixedMarkers];
            std::fill(std::begin(times), std::end(times), -1);
            const int64_t in = ticks(item.range.start);
            if (in < 0 || in + length > INT32_MAX)
                return fail(where + ": the source range is out of range");
            times[0] = int32_t(in);
            times[1] = int32_t(in + length - rate.samp);
            const int32_t clip = AddClip(file, times, &timeBase_, audio ? kClipAudio : kClipVideo);
            if (clip <= 0) return fail(where + ": no clip can be cut from \"" + path + "\"");
            clips_.push_back(clip);
            if (item.speed < 0) SetClipBackwards(clip, 1);
            if (item.speed != 0 && std::fabs(item.speed) != 1)
                SetClipRate(clip, float(std::clamp(item.speed * 100, -1e6, 1e6)));

            Handle h = NewHandleClear(sizeof(TrackItemRec));
            if (!h) return fail("out of memory");
            records_.push_back(h);
            TrackItemRec* r = rec(h);
            r->clipID = clip;
            r->clip = HandleToWord(FindClip(clip));
            r->start = int32_t(pos);
            r->end = int32_t(pos + length);
            const ItemSettings& s = item.settings;
            r->flags = holdFlags(s, item.speed);
            r->holdStart = int32_t(frameTicks(s.holdStart, rate.samp, 0, INT32_MAX));
            r->holdEnd = int32_t(frameTicks(s.holdEnd, rate.samp, 0, INT32_MAX));
            if (s.holdRate > 0) {
                r->flags |= kItemFieldA;
                r->holdRate = int8_t(std::min(s.holdRate, 127));
            }
            r->opacity = int16_t(std::clamp(s.opacity, 0, 100));
            if (!s.gain.empty()) {
                Handle band = makeBand(s.gain, int32_t(length), kBandGain);
                if (!band) return fail("out of memory");
                rec(h)->gainBand = HandleToWord(band);
            }
            if (!s.pan.empty()) {
                Handle band = makeBand(s.pan, int32_t(length), kBandPan);
                if (!band) return fail("out of memory");
                rec(h)->panBand = HandleToWord(band);
            }
            pending.push_back({h, ti, ii, roles[ti]});
            pos += length;
        }
    }

    // The table: A, B, the transition track, superimposed tracks and audio
    // tracks, each list in order of start.
    table_ = NewHandle(0);
    if (!table_) return fail("out of memory");
    auto addTrack = [&](uint16_t type, std::vector<Pending> items) -> bool {
        std::stable_sort(items.begin(), items.end(), [](const Pending& a, const Pending& b) {
            return rec(a.record)->start < rec(b.record)->start;
        });
        std::vector<Handle> handles;
        for (const Pending& p : items) handles.push_back(p.record);
        Handle list = listHandle(handles);
        if (!list) return false;
        lists_.push_back(list);
        const int32_t index = AddTrackItem(list, type, table_);
        if (index < 0) return false;
        for (const Pending& p : items) placed_.push_back({p.track, p.item, -1, p.record});
        return true;
    };
    auto itemsOf = [&](Role role, size_t track) {
        std::vector<Pending> out;
        for (const Pending& p : pending)
            if (p.role == role && (track == SIZE_MAX || p.track == track)) out.push_back(p);
        return out;
    };
    bool ok = addTrack(kTrackTypeVideoAB, itemsOf(Role::A, SIZE_MAX)) &&
              addTrack(kTrackTypeVideoAB, itemsOf(Role::B, SIZE_MAX)) &&
              addTrack(kTrackTypeTransition, itemsOf(Role::None, SIZE_MAX));
    for (Role role : {Role::Superimpose, Role::Audio})
        for (size_t ti = 0; ok && ti < timeline.tracks.size(); ++ti)
            if (roles[ti] == role)
                ok = addTrack(role == Role::Audio ? uint16_t(kTrackTypeAudio)
                                                  : uint16_t(kTrackTypeSuperimpose),
                              itemsOf(role, ti));
    if (!ok) return fail("out of memory");
    // Every track is active; find where each record landed.
    for (int32_t i = 0; i < CountTracks(table_); ++i) SetTrackState(1, kTrackAll, i, table_);
    for (PlacedItem& p : placed_)
        for (int32_t i = 0; i < CountTracks(table_) && p.libraryTrack < 0; ++i) {
            Handle list = GetTypeTrack(kTrackAll, i, table_);
            for (int32_t k = 0; k < CountTrackItems(list); ++k) {
                uint32_t word;
                std::memcpy(&word, *list + size_t(k) * sizeof word, sizeof word);
                if (WordToHandle(word) == p.record) p.libraryTrack = i;
            }
        }
    return true;
}

int32_t LibraryTimeline::length() const {
    int32_t end = 0;
    for (int32_t i = 0; i < CountTracks(table_); ++i)
        end = std::max(end, LastTrackFrame(GetTypeTrack(kTrackAll, i, table_)));
    return end;
}

std::string LibraryTimeline::trackLabel(int32_t index) const {
    const uint16_t type = GetIndTrackType(kTrackAll, index, table_);
    int32_t before = 0;  // tracks of the same type before this one
    for (int32_t i = 0; i < index; ++i) before += GetIndTrackType(kTrackAll, i, table_) == type;
    switch (type) {
        case kTrackTypeVideoAB:
            return before == 0 ? "A" : "B";
        case kTrackTypeTransition:
            return "transition";
        case kTrackTypeSuperimpose:
            return "superimpose " + std::to_string(before + 1);
        case kTrackTypeAudio:
            return "audio " + std::to_string(before + 1);
        default:
            return "track " + std::to_string(index);
    }
}

}  // namespace otio
