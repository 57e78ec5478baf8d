// Common set-up for the pixel aspect tests: fresh slots, the library's
// resources, a scratch application folder in slot 337 and helpers that read
// the tables back.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reelcore/aspect.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

namespace aspecttest {

constexpr FmPARCode code(uint32_t num, uint32_t den) {
    return num << 16 | den;
}

struct Preset {
    std::string name;
    FmPARCode code;
    int32_t source = 0, line = 0;
    bool operator==(const Preset& o) const { return name == o.name && code == o.code; }
};
struct Default {
    int32_t width, height, num, den;
    int32_t source = 0, line = 0;
    bool operator==(const Default& o) const {
        return width == o.width && height == o.height && num == o.num && den == o.den;
    }
};

inline std::vector<Preset> presets() {
    std::vector<Preset> v;
    FmPARPreset p;
    for (int32_t i = 0; FmPARGetPreset(i, &p); ++i) v.push_back({p.name, p.code, p.source, p.line});
    return v;
}
inline std::vector<Default> defaults() {
    std::vector<Default> v;
    FmPARFrameDefault d;
    for (int32_t i = 0; FmPARGetFrameDefault(i, &d); ++i)
        v.push_back({d.width, d.height, d.numerator, d.denominator, d.source, d.line});
    return v;
}

class AspectTest : public ::testing::Test {
  protected:
    std::string dir;
    FSSpec folder{};

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        char tmpl[] = "/tmp/reelaspectXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        std::snprintf(folder.name, sizeof folder.name, "%s", dir.c_str());
        SetAGlobal(kSlotAppFolder, reinterpret_cast<intptr_t>(&folder));
        FmPARSetRulesPath(nullptr);
        FmPARSetLineReport(nullptr, nullptr);
    }
    void TearDown() override {
        FmPixelAspectRatioShutdown();
        FmPARSetRulesPath(nullptr);
        FmPARSetLineReport(nullptr, nullptr);
        std::system(("rm -rf " + dir).c_str());
    }
    std::string rulesPath() const { return dir + "/Interpretation Rules.txt"; }
    void writeFile(const std::string& path, const std::string& content) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    void writeRules(const std::string& content) const { writeFile(rulesPath(), content); }
};

}  // namespace aspecttest
