// The method table layout in the public header is the one the library
// writes: plug-in authors build and read tables from it.
#include <gtest/gtest.h>

#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"

namespace {

int marker[kHandlerProcCount];

TEST(MethodTableLayout, HeaderAndEntriesAsPublished) {
    SetupGlobals();
    InitMemoryMgr();
    Handle table = FmNewHandle(0);
    ASSERT_NE(table, nullptr);
    void* procs[kHandlerProcCount];
    for (int i = 0; i < kHandlerProcCount; ++i) procs[i] = &marker[i];
    ASSERT_EQ(AddMethod(0x41414141, procs, table, 7), noErr);
    void* none[kHandlerProcCount] = {};
    ASSERT_EQ(AddMethod(0x42424242, none, table, 9), noErr);

    ASSERT_EQ(FmGetHandleSize(table), sizeof(FmMethodTableHeader) + 2 * sizeof(FmMethodEntry));
    const auto* header = reinterpret_cast<const FmMethodTableHeader*>(*table);
    EXPECT_EQ(header->count, 2);
    const auto* entries = reinterpret_cast<const FmMethodEntry*>(header + 1);
    // The newest registration comes first.
    EXPECT_EQ(entries[0].type, 0x42424242u);
    EXPECT_EQ(entries[0].fileID, 9);
    EXPECT_EQ(entries[1].type, 0x41414141u);
    EXPECT_EQ(entries[1].fileID, 7);
    EXPECT_EQ(entries[1].module, nullptr);
    for (int i = 0; i < kHandlerProcCount; ++i) {
        EXPECT_EQ(entries[1].procs[i], &marker[i]) << i;
        EXPECT_EQ(entries[0].procs[i], nullptr) << i;
        int16_t fileID = 0;
        EXPECT_EQ(LookupMethod(0x41414141, table, int16_t(i), &fileID), &marker[i]);
        EXPECT_EQ(fileID, 7);
    }
    FmDisposeHandle(table);
}

}  // namespace
