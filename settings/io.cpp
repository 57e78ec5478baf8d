// The settings block in files: the nine sections inside projects and the
// stand-alone ".prs" settings files (header, description, sections, device).
#include <cstring>

#include "reelcore/files.h"
#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"
#include "settings/settings_internal.h"

namespace rc::settings {

namespace {

constexpr OSType kTagHeader = fourCC("Phdr");
constexpr OSType kTagDescription = fourCC("Pdat");
constexpr OSType kTagDevice = fourCC("PDEV");
constexpr OSType kSignature = fourCC("Pset");
constexpr int32_t kDescriptionSize = 1024;

const Section kSections[] = {
    {fourCC("PTYP"), kGeneralType, kGeneralNames, psetFindProjectPacking,
     offsetof(ProjectSettings, general), true},
    {fourCC("PVID"), kVideoType, kVideoNames, psetFindVideoPacking,
     offsetof(ProjectSettings, video), false},
    {fourCC("ASET"), kAudioType, kAudioNames, psetFindAudioPacking,
     offsetof(ProjectSettings, audio), true},
    {fourCC("DRAT"), kDataRateType, kDataRateNames, psetFindDataRatePacking,
     offsetof(ProjectSettings, dataRate), false},
    {fourCC("KFRM"), kKeyFramesType, kKeyFramesNames, psetFindKeyFramesPacking,
     offsetof(ProjectSettings, keyFrames), false},
    {fourCC("RENO"), kRenderingType, kRenderingNames, psetFindRenderingPacking,
     offsetof(ProjectSettings, rendering), false},
    {fourCC("SPRC"), kSpecialType, kSpecialNames, psetFindSpecialPacking,
     offsetof(ProjectSettings, special), false},
    {fourCC("PCAP"), kCaptureType, kCaptureNames, psetFindCapturePacking,
     offsetof(ProjectSettings, capture), true},
    {fourCC("PCPI"), kCaptureInfoType, kCaptureInfoNames, psetFindCaptureInfoPacking,
     offsetof(ProjectSettings, captureInfo), false},
};
constexpr size_t kCaptureInfoIndex = 8;

const int32_t kDevicePacking[] = {32, 4, 4, 4, 4, 4, 0};

#pragma pack(push, 1)
struct SettingsHeader {  // Phdr
    OSType signature;
    int32_t version;
    int32_t zero1;
    int32_t kind;
    int32_t zero2;
};
#pragma pack(pop)
static_assert(sizeof(SettingsHeader) == 20, "settings-file header");
const int32_t kHeaderPacking[] = {4, 4, 4, 4, 4, 0};
const int32_t kDescriptionPacking[] = {kDescriptionSize, 0};

// Forward from the current position first (the order files are written in);
// a section out of order is found through the tag index.
OSErr readSection(ProjBufHand stream, OSType tag, const char* type, const int32_t* packing,
                  void* record) {
    OSErr err = ReadStruct(stream, tag, type, packing, record);
    if (err == kStructNotFound && SearchType(stream, tag) == 1)
        err = ReadStruct(stream, tag, type, packing, record);
    return err;
}

uint8_t* at(ProjectSettings& s, size_t offset) {
    return reinterpret_cast<uint8_t*>(&s) + offset;
}

}  // namespace

bool plausible(const ProjectSettings& s) {
    return s.general.scale > 0 && s.general.samplesize > 0 && s.video.width > 0 &&
           s.video.height > 0 && s.video.scale > 0 && s.video.samplesize > 0;
}

const Section* sections(size_t* count) {
    if (count) *count = sizeof kSections / sizeof kSections[0];
    return kSections;
}

const int32_t* devicePacking() {
    return kDevicePacking;
}

OSErr readSections(ProjBufHand stream, ProjectSettings& s, bool settingsFile) {
    OSErr err = noErr;
    int32_t packing[300];
    for (size_t i = 0; i < kCaptureInfoIndex && err == noErr; ++i) {
        const Section& sec = kSections[i];
        sec.packing(packing);
        err = readSection(stream, sec.tag, sec.type, packing, at(s, sec.offset));
        if (err == kStructShort && sec.shortAccepted) err = noErr;
        if (err == noErr && sec.tag == fourCC("ASET") && s.audio.previewmintracks <= 0) {
            s.audio.previewmintracks = 3;
            s.audio.previewminfilters = 1;
        }
    }
    if (err != noErr) return err;
    psetInvalidateCaptureInfo(&s.captureInfo);
    const Section& info = kSections[kCaptureInfoIndex];
    info.packing(packing);
    PsetCaptureInfo read = s.captureInfo;
    err = readSection(stream, info.tag, info.type, packing, &read);
    if (err == kStructNotFound) {
        err = noErr;
    } else if (err == noErr) {
        s.captureInfo = read;
    } else {
        return err;
    }
    if (!plausible(s)) return kPsetBadFile;
    if (settingsFile) {
        PsetDevice device;
        std::memset(&device, 0, sizeof device);
        if (readSection(stream, kTagDevice, kDeviceType, kDevicePacking, &device) == noErr) {
            device.devname[sizeof device.devname - 1] = 0;
            s.device = device;
        } else {
            Handle h = WordToHandle(device.devdata);
            if (h && FmIsValidHandle(h)) FmDisposeHandle(h);
        }
    }
    return noErr;
}

OSErr writeSections(ProjBufHand stream, const ProjectSettings& s) {
    int32_t packing[300];
    for (const Section& sec : kSections) {
        sec.packing(packing);
        OSErr err = WriteStruct(stream, sec.tag, sec.type, sec.names, packing,
                                reinterpret_cast<const uint8_t*>(&s) + sec.offset);
        if (err != noErr) return err;
    }
    return noErr;
}

// Reads a whole block from a stream; the rectification runs on the new block.
Handle readBlock(ProjBufHand stream, bool settingsFile, OSErr* error) {
    Handle h = newBlock();
    if (!h) {
        if (error) *error = memFullErr;
        return nullptr;
    }
    OSErr err = readSections(stream, *blockOf(h), settingsFile);
    if (err != noErr) {
        psetDisposeSettings(h);
        if (error) *error = err;
        return nullptr;
    }
    psetRectifyCaptureSettings(h);
    if (error) *error = noErr;
    return h;
}

}  // namespace rc::settings

using namespace rc::settings;

extern "C" {

RC_API OSErr WriteGlobalProjectSettings(ProjBufHand stream, Handle settings) {
    const ProjectSettings* s = resolve(settings);
    if (!s) return nilHandleErr;
    if (!stream) return kProjParamErr;
    return writeSections(stream, *s);
}

RC_API OSErr ReadGlobalProjectSettings(ProjBufHand stream, Handle settings) {
    if (!stream) return kProjParamErr;
    Handle target = settings ? settings : InitProjectSettings();
    if (!blockOf(target)) return nilHandleErr;
    OSErr err = noErr;
    Handle fresh = readBlock(stream, false, &err);
    if (!fresh) return err;
    err = psetCopyProjectSettings(fresh, target);
    psetDisposeSettings(fresh);
    return err;
}

RC_API Handle psetReadSettingsFile(const char* path, OSErr* error) {
    OSErr err = noErr;
    FileRef ref = -1;
    Handle result = nullptr;
    if (!path) {
        err = fnfErr;
    } else if ((err = HOpen(0, 0, path, fsRdPerm, &ref)) == noErr) {
        ProjBufHand stream = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
        if ((err = CheckProjBufHand(stream)) == noErr) result = readBlock(stream, true, &err);
        if (stream) CloseProjBufHand(stream);
        FSClose(ref);
    }
    if (error) *error = err;
    return result;
}

RC_API Handle psetReadProjectSettings(const FSSpec* fileSpec) {
    return fileSpec ? psetReadSettingsFile(fileSpec->name, nullptr) : nullptr;
}

RC_API OSErr psetWriteSettingsFile(const char* path, Handle settings, const char* description,
                                   int32_t kind) {
    const ProjectSettings* s = resolve(settings);
    if (!s) return nilHandleErr;
    OSErr err = noErr;
    ProjBufHand out = CreateProjBufHandSafe(path, kProjBufSize, &err);
    if (!out) return err ? err : OSErr(memFullErr);
    SettingsHeader header{kSignature, 1, 0, kind == kPsetKindProject ? 1 : kind, 0};
    char text[kDescriptionSize];
    std::memset(text, 0, sizeof text);
    if (description) std::strncpy(text, description, sizeof text - 1);
    err = WriteStruct(out, kTagHeader, "LLLLL", nullptr, kHeaderPacking, &header);
    if (!err)
        err =
            WriteStruct(out, kTagDescription, "C[1024]", "description", kDescriptionPacking, text);
    if (!err) err = writeSections(out, *s);
    if (!err && s->device.devname[0])
        err = WriteStruct(out, kTagDevice, kDeviceType, kDeviceNames, kDevicePacking, &s->device);
    if (err) {
        DiscardProjBufHand(out);
        return err;
    }
    return CloseProjBufHand(out);
}

RC_API OSErr psetReadSettingsFileHeader(const char* path, int32_t* kind, char* description,
                                        int32_t descriptionSize) {
    if (kind) *kind = 0;
    if (description && descriptionSize > 0) description[0] = 0;
    FileRef ref = -1;
    OSErr err = path ? HOpen(0, 0, path, fsRdPerm, &ref) : OSErr(fnfErr);
    if (err) return err;
    ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    err = CheckProjBufHand(in);
    SettingsHeader header{};
    char text[kDescriptionSize] = {0};
    if (!err) err = ReadStruct(in, kTagHeader, "LLLLL", kHeaderPacking, &header);
    if (!err && header.signature != kSignature) err = kPsetBadFile;
    if (!err) {
        OSErr d = readSection(in, kTagDescription, "C[1024]", kDescriptionPacking, text);
        if (d != noErr && d != kStructNotFound) err = d;
    }
    if (in) CloseProjBufHand(in);
    FSClose(ref);
    if (err) return err;
    if (kind) *kind = header.kind;
    if (description && descriptionSize > 0) {
        std::strncpy(description, text, size_t(descriptionSize) - 1);
        description[descriptionSize - 1] = 0;
    }
    return noErr;
}

}  // extern "C"
