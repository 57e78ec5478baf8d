// `reelhost transcode` as a user runs it: a movie with sound through the
// importer and the FFmpeg exporter, the codec from the extension or --codec,
// and clear refusals (exit 2 for a usage mistake, 1 for a failure).
#include <sys/wait.h>
#include <unistd.h>

#include "ff_fixture.h"

namespace {

using namespace fftest;

std::string run(const std::string& args, int* status) {
    const std::string cmd = std::string(REELHOST_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    const int raw = p ? pclose(p) : -1;
    *status = raw >= 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string probe(const std::string& path) {
    return capture(
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_name,width,height,nb_read_frames,sample_rate,channels -of "
        "compact '" +
        path + "' 2>/dev/null");
}

TEST(Transcode, MoviesSoundAndRefusals) {
    if (!haveFfmpeg()) GTEST_SKIP() << "the ffmpeg command is not installed";
    MediaFolder media;
    const std::string movie = media.make(
        "movie.mkv", "-f lavfi -i \"" + counterSource("25") +
                         "\" -f lavfi -i \"sine=f=440:r=44100\" -t 0.8 -pix_fmt yuv420p -c:v ffv1 "
                         "-c:a pcm_s16le");
    const std::string silent =
        media.make("silent.mkv", "-f lavfi -i \"" + counterSource("25") +
                                     "\" -frames:v 5 -pix_fmt yuv420p -c:v ffv1");
    ASSERT_FALSE(movie.empty());
    ASSERT_FALSE(silent.empty());
    const std::string dir = media.path();
    int status = -1;

    // The codec from the extension: FFV1 with the sound as PCM.
    std::string out = run("transcode '" + movie + "' '" + dir + "/a.mkv'", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("a.mkv: FFV1 in Matroska (lossless), 20 frames, 160x96 at 25 fps, sound "
                       "44100 Hz mono"),
              std::string::npos)
        << out;
    const std::string written = probe(dir + "/a.mkv");
    EXPECT_NE(written.find("stream|codec_name=ffv1|width=160|height=96|nb_read_frames=20\n"),
              std::string::npos)
        << written;
    EXPECT_NE(written.find("stream|codec_name=pcm_s16le|sample_rate=44100|channels=1|"),
              std::string::npos)
        << written;

    // --codec overrides the extension; a video-only file has no sound to give.
    out = run("transcode '" + movie + "' '" + dir + "/b.snd' --codec flac", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(probe(dir + "/b.snd").find("codec_name=flac|sample_rate=44100|channels=1"),
              std::string::npos);
    out = run("transcode '" + silent + "' '" + dir + "/c.wav'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("has no sound to write as wav"), std::string::npos) << out;
    EXPECT_EQ(access((dir + "/c.wav").c_str(), F_OK), -1);

    // Usage mistakes exit 2 with what was wrong.
    out = run("transcode '" + movie + "' '" + dir + "/d.xyz'", &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("no codec writes '.xyz' files"), std::string::npos) << out;
    out = run("transcode '" + movie + "' '" + dir + "/d.mkv' --codec vp9", &status);
    EXPECT_EQ(status, 2) << out;
    out = run("transcode '" + movie + "' '" + dir + "/d.mp4' --crf 52", &status);
    EXPECT_EQ(status, 2) << out;

    // Failures exit 1 and leave nothing behind.
    const std::string junk = media.write("junk.mkv", "not a movie at all");
    out = run("transcode '" + junk + "' '" + dir + "/e.mkv'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("no importer can read it"), std::string::npos) << out;
    out = run("transcode '" + movie + "' '" + dir + "/no/such/folder/f.mkv'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("cannot be created"), std::string::npos) << out;
    EXPECT_EQ(capture("ls -A '" + dir + "'"), "a.mkv\nb.snd\njunk.mkv\nmovie.mkv\nsilent.mkv\n");
}

}  // namespace
