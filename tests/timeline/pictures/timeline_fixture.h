// Set-up shared by the timeline picture tests: fresh slots, memory, resource,
// file and clip tables and pixel worlds; sample modules registered by kind;
// pictures built and read pixel by pixel (y = 0 the top row).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/resources.h"

namespace timelinetest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

struct Pixel {
    uint8_t b, g, r, a;
    bool operator==(const Pixel& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
    bool operator!=(const Pixel& o) const { return !(*this == o); }
};
inline std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(r" << int(p.r) << " g" << int(p.g) << " b" << int(p.b) << " a" << int(p.a)
              << ")";
}

inline int32_t widthOf(PPixHand pix) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return r->bounds.right - r->bounds.left;
}
inline int32_t heightOf(PPixHand pix) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return r->bounds.bottom - r->bounds.top;
}
inline Pixel& at(PPixHand pix, int32_t x, int32_t y) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return reinterpret_cast<Pixel*>(r->pixels + int64_t(r->rowBytes) * (heightOf(pix) - 1 - y))[x];
}

class TimelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        rc::mediahooks::resetAll();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        ASSERT_EQ(pwInit(), 0);
    }
    void TearDown() override {
        for (PPixHand p : pictures_) ppixDispose(p);
        pwShutdown();
        rc::media::disposeClipTable();
        rc::media::disposeFileTable();
        rc::mediahooks::resetAll();
    }

    // A sample module of the effect plug-in folder, registered as `kind`.
    static int16_t sample(const char* name, OSType kind) {
        const std::string path = std::string(REEL_EFFECT_SAMPLES_DIR "/") + name + ".fmx";
        const int16_t id = AddFile(path.c_str(), 0, 0, kind);
        EXPECT_GT(id, 0) << path;
        FileSubscribe(id);
        PlugVersionCheck(id, kind);
        return id;
    }

    // A 32-bit picture of w x h, pixel (x, y) = colour(x, y); freed at the end.
    PPixHand picture(int32_t w, int32_t h,
                     const std::function<Pixel(int32_t, int32_t)>& colour = {}) {
        const FmRect b{0, 0, w, h};
        PPixHand p = ppixNew(&b);
        EXPECT_NE(p, nullptr);
        pictures_.push_back(p);
        if (colour)
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) at(p, x, y) = colour(x, y);
        return p;
    }

  private:
    std::vector<PPixHand> pictures_;
};

}  // namespace timelinetest
