#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "core/text_hooks.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

class Strings : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        FmSetResourceScript(0);
        savedMeasure = rc::texthooks::setMeasureText(nullptr);
    }
    void TearDown() override {
        FmSetResourceScript(0);
        rc::texthooks::setMeasureText(savedMeasure);
    }
    rc::texthooks::MeasureTextFn savedMeasure = nullptr;
};

TEST_F(Strings, ComparisonAndNumbers) {
    EXPECT_TRUE(FmStringsSame("abc", "abcdef"));
    EXPECT_FALSE(StringsSame("abc", "abcdef"));
    EXPECT_FALSE(StringsSame("A", "a"));
    EXPECT_TRUE(StringsSame("same", "same"));
    EXPECT_TRUE(FmStringsSame("", "anything"));
    EXPECT_FALSE(FmStringsSame("abcdef", "abc"));
    EXPECT_EQ(fmCompareString("Apple", "apple"), 0);
    EXPECT_LT(fmCompareString("apple", "Banana"), 0);
    EXPECT_GT(fmCompareString("cherry", "Banana"), 0);

    int32_t out = 0;
    EXPECT_EQ(StringToNum("-123abc", &out), -123);
    EXPECT_EQ(out, -123);
    EXPECT_EQ(StringToNum("+42", nullptr), 42);
    EXPECT_EQ(StringToNum("x1", &out), 0);
    EXPECT_EQ(StringToNum("99999999999", &out), INT32_MAX);
    EXPECT_EQ(StringToNum("-2147483648", &out), INT32_MIN);
    EXPECT_EQ(StringToNum("-99999999999", &out), INT32_MIN);

    char text[16];
    NumToString(-2147483647 - 1, text);
    EXPECT_STREQ(text, "-2147483648");
    FmNumToString(0, text);
    EXPECT_STREQ(text, "0");

    EXPECT_TRUE(HasCR("a\rb"));
    EXPECT_FALSE(HasCR("a\nb"));
    char spaced[] = "one two three";
    EXPECT_EQ(NullSpace(spaced), 1);
    EXPECT_STREQ(spaced, "one");
    char unspaced[] = "word";
    EXPECT_EQ(NullSpace(unspaced), 0);
    EXPECT_STREQ(unspaced, "word");
    TitleString("title", text);
    EXPECT_STREQ(text, "title");
}

TEST_F(Strings, FixedPointAndSwaps) {
    EXPECT_EQ(fmDouble2Fix(1.5), 0x18000);
    EXPECT_EQ(fmDouble2Fix(-1.5), -0x18000);
    EXPECT_EQ(fmDouble2Fix(0.25), 0x4000);
    EXPECT_EQ(fmDouble2Fix(-0.00001), 0);  // both parts truncate toward zero
    EXPECT_EQ(fmDouble2Fix(1e9), INT32_MAX);
    EXPECT_EQ(fmDouble2Fix(-1e9), INT32_MIN);
    EXPECT_EQ(fmDouble2Fix(0.0 / 0.0), 0);
    EXPECT_DOUBLE_EQ(fmFix2Double(0x18000), 1.5);
    EXPECT_DOUBLE_EQ(fmFix2Double(-0x18000), -1.5);
    EXPECT_DOUBLE_EQ(fmFix2Double(-1), -1.0 / 65536.0);
    for (double x : {0.0, 1.0, -3.75, 1234.5, -32767.5})
        EXPECT_DOUBLE_EQ(fmFix2Double(fmDouble2Fix(x)), x);

    unsigned char bytes[6] = {0, 0x12, 0x34, 0x56, 0x78, 0};
    uint16_t oldShort;
    std::memcpy(&oldShort, bytes + 1, 2);
    EXPECT_EQ(SwapShort(bytes + 1), oldShort);  // unaligned on purpose
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x12);
    uint32_t oldLong;
    std::memcpy(&oldLong, bytes + 1, 4);
    EXPECT_EQ(SwapLong(bytes + 1), oldLong);
    EXPECT_EQ(bytes[1], 0x78);
    EXPECT_EQ(bytes[4], 0x34);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[5], 0);
}

TEST_F(Strings, CountedStringsAtThe255Boundary) {
    for (size_t length :
         {size_t{0}, size_t{1}, size_t{254}, size_t{255}, size_t{256}, size_t{300}}) {
        std::string source(length, 'x');
        for (size_t i = 0; i < length; ++i) source[i] = static_cast<char>('a' + i % 26);
        const size_t kept = length < 255 ? length : 255;

        std::string buffer = source + '\0';
        unsigned char* p = c2pstr(buffer.data());
        ASSERT_EQ(p[0], kept) << length;
        EXPECT_EQ(std::memcmp(p + 1, source.data(), kept), 0);
        char* c = p2cstr(p);
        EXPECT_EQ(std::string(c), source.substr(0, kept));

        unsigned char counted[257];
        counted[256] = 0xEE;
        CopyCStringToPascal(source.c_str(), counted);
        EXPECT_EQ(counted[0], kept);
        EXPECT_EQ(std::memcmp(counted + 1, source.data(), kept), 0);
        EXPECT_EQ(counted[256], 0xEE) << "wrote past 256 bytes";
        char back[257];
        back[256] = 'Q';
        CopyPascalStringToC(counted, back);
        EXPECT_EQ(std::string(back), source.substr(0, kept));
        EXPECT_EQ(back[256], 'Q');
    }
}

TEST_F(Strings, TypeCodes) {
    char text[5];
    EXPECT_EQ(FmTypeToStr(0x54455854, text), text);
    EXPECT_STREQ(text, "TEXT");
    TypeToStr(0x50415420, text);
    EXPECT_STREQ(text, "PAT ");
    OSType t = 0;
    FmStrToType(&t, "TEXT");
    EXPECT_EQ(t, 0x54455854u);
    FmStrToType(&t, "STR#more");
    EXPECT_EQ(t, 0x53545223u);
    FmStrToType(&t, "PA");  // short texts are padded with zero bytes, not over-read
    EXPECT_EQ(t, 0x50410000u);
    FmStrToType(&t, "AB\0\0");
    EXPECT_EQ(t, 0x41420000u);
    // Every code whose text stops at a NUL survives the round trip.
    for (OSType code : {0u, 0x41000000u, 0x41420000u, 0x41424300u, 0x50415420u, 0x20202020u}) {
        FmTypeToStr(code, text);
        OSType back = 1;
        FmStrToType(&back, text);
        EXPECT_EQ(back, code) << std::hex << code;
    }
}

struct PathCase {
    const char* path;
    const char* name;       // FileNameFromPath
    const char* directory;  // DirNameFromPath
    int16_t hasDirectory;
    const char* extension;  // FindExtension, null for none
    const char* chopped;    // ChopFileName
};

TEST_F(Strings, PathSplitting) {
    const PathCase cases[] = {
        {"C:\\a\\b.txt", "b.txt", "C:\\a", 1, ".txt", "C:\\a"},
        {"C:/a/b.txt", "b.txt", "C:/a", 1, ".txt", "C:/a"},
        {"C:\\dir.v2\\name", "name", "C:\\dir.v2", 1, nullptr, "C:\\dir.v2"},
        {"C:name.avi", "name.avi", "C:", 0, ".avi", "C:name.avi"},
        {"\\root\\.profile", ".profile", "\\root", 1, nullptr, "\\root"},
        {"a/b\\c.d.e", "c.d.e", "a/b", 1, ".e", "a/b"},
        {"plain", "plain", "", 0, nullptr, "plain"},
        {"..\\up.x", "up.x", "..", 1, ".x", ".."},
        {"dir/..hidden", "..hidden", "dir", 1, ".hidden", "dir"},
        {"C:\\", "", "C:", 1, nullptr, "C:"},
        {"", "", "", 0, nullptr, ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(FileNameFromPath(c.path), c.name);
        char dir[300] = "junk";
        EXPECT_EQ(DirNameFromPath(c.path, dir), c.hasDirectory);
        EXPECT_STREQ(dir, c.directory);
        const char* ext = FindExtension(c.path);
        if (c.extension == nullptr) {
            EXPECT_EQ(ext, nullptr);
        } else {
            ASSERT_NE(ext, nullptr);
            EXPECT_STREQ(ext, c.extension);
        }
        std::string chopped = c.path;
        ChopFileName(chopped.data());
        EXPECT_STREQ(chopped.c_str(), c.chopped);
        std::string noExt = c.path;
        ChopExtension(noExt.data());
        EXPECT_EQ(std::string(noExt.c_str()),
                  std::string(c.path).substr(
                      0, std::strlen(c.path) - (c.extension ? std::strlen(c.extension) : 0)));
    }
}

TEST_F(Strings, DoubleBytePaths) {
    // In Shift-JIS, 0x95 0x5C is one character whose second byte looks like
    // a backslash; it must not split the path.
    const char path[] =
        "C:\\\x95\x5C"
        "dir\\file.txt";
    EXPECT_STREQ(FileNameFromPath(path), "file.txt");  // script 0: also the last separator
    const char tricky[] =
        "C:\\a\\\x95\x5C"
        "name";
    EXPECT_STREQ(FileNameFromPath(tricky), "name");  // script 0 splits at the 0x5C
    FmSetResourceScript(1);
    EXPECT_EQ(GetResourceScript(), 1);
    EXPECT_STREQ(FileNameFromPath(tricky),
                 "\x95\x5C"
                 "name");
    char dir[64];
    EXPECT_EQ(DirNameFromPath(tricky, dir), 1);
    EXPECT_STREQ(dir, "C:\\a");
    const char dotted[] = "C:\\x\\ab\x81.";  // 0x81 0x2E is one character
    EXPECT_EQ(FindExtension(dotted), nullptr);
    EXPECT_EQ(CharByte("a\x81\x40z", 0), 0);
    EXPECT_EQ(CharByte("a\x81\x40z", 1), -1);
    EXPECT_EQ(CharByte("a\x81\x40z", 2), 1);
    EXPECT_EQ(CharByte("a\x81\x40z", 3), 0);
    EXPECT_EQ(CharByte("a\x81", 1), 0);  // a lead byte with nothing after it
    FmSetResourceScript(2);
    EXPECT_EQ(CharByte("\xA4\x40", 0), -1);
    EXPECT_EQ(CharByte("\xFF\x40", 0), 0);
    EXPECT_EQ(FmSetResourceScript(7), 0);
    EXPECT_EQ(CharByte("a\x81\x40z", 1), 0);
}

TEST_F(Strings, FileNamesFiltersAndSelections) {
    char name[] = "Clip 0010";
    StringToFileName(name);
    EXPECT_STREQ(name, "Clip___1");
    char shortName[] = "a b";
    StringToFileName(shortName);
    EXPECT_STREQ(shortName, "a b");
    char mixed[] = " x!-_\x08\xE9yz";
    StringToFileName(mixed);
    EXPECT_STREQ(mixed, " x!-_\x08_y");  // the first character is never replaced

    const char filter[] = "Movies\0*.avi\0";
    EXPECT_STREQ(DefExtFromFilter(filter), "avi");
    const char several[] = "All\0*.avi;*.mov\0";
    EXPECT_STREQ(DefExtFromFilter(several), "mov");
    const char none[] = "Any\0*\0";
    EXPECT_STREQ(DefExtFromFilter(none), "");

    char list[] = "C:\\clips\0a.avi\0b.wav\0\0";
    char path[260];
    EXPECT_EQ(parsename(list, path), 1);
    EXPECT_STREQ(path, "C:\\clips\\a.avi");
    EXPECT_EQ(parsename(list, path), 1);
    EXPECT_STREQ(path, "C:\\clips\\b.wav");
    EXPECT_EQ(parsename(list, path), 0);
    char rooted[] = "C:\\\0c.avi\0\0";
    EXPECT_EQ(parsename(rooted, path), 1);
    EXPECT_STREQ(path, "C:\\c.avi");

    // A joined path that does not fit is refused and nothing changes.
    std::string longList =
        std::string(200, 'd') + '\0' + std::string(70, 'n') + '\0' + "ok" + '\0' + '\0';
    std::strcpy(path, "before");
    EXPECT_EQ(parsename(longList.data(), path), 0);
    EXPECT_STREQ(path, "before");
    std::string fits = std::string(200, 'd') + '\0' + std::string(58, 'n') + '\0' + '\0';
    EXPECT_EQ(parsename(fits.data(), path), 1);
    EXPECT_EQ(std::strlen(path), 259u);

    EXPECT_TRUE(exists("/"));
    EXPECT_FALSE(exists("/no/such/file/here"));
}

int32_t pixelsPerByte(intptr_t dc, const char*, int32_t length) {
    return length * static_cast<int32_t>(dc);
}

TEST_F(Strings, TruncationAndAccelerators) {
    ASSERT_GT(InitResMgr(nullptr), 0);
    char text[] = "abcdef";
    EXPECT_EQ(TruncLength(text, 10), 0);
    EXPECT_EQ(TruncLength(text, 3), 1);
    EXPECT_STREQ(text, "abc");
    FmSetResourceScript(1);
    char dbcs[] = "ab\x81\x40z";
    EXPECT_EQ(TruncLength(dbcs, 3), 1);
    EXPECT_STREQ(dbcs, "ab");  // never ends on a first byte

    // Default measure: 8 pixels a byte.
    FmSetResourceScript(0);
    char out[260];
    EXPECT_EQ(StringTrunc(0, "abcdefgh", out, 64), 0);
    EXPECT_STREQ(out, "abcdefgh");
    EXPECT_EQ(FmStringTrunc(0, "abcdefgh", out, 48), 1);
    EXPECT_STREQ(out, "abc...");
    EXPECT_EQ(FmStringTrunc(0, "x", out, 0), 0);  // under 2 bytes: left alone
    EXPECT_STREQ(out, "x");
    // Nothing left to remove: stops with the ellipsis alone.
    EXPECT_EQ(FmStringTrunc(0, "abcdef", out, 1), 1);
    EXPECT_STREQ(out, "...");
    // A 300-byte source stays within the 256-byte destination.
    rc::texthooks::setMeasureText(pixelsPerByte);
    std::string longText(300, 'w');
    char guarded[300];
    std::memset(guarded, 'G', sizeof guarded);
    FmStringTrunc(1, longText.c_str(), guarded, 200);
    EXPECT_EQ(std::strlen(guarded), 200u);
    EXPECT_EQ(std::string(guarded).substr(197), "...");
    EXPECT_EQ(guarded[256], 'G');
    // Double-byte characters go two bytes at a time.
    FmSetResourceScript(1);
    // Removing single bytes would stop at "ab" + first byte + "..." (8 wide).
    FmStringTrunc(1, "ab\x81\x40\x81\x41zzz", out, 8);
    EXPECT_STREQ(out, "ab\x81\x40...");

    char menu[] = "&File && E&xit";
    FmSetResourceScript(0);
    RemoveAmpersands(menu);
    EXPECT_STREQ(menu, "File  Exit");
    char japanese[] = "\x83\x74\x83\x40(&F)x&y";
    FmSetResourceScript(1);
    RemoveAmpersands(japanese);
    EXPECT_STREQ(japanese, "\x83\x74\x83\x40xy");
}

TEST_F(Strings, Rectangles) {
    const FmRect from{0, 0, 100, 100}, to{0, 0, 200, 400};
    FmPoint p{50, 50};
    MapPoint(&p, &from, &to);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 200);
    const FmRect offset{10, 20, 30, 60}, target{100, 100, 300, 500};
    FmPoint q{20, 40};
    MapPoint(&q, &offset, &target);
    EXPECT_EQ(q.x, 200);
    EXPECT_EQ(q.y, 300);
    // The quotient is cut to 16 bits.
    const FmRect unit{0, 0, 1, 1}, huge{0, 0, 70000, 10};
    FmPoint r{1, 1};
    MapPoint(&r, &unit, &huge);
    EXPECT_EQ(r.x, static_cast<int16_t>(70000));
    // An empty source leaves the point at the target's left and top.
    const FmRect empty{5, 5, 5, 5};
    FmPoint e{7, 9};
    MapPoint(&e, &empty, &target);
    EXPECT_EQ(e.x, 100);
    EXPECT_EQ(e.y, 100);

    FmRect rect{10, 10, 50, 30};
    MapRect(&rect, &from, &to);
    EXPECT_EQ(rect.left, 20);
    EXPECT_EQ(rect.top, 40);
    EXPECT_EQ(rect.right, 100);
    EXPECT_EQ(rect.bottom, 120);
    FmPoint size{30, 10};
    ScalePt(&size, &from, &to);
    EXPECT_EQ(size.x, 60);
    EXPECT_EQ(size.y, 40);

    const FmRect box{0, 0, 10, 20};
    FmPoint out{15, -3};
    PinPt(&out, &box);
    EXPECT_EQ(out.x, 9);
    EXPECT_EQ(out.y, 0);
    const FmPoint pinned = PinRect(&box, 15, 25);
    EXPECT_EQ(pinned.x, 10);
    EXPECT_EQ(pinned.y, 20);
    EXPECT_TRUE(fmPtClose(0, 0, 2, -2));
    EXPECT_FALSE(fmPtClose(0, 0, 3, 0));
    FmRect spanned;
    fmPt2Rect(10, 5, 2, 8, &spanned);
    EXPECT_EQ(spanned.left, 2);
    EXPECT_EQ(spanned.top, 5);
    EXPECT_EQ(spanned.right, 10);
    EXPECT_EQ(spanned.bottom, 8);
}

}  // namespace
