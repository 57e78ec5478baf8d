// Common set-up for the track and envelope tests: fresh memory and tables,
// and builders for clip records, item records, item lists, track tables and
// bands held in real Handles.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"

// Band points compare and print field by field.
inline bool operator==(const RubberHandPt& a, const RubberHandPt& b) {
    return a.position == b.position && a.height == b.height && a.level == b.level;
}
inline void PrintTo(const RubberHandPt& p, std::ostream* os) {
    *os << "{" << p.position << ", " << p.height << ", " << p.level << "}";
}

namespace trackstest {

class TracksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        InitFileQueue();
        InitClipQueue();
    }

    // A clip record of its own (not in the clip table).
    static Handle clip(int16_t fileID, int32_t in, int32_t out, TDB tb = {0, 30, 1},
                       bool backwards = false) {
        Handle h = NewHandleClear(sizeof(FmClipRecord));
        auto* r = reinterpret_cast<FmClipRecord*>(*h);
        for (int32_t& m : r->markers) m = -1;
        r->markers[0] = in;
        r->markers[1] = out;
        r->fileID = fileID;
        r->backwards = backwards;
        r->timeBase = tb;
        return h;
    }
    static Handle item(int32_t start, int32_t end, Handle clipHandle = nullptr,
                       uint16_t flags = 0) {
        Handle h = NewHandleClear(sizeof(TrackItemRec));
        TrackItemRec* r = rec(h);
        r->start = start;
        r->end = end;
        r->clip = HandleToWord(clipHandle);
        r->flags = flags;
        return h;
    }
    static TrackItemRec* rec(Handle itemHandle) {
        return reinterpret_cast<TrackItemRec*>(*itemHandle);
    }
    static Handle list(const std::vector<Handle>& items) {
        Handle h = NewHandle(uint32_t(items.size() * 4));
        for (size_t i = 0; i < items.size(); ++i) {
            uint32_t w = HandleToWord(items[i]);
            std::memcpy(*h + i * 4, &w, 4);
        }
        return h;
    }
    // Items [start, end) one after another.
    static Handle listOf(const std::vector<std::pair<int32_t, int32_t>>& spans,
                         Handle clipHandle = nullptr) {
        std::vector<Handle> items;
        for (auto [s, e] : spans) items.push_back(item(s, e, clipHandle));
        return list(items);
    }
    static Handle emptyTable() { return NewHandle(0); }

    static RubberHand* header(Handle band) { return reinterpret_cast<RubberHand*>(*band); }
    static RubberHandPt* points(Handle band) {
        return reinterpret_cast<RubberHandPt*>(*band + sizeof(RubberHand));
    }
    // A band with the given points (level and height as given) and one spare.
    static Handle band(int16_t scale, const std::vector<RubberHandPt>& pts, int16_t kind = 1) {
        Handle h = NewHandleClear(uint32_t(8 + (pts.size() + 1) * 8));
        *header(h) = RubberHand{scale, int16_t(pts.size()), 0, kind};
        std::memcpy(points(h), pts.data(), pts.size() * 8);
        return h;
    }
    static std::vector<RubberHandPt> pointsOf(Handle band) {
        return std::vector<RubberHandPt>(points(band), points(band) + header(band)->count);
    }
};

}  // namespace trackstest
