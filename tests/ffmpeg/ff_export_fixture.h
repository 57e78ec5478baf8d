// Set-up for the FFmpeg exporter tests: the importer fixture plus resources,
// project settings and the export host with the exporter module started from
// its file; a source file cut as one clip (video and, with sound, an audio
// track holding it) and exported as a clip export, as `reelhost transcode`
// does; and ffprobe's view of what was written.
#pragma once

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "../../plugins/ffmpeg/ff_export_prefs.h"
#include "ff_fixture.h"
#include "plugins/export_host.h"
#include "reelcore/alerts.h"
#include "reelcore/clips.h"
#include "reelcore/compiler.h"
#include "reelcore/resources.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

namespace fftest {

using Stream = std::map<std::string, std::string>;

// The streams ffprobe finds, frames counted by decoding.
inline std::vector<Stream> probeStreams(const std::string& path) {
    const std::string text = capture(
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_type,codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames,"
        "sample_rate,channels,sample_fmt -of compact '" +
        path + "' 2>/dev/null");
    std::vector<Stream> streams;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("stream|", 0) != 0) continue;
        Stream s;
        std::istringstream fields(line.substr(7));
        std::string field;
        while (std::getline(fields, field, '|')) {
            const size_t eq = field.find('=');
            if (eq != std::string::npos) s[field.substr(0, eq)] = field.substr(eq + 1);
        }
        streams.push_back(s);
    }
    return streams;
}

// The sound of a file decoded by ffmpeg as 16-bit samples in its own layout.
inline std::string decodedSound(const std::string& path) {
    return capture("ffmpeg -nostdin -v error -i '" + path + "' -map 0:a -f s16le - 2>/dev/null");
}

inline std::string folderListing(const std::string& dir) {
    return capture("ls -A '" + dir + "'");
}

// What an export is asked for.
struct ExportJob {
    OSType fileType = cc("MKV ");
    int32_t kind = kPsetKindMovie;
    int32_t width = 0, height = 0;  // 0: the source's
    int32_t depth = 16;             // a depth mask bit: 16 = 24 bits, 32 = 32 bits
    int32_t rate = 48000;
    bool sixteen = true, stereo = true;
    int32_t crf = -1;  // -1: the exporter's default settings
};

class FFExportTest : public FFImportTest {
  protected:
    static inline std::vector<std::string> alerts;
    // The number of the frame after which progress cancels (-1 never), and
    // what a test wants to look at while the export runs.
    static inline int32_t cancelAfter = -1;
    static inline std::function<void()> duringExport;

    int16_t exporterModule = 0;
    Handle timeline = nullptr;
    std::vector<Handle> owned;
    FmMediaInfo sourceInfo{};
    TDB sourceBase{0, 25, 1};

    static int32_t sink(const char*, const char* message, int32_t) {
        alerts.emplace_back(message ? message : "");
        return kAlertOK;
    }
    static int32_t progress(int32_t done, int32_t) {
        if (duringExport) duringExport();
        return cancelAfter >= 0 && done > cancelAfter ? 1 : 0;
    }

    void SetUp() override {
        FFImportTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_GT(InitResMgr(nullptr), 0);
        InitProjectSettings();
        alerts.clear();
        cancelAfter = -1;
        duringExport = nullptr;
        FmSetAlertSink(sink);
        static CompilerCallbacks callbacks{};
        callbacks.progress = progress;
        CompilerSetCallbacks(&callbacks);
        exporterModule = AddFile(REEL_FFEXPORT_MODULE, 0, 0, cc("CMPM"));
        ASSERT_GT(exporterModule, 0);
        rc::exporthost::startModules(&exporterModule, 1);
    }

    void TearDown() override {
        if (!haveFfmpeg()) return;
        CompilerShutdown();
        CompilerSetTimeline(nullptr);
        CompilerSetCallbacks(nullptr);
        duringExport = nullptr;
        if (timeline) DisposeHandle(timeline);
        for (Handle h : owned) DisposeHandle(h);
        psetShutdown();
        FmSetAlertSink(nullptr);
        FFImportTest::TearDown();
    }

    void place(int32_t clip, int32_t end, uint16_t trackType) {
        Handle item = NewHandleClear(sizeof(TrackItemRec));
        auto* r = reinterpret_cast<TrackItemRec*>(*item);
        r->clipID = clip;
        r->clip = HandleToWord(FindClip(clip));
        r->start = 0;
        r->end = end;
        owned.push_back(item);
        Handle list = NewHandle(4);
        const uint32_t w = HandleToWord(item);
        std::memcpy(*list, &w, 4);
        owned.push_back(list);
        if (!timeline) timeline = NewHandle(0);
        ASSERT_GE(AddTrackItem(list, trackType, timeline), 0);
    }

    // The source as one clip of all its frames (with its sound on an audio
    // track); the clip to export, 0 on failure.
    int32_t cutWhole(const std::string& path) {
        const int16_t file = add(path);
        if (file <= 0 || GetInfo(file, &sourceInfo, 1) != 0) return 0;
        const bool video = sourceInfo.mediaFlags & 1, audio = sourceInfo.mediaFlags & 2;
        if (video) sourceBase = TDB{0, sourceInfo.video.scale, sourceInfo.video.samp};
        const int32_t samp = sourceBase.samp;
        const int32_t frames = video ? sourceInfo.video.value / samp
                                     : int32_t(int64_t(sourceInfo.audio.value) * sourceBase.scale /
                                               (int64_t(sourceInfo.audio.scale) * samp));
        int32_t times[kClipFixedMarkers];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = 0;
        times[1] = (frames - 1) * samp;
        const int32_t videoClip = video ? AddClip(file, times, &sourceBase, kClipVideo) : 0;
        const int32_t audioClip = audio ? AddClip(file, times, &sourceBase, kClipAudio) : 0;
        if (videoClip) place(videoClip, frames * samp, kTrackTypeVideoAB);
        if (audioClip) place(audioClip, frames * samp, kTrackTypeAudio);
        CompilerSetTimeline(timeline);
        return videoClip ? videoClip : audioClip;
    }

    // Exports the clip with the job's settings to path; the host's result.
    int32_t exportClip(int32_t clip, const ExportJob& job, const std::string& path) {
        PsetBlock& s = *psetGetBlock(psetGetExportSettings(job.kind));
        s.general.filetype = job.fileType;
        s.general.classid = FF_EXPORT_CLASS;
        s.general.range = 0;
        s.general.scale = s.video.scale = sourceBase.scale;
        s.general.samplesize = s.video.samplesize = sourceBase.samp;
        s.video.width = job.width ? job.width : sourceInfo.frame.right - sourceInfo.frame.left;
        s.video.height = job.height ? job.height : sourceInfo.frame.bottom - sourceInfo.frame.top;
        s.video.depth = job.depth;
        s.audio.audrate = job.rate;
        s.audio.audsamplesize = job.sixteen;
        s.audio.audstereo = job.stereo;
        if (s.general.compilerprefs) DisposePtr(s.general.compilerprefs);
        s.general.compilerprefs = nullptr;
        if (job.crf >= 0) {
            FFExportPrefs prefs{};
            prefs.magic = FF_EXPORT_PREFS_MAGIC;
            prefs.crf = job.crf;
            s.general.compilerprefs = NewPtrClear(sizeof prefs);
            std::memcpy(s.general.compilerprefs, &prefs, sizeof prefs);
        }
        FSSpec spec{};
        std::strncpy(spec.name, path.c_str(), sizeof spec.name - 1);
        return job.kind == kPsetKindAudio ? CompilerExportAudio(&spec, 0, 0, clip)
                                          : CompilerDoCompile(&spec, 0, 0, clip);
    }

    // Every frame of a file as the importer delivers it (32-bit rows).
    std::vector<std::string> framesOf(const std::string& path) {
        std::vector<std::string> frames;
        const int16_t file = add(path);
        FmMediaInfo info{};
        if (file <= 0 || GetInfo(file, &info, 1) != 0 || !(info.mediaFlags & 1)) return frames;
        const int32_t w = info.frame.right - info.frame.left,
                      h = info.frame.bottom - info.frame.top;
        const PWorld pw = world(w, h);
        PPixHand pix = pwGetPPix(pw);
        const int32_t count = info.video.value / info.video.samp;
        for (int32_t n = 0; n < count; ++n) {
            if (frame(file, info, n, pw) != 0) break;
            frames.emplace_back(ppixGetPixels(pix), size_t(ppixGetRowbytes(pix)) * size_t(h));
        }
        return frames;
    }
};

}  // namespace fftest
