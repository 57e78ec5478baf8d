// Shared set-up of the motion and keying tests: runtime state, a processor
// pool of a chosen size, and small 32-bit pictures addressed top-down.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "pixels/ppix_internal.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/ppix.h"

namespace motiontest {

struct Pixel {
    uint8_t b, g, r, a;
    bool operator==(const Pixel& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};

inline std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(b" << int(p.b) << " g" << int(p.g) << " r" << int(p.r) << " a" << int(p.a)
              << ")";
}

inline Pixel* at(PPixHand pix, int32_t x, int32_t y) {
    const PPixRecord* r = rc::pixels::record(pix);
    return reinterpret_cast<Pixel*>(rc::pixels::rowAddress(r, y)) + x;
}

inline PPixHand picture(int32_t w, int32_t h, const std::function<Pixel(int32_t, int32_t)>& fn) {
    const FmRect bounds{0, 0, w, h};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) *at(pix, x, y) = fn(x, y);
    return pix;
}

inline PPixHand solid(int32_t w, int32_t h, Pixel p) {
    return picture(w, h, [p](int32_t, int32_t) { return p; });
}

inline std::vector<Pixel> pixelsOf(PPixHand pix) {
    const PPixRecord* r = rc::pixels::record(pix);
    std::vector<Pixel> out;
    for (int32_t y = 0; y < rc::pixels::height(r); ++y)
        for (int32_t x = 0; x < rc::pixels::width(r); ++x) out.push_back(*at(pix, x, y));
    return out;
}

class MotionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        path_ = ::testing::TempDir() + "reel_motion_" + std::to_string(getpid()) + ".ini";
    }
    void TearDown() override {
        TerminateMP();
        for (PPixHand p : owned_) ppixDispose(p);
        std::remove(path_.c_str());
    }
    // Restarts the processor pool with n processors.
    void usePool(int n) {
        TerminateMP();
        FILE* f = std::fopen(path_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "[override]\nNumCPUs=%d\n", n);
        std::fclose(f);
        SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(path_.c_str()));
        InitMP();
    }
    PPixHand keep(PPixHand p) {
        owned_.push_back(p);
        return p;
    }
    std::string path_;
    std::vector<PPixHand> owned_;
};

}  // namespace motiontest
