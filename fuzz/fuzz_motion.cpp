// Fuzz entry for motion settings and keys. The first byte picks how the rest
// is read: as project text holding 'MOT5'/'MOPT' records, as an older motion
// record, as a raw motion Handle, or as key settings. Every form is rendered
// onto small pictures; loaded settings must survive save -> load unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reelcore/globals.h"
#include "reelcore/keying.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/ppix.h"
#include "reelcore/project_stream.h"

namespace {

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
}

PPixHand picture(int32_t w, int32_t h, uint8_t seed) {
    const FmRect bounds{0, 0, w, h};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) return nullptr;
    const PPixRecord* r = reinterpret_cast<const PPixRecord*>(*pix);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w * 4; ++x)
            r->pixels[int64_t(r->rowBytes) * y + x] = char(seed + x * 7 + y * 13);
    return pix;
}

// Renders the settings at a few times of a duration taken from the input.
void render(Handle settings, const uint8_t* data, size_t size) {
    const uint8_t a = size > 1 ? data[1] : 0, b = size > 2 ? data[2] : 0;
    PPixHand src = picture(1 + a % 24, 1 + b % 18, a);
    PPixHand dst = picture(1 + b % 32, 1 + a % 20, b);
    if (src && dst) {
        const int32_t duration = int32_t(a) * 977 - 1000;
        const int32_t flags = (a & 1 ? 0x400 : 0) | (b & 1 ? 0x800 : 0);
        for (int32_t t : {0, duration / 3, duration, -duration, duration * 2 + 1})
            MotionFrame(src, dst, t, duration, settings, flags);
        const FmRect frame{0, 0, 1 + b % 32, 1 + a % 20};
        if (Handle path = CalcMotionPoints(&frame, duration, settings)) FmDisposeHandle(path);
        if (Handle expanded = Motion2Points(settings)) FmDisposeHandle(expanded);
    }
    if (src) ppixDispose(src);
    if (dst) ppixDispose(dst);
}

// The record's bytes without the point codes, which the text form keeps only
// when they are four plain characters.
std::vector<char> comparable(Handle h) {
    std::vector<char> bytes(*h, *h + FmGetHandleSize(h));
    for (size_t at = sizeof(FmMotionHeader); at + sizeof(FmMotionPoint) <= bytes.size();
         at += sizeof(FmMotionPoint))
        std::memset(&bytes[at + offsetof(FmMotionPoint, code)], 0, 4);
    return bytes;
}

void fromText(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    ProjBufHand in = CreateProjBufHandMemory(text.data(), int32_t(text.size()), kProjModeRead);
    if (!in) return;  // no text at all
    Handle settings = FmNewHandleClear(sizeof(FmMotionHeader));
    if (!settings) abort();
    const OSErr err = LoadMotionSettings(in, settings);
    CloseProjBufHand(in);
    if (err == noErr) {
        std::vector<char> saved(64 + FmGetHandleSize(settings) * 8, 0);
        ProjBufHand out =
            CreateProjBufHandMemory(saved.data(), int32_t(saved.size()), kProjModeWrite);
        if (!out || SaveMotionSettings(out, settings) != noErr || CloseProjBufHand(out) != noErr)
            abort();
        // the text ends with its last line end; codes of zero write NUL bytes
        size_t length = saved.size();
        while (length > 0 && saved[length - 1] == 0) --length;
        ProjBufHand again = CreateProjBufHandMemory(saved.data(), int32_t(length), kProjModeRead);
        Handle reloaded = FmNewHandleClear(sizeof(FmMotionHeader));
        if (!again || !reloaded || LoadMotionSettings(again, reloaded) != noErr) abort();
        CloseProjBufHand(again);
        if (comparable(reloaded) != comparable(settings)) abort();
        FmDisposeHandle(reloaded);
    }
    render(settings, data, size);
    FmDisposeHandle(settings);
}

void fromOlder(const uint8_t* data, size_t size) {
    Handle old = FmNewHandle(uint32_t(size));
    if (!old) return;
    if (size) std::memcpy(*old, data, size);
    // a new Handle at the size the older count asks for, within reason
    int16_t count = 0;
    if (size >= sizeof(FmOldMotionHeader)) std::memcpy(&count, data + 7, 2);
    const uint32_t points = count < 0 ? 0 : uint32_t(count) % 512;
    Handle converted =
        FmNewHandleClear(uint32_t(sizeof(FmMotionHeader) + sizeof(FmMotionPoint) * points));
    if (converted && ConvertMotionSettings(old, converted) == noErr) render(converted, data, size);
    if (converted) FmDisposeHandle(converted);
    FmDisposeHandle(old);
}

void fromRaw(const uint8_t* data, size_t size) {
    Handle raw = FmNewHandle(uint32_t(size));
    if (!raw) return;
    if (size) std::memcpy(*raw, data, size);
    render(raw, data, size);
    FmDisposeHandle(raw);
}

void asKey(const uint8_t* data, size_t size) {
    FmKeySettings key{};
    std::memcpy(&key, data, std::min(size, sizeof key));
    key.keyType = int16_t(uint16_t(key.keyType) % (kKeyTypeCount + 1));
    const uint8_t a = size > 1 ? data[1] : 0;
    PPixHand src = picture(1 + a % 19, 1 + a % 11, a);
    PPixHand dst = picture(1 + a % 13, 1 + a % 17, uint8_t(a * 3));
    PPixHand matte = a & 1 ? picture(1 + a % 7, 1 + a % 5, uint8_t(a * 5)) : nullptr;
    const int32_t opacity = int32_t(key.keyColour % 70000) - 2000;
    if (src && dst) DoImageKey(src, dst, matte, nullptr, opacity, &key);
    for (PPixHand p : {src, dst, matte})
        if (p) ppixDispose(p);
}

}  // namespace

extern "C" int fuzzMotionInput(const uint8_t* data, size_t size) {
    init();
    if (size == 0 || size > (1 << 16)) return 0;
    const uint8_t mode = data[0] % 4;
    data += 1;
    size -= 1;
    switch (mode) {
        case 0:
            fromText(data, size);
            break;
        case 1:
            fromOlder(data, size);
            break;
        case 2:
            fromRaw(data, size);
            break;
        default:
            asKey(data, size);
            break;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzMotionInput(data, size);
}
