// Golden frames: timelines rendered through the render core at 160 x 120
// and compared with pictures checked in under tests/timeline/golden. The
// media are synthetic files read by the synthetic importer sample; the
// transitions and the tint are the effect samples. Run with
// REEL_UPDATE_GOLDEN=1 to write the pictures afresh (then look at them
// before checking them in).
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "importer/media_teardown.h"
#include "otio.h"
#include "otio_demo.h"
#include "otio_effects.h"
#include "otio_tracks.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/framecache.h"
#include "reelcore/media_access.h"
#include "reelcore/render.h"
#include "timeline/render/render_hooks.h"
#include "timeline_fixture.h"

namespace {

using namespace timelinetest;

constexpr int32_t kWidth = 160, kHeight = 120;

// R, G, B, A bytes, rows from the top.
struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

bool readPng(const std::string& path, Picture& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out.width = int32_t(image.width);
    out.height = int32_t(image.height);
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) != 0;
}

bool writePng(const std::string& path, const Picture& p) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(p.width);
    image.height = uint32_t(p.height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, p.rgba.data(), 0, nullptr) != 0;
}

Picture pictureOf(PPixHand pix) {
    Picture p{widthOf(pix), heightOf(pix), {}};
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x) {
            const Pixel q = at(pix, x, y);
            p.rgba.insert(p.rgba.end(), {q.r, q.g, q.b, q.a});
        }
    return p;
}

// How a picture may differ from its golden: not at all, or (for motion,
// whose resampling may round differently) by up to `levels` on a share of
// the pixels.
struct Tolerance {
    int32_t levels = 0;
    double share = 0;
};

// Empty when `got` matches the golden within the tolerance, else what
// differs.
std::string compare(const Picture& got, const Picture& golden, Tolerance tol) {
    if (got.width != golden.width || got.height != golden.height)
        return "size " + std::to_string(got.width) + "x" + std::to_string(got.height) +
               " against " + std::to_string(golden.width) + "x" + std::to_string(golden.height);
    int64_t differing = 0;
    std::string first;
    for (size_t i = 0; i < got.rgba.size(); i += 4) {
        int32_t worst = 0;
        for (size_t c = 0; c < 4; ++c)
            worst = std::max(worst, std::abs(int32_t(got.rgba[i + c]) - golden.rgba[i + c]));
        if (worst == 0) continue;
        ++differing;
        if (worst > tol.levels || first.empty()) {
            const size_t n = i / 4;
            std::ostringstream o;
            o << "pixel " << n % got.width << "," << n / got.width << " is rgba(" << +got.rgba[i]
              << "," << +got.rgba[i + 1] << "," << +got.rgba[i + 2] << "," << +got.rgba[i + 3]
              << "), the golden's (" << +golden.rgba[i] << "," << +golden.rgba[i + 1] << ","
              << +golden.rgba[i + 2] << "," << +golden.rgba[i + 3] << ")";
            if (worst > tol.levels) return o.str();
            first = o.str();
        }
    }
    const int64_t allowed = int64_t(tol.share * got.width * got.height);
    if (differing > allowed)
        return std::to_string(differing) + " pixels differ (" + std::to_string(allowed) +
               " may), the first: " + first;
    return "";
}

bool updating() {
    const char* v = std::getenv("REEL_UPDATE_GOLDEN");
    return v && *v && std::string(v) != "0";
}

std::string goldenPath(const std::string& name) {
    return std::string(REEL_GOLDEN_DIR "/") + name + ".png";
}

// Checks a picture against golden `name`, or writes it when updating.
void expectGolden(const Picture& got, const std::string& name, Tolerance tol = {}) {
    if (updating()) {
        ASSERT_TRUE(writePng(goldenPath(name), got)) << goldenPath(name);
        std::printf("wrote %s\n", goldenPath(name).c_str());
        return;
    }
    Picture golden;
    ASSERT_TRUE(readPng(goldenPath(name), golden))
        << goldenPath(name) << " cannot be read; REEL_UPDATE_GOLDEN=1 writes it";
    const std::string why = compare(got, golden, tol);
    EXPECT_TRUE(why.empty()) << name << ": " << why
                             << " (REEL_UPDATE_GOLDEN=1 writes the pictures afresh)";
}

class Golden : public TimelineTest {
  protected:
    std::string dir;

    void SetUp() override {
        TimelineTest::SetUp();
        ASSERT_EQ(InitFMem(64u << 20), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
        rc::render::setHooks(nullptr);
        ASSERT_TRUE(rc::plugins::ensureTypeTables());
        rc::plugins::resetImporterHost();
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(REEL_MEDIA_SAMPLES_DIR));
        AddPlugins();
        SetAGlobal(kSlotPluginFolder, 0);
        char tmpl[] = "/tmp/reelgoldenXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        for (const auto& [name, text] : otio::demoMedia()) {
            std::ofstream out(dir + "/" + name, std::ios::binary);
            out << text;
        }
    }
    void TearDown() override {
        testsupport::disposeMediaAndImporters();
        KillFMem();
        TimelineTest::TearDown();
        if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
    }

    // Frame `frame` of a timeline over the demo media, as `reelhost render
    // --size 160x120` renders it.
    Picture render(const otio::Timeline& t, int32_t frame) {
        otio::LibraryTimeline lib;
        otio::LibraryEffects effects;
        std::string error;
        if (!lib.build(t, dir, error) || !effects.attach(t, lib, REEL_EFFECT_SAMPLES_DIR, error)) {
            ADD_FAILURE() << error;
            return {};
        }
        for (int16_t id = 1; id < 256; ++id) {
            FmMediaInfo info{};
            if (FindFile(id)) GetInfo(id, &info, 0);
        }
        const FmRect rect{0, 0, kWidth, kHeight};
        Handle context = NewHandleClear(sizeof(FmRenderContext));
        PPixHand scratch = nullptr;
        EXPECT_EQ(SequenceSetup(context, &scratch, &rect), 0);
        const TDB tdb = lib.timeBase();
        EffectFrame(context, 1, frame * tdb.samp, &tdb, &rect, 0x20,
                    kRenderOptKeying | kRenderOptFilters, lib.table(), 0, nullptr);
        Picture out = pictureOf(reinterpret_cast<FmRenderContext*>(*context)->destination);
        SequenceCleanup(context, scratch);
        DisposeHandle(context);
        return out;
    }
};

// The demo's superimposed disc without its motion.
otio::Timeline keyedOnly() {
    otio::Timeline t = otio::demoTimeline();
    for (otio::Track& track : t.tracks)
        if (track.type == "superimpose")
            for (otio::Item& item : track.items) item.settings.motion = nullptr;
    return t;
}

TEST_F(Golden, DemoTimelineFrames) {
    const otio::Timeline demo = otio::demoTimeline();
    expectGolden(render(demo, 0), "a-only");
    // Half way through the dissolve, the tint at 73 of its 80 %.
    expectGolden(render(demo, 125), "dissolve-tint");
    // Half way through the wipe, a white border of 3 smoothed twice.
    expectGolden(render(demo, 212), "wipe-border");
    expectGolden(render(keyedOnly(), 75), "keyed-superimpose");
    // Half way along its path: turned by 90 degrees at 70 % size.
    expectGolden(render(demo, 75), "motion", Tolerance{2, 0.005});
}

TEST_F(Golden, ComparisonCatchesChangedPixels) {
    Picture a{4, 2, std::vector<uint8_t>(32, 100)}, b = a;
    EXPECT_EQ(compare(a, b, {}), "");
    b.rgba[4 * 5 + 1] = 102;
    EXPECT_NE(compare(a, b, {}).find("pixel 1,1"), std::string::npos);
    EXPECT_EQ(compare(a, b, {2, 0.2}), "") << "one pixel of 8 by 2 levels";
    EXPECT_NE(compare(a, b, {2, 0.1}), "") << "one pixel is more than 10 %";
    b.rgba[3] = 97;
    EXPECT_NE(compare(a, b, {2, 0.5}).find("pixel 0,0"), std::string::npos) << "3 levels";
    EXPECT_NE(compare(a, Picture{2, 4, a.rgba}, {}).find("size"), std::string::npos);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

// Runs reelhost with the arguments; its exit status, standard error in
// `err`, standard output in `out` when asked for.
int reelhost(const std::string& arguments, std::string& err, std::string* out = nullptr) {
    const std::string base = ::testing::TempDir() + "reelhost_golden";
    const int status = std::system(
        (REELHOST_PATH " " + arguments + " >" + base + ".out 2>" + base + ".err").c_str());
    err = slurp(base + ".err");
    const std::string printed = slurp(base + ".out");
    if (out) *out = printed;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Golden, ReelhostRendersTheDemoFramesAndRefusesFramesPastTheEnd) {
    std::string err;
    ASSERT_EQ(reelhost("timeline demo " + dir, err), 0) << err;
    const std::string otioFile = dir + "/demo.otio";
    for (const auto& [frame, name] :
         {std::pair{0, "a-only"}, std::pair{125, "dissolve-tint"}, std::pair{212, "wipe-border"}}) {
        const std::string out = dir + "/" + name + ".png";
        ASSERT_EQ(reelhost("render " + otioFile + " " + std::to_string(frame) + " " + out +
                               " --size 160x120",
                           err),
                  0)
            << err;
        Picture got, golden;
        ASSERT_TRUE(readPng(out, got));
        ASSERT_TRUE(readPng(goldenPath(name), golden));
        EXPECT_EQ(compare(got, golden, {}), "") << name;
    }
    // The transitions as the timeline file has them; the tint is used.
    std::string out;
    ASSERT_EQ(reelhost("timeline show " + otioFile, err, &out), 0) << err;
    EXPECT_NE(out.find("[113, 137) transition SMPTE_Dissolve: fx-dissolve\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("[200, 224) transition Custom_Transition: fx-wipe, border 3 #FFFFFF, "
                       "anti-alias 2, from (0, 0) to (117, 87)\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("kept, not used"), std::string::npos) << out;
    // The demo has 250 frames: 249 is its last, 250 lies past the end.
    EXPECT_EQ(reelhost("render " + otioFile + " 249 " + dir + "/last.png", err), 0) << err;
    EXPECT_EQ(reelhost("render " + otioFile + " 250 " + dir + "/past.png", err), 1);
    EXPECT_NE(err.find("frame 250 is past the end of"), std::string::npos) << err;
    EXPECT_NE(err.find("its frames are 0 ... 249"), std::string::npos) << err;
    std::ifstream past(dir + "/past.png");
    EXPECT_FALSE(past.good()) << "no picture is written";
}

}  // namespace
