// In sanitizer builds the leak checker sees the blocks of live handles: their
// only pointers sit in the handle records' low area, which it must scan.
#include <gtest/gtest.h>

#include <vector>

#include "reelcore/globals.h"
#include "reelcore/memory.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define REEL_TEST_LEAK_CHECKER 1
#endif

namespace {

TEST(LeakChecking, BlocksOfLiveHandlesAreNotLeaks) {
#if REEL_TEST_LEAK_CHECKER
    SetupGlobals();
    InitMemoryMgr();
    // Blocks above the heap limit are allocated one by one: nothing but
    // their handle record points at them.
    std::vector<Handle> handles;
    for (int i = 0; i < 16; ++i) handles.push_back(FmNewHandle(100000 + i));
    for (Handle h : handles) ASSERT_NE(h, nullptr);
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
    for (Handle h : handles) FmDisposeHandle(h);
#else
    GTEST_SKIP() << "needs the sanitizer build";
#endif
}

}  // namespace
