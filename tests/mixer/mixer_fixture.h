// Set-up for the mixer tests: the runtime, frame cache, file and clip tables,
// project settings, and a built-in importer whose sound is a known pattern
// (sample n of channel c is a function of n, c and the file's seed), so the
// tests can work out every mixed sample themselves. Timelines are track
// tables of audio tracks built here.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "importer/media_teardown.h"
#include "audio/mixer_internal.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/audio.h"
#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/mixer.h"
#include "reelcore/plugins.h"
#include "reelcore/sdk/importer.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

namespace mixtest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}
constexpr OSType kPattern = cc("MIXT");

struct PatternFile {
    int32_t rate = 48000;
    int32_t format = 0x300;
    int32_t seconds = 20;
    int32_t seed = 1;
    bool failReads = false;
    int32_t reads = 0;
};
inline std::map<int16_t, PatternFile>& files() {
    static std::map<int16_t, PatternFile> f;
    return f;
}
// What a file not seen before plays (the table may ask while adding it).
inline PatternFile& nextFile() {
    static PatternFile f;
    return f;
}
inline PatternFile& fileFor(int16_t id) {
    return files().try_emplace(id, nextFile()).first->second;
}

// The pattern: 16-bit values over most of the range, both signs; 8-bit bytes
// around 128.
inline int16_t pattern16(int64_t n, int32_t c, int32_t seed) {
    return int16_t((n * 131 + c * 7919 + int64_t(seed) * 1237) % 60001 - 30000);
}
inline uint8_t pattern8(int64_t n, int32_t c, int32_t seed) {
    return uint8_t((n * 13 + c * 71 + int64_t(seed) * 17) % 256);
}

inline int16_t patternEntry(int32_t selector, void*, intptr_t p1, intptr_t p2) {
    switch (selector) {
        case kRcImportStartup:
            reinterpret_cast<RcImporterCapabilities*>(p1)->priority = 1;
            reinterpret_cast<RcImporterCapabilities*>(p1)->ownsFile = 1;
            return 0;
        case kRcImportOpenFile: {
            // The file reference names the file in the audio requests.
            auto* a = reinterpret_cast<RcImportFileAccess*>(p2);
            a->fileRef = a->fileID;
            return 0;
        }
        case kRcImportGetInfo: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(p1);
            auto* info = reinterpret_cast<RcImporterInfo*>(p2);
            const PatternFile& f = fileFor(a->fileID);
            info->hasAudio = 1;
            info->audioRate = f.rate;
            info->audioFormat = f.format;
            info->audioFrames = f.rate * f.seconds;
            return 0;
        }
        case kRcImportAudio: {
            auto* q = reinterpret_cast<RcImportAudioRequest*>(p2);
            PatternFile& f = fileFor(int16_t(q->fileRef));
            ++f.reads;
            if (f.failReads) return 5;
            const int32_t channels = (f.format & 0x100) ? 2 : 1;
            if (f.format & 0x200) {
                auto* out = static_cast<int16_t*>(q->buffer);
                for (int32_t i = 0; i < q->size / 2; ++i)
                    out[i] = pattern16(q->sample + i / channels, i % channels, f.seed);
            } else {
                auto* out = static_cast<uint8_t*>(q->buffer);
                for (int32_t i = 0; i < q->size; ++i)
                    out[i] = pattern8(q->sample + i / channels, i % channels, f.seed);
            }
            return 0;
        }
        case kRcImportShutdown:
        case kRcImportQuietFile:
        case kRcImportCloseFile:
            return 0;
        default:
            return 2;
    }
}

class MixerTest : public ::testing::Test {
  protected:
    std::string dir;
    Handle table = nullptr;
    std::vector<Handle> owned;
    TDB tb{0, 25, 1};

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_EQ(InitFMem(64u << 20), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
        rc::mediahooks::resetAll();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        ASSERT_NE(InitProjectSettings(), nullptr);
        ASSERT_TRUE(rc::plugins::ensureTypeTables());
        rc::plugins::resetImporterHost();
        ASSERT_EQ(FmAddBuiltinImporter(kPattern, patternEntry), 0);
        ASSERT_EQ(Add1XREF(kPattern, kPattern, kPattern, 0), 0);
        rc::mixer::resetState();
        rc::mixer::resetHooks();
        files().clear();
        char tmpl[] = "/tmp/reelmixXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        table = NewHandle(0);
        SetCurrentTimeBase(0, &tb);
    }
    void TearDown() override {
        rc::mixer::resetState();
        rc::mixer::resetHooks();
        if (TDB* current = GetCurrentTimeBase(0)) DisposePtr(reinterpret_cast<Ptr>(current));
        SetAGlobal(kSlotCurrentTimeBase, 0);
        for (Handle h : owned) DisposeHandle(h);
        owned.clear();
        if (table) DisposeHandle(table);
        table = nullptr;
        testsupport::disposeMediaAndImporters();
        KillFMem();
        rc::mediahooks::resetAll();
        std::system(("rm -rf " + dir).c_str());
    }

    // A pattern file and a clip cut from it at [in, in + length) ticks of tb.
    int32_t addClip(const PatternFile& f, int32_t in, int32_t length) {
        static int n = 0;
        const std::string p = dir + "/p" + std::to_string(++n) + ".mixt";
        FILE* fp = std::fopen(p.c_str(), "wb");
        if (!fp) return 0;
        std::fputs("pattern\n", fp);
        std::fclose(fp);
        nextFile() = f;
        const int16_t id = AddFile(p.c_str(), 0, 0, kPattern);
        if (id <= 0) return 0;
        fileFor(id);
        int32_t times[kClipFixedMarkers];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = in;
        times[1] = in + length - tb.samp;
        return AddClip(id, times, &tb, kClipAudio);
    }

    // An audio track; returns its ordinal among audio tracks.
    int32_t addTrack() {
        Handle list = NewHandle(0);
        owned.push_back(list);
        AddTrackItem(list, kTrackTypeAudio, table);
        const int32_t n = CountTypeTracks(kTrackAudio, table) - 1;
        SetTrackState(1, kTrackAudio, n, table);
        return n;
    }

    // An item of the clip at [start, end) ticks on audio track n.
    TrackItemRec* addItem(int32_t n, int32_t clipID, int32_t start, int32_t end) {
        Handle rec = NewHandleClear(sizeof(TrackItemRec));
        owned.push_back(rec);
        auto* r = reinterpret_cast<TrackItemRec*>(*rec);
        r->clipID = clipID;
        r->clip = HandleToWord(FindClip(clipID));
        r->start = start;
        r->end = end;
        Handle list = GetTypeTrack(kTrackAudio, n, table);
        const uint32_t word = HandleToWord(rec);
        // Items stay in order of start.
        int32_t at = CountTrackItems(list);
        while (at > 0) {
            uint32_t w;
            std::memcpy(&w, *list + size_t(at - 1) * 4, 4);
            if (reinterpret_cast<TrackItemRec*>(*WordToHandle(w))->start < start) break;
            --at;
        }
        const uint32_t size = GetHandleSize(list);
        SetHandleSize(list, size + 4);
        std::memmove(*list + size_t(at) * 4 + 4, *list + size_t(at) * 4, size - size_t(at) * 4);
        std::memcpy(*list + size_t(at) * 4, &word, 4);
        return reinterpret_cast<TrackItemRec*>(*rec);
    }

    // A band over the item with the given (position, level) points.
    Handle band(TrackItemRec* item, bool gain, std::vector<std::pair<int32_t, int16_t>> pts) {
        const int32_t length = item->end - item->start;
        Handle h = gain ? NewGainBand(item, length, pts.front().second, 256)
                        : NewPanBand(item, length, pts.front().second, 256);
        owned.push_back(h);
        auto* hdr = reinterpret_cast<RubberHand*>(*h);
        auto* p = reinterpret_cast<RubberHandPt*>(*h + sizeof(RubberHand));
        p[1].level = p[1].height = pts.back().second;
        for (size_t i = 1; i + 1 < pts.size(); ++i) InsertPoint(pts[i].first, pts[i].second, h);
        (void)hdr;
        return h;
    }

    void setLogFade(bool on) {
        psetGetBlock(reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)))->audio.logfade =
            on ? 1 : 0;
    }
    // The settings block is packed: its fields are copied, never bound.
    static void setResampleQuality(int32_t q) {
        PsetBlock* b = psetGetBlock(reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)));
        std::memcpy(reinterpret_cast<char*>(b) + offsetof(PsetBlock, audio.resampleQ), &q, 4);
    }

    // The mix of one frame.
    std::vector<uint8_t> mix(int32_t frame, int32_t format, int32_t rate,
                             FmMixerRecord* mixer = nullptr, FmMasterMeter* master = nullptr,
                             int32_t options = kMixAllTracks, OSErr* err = nullptr) {
        std::vector<uint8_t> out(size_t(rate) * 4 / 10 + 64, 0xEE);
        int32_t bytes = int32_t(out.size());
        const OSErr e = MixBlip(frame, out.data(), format, rate, nullptr, options, &bytes, &tb,
                                table, mixer, master);
        if (err) *err = e;
        EXPECT_GE(bytes, 0);
        out.resize(size_t(std::max(bytes, 0)));
        return out;
    }
};

// A mixer record of n strips at unity, centre, mode off.
struct Mixer {
    std::vector<uint8_t> bytes;
    explicit Mixer(int32_t n) : bytes(FM_MIXER_RECORD_SIZE(n)) {
        record()->count = n;
        for (int32_t i = 0; i < n; ++i) {
            FmMixerStrip* s = strip(i);
            s->gain = s->gainSetting = 1.0f;
            s->pan = s->panSetting = 0.5f;
        }
    }
    FmMixerRecord* record() { return reinterpret_cast<FmMixerRecord*>(bytes.data()); }
    FmMixerStrip* strip(int32_t i) { return FM_MIXER_STRIP(record(), i); }
};

}  // namespace mixtest
