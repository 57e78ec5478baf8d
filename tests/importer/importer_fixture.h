// Set-up for the importer host and media access tests: fresh slots, memory,
// frame pool and cache, pixel worlds, file and clip tables, the file-type
// tables, and the synthetic importer registered as a built-in importer for
// 'SYNT' files. Media files are written into a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "importer/media_teardown.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/strings.h"

extern "C" int16_t synthImportEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);

namespace importtest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

constexpr OSType kSynt = cc("SYNT");

class ImportTest : public ::testing::Test {
  protected:
    std::string dir;
    std::vector<PWorld> worlds;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_EQ(InitFMem(64u << 20), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
        ASSERT_EQ(pwInit(), 0);
        rc::mediahooks::resetAll();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        ASSERT_TRUE(rc::plugins::ensureTypeTables());
        rc::plugins::resetImporterHost();
        char tmpl[] = "/tmp/reelimportXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(FmAddBuiltinImporter(kSynt, synthImportEntry), 0);
        ASSERT_EQ(Add1XREF(kSynt, kSynt, kSynt, 0), 0);
    }
    void TearDown() override {
        for (PWorld w : worlds) DisposePWorld(w);
        testsupport::disposeMediaAndImporters();
        pwShutdown();
        KillFMem();
        rc::mediahooks::resetAll();
        std::system(("rm -rf " + dir).c_str());
    }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string p = dir + "/" + name;
        FILE* f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        return p;
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }
    // The B, G, R, A bytes of a world's pixel as 0xAARRGGBB.
    static uint32_t bgraAt(PWorld w, int32_t x, int32_t y) {
        PPixHand pix = pwGetPPix(w);
        FmRect b{};
        ppixGetBounds(pix, &b);
        const auto* p = reinterpret_cast<const uint8_t*>(ppixGetPixels(pix)) +
                        int64_t(ppixGetRowbytes(pix)) * (b.bottom - b.top - 1 - y) + x * 4;
        return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    // A synthetic media file added to the table with the given type.
    int16_t addSynth(const std::string& name, const std::string& text, OSType type = kSynt) {
        const std::string p = write(name, text);
        return AddFile(p.c_str(), 0, 0, type);
    }
    PWorld world(int32_t w, int32_t h) {
        PWorld id = 0;
        const FmRect b{0, 0, w, h};
        EXPECT_EQ(NewPWorld(&id, &b), 0);
        worlds.push_back(id);
        return id;
    }
    static int32_t cachedVideoEntries() {
        int32_t n = 0;
        FBlock head = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead));
        FBlock tail = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheTail));
        auto* e = reinterpret_cast<FrameCacheEntry*>(head->address);
        for (FBlock b = e->next; b && b != tail;
             b = reinterpret_cast<FrameCacheEntry*>(b->address)->next)
            n += reinterpret_cast<FrameCacheEntry*>(b->address)->kind == kCacheKindVideo;
        return n;
    }
};

inline const char* kBarsText = "# bars\nkind bars\nwidth 320\nheight 240\nrate 25\nframes 250\n";
inline const char* kDiscText = "kind disc\nwidth 320\nheight 240\nrate 25\nframes 250\n";
inline const char* kToneText =
    "kind tone\nfrequency 440\nsamplerate 48000\nchannels 2\nseconds 10\n";

}  // namespace importtest
