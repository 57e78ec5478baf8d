// A program that defines functions with the library's names must not capture
// the library's own calls to them.
#include <gtest/gtest.h>

#include "reelcore/globals.h"
#include "reelcore/memory.h"

static int gProgramCalls = 0;

extern "C" Handle FmNewHandle(uint32_t) {
    ++gProgramCalls;
    return nullptr;
}

extern "C" intptr_t GetAGlobal(int32_t) {
    ++gProgramCalls;
    return -1;
}

TEST(Abi, LibraryCallsBindInsideTheLibrary) {
    // NewHandle forwards to the library's FmNewHandle, not the program's.
    Handle h = NewHandle(16);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetHandleSize(h), 16u);
    DisposeHandle(h);
    // GetMainWnd reads slot 228 through the library's GetAGlobal.
    SetupGlobals();
    SetAGlobal(kSlotMainWnd, 9);
    EXPECT_EQ(GetMainWnd(), 9);
    EXPECT_EQ(gProgramCalls, 0);
}
