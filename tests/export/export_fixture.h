// Set-up for the export host tests: fresh slots, memory, resources, file and
// clip tables, pixel worlds and project settings; alerts collected; the test
// exporter (and the sample exporters) started from their module files; a
// scratch folder for outputs; a timeline of placed items.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "importer/media_teardown.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "plugins/export_host.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/alerts.h"
#include "reelcore/clips.h"
#include "reelcore/compiler.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/pworld.h"
#include "reelcore/render.h"
#include "reelcore/resources.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"
#include "tests/export/modules/exptest.h"

extern "C" int16_t exportSynthEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);

namespace exporttest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

struct Alerts {
    static inline std::vector<std::string> messages;
    static int32_t sink(const char*, const char* message, int32_t) {
        messages.emplace_back(message ? message : "");
        return kAlertOK;
    }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool exists(const std::string& path) {
    return std::ifstream(path).good();
}

class ExportTest : public ::testing::Test {
  protected:
    std::string dir;
    ExpTestState state{};
    std::vector<Handle> owned;  // item lists, items and clip records of the timeline
    Handle timeline = nullptr;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        ASSERT_EQ(InitFMem(32u << 20), 0);
        ASSERT_EQ(pwInit(), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        ASSERT_TRUE(rc::plugins::ensureTypeTables());
        rc::plugins::resetImporterHost();
        ASSERT_EQ(FmAddBuiltinImporter(cc("SYNT"), exportSynthEntry), 0);
        ASSERT_EQ(Add1XREF(cc("SYNT"), cc("SYNT"), cc("SYNT"), 0), 0);
        InitProjectSettings();
        Alerts::messages.clear();
        FmSetAlertSink(Alerts::sink);
        char tmpl[] = "/tmp/reelexportXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(SetClassData(EXPTEST_CLASS, &state), 0);
    }

    void TearDown() override {
        CompilerShutdown();
        CompilerSetTimeline(nullptr);
        CompilerSetCallbacks(nullptr);
        rc::exporthost::setMixAudio(nullptr);
        if (timeline) DisposeHandle(timeline);
        for (Handle h : owned) DisposeHandle(h);
        psetShutdown();
        testsupport::disposeMediaAndImporters();
        pwShutdown();
        KillFMem();
        FmSetAlertSink(nullptr);
        std::system(("rm -rf " + dir).c_str());
    }

    // Starts the module at path as the registry would after its scan.
    int16_t start(const char* path) {
        const int16_t id = AddFile(path, 0, 0, cc("CMPM"));
        EXPECT_NE(id, 0);
        rc::exporthost::startModules(&id, 1);
        return id;
    }

    static FSSpec spec(const std::string& path) {
        FSSpec s{};
        std::strncpy(s.name, path.c_str(), sizeof s.name - 1);
        return s;
    }

    static PsetBlock& settings(int32_t kind) { return *psetGetBlock(psetGetExportSettings(kind)); }

    // Export settings of a kind aimed at an exporter (range off: whole timeline).
    static void aim(int32_t kind, OSType fileType, OSType classID = cc("????")) {
        PsetBlock& s = settings(kind);
        s.general.filetype = fileType;
        s.general.classid = classID;
        s.general.range = 0;
        s.general.scale = 25;
        s.general.samplesize = 1;
        s.video.scale = 25;
        s.video.samplesize = 1;
        s.video.width = 64;
        s.video.height = 48;
    }

    // A clip of synthetic media (moving disc by default) cut in the time base
    // from `in` for `length` ticks.
    int32_t synthClip(const std::string& text, int32_t in, int32_t length, const TDB& tb,
                      int32_t flags = kClipVideo) {
        const std::string path = dir + "/media" + std::to_string(++synthFiles) + ".synth";
        std::ofstream(path, std::ios::binary) << text;
        const int16_t file = AddFile(path.c_str(), 0, 0, cc("SYNT"));
        EXPECT_GT(file, 0);
        FmMediaInfo info{};
        EXPECT_EQ(GetInfo(file, &info, 0), 0);
        int32_t times[kClipFixedMarkers];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = in;
        times[1] = in + length - tb.samp;
        const int32_t clip = AddClip(file, times, &tb, flags);
        EXPECT_GT(clip, 0);
        return clip;
    }
    // An A track showing the clip from `start` for its length.
    void placeClip(int32_t clip, int32_t start, int32_t end, uint16_t flags = 0,
                   uint16_t trackType = kTrackTypeVideoAB) {
        Handle item = NewHandleClear(sizeof(TrackItemRec));
        auto* r = reinterpret_cast<TrackItemRec*>(*item);
        r->clipID = clip;
        r->clip = HandleToWord(FindClip(clip));
        r->start = start;
        r->end = end;
        r->flags = flags;
        owned.push_back(item);
        Handle list = NewHandle(4);
        const uint32_t w = HandleToWord(item);
        std::memcpy(*list, &w, 4);
        owned.push_back(list);
        if (!timeline) timeline = NewHandle(0);
        ASSERT_GE(AddTrackItem(list, trackType, timeline), 0);
        CompilerSetTimeline(timeline);
    }
    int32_t synthFiles = 0;

    // Adds a track of items [start, end) in ticks at 25 fps to the timeline
    // the exports render (made on first use).
    void makeTimeline(const std::vector<std::pair<int32_t, int32_t>>& spans,
                      uint16_t type = kTrackTypeVideoAB, TDB timeBase = TDB{0, 25, 1}) {
        Handle clipRec = NewHandleClear(sizeof(FmClipRecord));
        auto* c = reinterpret_cast<FmClipRecord*>(*clipRec);
        for (int32_t& m : c->markers) m = -1;
        c->timeBase = timeBase;
        owned.push_back(clipRec);
        Handle list = NewHandle(uint32_t(spans.size() * 4));
        for (size_t i = 0; i < spans.size(); ++i) {
            Handle item = NewHandleClear(sizeof(TrackItemRec));
            auto* r = reinterpret_cast<TrackItemRec*>(*item);
            r->start = spans[i].first;
            r->end = spans[i].second;
            r->clip = HandleToWord(clipRec);
            owned.push_back(item);
            const uint32_t w = HandleToWord(item);
            std::memcpy(*list + i * 4, &w, 4);
        }
        owned.push_back(list);
        if (!timeline) timeline = NewHandle(0);
        ASSERT_GE(AddTrackItem(list, type, timeline), 0);
        CompilerSetTimeline(timeline);
    }
};

}  // namespace exporttest
