// The cache and the file table: files marked for no caching, files leaving
// the table, and closing idle files at shutdown.
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "cache_fixture.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "reelcore/filetable.h"

namespace {

using namespace cachetest;

FmFileRecord* record(int16_t id) {
    Handle h = FindFile(id);
    return h ? reinterpret_cast<FmFileRecord*>(*h) : nullptr;
}

class CacheFiles : public CacheTest {
  protected:
    std::string dir;
    void SetUp() override {
        CacheTest::SetUp();
        rc::mediahooks::resetAll();
        // The cache installs its purge over the reset hooks.
        KillFrameQueue();
        ASSERT_EQ(InitFrameQueue(), 0);
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        char tmpl[] = "/tmp/reelcacheXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        CacheTest::TearDown();
        rc::media::disposeFileTable();
        rc::mediahooks::resetAll();
        std::system(("rm -rf " + dir).c_str());
    }
    std::string makeFile(const char* name) {
        std::string p = dir + "/" + name;
        FILE* f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fputs("frames", f);
            std::fclose(f);
        }
        return p;
    }
};

TEST_F(CacheFiles, UnCacheFramesDropsFilesMarkedForNoCaching) {
    const int16_t a = AddFile(makeFile("a.avi").c_str(), 0, 0, 0);
    const int16_t b = AddFile(makeFile("b.avi").c_str(), 0, 0, 0);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_NE(record(a), nullptr);
    record(a)->noCaching = 1;
    ASSERT_TRUE(addAudio(a, 0, 0, 44100, 100));
    ASSERT_TRUE(addAudio(a | 0x20000, 1, 0, 44100, 100));  // file a with a key above
    ASSERT_TRUE(addAudio(b, 2, 0, 44100, 100));
    ASSERT_NE(addVideoEntry(a, 3, 8, 8, 32), nullptr);
    ASSERT_NE(addVideoEntry(99, 4, 8, 8, 32), nullptr);  // no such file: kept
    UnCacheFrames();
    std::vector<int32_t> files;
    for (FBlock e : listed()) files.push_back(E(e)->file);
    EXPECT_EQ(files, (std::vector<int32_t>{99, b}));
    record(a)->noCaching = 0;
    ASSERT_TRUE(addAudio(a, 0, 0, 44100, 100));
    UnCacheFrames();
    EXPECT_EQ(listed().size(), 3u);
}

TEST_F(CacheFiles, AFileLeavingTheTableTakesItsFrames) {
    const int16_t a = AddFile(makeFile("leave.avi").c_str(), 0, 0, 0);
    const int16_t b = AddFile(makeFile("stay.avi").c_str(), 0, 0, 0);
    ASSERT_EQ(FileSubscribe(a), 1);
    ASSERT_EQ(FileSubscribe(b), 1);
    ASSERT_TRUE(addAudio(a, 0, 0, 44100, 100));
    ASSERT_NE(addVideoEntry(a, 1, 8, 8, 32), nullptr);
    ASSERT_TRUE(addAudio(b, 2, 0, 44100, 100));
    FileCancel(a);
    ASSERT_EQ(listed().size(), 1u);
    EXPECT_EQ(E(listed().front())->file, b);
    // After shutdown the table no longer reaches into the cache.
    KillFrameQueue();
    FileCancel(b);
    ASSERT_EQ(InitFrameQueue(), 0);
}

TEST_F(CacheFiles, KillFrameQueueClosesIdleFiles) {
    const int16_t id = AddFile(makeFile("idle.avi").c_str(), 0, 0, 0);
    ASSERT_GT(OpenFmxFile(id, 0), 2);
    ReleaseFile(id);
    ASSERT_EQ(record(id)->dataState, 2);  // open until closed as idle
    ASSERT_TRUE(addAudio(id, 0, 0, 44100, 100));
    KillFrameQueue();
    EXPECT_EQ(record(id)->dataState, 0);
    EXPECT_EQ(PurgeFSpace(), GetFHeapSize());
    // The pool no longer calls into the cache.
    FBlock all = NewFBlock(GetFHeapSize());
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(NewFBlock(64), nullptr);
    DisposeFBlock(all);
    ASSERT_EQ(InitFrameQueue(), 0);
}

}  // namespace
