// Set-up for the render tests: fresh slots, memory, frame cache, pixel
// worlds, file and clip tables with the synthetic importer as a built-in
// importer, and builders for items and track tables over synthetic bars and
// discs (320 x 240, 25 frames per second).
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "importer/media_teardown.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/keying.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/render.h"
#include "reelcore/tracks.h"
#include "timeline/render/render_hooks.h"

extern "C" int16_t renderSynthEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);

namespace rendertest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

constexpr OSType kSynt = cc("SYNT");
constexpr TDB kBase{0, 25, 1};

struct Pixel {
    uint8_t b, g, r, a;
    bool operator==(const Pixel& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};
inline std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(b" << int(p.b) << " g" << int(p.g) << " r" << int(p.r) << " a" << int(p.a)
              << ")";
}

// Pixel (x, y) of a 32-bit picture, y = 0 the top row.
inline Pixel& at(PPixHand pix, int32_t x, int32_t y) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    const int32_t h = r->bounds.bottom - r->bounds.top;
    return reinterpret_cast<Pixel*>(r->pixels + int64_t(r->rowBytes) * (h - 1 - y))[x];
}
inline int32_t widthOf(PPixHand pix) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return r->bounds.right - r->bounds.left;
}
inline int32_t heightOf(PPixHand pix) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return r->bounds.bottom - r->bounds.top;
}

class RenderTest : public ::testing::Test {
  protected:
    std::string dir;
    std::vector<Handle> owned;
    Handle table = nullptr;
    Handle context = nullptr;
    PPixHand scratch = nullptr;
    int16_t bars = 0, disc = 0;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_EQ(InitFMem(64u << 20), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
        ASSERT_EQ(pwInit(), 0);
        rc::mediahooks::resetAll();
        rc::render::setHooks(nullptr);
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        ASSERT_TRUE(rc::plugins::ensureTypeTables());
        rc::plugins::resetImporterHost();
        char tmpl[] = "/tmp/reelrenderXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(FmAddBuiltinImporter(kSynt, renderSynthEntry), 0);
        ASSERT_EQ(Add1XREF(kSynt, kSynt, kSynt, 0), 0);
        bars = addSynth("bars.synth", "kind bars\nwidth 320\nheight 240\nrate 25\nframes 250\n");
        disc = addSynth("disc.synth", "kind disc\nwidth 320\nheight 240\nrate 25\nframes 250\n");
        ASSERT_GT(bars, 0);
        ASSERT_GT(disc, 0);
        table = NewHandle(0);
        owned.push_back(table);
    }
    void TearDown() override {
        if (context) {
            SequenceCleanup(context, scratch);
            DisposeHandle(context);
        }
        rc::render::setHooks(nullptr);
        for (Handle h : owned) DisposeHandle(h);
        testsupport::disposeMediaAndImporters();
        pwShutdown();
        KillFMem();
        rc::mediahooks::resetAll();
        std::system(("rm -rf " + dir).c_str());
    }

    int16_t addSynth(const std::string& name, const std::string& text) {
        const std::string p = dir + "/" + name;
        FILE* f = std::fopen(p.c_str(), "wb");
        if (!f) return 0;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        const int16_t id = AddFile(p.c_str(), 0, 0, kSynt);
        FmMediaInfo info{};
        if (id > 0) GetInfo(id, &info, 0);  // as a project does when it adds a file
        return id;
    }

    // An item showing `file` from source frame `in` over [start, end) frames.
    Handle item(int16_t file, int32_t start, int32_t end, int32_t in = 0) {
        int32_t times[kClipFixedMarkers];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = in;
        times[1] = in + (end - start) - 1;
        const int32_t clip = file ? AddClip(file, times, &kBase, kClipVideo) : 0;
        Handle h = NewHandleClear(sizeof(TrackItemRec));
        owned.push_back(h);
        TrackItemRec* r = rec(h);
        r->clipID = clip;
        r->clip = file ? HandleToWord(FindClip(clip)) : 0;
        r->start = start;
        r->end = end;
        return h;
    }
    // A transition item (its module is the file given, or none).
    Handle transition(int32_t start, int32_t end, int16_t module = 0) {
        Handle h = NewHandleClear(sizeof(TrackItemRec));
        owned.push_back(h);
        rec(h)->start = start;
        rec(h)->end = end;
        rec(h)->transition.endPercent = 10000;
        if (module) {
            Handle clip = NewHandleClear(sizeof(FmClipRecord));
            owned.push_back(clip);
            auto* c = reinterpret_cast<FmClipRecord*>(*clip);
            c->fileID = module;
            c->timeBase = kBase;
            rec(h)->clip = HandleToWord(clip);
        }
        return h;
    }
    static TrackItemRec* rec(Handle h) { return reinterpret_cast<TrackItemRec*>(*h); }

    void addTrack(uint16_t type, const std::vector<Handle>& items) {
        Handle list = NewHandle(uint32_t(items.size() * 4));
        owned.push_back(list);
        for (size_t i = 0; i < items.size(); ++i) {
            const uint32_t w = HandleToWord(items[i]);
            std::memcpy(*list + i * 4, &w, 4);
        }
        const int32_t index = AddTrackItem(list, type, table);
        SetTrackState(1, kTrackAll, index, table);
    }
    // A, B and the transition track (always present, maybe empty).
    void abTracks(const std::vector<Handle>& a, const std::vector<Handle>& b,
                  const std::vector<Handle>& t = {}) {
        addTrack(kTrackTypeVideoAB, a);
        addTrack(kTrackTypeVideoAB, b);
        addTrack(kTrackTypeTransition, t);
    }
    // A fade band over the item at one level (0 ... 256).
    Handle fade(Handle itemHandle, int16_t level) {
        const int32_t length = rec(itemHandle)->end - rec(itemHandle)->start;
        Handle band = NewGainBand(rec(itemHandle), length, level, 256);
        owned.push_back(band);
        return band;
    }

    void setup(int32_t w = 160, int32_t h = 120) {
        context = NewHandleClear(sizeof(FmRenderContext));
        const FmRect r{0, 0, w, h};
        ASSERT_EQ(SequenceSetup(context, &scratch, &r), 0);
    }
    FmRenderContext& ctx() { return *reinterpret_cast<FmRenderContext*>(*context); }
    // The frame at `frame` into the context's destination.
    PPixHand render(int32_t frame, int32_t flags = 0x20, int32_t options = 3,
                    int32_t superMode = 1) {
        const FmRect r = ctx().frame;
        EffectFrame(context, superMode, frame, &kBase, &r, flags, options, table, 0, nullptr);
        return ctx().destination;
    }
};

// 75 % bars, as the synthetic importer draws them: colour of bar i.
inline Pixel barColour(int32_t i) {
    static const Pixel bars[7] = {{191, 191, 191, 255}, {0, 191, 191, 255}, {191, 191, 0, 255},
                                  {0, 191, 0, 255},     {191, 0, 191, 255}, {0, 0, 191, 255},
                                  {191, 0, 0, 255}};
    return bars[i];
}

}  // namespace rendertest
