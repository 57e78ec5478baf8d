// Paths written with backslashes name the same files as with slashes, at
// every exported function that takes a path.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "reelcore/depthcon.h"
#include "reelcore/files.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"
#include "reelcore/project_stream.h"
#include "reelcore/pworld.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"
#include "reelcore/windows.h"

namespace {

std::string backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

FSSpec specOf(const std::string& path) {
    FSSpec spec{};
    path.copy(spec.name, sizeof spec.name - 1);
    return spec;
}

class BackslashPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 50);
        ASSERT_GT(InitResMgr(nullptr), 0);
        char tmpl[] = "/tmp/reel_backslashXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    // The file's path as a slash path and in backslash form.
    std::string slash(const char* name) const { return dir + "/" + name; }
    std::string back(const char* name) const { return backslashed(slash(name)); }
    std::string dir;
};

TEST_F(BackslashPaths, FileFunctions) {
    ASSERT_EQ(HCreate(0, 0, back("a.dat").c_str()), 0);
    EXPECT_TRUE(exists(slash("a.dat").c_str()));
    EXPECT_TRUE(exists(back("a.dat").c_str()));

    FileRef ref = -1;
    ASSERT_EQ(HOpen(0, 0, back("a.dat").c_str(), fsRdWrPerm, &ref), noErr);
    FSClose(ref);
    FSSpec spec = specOf(back("a.dat"));
    ASSERT_EQ(FSpOpenDF(&spec, fsRdPerm, &ref), noErr);
    FSClose(ref);
    EXPECT_EQ(HDelete(0, 0, back("a.dat").c_str()), 1);  // 1: deleted
    EXPECT_FALSE(exists(slash("a.dat").c_str()));

    FSSpec made = specOf(back("b.dat"));
    ASSERT_EQ(FSpCreate(&made, 0, 0), 0);
    EXPECT_TRUE(exists(slash("b.dat").c_str()));
    EXPECT_EQ(FSpDelete(&made), 1);
    EXPECT_FALSE(exists(slash("b.dat").c_str()));
    ASSERT_EQ(fmCreate(&made, 0, 0), 0);
    EXPECT_TRUE(exists(slash("b.dat").c_str()));
}

TEST_F(BackslashPaths, ResourceFilesAndRegisteredModules) {
    const std::string module = backslashed(REEL_TEST_MODULE);
    const ResFileRef ref = OpenResFile(module.c_str());
    EXPECT_GT(ref, 0);
    if (ref > 0) CloseResFile(ref);
    const ResFileRef href = HOpenResFile(0, 0, module.c_str(), fsRdPerm);
    EXPECT_GT(href, 0);
    if (href > 0) CloseResFile(href);

    // A FileID registered with the backslash path opens as resources too.
    InitFileQueue();
    const int16_t id = AddFile(module.c_str(), 0, 0, 0);
    ASSERT_NE(id, 0);
    FileSubscribe(id);
    const int32_t rref = OpenFmxRFile(id, fsRdPerm);
    EXPECT_GT(rref, 0);
    if (rref > 0) ReleaseRFile(id);
    const FileRef dref = OpenFmxFile(id, 0);
    EXPECT_GT(dref, 2);
    if (dref > 2) ReleaseFile(id);
    EXPECT_NE(FileModificationDate(id), 0u);

    // The library's own resources by module name.
    EXPECT_GT(InitResMgr(module.c_str()), 0);
}

TEST_F(BackslashPaths, PicturesAndSafeSaves) {
    const FmRect bounds{0, 0, 4, 4};
    PPixHand pix = ppixNew(&bounds);
    ASSERT_NE(pix, nullptr);
    ppixFillRect(pix, nullptr, 0x0000FF);
    ASSERT_EQ(FmWriteBmpFile(pix, back("p.bmp").c_str()), 0);
    ASSERT_EQ(FmWritePngFile(pix, back("p.png").c_str(), 0), 0);
    ppixDispose(pix);
    EXPECT_TRUE(exists(slash("p.png").c_str()));
    PPixHand read = FmReadBmpFile(back("p.bmp").c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ppixGetPixel(read, 1, 1) & 0xFFFFFF, 0xFF0000u);
    ppixDispose(read);

    ASSERT_EQ(FmCreateWindowSurface(77, 4, 4, 32), 0);
    EXPECT_EQ(FmSaveWindowSurfacePNG(77, back("s.png").c_str()), 0);
    EXPECT_EQ(FmSaveWindowSurfaceBMP(77, back("s.bmp").c_str()), 0);
    FmDisposeWindowSurface(77);
    EXPECT_TRUE(exists(slash("s.png").c_str()));
    EXPECT_TRUE(exists(slash("s.bmp").c_str()));

    const FmRect rect{0, 0, 8, 8};
    FmWindow w = FmWndCreate(0, &rect, "w", nullptr, 0);
    ASSERT_NE(w, 0u);
    EXPECT_TRUE(FmWndSavePNG(w, back("w.png").c_str()));
    FmWndDestroy(w);
    EXPECT_TRUE(exists(slash("w.png").c_str()));

    OSErr err = noErr;
    ProjBufHand stream = CreateProjBufHandSafe(back("proj.txt").c_str(), kProjBufSize, &err);
    ASSERT_NE(stream, nullptr) << err;
    EXPECT_EQ(WriteProjText(stream, "x"), noErr);
    EXPECT_EQ(CloseProjBufHand(stream), noErr);
    EXPECT_TRUE(exists(slash("proj.txt").c_str()));
}

}  // namespace
