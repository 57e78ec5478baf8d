// Fuzz entry for the pixel aspect rules: arbitrary bytes are read as rules
// text into fresh tables; then every preset is described into short
// buffers, and every frame-size default goes through the file record, both
// width functions and the display rectangle. Broken invariants abort.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "pixels/aspect_internal.h"
#include "reelcore/aspect.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace {

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
    SetAGlobal(kSlotPARDisplay, 1);
}

void check(bool ok) {
    if (!ok) abort();
}

// Every report must describe bytes inside the text.
struct Span {
    const char* begin;
    const char* end;
};
void checkReport(const FmPARLineReport* r, void* refcon) {
    const auto* span = static_cast<const Span*>(refcon);
    check(r->length >= 0 && r->text >= span->begin && r->text + r->length <= span->end);
    check(r->fields >= 0 && r->fields <= 5);
    if (r->presetName) check(std::strlen(r->presetName) <= rc::aspect::kMaxPresetName);
    if (r->outcome == kPARLineUsed) check(r->fields >= 4);
}

void describe(FmPARCode code) {
    for (int32_t length : {-1, 0, 1, 2, 3, 7, 16, 256}) {
        // exactly length bytes, so a write past them is caught
        const size_t room = length > 0 ? size_t(length) : 1;
        std::unique_ptr<char[]> text(new char[room]);
        text[0] = 'X';
        FmGetPixelAspectRatioDesc(code, 0, text.get(), length);
        if (length > 0)
            check(std::memchr(text.get(), '\0', room) != nullptr);
        else
            check(text[0] == 'X');
    }
}

void exerciseWidths(FmPARCode code, int32_t width, int32_t height) {
    for (int32_t w : {width, height, 0, 1, -1, 720, INT32_MAX, INT32_MIN}) {
        const int32_t s = FmPixelWidthScale(code, w);
        const int32_t u = FmPixelWidthUnscale(code, w);
        if (FmPARIsSquare(code)) check(s == w && u == w);
        // the sign never flips
        check(!(w > 0 && (s < 0 || u < 0)) && !(w < 0 && (s > 0 || u > 0)));
    }
    const FmRect frame{0, 0, 1920, 1080};
    FmRect r;
    FmCalcMovieRect(&frame, width, height, code, 1, 0, &r);
    check(r.left >= 0 && r.right <= 1920 && r.top >= 0 && r.bottom <= 1080);
    FmCalcMovieRect(&frame, width, height, code, 1, 1, &r);
    check(r.left >= 0 && r.right <= 1920 && r.top >= 0 && r.bottom <= 1080);
}

}  // namespace

extern "C" int fuzzAspectRulesInput(const uint8_t* data, size_t size) {
    init();
    if (size > (1 << 20)) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!rc::aspect::resetTables()) return 0;
    Span span{text.data(), text.data() + text.size()};
    rc::aspect::readRules(text, kPARSourceRulesFile, true, checkReport, &span);

    FmPARPreset p;
    for (int32_t i = 0; FmPARGetPreset(i, &p); ++i) {
        check(std::strlen(p.name) <= rc::aspect::kMaxPresetName);
        describe(p.code);
    }
    FmPARFrameDefault d;
    for (int32_t i = 0; FmPARGetFrameDefault(i, &d); ++i) {
        // sizes are unique
        FmPARFrameDefault e;
        for (int32_t j = 0; j < i; ++j)
            check(FmPARGetFrameDefault(j, &e) && (e.width != d.width || e.height != d.height));
        FmPixelAspectRec rec;
        const FmRect frame{0, 0, d.width, d.height};
        FmInitPixelAspectRec(&rec, &frame, 0, 0);
        check(rec.interpreted == rec.original);
        check(FmPARCodesEqual(rec.interpreted,
                              FmPARMakeCode(uint32_t(d.numerator), uint32_t(d.denominator))) ||
              FmPARIsSquare(rec.interpreted));
        FmInitPixelAspectRec(&rec, &frame, d.numerator, d.denominator);
        exerciseWidths(rec.interpreted, d.width, d.height);
        describe(rec.interpreted);
    }
    rc::aspect::readRules(text, kPARSourceText, false, checkReport, &span);
    FmPixelAspectRatioShutdown();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzAspectRulesInput(data, size);
}
