// Fuzz entry for typed text: timecode text in every display format and time
// base, BCD timecode text, and message templates with text and number
// arguments. The first byte picks the time base; the text is the rest.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"
#include "reelcore/timecode.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
    InitResMgr(nullptr);
}

const TDB kBases[] = {{0, 2997, 100}, {0, 25, 1}, {0, 30, 1},   {0, 48000, 1},
                      {0, 2400, 100}, {0, 1, 1},  {0, 2997, 1}, {0, 600, 24}};

}  // namespace

extern "C" int fuzz_text_entry(const uint8_t* data, size_t size) {
    init();
    if (size == 0) return 0;
    const TDB& tb = kBases[data[0] % (sizeof kBases / sizeof kBases[0])];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    for (int32_t i = 0; i < kTimeFormatCount; ++i) {
        const int32_t format = ListIndexToTimeFormat(i);
        const int32_t ticks = FmStrToTimecode(text.c_str(), format, &tb);
        char shown[kTimecodeTextSize + 8];
        std::memset(shown, 'X', sizeof shown);
        FmTimecodeToStr(ticks, &tb, format | kTimeShowHoursUnits | kTimeShowHoursTens, shown);
        check(std::memchr(shown, '\0', kTimecodeTextSize) != nullptr);
        check(shown[kTimecodeTextSize] == 'X');
    }
    uint32_t bcd = 0;
    for (int16_t type : {int16_t(kTimecode25), int16_t(kTimecode30), int16_t(kTimecode24)})
        StrToBcd(text.c_str(), &bcd, type);
    char bcdText[16];
    BcdToStr(bcdText, bcd);
    check(std::strlen(bcdText) == 11);

    // The text as a template: every marker's argument a number, then text.
    static const char kWord[] = "word";
    intptr_t numbers[10], words[10];
    for (int i = 0; i < 10; ++i) {
        numbers[i] = intptr_t(i * 1000 - 3);
        words[i] = reinterpret_cast<intptr_t>(kWord);
    }
    char out[kExpandStringMax + 8];
    for (const intptr_t* args : {numbers, words}) {
        std::memset(out, 'X', sizeof out);
        int32_t length = -1;
        const bool textArgs = args == words;
        // Text arguments only where the template reads text: replace the
        // number markers' digits with non-digits first.
        std::string tmpl = text;
        if (textArgs)
            for (size_t k = 0; k + 1 < tmpl.size(); ++k)
                if (std::strchr("^&}%", tmpl[k]) && tmpl[k + 1] >= '0' && tmpl[k + 1] <= '9')
                    tmpl[k + 1] = 'x';
        if (!textArgs)
            for (size_t k = 0; k + 1 < tmpl.size(); ++k)
                if (tmpl[k] == '/' && tmpl[k + 1] >= '0' && tmpl[k + 1] <= '9') tmpl[k + 1] = 'x';
        FmDoExpandString(tmpl.c_str(), int32_t(tmpl.size()), out, &length, args, &tb, 1003);
        check(length >= 0 && length < kExpandStringMax && out[length] == '\0');
        check(out[kExpandStringMax] == 'X');
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_text_entry(data, size);
}
