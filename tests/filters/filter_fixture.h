// Set-up shared by the filter host tests: fresh runtime, file and clip
// tables; modules registered by kind with the version their resources
// declare; pictures, records and key lists built here.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "plugins/effects/effect_host.h"
#include "reelcore/clips.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/resources.h"

namespace filtertest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

// A pixel as B, G, R, A bytes in one little-endian word.
constexpr uint32_t bgra(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}
inline uint8_t red(uint32_t p) {
    return uint8_t(p >> 16);
}
inline uint8_t green(uint32_t p) {
    return uint8_t(p >> 8);
}
inline uint8_t blue(uint32_t p) {
    return uint8_t(p);
}

inline std::vector<uint8_t> bytesOf(Handle h) {
    if (!h || !*h) return {};
    return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(*h),
                                reinterpret_cast<uint8_t*>(*h) + GetHandleSize(h));
}
inline Handle handleOf(const std::vector<uint8_t>& v) {
    Handle h = NewHandleClear(uint32_t(v.size()));
    if (h && !v.empty()) std::memcpy(*h, v.data(), v.size());
    return h;
}
template <class T>
std::vector<uint8_t> bytesOfValue(const T& v) {
    std::vector<uint8_t> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

// The tint sample's settings.
struct Tint {
    int32_t amount;
    uint8_t colour[4];
};
static_assert(sizeof(Tint) == 8);

inline uint8_t tinted(uint8_t c, uint8_t t, int32_t amount) {
    return uint8_t(c + (int32_t(t) - int32_t(c)) * amount / 100);
}

class FilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        rc::mediahooks::resetAll();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        pwInit();
        rc::effects::setXeFilterHooks(nullptr);
    }
    void TearDown() override {
        for (PPixHand p : pictures_) ppixDispose(p);
        rc::effects::setXeFilterHooks(nullptr);
        pwShutdown();
        rc::media::disposeClipTable();
        rc::media::disposeFileTable();
        rc::mediahooks::resetAll();
        if (!scratch_.empty()) std::system(("rm -rf " + scratch_).c_str());
    }

    // A module file registered as `kind` with the version its resources give.
    static int16_t registerModule(const std::string& path, OSType kind) {
        const int16_t id = AddFile(path.c_str(), 0, 0, kind);
        EXPECT_GT(id, 0) << path;
        FileSubscribe(id);
        PlugVersionCheck(id, kind);
        return id;
    }
    static int16_t sample(const char* name, OSType kind, const char* ext = ".fmx") {
        return registerModule(std::string(REEL_EFFECT_SAMPLES_DIR "/") + name + ext, kind);
    }
    static int16_t testModule(const char* name, OSType kind, const char* ext = ".fmx") {
        return registerModule(std::string(FILTER_MODULES_DIR "/") + name + ext, kind);
    }

    // A scratch folder for files the test makes.
    std::string scratch() {
        if (scratch_.empty()) {
            char tmpl[] = "/tmp/reelfiltersXXXXXX";
            EXPECT_NE(mkdtemp(tmpl), nullptr);
            scratch_ = tmpl;
        }
        return scratch_;
    }

    // A clip of a made-up movie from in to out (its last frame) in tb,
    // with marker 0 at marker0 (-1: none).
    int32_t clip(int32_t in, int32_t out, const TDB& tb, int32_t marker0 = -1) {
        const std::string p = scratch() + "/movie" + std::to_string(++movies_) + ".avi";
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fputs("movie", f);
        std::fclose(f);
        const int16_t file = AddFile(p.c_str(), 0, 0, cc("AVI "));
        FmFileRecord* r = rc::media::findFileRec(file);
        r->info.mediaFlags = 1;
        r->info.video = {out, tb.scale, tb.samp};
        int32_t times[12];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = in;
        times[1] = out;
        times[2] = marker0;
        return AddClip(file, times, &tb, 1);
    }
    // A clip of a module file (a transition item's clip).
    static int32_t moduleClip(int16_t file, const TDB& tb) {
        int32_t times[12];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = 0;
        times[1] = 29;
        return AddClip(file, times, &tb, 1);
    }

    // A 32-bit picture of w x h whose pixel at image (x, y) is colour(x, y).
    PPixHand picture(int32_t w, int32_t h,
                     const std::function<uint32_t(int32_t, int32_t)>& colour = {}) {
        const FmRect b{0, 0, w, h};
        PPixHand p = ppixNew(&b);
        EXPECT_NE(p, nullptr);
        pictures_.push_back(p);
        if (colour)
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) at(p, x, y) = colour(x, y);
        return p;
    }
    static uint32_t& at(PPixHand p, int32_t x, int32_t y) {
        auto* r = reinterpret_cast<PPixRecord*>(*p);
        const int32_t h = r->bounds.bottom - r->bounds.top;
        return *reinterpret_cast<uint32_t*>(r->pixels + size_t(r->rowBytes) * (h - 1 - y) + 4 * x);
    }

    // A video filter record (version 7) in a Handle.
    static Handle videoRecord(PPixHand src, PPixHand dst, Handle specs, int32_t part, int32_t total,
                              Handle frameData = nullptr) {
        Handle h = NewHandleClear(sizeof(RcVideoFilterRecord));
        auto* r = reinterpret_cast<RcVideoFilterRecord*>(*h);
        r->source = HandleToWord(src);
        r->destination = HandleToWord(dst);
        r->specsHandle = HandleToWord(specs);
        r->part = part;
        r->total = total;
        r->version = kRcVideoFilterRecordVersion;
        r->privateData = HandleToWord(frameData);
        return h;
    }
    static RcVideoFilterRecord& video(Handle h) {
        return *reinterpret_cast<RcVideoFilterRecord*>(*h);
    }
    static Handle effectRecord(PPixHand a, PPixHand b, PPixHand dst, int32_t part, int32_t total) {
        Handle h = NewHandleClear(sizeof(RcEffectRecord));
        auto* r = reinterpret_cast<RcEffectRecord*>(*h);
        r->source1 = HandleToWord(a);
        r->source2 = HandleToWord(b);
        r->destination = HandleToWord(dst);
        r->part = part;
        r->total = total;
        r->version = kRcEffectRecordVersion;
        return h;
    }
    static RcEffectRecord& effect(Handle h) { return *reinterpret_cast<RcEffectRecord*>(*h); }

    // Frame-callback data naming a clip.
    static Handle clipData(int32_t clipID) {
        Handle h = NewHandleClear(sizeof(RcFrameCallbackData));
        auto* d = reinterpret_cast<RcFrameCallbackData*>(*h);
        d->magic = kRcFrameDataMagic;
        d->kind = kRcFrameDataClip;
        d->clipID = clipID;
        return h;
    }

    // A CompSpec with one key per (time, settings) pair.
    template <class T>
    static Handle keys(int16_t fileID, const std::vector<std::pair<int32_t, T>>& list) {
        Handle first = handleOf(bytesOfValue(list.at(0).second));
        Handle comp = NewCompSpec(first, fileID, list[0].first);
        DisposeHandle(first);
        for (size_t i = 1; i < list.size(); ++i) {
            Handle s = handleOf(bytesOfValue(list[i].second));
            EXPECT_EQ(InsertSingleSpec(comp, s, int32_t(i), list[i].first), noErr);
            DisposeHandle(s);
        }
        return comp;
    }
    template <class T>
    static T key(Handle comp, int32_t index) {
        T v{};
        Handle s = GetSingleSpec(comp, index, nullptr);
        if (s && GetHandleSize(s) >= sizeof v) std::memcpy(&v, *s, sizeof v);
        DisposeSingleSpec(s);
        return v;
    }

  private:
    std::vector<PPixHand> pictures_;
    std::string scratch_;
    int movies_ = 0;
};

}  // namespace filtertest
