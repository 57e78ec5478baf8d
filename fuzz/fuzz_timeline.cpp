// Fuzz entry for tracks, envelopes and timeline files. The first byte picks
// what the rest is: a band block, item records with an item list (and the
// raw bytes as an item list of arbitrary Handle words), or an .otio file.
// Bands must never be read past their block and keep their points in order
// after edits; an .otio file that reads must write, read back and write the
// same text, and map onto a track table.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/otio.h"
#include "host/otio_tracks.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/tracks.h"
#include "timeline/automation.h"

namespace {

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
    InitFileQueue();
    InitClipQueue();
}

// Reads little values off the input, 0 once it runs out.
struct Reader {
    const uint8_t* data;
    size_t size, at = 0;
    template <typename T>
    T next() {
        T v{};
        const size_t n = std::min(sizeof v, size - at);
        std::memcpy(&v, data + at, n);
        at += n;
        return v;
    }
};

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_timeline: %s\n", what);
        std::abort();
    }
}

// Positions never descend in a band the edits accepted.
void checkOrdered(Handle band) {
    if (GetHandleSize(band) < sizeof(RubberHand)) return;
    const auto* h = reinterpret_cast<const RubberHand*>(*band);
    if (h->count < 2 || (GetHandleSize(band) - 8) / 8 < uint32_t(h->count)) return;
    const auto* p = reinterpret_cast<const RubberHandPt*>(*band + sizeof(RubberHand));
    for (int i = 1; i < h->count; ++i)
        check(p[i - 1].position <= p[i].position, "band out of order");
}

bool ordered(Handle band) {
    if (GetHandleSize(band) < sizeof(RubberHand)) return false;
    const auto* h = reinterpret_cast<const RubberHand*>(*band);
    if (h->count < 2 || (GetHandleSize(band) - 8) / 8 < uint32_t(h->count)) return false;
    const auto* p = reinterpret_cast<const RubberHandPt*>(*band + sizeof(RubberHand));
    for (int i = 1; i < h->count; ++i)
        if (p[i - 1].position > p[i].position) return false;
    return true;
}

void fuzzBand(Reader& r) {
    const size_t length = std::min<size_t>(r.size - r.at, 4096);
    Handle band = NewHandle(uint32_t(length));
    if (!band) return;
    if (length) std::memcpy(*band, r.data + r.at, length);
    const bool sound = ordered(band);
    for (int i = 0; i < 4; ++i) {
        const int32_t p = r.next<int32_t>();
        ValueAtPoint(p, r.next<int16_t>(), band);
        HeightAtPoint(p, r.next<int16_t>(), band);
        HitPoint(p, r.next<int16_t>(), band);
        Handle ref = band;
        if (RubberHandPt* pt = FindPoint(p, &ref)) check(pt->position == p, "FindPoint");
    }
    // A few edits, each picked by a byte.
    for (int i = 0; i < 12; ++i) {
        const uint8_t op = r.next<uint8_t>();
        const int32_t a = r.next<int32_t>() % 100000;
        const int16_t b = r.next<int16_t>();
        switch (op % 10) {
            case 0:
                InsertPoint(a, b, band);
                break;
            case 1:
                AddPoint(int16_t(b % 64), a, b, band);
                break;
            case 2:
                DeletePoint(b, band);
                break;
            case 3:
                SizeRubberBand(band, a);
                break;
            case 4:
                TrimBandEnd(band, a);
                break;
            case 5:
                MoveBandStart(band, a);
                break;
            case 6:
                TrimBandStart(band, a);
                break;
            case 7:
                ScaleRubberBand(&band, b);
                break;
            default: {
                const auto mode = op % 2 ? rc::timeline::AutomationMode::Insert
                                         : rc::timeline::AutomationMode::Extend;
                if (rc::timeline::writeAutomation(band, a, b, r.next<int16_t>(), mode) >= 0) {
                    const auto* h = reinterpret_cast<const RubberHand*>(*band);
                    check(GetHandleSize(band) == uint32_t(8 + (h->count + 1) * 8),
                          "automation block size");
                }
            }
        }
        if (sound) checkOrdered(band);
        ValueAtPoint(a, 256, band);
    }
    DisposeHandle(band);
}

void fuzzItems(Reader& r) {
    // Items from the bytes, a clip record for some of them.
    std::vector<Handle> items, owned;
    const int count = r.next<uint8_t>() % 48;
    Handle clip = NewHandleClear(sizeof(FmClipRecord));
    if (!clip) return;
    owned.push_back(clip);
    auto* c = reinterpret_cast<FmClipRecord*>(*clip);
    c->fileID = r.next<int16_t>();
    c->backwards = r.next<uint8_t>() & 1;
    for (int32_t& m : c->markers) m = r.next<int32_t>();
    c->timeBase = TDB{0, r.next<int32_t>(), r.next<int16_t>()};
    int32_t at = r.next<int16_t>();
    for (int i = 0; i < count; ++i) {
        Handle h = NewHandleClear(sizeof(TrackItemRec));
        if (!h) break;
        owned.push_back(h);
        auto* it = reinterpret_cast<TrackItemRec*>(*h);
        at += r.next<uint8_t>() % 8;
        it->start = at;
        at += r.next<uint8_t>() % 16;
        it->end = at;
        it->flags = r.next<uint16_t>();
        it->holdRate = r.next<int8_t>();
        it->holdStart = r.next<int8_t>();
        it->holdEnd = r.next<int16_t>();
        it->clip = r.next<uint8_t>() % 4 ? HandleToWord(clip) : r.next<uint32_t>();
        it->gainBand = r.next<uint32_t>();
        items.push_back(h);
    }
    Handle list = NewHandle(uint32_t(items.size() * 4));
    if (!list) return;
    for (size_t i = 0; i < items.size(); ++i) {
        uint32_t word = r.next<uint8_t>() % 16 ? HandleToWord(items[i]) : r.next<uint32_t>();
        std::memcpy(*list + i * 4, &word, 4);
    }
    Handle table = NewHandle(0);
    const uint16_t types[] = {0xC000, 0xA000, 0x9000, 0x0080};
    AddTrackItem(list, types[r.next<uint8_t>() % 4], table);
    AddTrackItem(nullptr, r.next<uint16_t>(), table);
    const TDB tb{0, r.next<int32_t>(), r.next<int16_t>()};
    for (int i = 0; i < 16; ++i) {
        const int32_t t = r.next<int16_t>();
        Boolean found;
        int32_t index;
        for (int16_t mode = 0; mode <= 7; ++mode) {
            const int32_t got = FindTrackRecIndexAtTime(list, t, mode, &found, &index);
            check(got == -1 || (got >= 0 && got < int32_t(items.size()) && found), "search result");
        }
        const uint16_t mask = r.next<uint16_t>();
        const int32_t n = r.next<uint8_t>() % 3;
        TrackItemRec copy;
        GetTrackSeg(mask, n, t, &copy, table);
        Handle ref = nullptr;
        if (GetTrackSegPtr(mask, n, t, &ref, table) && ref)
            GetLocalFrame(t, &tb, reinterpret_cast<TrackItemRec*>(*ref), r.next<uint8_t>() & 1);
        TrackRangeHasContent(n, t, t + r.next<uint8_t>(), table);
        LookupAltTrack(n, table);
        MapTrackIndex(mask, n, r.next<uint16_t>(), table);
    }
    for (Handle h : items) {
        auto* it = reinterpret_cast<TrackItemRec*>(*h);
        GetLocalFrame(r.next<int32_t>(), &tb, it, r.next<uint8_t>() & 1);
        GetRubberValue(WordToHandle(it->gainBand), r.next<int32_t>(), 200);
    }
    LastTrackFrame(list);
    LastTrackFrameTDB(list, &tb);
    Handle copy = CopyItems(r.next<uint16_t>(), table);
    while (copy && DeleteTrackItem(0xFFFF, 0, copy)) {
    }
    if (copy) DisposeHandle(copy);
    check(FmIsValidHandle(list), "a copy disposed of a borrowed list");

    // The remaining bytes as an item list of arbitrary words.
    const size_t rest = (r.size - r.at) & ~size_t(3);
    Handle raw = NewHandle(uint32_t(rest));
    if (raw) {
        if (rest) std::memcpy(*raw, r.data + r.at, rest);
        Boolean found;
        int32_t index;
        for (int16_t mode = 0; mode <= 6; ++mode)
            FindTrackRecIndexAtTime(raw, mode * 7, mode, &found, &index);
        LastTrackFrame(raw);
        DisposeHandle(raw);
    }
    while (DeleteTrackItem(0xFFFF, 0, table)) {
    }
    DisposeHandle(table);
    for (Handle h : owned) DisposeHandle(h);
}

void fuzzOtio(Reader& r) {
    const std::string text(reinterpret_cast<const char*>(r.data + r.at), r.size - r.at);
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;
    if (!otio::read(text, t, error, notes)) return;
    const std::string once = otio::write(t);
    otio::Timeline again;
    check(otio::read(once, again, error, notes), "a written timeline reads back");
    check(otio::write(again) == once, "a written timeline writes back the same");
    size_t items = 0;
    for (const otio::Track& track : t.tracks) items += track.items.size();
    if (items > 256) return;
    {
        otio::LibraryTimeline lib;
        if (lib.build(t, "/nonexistent", error)) {
            for (int32_t i = 0; i < CountTracks(lib.table()); ++i) {
                Handle ref = nullptr;
                const int32_t at = LastTrackFrame(GetTypeTrack(0xFFFF, i, lib.table())) / 2;
                if (GetTrackSegPtr(0xFFFF, i, at, &ref, lib.table()) && ref)
                    GetLocalFrame(at, &lib.timeBase(), reinterpret_cast<TrackItemRec*>(*ref), 0);
            }
        }
    }
    // Start the media tables afresh so long runs do not fill them.
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
    InitFileQueue();
    InitClipQueue();
}

}  // namespace

extern "C" int fuzzTimelineInput(const uint8_t* data, size_t size) {
    init();
    if (size == 0 || size > (1 << 20)) return 0;
    Reader r{data, size, 1};
    switch (data[0] % 3) {
        case 0:
            fuzzBand(r);
            break;
        case 1:
            fuzzItems(r);
            break;
        default:
            fuzzOtio(r);
            break;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzTimelineInput(data, size);
}
