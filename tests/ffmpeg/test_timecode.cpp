// The start timecode a file carries, from the importer's information record
// to the library's media information: timecode tracks and tags written by
// ffmpeg, drop-frame, tags that are no timecode, and an importer that fills
// the field to its last byte.
#include "ff_fixture.h"

namespace {

using namespace fftest;

MediaFolder& media() {
    static MediaFolder folder;
    return folder;
}

std::string timecodeOf(const FmMediaInfo& info) {
    return std::string(info.timecode, strnlen(info.timecode, sizeof info.timecode));
}

class Timecode : public FFImportTest {};

TEST_F(Timecode, StartTimecodeFromTracksAndTags) {
    const std::string counter25 = "-f lavfi -i \"" + counterSource("25") + "\" -frames:v 10 ";
    const std::string counter2997 =
        "-f lavfi -i \"" + counterSource("30000/1001") + "\" -frames:v 10 ";
    const struct {
        const char* name;
        std::string args;
        const char* timecode;  // what the media information says
        int32_t timeFormat;    // 0: not checked
    } files[] = {
        // A timecode track (QuickTime and MP4).
        {"tc.mov", counter25 + "-c:v mjpeg -timecode 01:02:03:04", "01:02:03:04", 0x20019},
        {"tc.mp4", counter25 + "-c:v mpeg4 -timecode 10:00:00:24", "10:00:00:24", 0x20019},
        // Drop-frame at 29.97.
        {"tc_drop.mov", counter2997 + "-c:v mjpeg -timecode '00:59:59;28'", "00:59:59;28", 0x4001E},
        // A tag in Matroska.
        {"tc.mkv", counter25 + "-c:v ffv1 -timecode 23:59:59:00", "23:59:59:00", 0x20019},
        // No timecode, and a tag whose text is none.
        {"none.mkv", counter25 + "-c:v ffv1", "", 0x20019},
        {"bogus.mkv", counter25 + "-c:v ffv1 -metadata timecode=12:99:00:00", "", 0},
        {"words.mkv", counter25 + "-c:v ffv1 -metadata timecode='not a timecode'", "", 0},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = media().make(f.name, f.args);
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make " << f.name;
        const int16_t file = add(path);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0);
        EXPECT_EQ(timecodeOf(info), f.timecode);
        if (f.timeFormat) {
            EXPECT_EQ(+info.timeFormat, f.timeFormat);
        }
        // The cached description keeps it.
        FmMediaInfo again{};
        ASSERT_EQ(GetInfo(file, &again, 0), 0);
        EXPECT_EQ(timecodeOf(again), f.timecode);
    }
}

// A built-in importer whose timecode text fills all 18 bytes with no NUL,
// and whose pictures have alpha 0 while it says whether they are opaque.
bool gClaimOpaque = false;
int16_t fullFieldEntry(int32_t selector, void*, intptr_t, intptr_t p2) {
    switch (selector) {
        case kRcImportStartup:
            return 0;
        case kRcImportGetInfo: {
            auto* info = reinterpret_cast<RcImporterInfo*>(p2);
            info->hasVideo = 1;
            info->width = 4, info->height = 2;
            info->videoScale = 25, info->videoSampleSize = 1, info->videoFrames = 5;
            std::memset(info->timecode, '7', sizeof info->timecode);
            return 0;
        }
        case kRcImportImage: {
            auto* q = reinterpret_cast<RcImportImageRequest*>(p2);
            for (int32_t y = 0; y < q->height; ++y)
                std::memset(q->pixels + int64_t(y) * q->rowStride, 0x40, size_t(q->width) * 4);
            q->opaque = gClaimOpaque;
            return 0;
        }
        default:
            return 0;
    }
}

TEST_F(Timecode, HostEndsTheTextAndHonoursTheOpaqueAnswer) {
    constexpr OSType kFull = cc("TCFL");
    ASSERT_EQ(FmAddBuiltinImporter(kFull, fullFieldEntry), 0);
    ASSERT_EQ(Add1XREF(kFull, kFull, kFull, 0), 0);
    const std::string path = media().write("full.tcfl", "x");
    const int16_t file = AddFile(path.c_str(), 0, 0, kFull);
    ASSERT_GT(file, 0);
    files.push_back(file);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(timecodeOf(info), std::string(17, '7'));

    // A 24-bit picture: the host makes it opaque unless the importer says
    // it already is (this one says so falsely, so its alpha shows through).
    const PWorld w = world(4, 2);
    for (bool claim : {false, true}) {
        gClaimOpaque = claim;
        ASSERT_EQ(frame(file, info, 1, w), 0);
        EXPECT_EQ(ppixGetPixel(pwGetPPix(w), 1, 1), 0x404040u);
        EXPECT_EQ(alphaAt(w, 1, 1), claim ? 0x40 : 0xFF) << "importer says opaque: " << claim;
    }
}

}  // namespace
