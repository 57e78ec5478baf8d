// The playback library: no modules, then a playback module found by
// plug-in registration.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/playmod.h"
#include "reelcore/plugins.h"

namespace {

constexpr OSType kRTMV = 0x52544D56;  // 'RTMV'

class Playback : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
    }
};

TEST_F(Playback, WithoutModulesEveryCallerTakesItsSoftwarePath) {
    playmodStartup(nullptr, 0);
    RcPlayFileEntry entry{};
    int16_t id = 7;
    EXPECT_EQ(FindPlayFileEntry(kRTMV, 0, 4, &entry, &id), 0);
    EXPECT_EQ(id, 7);
    EXPECT_EQ(playmodCanRenderFrames(1), 0);
    EXPECT_EQ(playmodRenderRTFrame(1, 0, 0, 0, nullptr, 0), 0);
    Ptr prefs = nullptr;
    EXPECT_EQ(playmodGetFilePrefs(1, &entry, &prefs), 1);
    EXPECT_EQ(prefs, nullptr);
    playmodDeactivateCurrent();
    NotifyLoopedPlayIdleProcs();
}

TEST_F(Playback, RegistrationStartsThePlaybackModules) {
    const std::string folder = REEL_TEST_PLAYER_DIR;
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
    AddPlugins();
    FmPluginReport line{};
    ASSERT_EQ(FmGetPluginReport(0, &line), 1);
    EXPECT_TRUE(line.accepted);
    EXPECT_EQ(line.kind, OSType(0x504C594D));  // 'PLYM'

    RcPlayFileEntry entry{};
    int16_t id = 0;
    ASSERT_EQ(FindPlayFileEntry(kRTMV, 0x41424344, 4, &entry, &id), 1);
    EXPECT_STREQ(entry.name, "Real-time movie");
    EXPECT_NE(id, 0);
    EXPECT_EQ(entry.moduleID, id);
    EXPECT_EQ(FindPlayFileEntry(0x4F544852, 0, 4, &entry, &id), 0);

    Ptr prefs = nullptr;
    EXPECT_EQ(playmodGetFilePrefs(id, &entry, &prefs), kRcPlayPrefsChanged);
    ASSERT_NE(prefs, nullptr);
    DisposePtr(prefs);
    EXPECT_EQ(playmodCanRenderFrames(id), 1);
    EXPECT_EQ(playmodCanRenderFrames(id + 100), 0);
    EXPECT_EQ(playmodRenderRTFrame(id, 2, 0, 1, nullptr, 0), 1);
    EXPECT_EQ(playmodRenderRTFrame(id, 3, 0, 1, nullptr, 0), 0);
    playmodDeactivateCurrent();
    NotifyLoopedPlayIdleProcs();

    char path[260];
    GetFSSpecPath(id, path);
    void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);  // the playback library holds it
    auto calls = reinterpret_cast<int32_t* (*)()>(dlsym(module, "playerCalls"))();
    EXPECT_EQ(calls[kRcPlayStartup], 1);
    EXPECT_EQ(calls[kRcPlayDeactivate], 1);
    EXPECT_EQ(calls[kRcPlayLoopedIdle], 1);
    EXPECT_EQ(calls[kRcPlayRender], 2);
    playmodStartup(nullptr, 0);  // shuts the module down
    EXPECT_EQ(calls[kRcPlayShutdown], 1);
    dlclose(module);
}

}  // namespace
