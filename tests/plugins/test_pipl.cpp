// The PiPL readers on well-formed and hostile property lists.
#include <gtest/gtest.h>

#include <cstring>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "tests/plugins/module_writer.h"

using namespace plugtest;

namespace {

class Pipls : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
    }
    void TearDown() override {
        for (Handle h : handles_) FmDisposeHandle(h);
    }
    // Exactly the bytes in a handle of their size, so reading one byte past
    // them is caught by the sanitizer build.
    Handle handleOf(const Bytes& b) {
        Handle h = FmNewHandle(uint32_t(b.size()));
        if (!b.empty()) std::memcpy(*h, b.data(), b.size());
        handles_.push_back(h);
        return h;
    }
    std::vector<Handle> handles_;
};

Bytes animParam(int32_t index, int32_t type, int32_t flags, int32_t size) {
    RcAnimParamInfo p{};
    p.index = index;
    std::strcpy(p.name, "Amount");
    p.dataType = type;
    p.flags = flags;
    p.size = size;
    return Bytes(reinterpret_cast<uint8_t*>(&p), reinterpret_cast<uint8_t*>(&p) + sizeof p);
}

TEST_F(Pipls, ReadersFindEachProperty) {
    RcAnimFilterInfo info{};
    info.paramCount = 2;
    info.flags = kRcAnimAnyAspect;
    const Bytes infoBytes(reinterpret_cast<uint8_t*>(&info),
                          reinterpret_cast<uint8_t*>(&info) + sizeof info);
    Handle h = handleOf(Pipl(1)
                            .kind(cc("VFlt"))
                            .name("Soften")
                            .matchName("ORVK Soften")
                            .prop(cc("catg"), counted("Blur & Sharpen"))
                            .prop(cc("wx86"), plugtest::text("SoftenEntry", true))
                            .prop(cc("aFLT"), infoBytes)
                            .prop(cc("aPAR"), animParam(1, kRcAnimFixed, 8, 4), 1)
                            .prop(cc("aPAR"), animParam(0, kRcAnimInt16, 0, 2), 0)
                            .prop(cc("TEXT"), counted("Dissolves softly"), 0, cc("FmMr"))
                            .prop(cc("pOPT"), Bytes{1, 2, 3}, 0, cc("FmMr"))
                            .prop(cc("pWIP"), Bytes{7, 1}, 0, cc("FmMr"))
                            .build());
    EXPECT_EQ(GetPiPLKind(h), cc("VFlt"));
    char text[256];
    ASSERT_TRUE(GetPiPLName(h, text));
    EXPECT_STREQ(text, "Soften");
    ASSERT_TRUE(GetPiPLMatchName(h, text));
    EXPECT_STREQ(text, "ORVK Soften");
    ASSERT_TRUE(GetPiPLCat(h, text));
    EXPECT_STREQ(text, "Blur & Sharpen");
    ASSERT_TRUE(GetPiPLCode(h, text));
    EXPECT_STREQ(text, "SoftenEntry");

    RcAnimFilterInfo readInfo;
    ASSERT_TRUE(GetAnimFilterInfo(h, &readInfo));
    EXPECT_EQ(readInfo.paramCount, 2);
    EXPECT_EQ(readInfo.flags, kRcAnimAnyAspect);
    // Parameters are found by their property ID, not by their order.
    RcAnimParamInfo param;
    ASSERT_TRUE(GetAnimParamProperty(h, 1, &param));
    EXPECT_EQ(param.dataType, kRcAnimFixed);
    EXPECT_EQ(param.flags, kRcAnimParamInterpolate);
    EXPECT_FALSE(GetAnimParamProperty(h, 2, &param));
    RcAnimParamInfo params[4];
    EXPECT_EQ(ParseANIMInfo(h, &readInfo, params, 4), 2);
    EXPECT_EQ(params[0].dataType, kRcAnimInt16);
    EXPECT_EQ(params[0].size, 2);
    EXPECT_EQ(params[1].size, 4);

    Handle desc = GetPiPLSPFXDesc(h);
    ASSERT_NE(desc, nullptr);
    EXPECT_STREQ(*desc, "Dissolves softly");
    FmDisposeHandle(desc);
    Handle opt = GetPiPLpOpt(h);
    ASSERT_NE(opt, nullptr);
    ASSERT_EQ(FmGetHandleSize(opt), 3u);
    EXPECT_EQ((*opt)[2], 3);
    FmDisposeHandle(opt);
    EXPECT_EQ(GetPiPLpWIP(h), 0x107);

    // A list without those properties answers "absent" everywhere.
    Handle bare = handleOf(Pipl().build());
    EXPECT_EQ(GetPiPLKind(bare), 0u);
    EXPECT_FALSE(GetPiPLName(bare, text));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(ParseANIMInfo(bare, nullptr, nullptr, 0), -1);
    EXPECT_EQ(GetPiPLSPFXDesc(bare), nullptr);
    EXPECT_EQ(GetPiPLpWIP(bare), 0);
}

TEST_F(Pipls, LongMatchNameIsCutTo31Characters) {
    Handle h = handleOf(Pipl().matchName(std::string(40, 'm')).build());
    char name[32];
    std::memset(name, 'x', sizeof name);
    ASSERT_TRUE(GetPiPLMatchName(h, name));
    EXPECT_EQ(std::strlen(name), 31u);
}

TEST_F(Pipls, HostileListsAreReadWithinTheirBytes) {
    char text[256];
    // The count claims more properties than the bytes hold.
    Handle many = handleOf(Pipl().name("x").count(0x7FFFFFFF).build());
    EXPECT_FALSE(GetPiPLName(many, text));
    Handle negative = handleOf(Pipl().name("x").count(-1).build());
    EXPECT_EQ(GetPiPLKind(negative), 0u);
    // A property longer than the list.
    Handle longProp =
        handleOf(Pipl().prop(cc("name"), counted("abc"), 0, cc("Q7IM"), 5000).build());
    EXPECT_FALSE(GetPiPLName(longProp, text));
    // A counted string whose length byte runs past its property.
    Bytes lying = counted("abc");
    lying[0] = 200;
    Handle badString = handleOf(Pipl().prop(cc("name"), lying).build());
    EXPECT_FALSE(GetPiPLName(badString, text));
    // A code name without its NUL stops at the property's end.
    Handle noNul = handleOf(Pipl().prop(cc("wx86"), plugtest::text("Entry")).build());
    ASSERT_TRUE(GetPiPLCode(noNul, text));
    EXPECT_STREQ(text, "Entry");
    // Short records are cleared beyond what the module gave.
    Handle shortInfo = handleOf(Pipl().prop(cc("aFLT"), word32(5)).build());
    RcAnimFilterInfo info;
    std::memset(&info, 0xEE, sizeof info);
    ASSERT_TRUE(GetAnimFilterInfo(shortInfo, &info));
    EXPECT_EQ(info.infoVersion, 5);
    EXPECT_EQ(info.paramCount, 0);
    // Truncated header, empty handle, null handle.
    Handle truncated = handleOf(Bytes{1, 0, 0});
    EXPECT_EQ(GetPiPLKind(truncated), 0u);
    EXPECT_EQ(GetPiPLKind(handleOf(Bytes{})), 0u);
    EXPECT_EQ(GetPiPLKind(nullptr), 0u);
    EXPECT_FALSE(GetPiPLName(nullptr, text));
}

}  // namespace
