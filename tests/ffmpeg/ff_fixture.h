// Set-up for the FFmpeg importer tests: the library's tables as media access
// needs them, the importer module registered for the type 'FFTS', and media
// made by the ffmpeg command into a folder shared by the tests of a suite.
// Tests skip (with a message) when the ffmpeg command is missing.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "importer/media_teardown.h"
#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

namespace fftest {

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

constexpr OSType kHandler = cc("FFim");
constexpr OSType kTestType = cc("FFTS");

// The counter pattern: 16 columns of 10 pixels, white where the bit of the
// frame number is set (bit 0 on the left). Lossy codecs keep it readable.
constexpr int32_t kCounterWidth = 160, kCounterHeight = 96;
inline std::string counterSource(const std::string& rate) {
    return "color=c=black:s=160x96:r=" + rate +
           ",format=gray,geq=lum='if(bitand(N\\,pow(2\\,floor(X/10)))\\,235\\,16)'";
}

inline bool haveFfmpeg() {
    static const bool have = std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
    return have;
}

inline bool haveEncoder(const std::string& name) {
    const std::string cmd = "ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' " + name + " '";
    return std::system(cmd.c_str()) == 0;
}

// A scratch folder for the media of one test suite.
class MediaFolder {
  public:
    MediaFolder() {
        char tmpl[] = "/tmp/reelffXXXXXX";
        if (mkdtemp(tmpl)) path_ = tmpl;
    }
    ~MediaFolder() {
        if (!path_.empty()) std::system(("rm -rf " + path_).c_str());
    }
    const std::string& path() const { return path_; }
    // Runs `ffmpeg ARGS NAME` once per name; the file's path, "" on failure.
    std::string make(const std::string& name, const std::string& args) {
        auto it = made_.find(name);
        if (it != made_.end()) return it->second;
        const std::string out = path_ + "/" + name;
        const std::string cmd = "ffmpeg -nostdin -v error -y " + args + " '" + out + "'";
        const bool ok = std::system(cmd.c_str()) == 0 && access(out.c_str(), R_OK) == 0;
        made_[name] = ok ? out : "";
        return made_[name];
    }
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string p = path_ + "/" + name;
        if (FILE* f = std::fopen(p.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return p;
    }

  private:
    std::string path_;
    std::map<std::string, std::string> made_;
};

inline std::string readFile(const std::string& path) {
    std::string s;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

// The text a command prints.
inline std::string capture(const std::string& cmd) {
    std::string s;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) s.append(buf, n);
        pclose(p);
    }
    return s;
}

// The md5 of a world's pixels, top row first, as framemd5 prints it.
inline std::string md5Of(PWorld w) {
    PPixHand pix = pwGetPPix(w);
    auto* r = reinterpret_cast<PPixRecord*>(*pix);
    const int32_t width = r->bounds.right - r->bounds.left;
    const int32_t height = r->bounds.bottom - r->bounds.top;
    AVMD5* md5 = av_md5_alloc();
    av_md5_init(md5);
    for (int32_t y = 0; y < height; ++y)
        av_md5_update(
            md5,
            reinterpret_cast<const uint8_t*>(r->pixels) + int64_t(r->rowBytes) * (height - 1 - y),
            size_t(width) * 4);
    uint8_t digest[16];
    av_md5_final(md5, digest);
    av_free(md5);
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

// The alpha byte of pixel x, y (rows bottom-up in memory).
inline int32_t alphaAt(PWorld w, int32_t x, int32_t y) {
    auto* r = reinterpret_cast<PPixRecord*>(*pwGetPPix(w));
    const int32_t height = r->bounds.bottom - r->bounds.top;
    const auto* row =
        reinterpret_cast<const uint8_t*>(r->pixels) + int64_t(r->rowBytes) * (height - 1 - y);
    return row[int64_t(x) * 4 + 3];
}

// The md5 column of `ffmpeg -i FILE -f framemd5 -pix_fmt bgra`.
inline std::vector<std::string> framemd5(const std::string& path) {
    const std::string text =
        capture("ffmpeg -nostdin -v error -i '" + path +
                "' -map 0:v:0 -fps_mode passthrough -pix_fmt bgra -f framemd5 - 2>/dev/null");
    std::vector<std::string> sums;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (line.empty() || line[0] == '#') continue;
        const size_t comma = line.rfind(',');
        if (comma != std::string::npos) sums.push_back(line.substr(comma + 2));
    }
    return sums;
}

class FFImportTest : public ::testing::Test {
  protected:
    std::vector<PWorld> worlds;
    std::vector<int16_t> files;  // closed before the table goes
    int16_t module = 0;

    void SetUp() override {
        if (!haveFfmpeg()) GTEST_SKIP() << "the ffmpeg command is not installed";
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
        module = AddFile(REEL_FFIMPORT_MODULE, 0, 0, cc("IMPT"));
        ASSERT_GT(module, 0);
        Handle table = FmNewHandleClear(2);
        SetAGlobal(kSlotImporterTable, reinterpret_cast<intptr_t>(table));
        ASSERT_EQ(AddMethod(kHandler, nullptr, table, module), 0);
        ASSERT_EQ(Add1XREF(kTestType, kHandler, cc("MooV"), 0), 0);
    }
    void TearDown() override {
        if (!haveFfmpeg()) return;
        for (int16_t f : files) FileClose(f);
        for (PWorld w : worlds) DisposePWorld(w);
        testsupport::disposeMediaAndImporters();
        pwShutdown();
        KillFMem();
        rc::mediahooks::resetAll();
    }

    int16_t add(const std::string& path) {
        const int16_t id = AddFile(path.c_str(), 0, 0, kTestType);
        if (id > 0) files.push_back(id);
        return id;
    }

    PWorld world(int32_t w, int32_t h) {
        PWorld id = 0;
        const FmRect b{0, 0, w, h};
        EXPECT_EQ(NewPWorld(&id, &b), 0);
        worlds.push_back(id);
        return id;
    }

    // Frame n of the file (by its own time base) into the world.
    static OSErr frame(int16_t file, const FmMediaInfo& info, int64_t n, PWorld w) {
        const TDB t{int32_t(n * info.video.samp), info.video.scale, info.video.samp};
        PPixHand pix = pwGetPPix(w);
        const FmRect r = reinterpret_cast<PPixRecord*>(*pix)->bounds;
        return GetVideo(&t, file, w, &r, 32, 0);
    }

    // The frame number shown by the counter pattern, -1 when unreadable
    // (a column neither clearly white nor clearly black).
    static int32_t counter(PWorld w) {
        PPixHand pix = pwGetPPix(w);
        int32_t n = 0;
        for (int32_t bit = 0; bit < 16; ++bit) {
            const uint32_t p = ppixGetPixel(pix, bit * 10 + 5, kCounterHeight / 2);
            const int32_t g = int32_t(p >> 8 & 0xFF);
            if (g > 160)
                n |= 1 << bit;
            else if (g > 90)
                return -1;
        }
        return n;
    }
};

}  // namespace fftest
