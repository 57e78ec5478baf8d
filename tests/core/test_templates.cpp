#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/text_hooks.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

int32_t g_lastFormat = 0;
const void* g_lastBase = nullptr;

void fakeTimecode(int32_t ticks, const void* timeBase, int32_t format, char* out) {
    g_lastFormat = format;
    g_lastBase = timeBase;
    std::snprintf(out, 256, "TC(%d)", ticks);
}

class Templates : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        FmSetResourceScript(0);
        // Start from the default timecode text whatever the time family set.
        savedTimecode = rc::texthooks::setTimecodeToStr(nullptr);
    }
    void TearDown() override {
        rc::texthooks::setTimecodeToStr(savedTimecode);
        FmSetResourceScript(0);
    }
    rc::texthooks::TimecodeToStrFn savedTimecode = nullptr;
    std::string expand(const std::string& tmpl, const intptr_t* args, int32_t flags = 0,
                       const void* base = nullptr) {
        char out[kExpandStringMax + 16];
        std::memset(out, 'G', sizeof out);
        int32_t length = -5;
        DoExpandString(tmpl.data(), static_cast<int32_t>(tmpl.size()), out, &length, args, base,
                       flags);
        EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
        EXPECT_EQ(out[kExpandStringMax], 'G') << "wrote past the destination";
        return std::string(out, static_cast<size_t>(length));
    }
};

TEST_F(Templates, EveryMarkerAndItsDoubledForm) {
    const char* word = "clip";
    const intptr_t args[] = {7, reinterpret_cast<intptr_t>(word), 25, -3, 90};
    EXPECT_EQ(expand("^0%%", args), "7%");
    EXPECT_EQ(expand("Frame Rate: ^0fps", args), "Frame Rate: 7fps");
    EXPECT_EQ(expand("Limit data rate to ^3K//second", args), "Limit data rate to -3K/second");
    EXPECT_EQ(expand("Make /1 as &2", args, 1003), "Make clip as ...");
    EXPECT_EQ(expand("^^ // && }} %%", args), "^ / & } %");
    // Without the timecode family the tick count is printed.
    EXPECT_EQ(expand("at }4", args), "at 90");
    rc::texthooks::setTimecodeToStr(fakeTimecode);
    const int base = 0;
    EXPECT_EQ(expand("}4 to %0", args, 0x30, &base), "TC(90) to TC(7)");
    EXPECT_EQ(g_lastFormat, 0x30 | 0x100000);
    EXPECT_EQ(g_lastBase, &base);
    EXPECT_EQ(expand("}4", args, 0x30, &base), "TC(90)");
    EXPECT_EQ(g_lastFormat, 0x30);
    // Argument 0 of a list string takes the low 16 bits of both numbers.
    const intptr_t wide[] = {0x10000 + 25};
    EXPECT_EQ(expand("[&0]", wide, 0x70000 + 1003), "[...]");
}

TEST_F(Templates, EdgesOfTemplates) {
    const intptr_t args[] = {5, 0};
    EXPECT_EQ(expand("ends with ^", args), "ends with ^");
    EXPECT_EQ(expand("^x and ^", args), "^x and ^");
    EXPECT_EQ(expand("null:[/1]", args), "null:[]");  // a null C string prints nothing
    EXPECT_EQ(expand("", args), "");
    // The length argument bounds the template: the marker is cut off.
    char out[kExpandStringMax];
    int32_t length = 0;
    DoExpandString("ab^0", 3, out, &length, args, nullptr, 0);
    EXPECT_STREQ(out, "ab^");
    EXPECT_EQ(length, 3);
    FmDoExpandString("C string ^0", -1, out, &length, args, nullptr, 0);
    EXPECT_STREQ(out, "C string 5");
    // Missing arguments read as 0 rather than through a null array.
    FmDoExpandString("^0/1", -1, out, &length, nullptr, nullptr, 0);
    EXPECT_STREQ(out, "0");

    // Output is cut at the destination's size and stays terminated.
    const std::string big(400, 'x');
    const intptr_t bigArgs[] = {reinterpret_cast<intptr_t>(big.c_str())};
    const std::string result = expand("/0/0/0/0", bigArgs);
    EXPECT_EQ(result.size(), static_cast<size_t>(kExpandStringMax - 1));
    EXPECT_EQ(result, std::string(kExpandStringMax - 1, 'x'));
}

TEST_F(Templates, DoubleByteCharactersAreCopiedUnread) {
    const intptr_t args[] = {3};
    // 0x81 0x5E is one Shift-JIS character whose second byte is '^'.
    const std::string tmpl = "\x81^0 ^0";
    EXPECT_EQ(expand(tmpl, args),
              "\x81"
              "3 3");  // single-byte script: a marker
    FmSetResourceScript(1);
    EXPECT_EQ(expand(tmpl, args), "\x81^0 3");
    // A first byte as the last byte of the template goes out alone.
    EXPECT_EQ(expand("ab\x81", args), "ab\x81");
}

TEST_F(Templates, LineEndings) {
    char out[64];
    int32_t length = 0;
    EXPECT_TRUE(FmFixLineEnding("a\r\nb\nc", out, 'm', &length));
    EXPECT_STREQ(out, "a\rb\rc");
    EXPECT_EQ(length, 6);
    EXPECT_TRUE(FmFixLineEnding("a\rb", out, 'w', &length));
    EXPECT_STREQ(out, "a\r\nb");
    EXPECT_EQ(length, 5);

    struct Case {
        const char* in;
        int32_t mode;
        const char* out;
        bool changed;
    };
    const Case cases[] = {
        {"x\n\ry", 'm', "x\ry", true},      // LF CR is one break
        {"x\n\r\ny", 'm', "x\r\ry", true},  // LF CR, then a lone LF
        {"x\r\r\ny", 'm', "x\r\ry", true},
        {"x\ry\r", 'm', "x\ry\r", false},
        {"\n", 'm', "\r", true},
        {"x\r\ny\r", 'w', "x\r\ny\r\n", true},
        {"x\r\ny", 'w', "x\r\ny", false},
        {"x\ny", 'w', "x\ny", false},     // a lone LF stays
        {"\r\r", 'x', "\r\n\r\n", true},  // any other mode is 'w'
        {"", 'm', "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        int32_t measured = 0;
        EXPECT_EQ(FmFixLineEnding(c.in, nullptr, c.mode, &measured), c.changed);
        EXPECT_EQ(measured, static_cast<int32_t>(std::strlen(c.out) + 1));
        std::memset(out, 'G', sizeof out);
        EXPECT_EQ(FmFixLineEnding(c.in, out, c.mode, nullptr), c.changed);
        EXPECT_STREQ(out, c.out);
        EXPECT_EQ(out[measured], 'G');
    }
}

TEST_F(Templates, HandleLineEndings) {
    Handle text = NewHandle(8);
    std::memcpy(*text, "a\rb\rc", 6);
    Handle result = nullptr;
    EXPECT_EQ(FmFixHandleLineEnding(text, &result, 'w'), noErr);
    ASSERT_NE(result, nullptr);
    ASSERT_NE(result, text);
    EXPECT_EQ(GetHandleSize(result), 8u);
    EXPECT_STREQ(*result, "a\r\nb\r\nc");
    DisposeHandle(result);
    // Nothing to change: the same handle.
    EXPECT_EQ(FmFixHandleLineEnding(text, &result, 'm'), noErr);
    EXPECT_EQ(result, text);
    // A handle without a NUL is read only up to its size.
    Handle raw = NewHandle(3);
    std::memcpy(*raw, "x\ry", 3);
    EXPECT_EQ(FmFixHandleLineEnding(raw, &result, 'w'), noErr);
    ASSERT_NE(result, raw);
    EXPECT_EQ(GetHandleSize(result), 5u);
    EXPECT_STREQ(*result, "x\r\ny");
    DisposeHandle(result);
    Handle empty = NewHandle(0);
    EXPECT_EQ(FmFixHandleLineEnding(empty, &result, 'w'), noErr);
    EXPECT_EQ(result, empty);
    EXPECT_EQ(FmFixHandleLineEnding(nullptr, &result, 'w'), noErr);
    EXPECT_EQ(result, nullptr);
    DisposeHandle(raw);
    DisposeHandle(empty);
    DisposeHandle(text);
}

}  // namespace
