// The FFmpeg exporter through the export host: what it tells the registry,
// the round trip import -> FFV1 -> import bit for bit, each file type as
// ffprobe reads it, H.264 quality, and cancelling without touching the target.
#include <algorithm>
#include <sys/stat.h>

#include "ff_export_fixture.h"

namespace {

using namespace fftest;

MediaFolder& media() {
    static MediaFolder folder;
    return folder;
}

// The counter pattern at 29.97 with a stereo tone whose every sample is
// exact in 16-bit PCM.
// (15 frames).
std::string counterWithTone() {
    return media().make("counter_tone.mkv",
                        "-f lavfi -i \"" + counterSource("30000/1001") +
                            "\" -f lavfi -i \"sine=f=440:r=48000,aformat=channel_layouts=stereo\" "
                            "-t 0.5 -pix_fmt yuv420p -c:v ffv1 -c:a pcm_s16le");
}

// A four-character code written out ("MKV ").
OSType code(const char* text) {
    return OSType(uint8_t(text[0])) << 24 | OSType(uint8_t(text[1])) << 16 |
           OSType(uint8_t(text[2])) << 8 | OSType(uint8_t(text[3]));
}

int64_t sizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

class Exporter : public FFExportTest {};

TEST_F(Exporter, OneExporterPerFileTypeWithItsCompressors) {
    const bool x264 = haveEncoder("libx264");
    struct Expected {
        const char* type;
        const char* extension;
        const char* video;  // null: sound only
        const char* audio;  // null: pictures only
    };
    const Expected kinds[] = {{"MKV ", "mkv", "FFV1", "RAW "},  {"MPG4", "mp4", "avc1", "mp4a"},
                              {"MooV", "mov", "apcn", "RAW "},  {"VfW ", "avi", "RAW ", "RAW "},
                              {"WAVE", "wav", nullptr, "RAW "}, {"FLAC", "flac", nullptr, "FLAC"},
                              {"PNG ", "png", "png ", nullptr}};
    for (const Expected& e : kinds) {
        SCOPED_TRACE(e.type);
        const OSType type = code(e.type);
        RcCompilerInfo info{};
        const bool found = FindCompiler(type, FF_EXPORT_CLASS, &info);
        const OSType classID = info.classID;  // the record is packed
        const int16_t fileID = info.fileID;
        const uint32_t flags = info.flags;
        if (type == cc("MPG4") && !x264) {
            EXPECT_FALSE(found && classID == FF_EXPORT_CLASS) << "H.264 without libx264";
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(classID, FF_EXPORT_CLASS);
        EXPECT_EQ(fileID, exporterModule);
        EXPECT_STREQ(info.extension, e.extension);
        EXPECT_NE(info.name[0], 0);
        RcCompressorInfo video{};
        const bool hasVideo = e.video && FindCompilerSubtype(exporterModule, type, FF_EXPORT_CLASS,
                                                             code(e.video), &video);
        EXPECT_EQ(hasVideo, e.video != nullptr);
        RcAudioCompressorInfo audio{};
        const bool hasAudio =
            e.audio && FindCompilerAudioCompressor(exporterModule, type, FF_EXPORT_CLASS,
                                                   code(e.audio), &audio);
        EXPECT_EQ(hasAudio, e.audio != nullptr);
        if (hasAudio) {
            const RcAudioFormat* formats = audio.formats;
            EXPECT_NE(formats, nullptr);
        }
        if (type == cc("PNG ")) {
            EXPECT_TRUE(flags & kRcCompileOneFilePerFrame);
        }
        if (!e.video) {
            EXPECT_EQ(flags, uint32_t(kRcCompileMakesAudio));
        }
    }
    // The sample exporters keep the file types for the class that takes any.
    RcCompilerInfo any{};
    EXPECT_FALSE(FindCompiler(cc("WAVE"), cc("????"), &any) && any.fileID == exporterModule);

    // Headless, asking to edit the exporter's settings gives its defaults.
    RcCompileSettingsRequest q{};
    q.fileType = cc("MPG4");
    EXPECT_EQ(rc::exporthost::callModule(exporterModule, kRcCompileSettings, &q, 0),
              kRcCompileSettingsChanged);
    ASSERT_NE(q.settings, nullptr);
    const auto* prefs = static_cast<const FFExportPrefs*>(q.settings);
    EXPECT_EQ(prefs->magic, FF_EXPORT_PREFS_MAGIC);
    EXPECT_EQ(prefs->crf, kFFExportDefaultCrf);
    // Settings that are already ours are kept as they are.
    EXPECT_EQ(rc::exporthost::callModule(exporterModule, kRcCompileSettings, &q, 0), 0);
    EXPECT_EQ(q.settings, static_cast<const void*>(prefs));
    DisposePtr(static_cast<Ptr>(q.settings));
}

TEST_F(Exporter, RoundTripThroughFfv1IsBitExact) {
    struct Case {
        const char* name;
        const char* encoder;  // the source needs it; the case is left out without it
        std::string args;
        int32_t depth;
    };
    const Case cases[] = {
        // Lossy pictures: what the importer makes of them must survive.
        {"rt_h264.mp4", "libx264",
         "-f lavfi -i testsrc2=s=128x96:r=25 -frames:v 20 -pix_fmt yuv420p -c:v libx264 "
         "-preset veryfast -bf 2",
         16},
        // Straight alpha that varies across the picture, kept at 32 bits.
        {"rt_alpha.mkv", "ffv1",
         "-f lavfi -i \"testsrc2=s=96x64:r=25,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
         "a='X*2+N'\" -frames:v 12 -c:v ffv1 -pix_fmt bgra",
         32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!haveEncoder(c.encoder)) continue;
        const std::string source = media().make(c.name, c.args);
        ASSERT_FALSE(source.empty());
        const std::vector<std::string> before = framesOf(source);
        ASSERT_GT(before.size(), 10u);
        const int32_t clip = cutWhole(source);
        ASSERT_GT(clip, 0);
        const std::string out = media().path() + "/" + c.name + ".ffv1.mkv";
        ExportJob job;
        job.depth = c.depth;
        ASSERT_EQ(exportClip(clip, job, out), 0) << (alerts.empty() ? "" : alerts.back());
        const std::vector<std::string> after = framesOf(out);
        ASSERT_EQ(after.size(), before.size());
        for (size_t n = 0; n < before.size(); ++n)
            ASSERT_TRUE(after[n] == before[n]) << "frame " << n << " differs";
        std::vector<Stream> streams = probeStreams(out);
        ASSERT_FALSE(streams.empty());
        EXPECT_EQ(streams[0]["codec_name"], "ffv1");
        EXPECT_EQ(streams[0]["pix_fmt"], c.depth == 32 ? "bgra" : "bgr0");
        CompilerSetTimeline(nullptr);
        DisposeHandle(timeline);
        timeline = nullptr;
    }
}

TEST_F(Exporter, EachFileTypeIsWhatFfprobeReports) {
    const int32_t kFrames = 15;
    const std::string source = counterWithTone();
    ASSERT_FALSE(source.empty());
    const int32_t clip = cutWhole(source);
    ASSERT_GT(clip, 0);
    ASSERT_EQ(sourceBase.scale, 30000);
    ASSERT_EQ(sourceBase.samp, 1001);
    const std::string sound = decodedSound(source);
    ASSERT_FALSE(sound.empty());
    // 15 frames at 29.97 hold 24024 sample frames at 48 kHz; the tone has 24000.
    const size_t kSamples = 24024;

    struct Case {
        const char* name;
        ExportJob job;
        const char* videoCodec;  // null: no pictures
        const char* pixfmt;
        const char* audioCodec;  // null: no sound
        const char* sampleFmt;
        int32_t channels;
        bool exactSound;
    };
    auto job = [](const char* type, int32_t kind = kPsetKindMovie) {
        ExportJob j;
        j.fileType = code(type);
        j.kind = kind;
        return j;
    };
    ExportJob wav8 = job("WAVE", kPsetKindAudio);
    wav8.sixteen = false;
    wav8.stereo = false;
    ExportJob avi32 = job("VfW ");
    avi32.depth = 32;
    ExportJob odd = job("MPG4");
    odd.width = 81;
    odd.height = 49;
    const Case cases[] = {
        {"ffv1.mkv", job("MKV "), "ffv1", "bgr0", "pcm_s16le", "s16", 2, true},
        {"h264.mp4", job("MPG4"), "h264", "yuv420p", "aac", "fltp", 2, false},
        {"h264_odd.mp4", odd, "h264", "yuv444p", "aac", "fltp", 2, false},
        {"prores.mov", job("MooV"), "prores", "yuv422p10le", "pcm_s16le", "s16", 2, true},
        {"raw.avi", job("VfW "), "rawvideo", "bgr24", "pcm_s16le", "s16", 2, true},
        {"raw32.avi", avi32, "rawvideo", "bgra", "pcm_s16le", "s16", 2, true},
        {"sound.wav", job("WAVE", kPsetKindAudio), nullptr, nullptr, "pcm_s16le", "s16", 2, true},
        {"sound8.wav", wav8, nullptr, nullptr, "pcm_u8", "u8", 1, false},
        {"sound.flac", job("FLAC", kPsetKindAudio), nullptr, nullptr, "flac", "s16", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.videoCodec ? c.videoCodec : "") == "h264" && !haveEncoder("libx264"))
            continue;
        const std::string out = media().path() + "/out_" + c.name;
        ASSERT_EQ(exportClip(clip, c.job, out), 0) << (alerts.empty() ? "" : alerts.back());
        std::vector<Stream> streams = probeStreams(out);
        ASSERT_EQ(streams.size(), size_t(c.videoCodec != nullptr) + (c.audioCodec != nullptr));
        size_t at = 0;
        if (c.videoCodec) {
            Stream v = streams[at++];
            EXPECT_EQ(v["codec_type"], "video");
            EXPECT_EQ(v["codec_name"], c.videoCodec);
            EXPECT_EQ(v["pix_fmt"], c.pixfmt);
            EXPECT_EQ(v["width"], std::to_string(c.job.width ? c.job.width : kCounterWidth));
            EXPECT_EQ(v["height"], std::to_string(c.job.height ? c.job.height : kCounterHeight));
            EXPECT_EQ(v["r_frame_rate"], "30000/1001");
            EXPECT_EQ(v["nb_read_frames"], std::to_string(kFrames));
        }
        if (c.audioCodec) {
            Stream a = streams[at];
            EXPECT_EQ(a["codec_type"], "audio");
            EXPECT_EQ(a["codec_name"], c.audioCodec);
            EXPECT_EQ(a["sample_fmt"], c.sampleFmt);
            EXPECT_EQ(a["sample_rate"], "48000");
            EXPECT_EQ(a["channels"], std::to_string(c.channels));
            const std::string got = decodedSound(out);
            const size_t frameBytes = size_t(2 * c.channels);
            if (c.exactSound) {
                EXPECT_EQ(got.size(), kSamples * frameBytes);
                // The whole tone comes through as it was, although frame
                // edges at 29.97 fall between samples (1601.6 per frame): no
                // sample is dropped or repeated where two frames' blocks join.
                const size_t tone = std::min(sound.size(), kSamples * frameBytes);
                ASSERT_EQ(tone, 24000 * frameBytes);
                EXPECT_TRUE(got.compare(0, tone, sound, 0, tone) == 0) << "the sound changed";
            } else {
                // AAC adds a little at the ends; 8-bit mono keeps the length.
                EXPECT_NEAR(double(got.size() / frameBytes), double(kSamples), 1024.0);
            }
            EXPECT_NE(got.find_first_not_of('\0'), std::string::npos) << "silence";
        }
        // Nothing is left beside the output.
        EXPECT_EQ(folderListing(media().path()).find(".part"), std::string::npos);
    }

    // A PNG sequence: one numbered picture per frame.
    ExportJob png = job("PNG ");
    png.depth = 32;
    const std::string seq = media().path() + "/seq/shot.png";
    ASSERT_EQ(std::system(("mkdir -p '" + media().path() + "/seq'").c_str()), 0);
    ASSERT_EQ(exportClip(clip, png, seq), 0);
    for (int32_t i = 1; i <= kFrames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/seq/shot%02d.png", int(i));
        std::vector<Stream> s = probeStreams(media().path() + name);
        ASSERT_EQ(s.size(), 1u) << name;
        EXPECT_EQ(s[0]["codec_name"], "png");
        EXPECT_EQ(s[0]["pix_fmt"], "rgba");
        EXPECT_EQ(s[0]["width"], std::to_string(kCounterWidth));
    }
    EXPECT_EQ(sizeOf(media().path() + "/seq/shot16.png"), -1);
}

TEST_F(Exporter, SoundIsExactAtWholeSamplesPerFrame) {
    // 25 frames a second at 48 kHz: 1920 sample frames each.
    const std::string source = media().make(
        "tone25.mkv", "-f lavfi -i \"" + counterSource("25") +
                          "\" -f lavfi -i \"sine=f=330:r=48000,aformat=channel_layouts=stereo\" "
                          "-t 0.4 -pix_fmt yuv420p -c:v ffv1 -c:a pcm_s16le");
    ASSERT_FALSE(source.empty());
    const std::string sound = decodedSound(source);
    ASSERT_EQ(sound.size(), 10u * 1920 * 4);
    const int32_t clip = cutWhole(source);
    ASSERT_GT(clip, 0);
    ExportJob flac;
    flac.fileType = cc("FLAC");
    flac.kind = kPsetKindAudio;
    ExportJob wav = flac;
    wav.fileType = cc("WAVE");
    for (const auto& [name, job] : {std::pair{"exact.mkv", ExportJob{}},
                                    std::pair{"exact.wav", wav}, std::pair{"exact.flac", flac}}) {
        SCOPED_TRACE(name);
        const std::string out = media().path() + "/" + name;
        ASSERT_EQ(exportClip(clip, job, out), 0);
        EXPECT_TRUE(decodedSound(out) == sound);
    }
}

TEST_F(Exporter, H264QualityFollowsTheCrfAndDecodes) {
    if (!haveEncoder("libx264")) GTEST_SKIP() << "ffmpeg has no libx264 encoder";
    // Pictures alone (with grain, which costs bits), so the sizes are the video's.
    const std::string source = media().make(
        "counter_only.mkv", "-f lavfi -i \"" + counterSource("25") +
                                ",noise=alls=12:allf=t\" -frames:v 20 -pix_fmt yuv420p -c:v ffv1");
    const int32_t clip = cutWhole(source);
    ASSERT_GT(clip, 0);
    std::map<int32_t, int64_t> sizes;
    for (int32_t crf : {4, 40}) {
        SCOPED_TRACE(crf);
        ExportJob job;
        job.fileType = cc("MPG4");
        job.crf = crf;
        const std::string out = media().path() + "/crf" + std::to_string(crf) + ".mp4";
        ASSERT_EQ(exportClip(clip, job, out), 0);
        sizes[crf] = sizeOf(out);
        EXPECT_EQ(probeStreams(out).size(), 1u) << "no sound was asked for";
        // ffmpeg decodes it without complaint, and so does the importer.
        EXPECT_EQ(capture("ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>&1"), "");
        const int16_t file = add(out);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0);
        ASSERT_EQ(info.video.value / info.video.samp, 20);
        if (crf > 20) continue;
        // At high quality every frame still shows its number.
        const PWorld w = world(kCounterWidth, kCounterHeight);
        for (int32_t n = 0; n < 20; ++n) {
            ASSERT_EQ(frame(file, info, n, w), 0);
            EXPECT_EQ(counter(w), n);
        }
    }
    EXPECT_LT(sizes[40] * 2, sizes[4]) << "a higher CRF makes a smaller file";
}

TEST_F(Exporter, CancelLeavesNothingUnderTheTargetName) {
    const std::string source = counterWithTone();
    const int32_t clip = cutWhole(source);
    ASSERT_GT(clip, 0);
    const std::string dir = media().path() + "/cancel";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    const std::string fresh = dir + "/fresh.mkv", old = dir + "/old.mov";
    { std::ofstream(old) << "the old movie"; }

    for (const std::string& target : {fresh, old}) {
        SCOPED_TRACE(target);
        ExportJob job;
        job.fileType = target == old ? cc("MooV") : cc("MKV ");
        // While the export runs the pictures go to a file of their own; the
        // target's name never shows a partial movie.
        int64_t partialSeen = 0;
        duringExport = [&] {
            const std::string listing = folderListing(dir);
            if (listing.find(".part") != std::string::npos) ++partialSeen;
            EXPECT_LE(sizeOf(target), 0);
        };
        cancelAfter = 5;
        EXPECT_EQ(exportClip(clip, job, target), kRcCompileCancelled);
        EXPECT_GT(partialSeen, 0);
        if (target == old)
            EXPECT_EQ(readFile(old), "the old movie");
        else
            EXPECT_EQ(sizeOf(fresh), -1);
        EXPECT_EQ(folderListing(dir), "old.mov\n");
    }

    // Stopped by the host (CompilerStop) ends the same way.
    cancelAfter = -1;
    duringExport = [] { CompilerStop(); };
    EXPECT_EQ(exportClip(clip, ExportJob{}, fresh), kRcServiceStopped);
    EXPECT_EQ(folderListing(dir), "old.mov\n");

    // And once allowed to finish, the movie takes the old file's place.
    duringExport = nullptr;
    ExportJob mov;
    mov.fileType = cc("MooV");
    ASSERT_EQ(exportClip(clip, mov, old), 0);
    EXPECT_EQ(probeStreams(old).size(), 2u);
    EXPECT_EQ(folderListing(dir), "old.mov\n");
}

}  // namespace
