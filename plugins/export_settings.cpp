// Export settings made from a clip's file, and the default output names kept
// in the export-source area of the settings blocks.
#include <cmath>
#include <cstddef>
#include <cstring>

#include "media/file_table_internal.h"
#include "plugins/export_host.h"
#include "reelcore/alerts.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/settings.h"
#include "settings/settings_hooks.h"

namespace rc::exporthost {

namespace {

constexpr OSType kAvc = 0x41564320;  // 'AVC '
constexpr OSType kPvr = 0x50565220;  // 'PVR '

// The export-source area: the clip word, then the default output.
constexpr size_t kDefaultPathAt = 4;
constexpr size_t kDefaultPathSize = 264;
constexpr size_t kDefaultValueAt = kDefaultPathAt + kDefaultPathSize;
static_assert(kDefaultValueAt + 2 <= kPsetExportSourceSize, "the default name fits");

int32_t depthBit(int32_t bits) {
    switch (bits) {
        case 1:
            return 1;
        case 4:
            return 2;
        case 8:
            return 4;
        case 16:
            return 8;
        case 24:
            return 16;
        default:
            return 32;
    }
}

double fps(int32_t scale, int32_t samp) {
    return samp > 0 ? double(scale) / samp : 0;
}

void storeName(Handle settings, const FSSpec* spec) {
    PsetBlock* s = psetGetBlock(settings);
    if (!s) return;
    uint8_t* area = s->exportSource;
    std::memset(area + kDefaultPathAt, 0, kDefaultPathSize + 2);
    if (!spec) return;
    copyBounded(reinterpret_cast<char*>(area + kDefaultPathAt), kDefaultPathSize, spec->name,
                sizeof spec->name);
    std::memcpy(area + kDefaultValueAt, &spec->vRefNum, 2);
}

}  // namespace

}  // namespace rc::exporthost

using namespace rc::exporthost;

extern "C" {

RC_API void SettingsFromClip(Handle settings, int32_t clipID) {
    PsetBlock* s = psetGetBlock(settings);
    const int16_t file = ClipFile(clipID);
    const FmFileRecord* rec = rc::media::findFileRec(file);
    if (!s || !rec) return;
    const FmMediaInfo& info = rec->info;
    OSType type = GetFileTypeID(file);
    s->general.filetype = type == kAvc ? kPvr : type;
    const bool video = info.mediaFlags & 1, audio = info.mediaFlags & 2;
    s->general.dovideo = video;
    s->general.doaudio = audio;
    if (video) {
        const OSType compressor = rc::settingshooks::fileCompressor(file);
        if (compressor != OSType(-1) && compressor != 0) s->video.subtype = compressor;
        s->video.width = info.frame.right - info.frame.left;
        s->video.height = info.frame.bottom - info.frame.top;
        if (info.video.scale > 0 && info.video.samp > 0) {
            s->video.scale = s->general.scale = info.video.scale;
            s->video.samplesize = s->general.samplesize = info.video.samp;
        }
        s->video.pixelAspect = uint32_t(info.pixelAspect);
        s->video.depth = depthBit(info.depth);
        // A compressor with another fixed rate gives way to one of the same
        // exporter whose fixed rate is the file's.
        RcCompilerInfo exporter{};
        RcCompressorInfo c{};
        const double fileRate = fps(info.video.scale, info.video.samp);
        if (FindCompiler(s->general.filetype, s->general.classid, &exporter) &&
            FindCompilerSubtype(exporter.fileID, exporter.fileType, exporter.classID,
                                s->video.subtype, &c) &&
            c.fixedRate && std::fabs(fps(c.rateScale, c.rateValue) - fileRate) > 0.001) {
            for (int32_t i = 0; GetIndexedCompilerSubTypeEntry(i, &c); ++i) {
                if (c.fileID == exporter.fileID && c.fileType == exporter.fileType && c.fixedRate &&
                    std::fabs(fps(c.rateScale, c.rateValue) - fileRate) <= 0.001) {
                    s->video.subtype = c.code;
                    break;
                }
            }
        }
    }
    if (audio) {
        s->audio.subtype = kRawCode;
        if (info.audio.scale > 0 && info.audio.samp > 0)
            s->audio.audrate = info.audio.scale / info.audio.samp;
        s->audio.audsamplesize = (info.audioFormat & 0x200) ? 1 : 0;
        s->audio.audstereo = (info.audioFormat & 0x100) ? 1 : 0;
    }
}

RC_API void SetupProjectDefaultExportName(const FSSpec* fileSpec, int32_t kind) {
    if (kind < kExportKindMovie || kind > kExportKindCustom) return;
    storeName(psetGetExportSettings(kind + 1), fileSpec);
}

RC_API Boolean GetProjectDefaultExportName(int32_t kind, FSSpec* fileSpec) {
    if (kind < kExportKindMovie || kind > kExportKindCustom || !fileSpec) return false;
    const PsetBlock* s = psetGetBlock(psetGetExportSettings(kind + 1));
    if (!s || !s->exportSource[kDefaultPathAt]) return false;
    std::memset(fileSpec, 0, sizeof *fileSpec);
    copyBounded(fileSpec->name, sizeof fileSpec->name,
                reinterpret_cast<const char*>(s->exportSource + kDefaultPathAt), kDefaultPathSize);
    std::memcpy(&fileSpec->vRefNum, s->exportSource + kDefaultValueAt, 2);
    return true;
}

RC_API void ResetProjectDefaultExportNames(void) {
    if (Handle project = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)))
        storeName(project, nullptr);
    for (int32_t kind = kExportKindMovie; kind <= kExportKindCustom; ++kind)
        storeName(psetGetExportSettings(kind + 1), nullptr);
}

RC_API int32_t CompilerEditSettings(Handle settings, int32_t selector) {
    PsetBlock* s = settings ? psetGetBlock(settings) : nullptr;
    if (!s || selector < kRcCompileSettings || selector > kRcCompileAudioSettings) return -50;
    RcCompilerInfo exporter{};
    if (!FindCompiler(s->general.filetype, s->general.classid, &exporter)) return 1;
    RcCompileSettingsRequest request{};
    request.fileType = exporter.fileType;
    // The settings pointers sit unaligned in the packed block: copied, not
    // dereferenced.
    const size_t fieldAt = selector == kRcCompileSettings
                               ? offsetof(PsetBlock, general) + offsetof(PsetGeneral, compilerprefs)
                           : selector == kRcCompileVideoSettings
                               ? offsetof(PsetBlock, video) + offsetof(PsetVideo, subtypeprefs)
                               : offsetof(PsetBlock, audio) + offsetof(PsetAudio, subtypeprefs);
    std::memcpy(&request.settings, reinterpret_cast<const char*>(s) + fieldAt, sizeof(Ptr));
    if (selector == kRcCompileVideoSettings) request.compressor = s->video.subtype;
    if (selector == kRcCompileAudioSettings) request.compressor = s->audio.subtype;
    const int32_t result = callModule(exporter.fileID, selector, &request, 0);
    // The block may have moved while the module ran.
    s = psetGetBlock(settings);
    if (result == kRcCompileOK || result == kRcCompileSettingsChanged) {
        const Ptr kept = static_cast<Ptr>(request.settings);
        if (s) std::memcpy(reinterpret_cast<char*>(s) + fieldAt, &kept, sizeof kept);
    } else if (const int32_t err = systemErrorFor(result)) {
        AlertSystem(0, 0, kExportStrings, kMsgError, kErrorList, err);
    }
    return result;
}

}  // extern "C"
