// Rules lines, the tables they fill and the rules file.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "aspect_fixture.h"
#include "pixels/aspect_internal.h"
#include "platform/alloc.h"

using namespace aspecttest;
using rc::aspect::scanRuleLine;

namespace {

// The resource's ten lines, as the table in the documentation gives them.
const char* const kResourceLines =
    "0,0=1/1/\"Square Pixels (1.0)\"\n"
    "720,486=648/720/\"D1/DV NTSC (0.9)\"\n"
    "720,480=648/720\n"
    "704,480=648/720\n"
    "0,0=864/720/\"D1/DV NTSC Widescreen 16:9 (1.2)\"\n"
    "720,576=768/720/\"D1/DV PAL (1.067)\"\n"
    "0,0=1024/720/\"D1/DV PAL Widescreen 16:9 (1.422)\"\n"
    "0,0=2/1/\"Anamorphic 2:1 (2.0)\"\n"
    "0,0=128/135/\"D4/D16 Standard (0.948)\"\n"
    "0,0=256/135/\"D4/D16 Anamorphic 8:3 (1.896)\"\n";

// The two scanf patterns, as a plain C library reads them.
int scanfFields(const std::string& line, long* w, long* h, double* n, double* d, char* name) {
    int k = std::sscanf(line.c_str(), "%ld, %ld%*[^=]= %lf/%lf/\"%[^\"]\"", w, h, n, d, name);
    if (k == 2) k = std::sscanf(line.c_str(), "%ld, %ld = %lf/%lf/\"%[^\"]\"", w, h, n, d, name);
    return k < 0 ? 0 : k;
}

TEST(AspectRules, LinesReadAsTheTwoPatterns) {
    const char* lines[] = {
        "720,486=648/720",
        "720,486=648/720/\"NTSC\"",
        "  720 , 486=648/720",  // a blank before the comma stops the first number
        "720, 486 = 648 / 720",
        "720,   486   =   648/720/\"x\"",
        "720,486 junk = 3/2",
        "720,486junk=3/2/\"named\" trailing",
        "+720,-486=+1.5/-2",
        "720,486=1.5e1/10",
        "720,486=.5/1",
        "720,486=5./1",
        "720,486=1/2/",
        "720,486=1/2/\"\"",
        "720,486=1/2/\"open name",
        "720,486=1/2/ \"spaced\"",
        "720,486=1/2 /\"x\"",
        "720,486",
        "720,486 no equals",
        "720;486=1/2",
        "abc,486=1/2",
        "720,abc=1/2",
        "720,486=x/2",
        "720,486=1/x",
        "720,486=1",
        "720,486=1/",
        "-,486=1/2",
        "720,486=inf/1",
        "720,486=1/nan",
        "720,486=INFINITY/1",
        "720,486=1e400/1",
        "720,486=1e-400/1",
    };
    for (const char* l : lines) {
        SCOPED_TRACE(l);
        long w = 0, h = 0;
        double n = 0, d = 0;
        char name[256] = "";
        const int expected = scanfFields(l, &w, &h, &n, &d, name);
        const auto f = scanRuleLine(l);
        ASSERT_EQ(f.count, expected);
        if (expected >= 1) {
            EXPECT_EQ(f.width, w);
        }
        if (expected >= 2) {
            EXPECT_EQ(f.height, h);
        }
        if (expected >= 3) {
            if (std::isnan(n))
                EXPECT_TRUE(std::isnan(f.numerator));
            else
                EXPECT_EQ(f.numerator, n);
        }
        if (expected >= 4) {
            if (std::isnan(d))
                EXPECT_TRUE(std::isnan(f.denominator));
            else
                EXPECT_EQ(f.denominator, d);
        }
        if (expected == 5) {
            EXPECT_EQ(std::string(f.name), name);
        }
    }
}

TEST(AspectRules, ScannerGoesBeyondTheCLibrary) {
    // hexadecimal floats and "." whatever the locale
    auto f = scanRuleLine("720,486=0x1.8p1/0x2");
    EXPECT_EQ(f.count, 4);
    EXPECT_EQ(f.numerator, 3.0);
    EXPECT_EQ(f.denominator, 2.0);
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        f = scanRuleLine("720,486=1.5/1");
        EXPECT_EQ(f.numerator, 1.5);
        std::setlocale(LC_NUMERIC, saved.c_str());
    }
    // names of any length
    const std::string longName(5000, 'n');
    f = scanRuleLine("1,1=2/1/\"" + longName + "\"");
    EXPECT_EQ(f.count, 5);
    EXPECT_EQ(f.name.size(), 5000u);
    // sizes past 32 bits are flagged
    EXPECT_TRUE(scanRuleLine("4294967296,480=1/2").sizeOutOfRange);
    EXPECT_TRUE(scanRuleLine("720,-2147483649=1/2").sizeOutOfRange);
    EXPECT_TRUE(scanRuleLine("99999999999999999999999,480=1/2").sizeOutOfRange);
    EXPECT_FALSE(scanRuleLine("2147483647,-2147483648=1/2").sizeOutOfRange);
    // one sign only
    EXPECT_EQ(scanRuleLine("720,486=--1/2").count, 2);
}

struct Collected {
    std::vector<FmPARLineReport> reports;
    std::vector<std::string> texts, names;
};
void collect(const FmPARLineReport* r, void* refcon) {
    auto* c = static_cast<Collected*>(refcon);
    c->reports.push_back(*r);
    c->texts.emplace_back(r->text ? std::string(r->text, size_t(r->length)) : "");
    c->names.emplace_back(r->presetName ? r->presetName : "");
}

TEST(AspectRules, EveryLineOutcome) {
    const std::string text =
        "# comment 720,486=1/2\n"
        "1,1=2\n"        // 6 characters
        "  \t1,1=2/1\n"  // leading white space, then 7 characters: used
        "720,486 no ratio\n"
        "4294967296,480=1/2\n"
        "720,480=0/2\n"
        "720,480=-1/2\n"
        "720,480=nan/2\n"
        "720,480=1/-2\n"
        "720,480=1/nan/\"NaN denominator\"\n"
        "720,480=3/2/\"Three halves\"\n"
        "720,480=4/3/\"Four thirds (mine)\"\n";
    Collected c;
    EXPECT_EQ(FmPARExplainRules(text.data(), int32_t(text.size()), collect, &c), 4);
    ASSERT_EQ(c.reports.size(), 12u);
    const int32_t outcomes[] = {kPARLineComment,   kPARLineShort,     kPARLineUsed,
                                kPARLineFields,    kPARLineSizeRange, kPARLineNumerator,
                                kPARLineNumerator, kPARLineNumerator, kPARLineDenominator,
                                kPARLineUsed,      kPARLineUsed,      kPARLineUsed};
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(c.reports[i].outcome, outcomes[i]) << i;
        EXPECT_EQ(c.reports[i].line, int32_t(i + 1));
        EXPECT_EQ(c.reports[i].source, kPARSourceText);
    }
    EXPECT_EQ(c.texts[2], "1,1=2/1");
    EXPECT_EQ(c.reports[2].code, code(2, 1));
    EXPECT_EQ(c.reports[2].defaultOutcome, kPARDefaultAdded);
    // a NaN denominator is used, as square pixels
    EXPECT_EQ(c.reports[9].code, kPARSquare);
    EXPECT_EQ(c.names[9], "NaN denominator (1.0)");
    EXPECT_EQ(c.reports[9].defaultOutcome, kPARDefaultNone);
    EXPECT_EQ(c.names[10], "Three halves (1.500)");
    EXPECT_EQ(c.reports[10].defaultOutcome, kPARDefaultAdded);
    EXPECT_EQ(c.names[11], "Four thirds (mine)");
    EXPECT_EQ(c.reports[11].defaultOutcome, kPARDefaultSizePresent);
    EXPECT_EQ(FmPARExplainRules(nullptr, 5, collect, &c), 0);
}

TEST(AspectRules, LineEnds) {
    auto usedLines = [](const std::string& text) {
        Collected c;
        FmPARExplainRules(text.data(), int32_t(text.size()), collect, &c);
        std::vector<std::string> used;
        for (size_t i = 0; i < c.reports.size(); ++i)
            if (c.reports[i].outcome == kPARLineUsed) used.push_back(c.texts[i]);
        return used;
    };
    const std::vector<std::string> three = {"1,1=2/1", "2,2=3/1", "3,3=4/1"};
    EXPECT_EQ(usedLines("1,1=2/1\n2,2=3/1\n3,3=4/1\n"), three);
    EXPECT_EQ(usedLines("1,1=2/1\r\n2,2=3/1\r\n3,3=4/1"), three);
    EXPECT_EQ(usedLines("1,1=2/1\r2,2=3/1\r3,3=4/1\r"), three);
    // One CR in an LF file used to merge every line before it into one.
    EXPECT_EQ(usedLines("1,1=2/1\n2,2=3/1\n3,3=4/1\r\n"), three);
    EXPECT_EQ(usedLines("1,1=2/1\n2,2=3/1\r3,3=4/1\n"), three);
    // CR LF counts once: line numbers agree with an editor's
    Collected c;
    const std::string crlf = "1,1=2/1\r\n\r\n3,3=4/1\r\n";
    FmPARExplainRules(crlf.data(), int32_t(crlf.size()), collect, &c);
    ASSERT_EQ(c.reports.size(), 3u);
    EXPECT_EQ(c.reports[2].line, 3);
    // a NUL ends its line's content only
    const std::string nul("1,1=2/1\0garbage\n2,2=3/1\n", 24);
    EXPECT_EQ(usedLines(nul), (std::vector<std::string>{"1,1=2/1", "2,2=3/1"}));
}

TEST_F(AspectTest, TablesInTheirOrder) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const std::vector<Preset> want = {
        {"Square Pixels (1.0)", kPARSquare},
        {"D1/DV NTSC (0.9)", code(648, 720)},
        {"D1/DV NTSC Widescreen 16:9 (1.2)", code(864, 720)},
        {"D1/DV PAL (1.067)", code(768, 720)},
        {"D1/DV PAL Widescreen 16:9 (1.422)", code(1024, 720)},
        {"Anamorphic 2:1 (2.0)", code(2, 1)},
        {"D4/D16 Standard (0.948)", code(128, 135)},
        {"D4/D16 Anamorphic 8:3 (1.896)", code(256, 135)},
    };
    const auto got = presets();
    EXPECT_EQ(got, want);
    for (const auto& p : got) EXPECT_EQ(p.source, kPARSourceResource);
    EXPECT_EQ(got[1].line, 2);
    const std::vector<Default> wantDefaults = {
        {720, 486, 648, 720}, {720, 480, 648, 720}, {704, 480, 648, 720},
        {0, 0, 864, 720},     {720, 576, 768, 720},
    };
    EXPECT_EQ(defaults(), wantDefaults);  // the built-in defaults add nothing
    EXPECT_EQ(GetAGlobal(kSlotPARDisplay), 1);
    EXPECT_EQ(GetAGlobal(kSlotPARCorrection), 1);

    // The resource's ten lines read as a rules file give the same tables
    // (the resource's entries come first, so the file's are added after).
    writeRules(kResourceLines);
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const auto both = presets();
    ASSERT_EQ(both.size(), 16u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(both[i + 8], want[i]);
        EXPECT_EQ(both[i + 8].source, kPARSourceRulesFile);
    }
    EXPECT_EQ(defaults(), wantDefaults);
}

TEST_F(AspectTest, ResourceTextAsRulesFileAloneGivesTheSameTables) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const auto fromResource = presets();
    const auto defaultsFromResource = defaults();
    // The ten lines as the documentation gives them, read as rules text on
    // their own, add exactly the presets and defaults the resource did.
    Collected c;
    const std::string text = kResourceLines;
    FmPARExplainRules(text.data(), int32_t(text.size()), collect, &c);
    std::vector<Preset> fromText;
    for (size_t i = 0; i < c.reports.size(); ++i)
        if (!c.names[i].empty()) fromText.push_back({c.names[i], c.reports[i].code});
    EXPECT_EQ(fromText, fromResource);
    std::vector<Default> defaultsFromText;
    for (const auto& r : c.reports)
        if (r.defaultOutcome == kPARDefaultAdded)
            defaultsFromText.push_back({int32_t(r.width), int32_t(r.height),
                                        int32_t(FmPARNumerator(r.code)),
                                        int32_t(FmPARDenominator(r.code))});
    EXPECT_EQ(defaultsFromText, defaultsFromResource);
}

TEST_F(AspectTest, RulesFileAddsPresetsAndDefaults) {
    writeRules(
        "# HDV and DVCPRO HD\r\n"
        "1440,1080=4/3\r\n"
        "960,720=4/3/\"DVCPRO HD\"\r\n"
        "720,486=1/1\r\n"  // square: adds no default
        "720,480=3/2\r\n"  // the resource's 720 x 480 wins
        "640,480=1/1/\"Web (x)\"\r\n");
    Collected c;
    FmPARSetLineReport(collect, &c);
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const auto p = presets();
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[8].name, "DVCPRO HD (1.333)");
    EXPECT_EQ(p[8].code, code(4, 3));
    EXPECT_EQ(p[8].source, kPARSourceRulesFile);
    EXPECT_EQ(p[8].line, 3);
    EXPECT_EQ(p[9].name, "Web (x)");
    EXPECT_EQ(p[9].code, kPARSquare);
    const auto d = defaults();
    ASSERT_EQ(d.size(), 7u);
    EXPECT_EQ(d[5], (Default{1440, 1080, 4, 3}));
    EXPECT_EQ(d[5].line, 2);
    EXPECT_EQ(d[6], (Default{960, 720, 4, 3}));
    EXPECT_EQ(d[1], (Default{720, 480, 648, 720}));

    FmPixelAspectRec rec;
    const FmRect hdv{0, 0, 1440, 1080};
    FmInitPixelAspectRec(&rec, &hdv, 0, 0);
    EXPECT_EQ(rec.interpreted, code(4, 3));
    EXPECT_EQ(FmPixelWidthScale(rec.interpreted, 1440), 1920);
    const FmRect ntsc{10, 10, 730, 496};
    FmInitPixelAspectRec(&rec, &ntsc, 0, 0);
    EXPECT_EQ(rec.interpreted, code(648, 720));
    FmInitPixelAspectRec(&rec, &ntsc, 768, 720);  // the importer's ratio wins
    EXPECT_EQ(rec.interpreted, code(768, 720));
    const FmRect odd{0, 0, 333, 111};
    FmInitPixelAspectRec(&rec, &odd, 0, 0);
    EXPECT_EQ(rec.interpreted, kPARSquare);

    // the report saw every source
    bool sawFile = false, sawResource = false, sawBuiltIn = false;
    for (const auto& r : c.reports) {
        sawFile |= r.source == kPARSourceRulesFile;
        sawResource |= r.source == kPARSourceResource;
        sawBuiltIn |= r.source == kPARSourceBuiltInDefaults;
    }
    EXPECT_TRUE(sawFile && sawResource && sawBuiltIn);
}

TEST_F(AspectTest, RulesFileProblems) {
    Collected c;
    FmPARSetLineReport(collect, &c);
    // missing: skipped
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().size(), 8u);
    bool missing = false;
    for (const auto& r : c.reports) missing |= r.outcome == kPARFileMissing;
    EXPECT_TRUE(missing);

    // over 1 MiB: unreadable
    std::string big = "1,1=2/1/\"first\"\n";
    big.resize((1 << 20) + 1, '#');
    writeRules(big);
    c.reports.clear();
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().size(), 8u);
    bool tooLarge = false;
    for (const auto& r : c.reports) tooLarge |= r.outcome == kPARFileTooLarge;
    EXPECT_TRUE(tooLarge);
    // exactly 1 MiB is read
    big.resize(1 << 20);
    writeRules(big);
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().size(), 9u);

    // a path given explicitly, and a folder with a trailing separator
    writeFile(dir + "/other.txt", "1,1=3/1/\"other\"\n");
    FmPARSetRulesPath((dir + "/other.txt").c_str());
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().back().name, "other (3.000)");
    FmPARSetRulesPath(nullptr);
    writeRules("1,1=5/1/\"slash\"\n");
    std::snprintf(folder.name, sizeof folder.name, "%s/", dir.c_str());
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().back().name, "slash (5.000)");
    // no folder in slot 337: no file
    SetAGlobal(kSlotAppFolder, 0);
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().size(), 8u);
}

TEST_F(AspectTest, LongNamesAreKeptTo255Bytes) {
    writeRules("1,1=2/1/\"" + std::string(1000, 'a') + "\"\n" + "2,2=2/1/\"" +
               std::string(300, 'b') + "(\"\n");
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const auto p = presets();
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[8].name, std::string(255, 'a'));
    EXPECT_EQ(p[9].name, std::string(255, 'b'));
    char desc[300];
    FmGetPixelAspectRatioDesc(code(2, 1), 0, desc, sizeof desc);
    EXPECT_STREQ(desc, "Anamorphic 2:1 (2.0)");  // the first equal preset
}

TEST_F(AspectTest, BuiltInPresetsWhenTheResourceNamesNone) {
    // A resource file whose TEXT 3090 names no preset: the built-in presets
    // follow its lines.
    ASSERT_GT(InitResMgr(REEL_TEST_NONAMES_MODULE), 0);
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const std::vector<Preset> want = {{"Square Pixels (1.0)", kPARSquare},
                                      {"D1/DV NTSC (0.9)", code(648, 720)},
                                      {"D1/DV PAL (1.067)", code(768, 720)}};
    const auto got = presets();
    EXPECT_EQ(got, want);
    for (const auto& p : got) EXPECT_EQ(p.source, kPARSourceBuiltInPresets);
    const auto d = defaults();
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0], (Default{720, 486, 648, 720}));
    EXPECT_EQ(d[0].source, kPARSourceResource);
    // the built-in presets' first non-square ratio becomes the 0 x 0 default
    EXPECT_EQ(d[1], (Default{0, 0, 648, 720}));
    EXPECT_EQ(d[1].source, kPARSourceBuiltInPresets);
    // the built-in defaults fill the sizes the resource left out
    EXPECT_EQ(d[2], (Default{720, 480, 648, 720}));
    EXPECT_EQ(d[2].source, kPARSourceBuiltInDefaults);
    EXPECT_EQ(d[3], (Default{720, 576, 768, 720}));
    // without the list, the rules file keeps its usual name
    writeRules("1,1=2/1/\"mine\"\n");
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(presets().back().name, "mine (2.000)");
}

TEST_F(AspectTest, SecondInitReplacesAndSwitchesAreRead) {
    const std::string settings = dir + "/settings.ini";
    writeFile(settings, "[override]\nPixelAspectRatioDisplay=0\nPixelAspectRatioCorrection=7\n");
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(settings.c_str()));
    writeRules("1,1=2/1/\"mine\"\n");
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    EXPECT_EQ(GetAGlobal(kSlotPARDisplay), 0);
    EXPECT_EQ(GetAGlobal(kSlotPARCorrection), 7);
    EXPECT_EQ(presets().size(), 9u);
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);  // replaced, not appended
    EXPECT_EQ(presets().size(), 9u);
    EXPECT_EQ(defaults().size(), 6u);
    SetAGlobal(kSlotSettingsFilePath, 0);
}

TEST_F(AspectTest, AllocationFailures) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    uint32_t heapLimit = SetMaxAllocInHeap(16);
    rc::platform::failNextAllocations(1000);
    EXPECT_EQ(FmPixelAspectRatioInit(), -1);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(heapLimit);
    EXPECT_EQ(FmPARPresetCount(), 0);
    EXPECT_EQ(FmPARFrameDefaultCount(), 0);
    char desc[64];
    EXPECT_EQ(FmGetPixelAspectRatioDesc(code(648, 720), 0, desc, sizeof desc), 1);
    EXPECT_STREQ(desc, "0.900");
    // A table that cannot grow keeps its entries: 16 presets fit before
    // the first growth past 16 entries, which fails.
    std::string rules;
    for (int i = 0; i < 20; ++i)
        rules += std::to_string(i + 1) + ",1=2/1/\"p" + std::to_string(i) + "\"\n";
    writeRules(rules);
    Collected c;
    FmPARSetLineReport(collect, &c);
    const uint32_t limit = SetMaxAllocInHeap(16);
    rc::platform::failAllocationsAbove(700);
    EXPECT_EQ(FmPixelAspectRatioInit(), 0);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(limit);
    const auto p = presets();
    ASSERT_EQ(p.size(), 16u);
    EXPECT_EQ(p[8].name, "p0 (2.000)");
    EXPECT_EQ(p[15].name, "p7 (2.000)");
    size_t dropped = 0;
    for (size_t i = 0; i < c.reports.size(); ++i)
        if (c.reports[i].source == kPARSourceRulesFile && c.names[i].empty()) ++dropped;
    EXPECT_EQ(dropped, 12u);
}

}  // namespace
