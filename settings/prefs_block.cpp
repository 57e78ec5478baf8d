#include "settings/prefs_block.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace rc::prefs {

namespace {

using namespace rc::settings;

// Byte sizes of the 4-byte pointer words in the stored layout.
constexpr size_t kWord = 4;

struct SectionLayout {
    size_t offset;  // in the block
    size_t size;    // in memory
    std::initializer_list<size_t> pointers;
};

const SectionLayout kLayouts[] = {
    {offsetof(ProjectSettings, unsaved), 4, {}},
    {offsetof(ProjectSettings, general),
     sizeof(PsetGeneral),
     {offsetof(PsetGeneral, compilerprefs), offsetof(PsetGeneral, playmodprefs)}},
    {offsetof(ProjectSettings, video), sizeof(PsetVideo), {offsetof(PsetVideo, subtypeprefs)}},
    {offsetof(ProjectSettings, audio), sizeof(PsetAudio), {offsetof(PsetAudio, subtypeprefs)}},
    {offsetof(ProjectSettings, dataRate), sizeof(PsetDataRate), {}},
    {offsetof(ProjectSettings, keyFrames), sizeof(PsetKeyFrames), {}},
    {offsetof(ProjectSettings, rendering), sizeof(PsetRendering), {}},
    {offsetof(ProjectSettings, special), sizeof(PsetSpecial), {}},
    {offsetof(ProjectSettings, capture), sizeof(PsetCapture), {offsetof(PsetCapture, capprefs)}},
    {offsetof(ProjectSettings, captureInfo), sizeof(PsetCaptureInfo), {}},
    {offsetof(ProjectSettings, device), sizeof(PsetDevice), {}},
    {offsetof(ProjectSettings, exportSource), kExportSourceSize, {}},
};

constexpr size_t kStoredSize = 4 + 53 + 1075 + 35 + 22 + 16 + 12 + 32 + 70 + 24 + 52 + 296;
static_assert(kStoredSize <= kPrefsBlockItemSize, "the stored block fits its item");

}  // namespace

void packBlock(const ProjectSettings& s, uint8_t out[kPrefsBlockItemSize]) {
    std::memset(out, 0, kPrefsBlockItemSize);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(&s);
    size_t at = 0;
    for (const SectionLayout& l : kLayouts) {
        const uint8_t* p = block + l.offset;
        size_t pos = 0;
        for (size_t ptr : l.pointers) {
            std::memcpy(out + at, p + pos, ptr - pos);
            at += ptr - pos + kWord;  // the word stays 0
            pos = ptr + sizeof(Ptr);
        }
        std::memcpy(out + at, p + pos, l.size - pos);
        at += l.size - pos;
    }
    // The device is cleared; the export source's clip is a run-time reference.
    const size_t device = kStoredSize - kExportSourceSize - sizeof(PsetDevice);
    std::memset(out + device, 0, sizeof(PsetDevice));
    std::memset(out + device + sizeof(PsetDevice), 0, 4);
}

void unpackBlock(const uint8_t in[kPrefsBlockItemSize], ProjectSettings& s) {
    std::memset(&s, 0, sizeof s);
    uint8_t* block = reinterpret_cast<uint8_t*>(&s);
    size_t at = 0;
    for (const SectionLayout& l : kLayouts) {
        uint8_t* p = block + l.offset;
        size_t pos = 0;
        for (size_t ptr : l.pointers) {
            std::memcpy(p + pos, in + at, ptr - pos);
            at += ptr - pos + kWord;
            pos = ptr + sizeof(Ptr);  // the pointer stays null
        }
        std::memcpy(p + pos, in + at, l.size - pos);
        at += l.size - pos;
    }
    s.device = PsetDevice{};
}

}  // namespace rc::prefs
