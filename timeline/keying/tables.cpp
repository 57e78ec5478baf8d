// The application tables of the keys (luminance, chroma, multiply) and the
// names of the key types.
#include <array>

#include "reelcore/globals.h"
#include "timeline/keying/keying_internal.h"

namespace rc::keying {

namespace {

// Weight times i / 256, rounded half away from zero.
int16_t scaled(int32_t weight, int32_t i) {
    const int32_t p = weight * i;
    return int16_t(p >= 0 ? (p + 128) / 256 : -((-p + 128) / 256));
}

const FmLumaTables& libraryLuma() {
    static const FmLumaTables tables = [] {
        FmLumaTables t{};
        for (int32_t i = 0; i < 256; ++i) {
            t.red[i] = uint8_t(77 * i / 256);
            t.green[i] = uint8_t(150 * i / 256);
            t.blue[i] = uint8_t(29 * i / 256);
        }
        return t;
    }();
    return tables;
}

const FmChromaTables& libraryChroma() {
    static const FmChromaTables tables = [] {
        FmChromaTables t{};
        for (int32_t i = 0; i < 256; ++i) {
            t.xr[i] = scaled(-43, i);
            t.xg[i] = scaled(-85, i);
            t.xb[i] = scaled(128, i);
            t.yr[i] = scaled(128, i);
            t.yg[i] = scaled(-107, i);
            t.yb[i] = scaled(-21, i);
        }
        return t;
    }();
    return tables;
}

DrawMatteStillFn gDrawMatteStill = nullptr;

constexpr const char* kKeyNames[kKeyTypeCount] = {"None",
                                                  "Chroma",
                                                  "RGB Difference",
                                                  "Luminance",
                                                  "Alpha Key",
                                                  "Black Alpha Matte",
                                                  "White Alpha Matte",
                                                  "Image Matte",
                                                  "Difference Matte",
                                                  "Blue Screen",
                                                  "Green Screen",
                                                  "Multiply",
                                                  "Screen",
                                                  "Track Matte",
                                                  "Non-Red"};

}  // namespace

void installApplicationTables() {
    if (GetAGlobal(kSlotLumaTables) == 0)
        SetAGlobal(kSlotLumaTables, reinterpret_cast<intptr_t>(&libraryLuma()));
    if (GetAGlobal(kSlotChromaTables) == 0)
        SetAGlobal(kSlotChromaTables, reinterpret_cast<intptr_t>(&libraryChroma()));
}

const FmLumaTables& lumaTables() {
    installApplicationTables();
    return *reinterpret_cast<const FmLumaTables*>(GetAGlobal(kSlotLumaTables));
}

const FmChromaTables& chromaTables() {
    installApplicationTables();
    return *reinterpret_cast<const FmChromaTables*>(GetAGlobal(kSlotChromaTables));
}

void setDrawMatteStill(DrawMatteStillFn fn) {
    gDrawMatteStill = fn;
}
DrawMatteStillFn drawMatteStill() {
    return gDrawMatteStill;
}

}  // namespace rc::keying

RC_API const uint8_t* GetMultiplyTable(void) {
    static const std::array<uint8_t, 65536> table = [] {
        std::array<uint8_t, 65536> t{};
        for (uint32_t x = 0; x < 256; ++x)
            for (uint32_t y = 0; y < 256; ++y) t[x * 256 + y] = uint8_t((x * y + 127) / 255);
        return t;
    }();
    return table.data();
}

RC_API const char* FmKeyTypeName(int32_t type) {
    return type >= 0 && type < kKeyTypeCount ? rc::keying::kKeyNames[type] : nullptr;
}
