// The export host's pieces shared between its sources: calling a module,
// the tables, the services and the two render hooks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/compiler.h"
#include "reelcore/pworld.h"
#include "reelcore/sdk/export.h"
#include "reelcore/timerecord.h"

namespace rc::exporthost {

constexpr OSType kAnyClass = 0x3F3F3F3F;  // '????'
constexpr OSType kRawCode = 0x52415720;   // 'RAW '
constexpr int32_t kMaxExporters = 1000;   // descriptions asked of one module
constexpr int32_t kMaxCompressorIndex = 1000;
constexpr int32_t kMaxAudioFormats = 64;

// Strings of list 1150.
enum : int16_t {
    kExportStrings = 1150,
    kMsgError = 1,
    kMsgNoClips = 2,
    kMsgCropTooSmall = 3,
    kMsgFileInUse = 4,
    kMsgImageError = 5,
    kMsgUncompressed = 6
};
constexpr int16_t kErrorList = 1010;

// One call of the module's entry point with the floating-point state reset
// around it; 1 when the module cannot be opened or lacks the entry.
int32_t callModule(int16_t fileID, int32_t selector, void* record, int32_t index);

// The services record handed to every call.
RcCompileServices* services();

// The tables (slots 339, 340, 348).
int32_t exporterCount();
int32_t compressorCount();
int32_t audioCompressorCount();
void startModules(const int16_t* fileIDs, int32_t count);
// The exporter's export kinds as bits of the settings' kinds (1 movie ...).
uint32_t exportKindsOf(const RcCompilerInfo& info);

// Module result → system error shown to the user (0: nothing shown).
int32_t systemErrorFor(int32_t result);

// ---- The export in progress (the services read it) ----
struct Export {
    RcCompileRecord record{};
    Handle settings = nullptr;  // the working copy, current meanwhile
    Handle trackTable = nullptr;
    int32_t clipID = 0;  // a clip export
    TDB timeBase{0, 25, 1};
    int32_t fieldMode = 0;
    bool keyAtEdits = false;
    int32_t keyEvery = 0;            // 0: off
    PPixHand frame = nullptr;        // a clip export's picture
    Handle renderContext = nullptr;  // a timeline export's (SequenceSetup)
    int32_t renderFlags = 0, renderOptions = 0;
    PWorld outWorld = 0;       // over `frame`: files that draw themselves go straight there
    bool drawnDirect = false;  // the last frame is in `frame`, not the destination
    int32_t frameNumber = -1;  // what the picture holds
    int32_t runStart = -1, runEnd = -1;  // frames known to look the same
    int32_t renders = 0;                 // pictures drawn so far
    std::vector<uint8_t> packed;         // a 24-bit copy of the picture
    int32_t packedRender = -1;           // the picture `packed` was made from
    std::vector<uint8_t> audio;          // the last audio block
    int32_t audioFirst = -1, audioCount = -1;
};
// The export in progress, or null.
Export* current();
void setCurrent(Export* e);
// Frees what the services made for an export.
void releaseServiceData(Export& e);

// ---- Audio ----
// The mixed audio of timeline frame `frame` (project time base) in the given
// format (0x100 stereo, 0x200 16-bit) at `rate`: `bytes` bytes into out. The
// frame mix (MixBlip) of every audio track; tests put their own in.
using MixAudioFn = bool (*)(Handle trackTable, int32_t frame, const TDB& timeBase, int32_t format,
                            int32_t rate, void* out, int32_t bytes);
MixAudioFn setMixAudio(MixAudioFn fn);  // null restores the default
bool mixAudio(Handle trackTable, int32_t frame, const TDB& timeBase, int32_t format, int32_t rate,
              void* out, int32_t bytes);

// ---- In-use checks ----
// True when the file table holds the path, or it is a numbered file of a
// registered frame store's sequence.
bool pathInUse(const char* path);
// The FileID of the file table's record for the path, 0 when none.
int16_t fileIDOfPath(const char* path);

// True once CompilerStop asked the running export to end.
bool stopRequested();

// The interface callbacks in force (never null).
const CompilerCallbacks* callbacks();

// Bounded copy of a module's string into a field of `size` bytes.
void copyBounded(char* dst, size_t size, const char* src, size_t srcSize);

// The numbered name of step 6: base + i padded to the digits of n + ext,
// the base cut so both fit in 100 characters.
std::string numberedName(const std::string& outputPath, const char* extension, int32_t i,
                         int32_t n);

}  // namespace rc::exporthost
