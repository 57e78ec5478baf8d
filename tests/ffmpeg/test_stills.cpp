// Still pictures (PNG, JPEG, TIFF): described as stills, the same picture at
// every time, bit for bit what ffmpeg decodes, and alpha kept where the
// picture has it.
#include "ff_fixture.h"

namespace {

using namespace fftest;

MediaFolder& media() {
    static MediaFolder folder;
    return folder;
}

class Stills : public FFImportTest {};

TEST_F(Stills, PicturesAreStillsAndMatchFfmpeg) {
    const std::string card = "-f lavfi -i testsrc2=s=176x144 -frames:v 1 ";
    // Alpha rising left to right over the test card.
    const std::string cardAlpha =
        "-f lavfi -i \"testsrc2=s=176x144,format=rgba,geq=r='r(X\\,Y)':g='g(X\\,Y)':b='b(X\\,Y)':"
        "a='X*255/175'\" -frames:v 1 ";
    const struct {
        const char* name;
        std::string args;
        int32_t depth;
        int32_t alphaType;
    } files[] = {
        {"card.png", card + "-pix_fmt rgb24", 24, kRcAlphaNone},
        {"card_alpha.png", cardAlpha + "-pix_fmt rgba", 32, kRcAlphaStraight},
        {"card.jpg", card + "-pix_fmt yuvj420p -q:v 2", 24, kRcAlphaNone},
        {"card.tif", card + "-pix_fmt rgb24", 24, kRcAlphaNone},
        {"card_alpha.tif", cardAlpha + "-pix_fmt rgba", 32, kRcAlphaStraight},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = media().make(f.name, f.args);
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make " << f.name;
        const std::vector<std::string> sums = framemd5(path);
        ASSERT_EQ(sums.size(), 1u);
        const int16_t file = add(path);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0);
        EXPECT_EQ(info.mediaFlags & 3, 1) << "a picture, no sound";
        EXPECT_EQ(+info.frame.right, 176);
        EXPECT_EQ(+info.frame.bottom, 144);
        EXPECT_EQ(+info.depth, f.depth);
        EXPECT_EQ(+info.alphaType, f.alphaType);
        EXPECT_EQ(+info.noDuration, 2) << "made as a still";

        const PWorld w = world(176, 144);
        // Any time shows the one picture, including after another was shown.
        for (int32_t n : {0, 7, 0, 250}) {
            ASSERT_EQ(frame(file, info, n, w), 0) << "frame " << n;
            EXPECT_EQ(md5Of(w), sums[0]) << "frame " << n;
        }
        if (f.depth == 32) {
            // The alpha ramp itself, not an opaque picture.
            EXPECT_LT(alphaAt(w, 0, 70), 2);
            EXPECT_GT(alphaAt(w, 175, 70), 253);
        }
        EXPECT_EQ(FileClose(file), 0);
    }
}

}  // namespace
