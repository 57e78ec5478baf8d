// Imagist-style filters ('Q7FM'): the entry point and picture modes read
// from the module, its persistent data word, and the selector sequences
// through which PhotoFilter drives it over the whole picture.
#include <cstring>
#include <map>
#include <string>

#include "platform/profile.h"
#include "plugins/effects/effect_host.h"
#include "plugins/module_call.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/resources.h"
#include "timeline/keys/module.h"

namespace rc::effects {
namespace {

constexpr OSType kFltS = 0x466C7453;  // 'FltS': first byte the picture mode
constexpr int kFieldWidth = 0x400;    // field flags: width halved
constexpr int kFieldHeight = 0xB00;   // height halved
constexpr int32_t kNameRoom = 256;

// Words of modules outside the video filter list. (A type of this file as
// the mapped type keeps the map's code out of the library's exports.)
struct DataWord {
    intptr_t value = 0;
};
std::map<int16_t, DataWord>& ownWords() {
    static std::map<int16_t, DataWord> words;
    return words;
}

struct ModuleTraits {
    std::string entry = "ENTRYPOINT1";
    int32_t mode = 0;
    int32_t alphaMode = -1;  // -1: not set by the name rule
};

bool startsWithKPT(const char* name) {
    return std::strncmp(name, "KPT", 3) == 0;
}

// The name of a module without a PiPL: resource 'Q7FM' 1 after its first two
// bytes, when 'PiMI' 1 has a version above 2. Bounded by the resource.
std::string legacyName() {
    Handle info = Get1Resource(kRcResImageFilterInfo, 1);
    if (!info || !*info || GetHandleSize(info) < 2) return {};
    int16_t version;
    std::memcpy(&version, *info, 2);
    if (version <= 2) return {};
    Handle text = Get1Resource(kRcResImageFilterName, 1);
    if (!text || !*text) return {};
    const size_t size = GetHandleSize(text);
    if (size <= 2) return {};
    const char* begin = *text + 2;
    return std::string(begin, strnlen(begin, size - 2));
}

ModuleTraits traitsOf(int16_t fileID) {
    ModuleTraits t;
    const char* settings = reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
    const bool alphaBug =
        platform::getPrivateProfileInt("KPT", "AlphaChannelBug", 1, settings ? settings : "") == 1;
    Handle pipl = GetPiPLHandle(fileID);
    char text[kNameRoom] = {};
    if (pipl && GetPiPLCode(pipl, text) && text[0]) t.entry = text;
    if (alphaBug) {
        std::string name;
        if (pipl) {
            std::memset(text, 0, sizeof text);
            if (GetPiPLName(pipl, text)) name = text;
        } else {
            keys::ModuleFork fork(fileID);
            if (fork.open()) name = legacyName();
        }
        if (startsWithKPT(name.c_str())) t.alphaMode = 3;
    }
    RcAnimFilterInfo info;
    if (pipl && GetAnimFilterInfo(pipl, &info)) {
        t.mode = (info.flags & kRcAnimMode5)   ? 5
                 : (info.flags & kRcAnimMode3) ? 3
                 : (info.flags & kRcAnimMode1) ? 1
                                               : 0;
        if (t.alphaMode < 0) t.alphaMode = 4;
    } else {
        keys::ModuleFork fork(fileID);
        Handle flts = fork.open() ? Get1Resource(kFltS, 1) : nullptr;
        if (flts && *flts && GetHandleSize(flts) >= 1) t.mode = uint8_t(**flts);
        if (t.alphaMode < 0) t.alphaMode = 3;
    }
    DisposeHandle(pipl);
    return t;
}

// ---- One run of the module ----
class ImagistRun {
  public:
    ImagistRun(RcImagistEntry entry, intptr_t* data) : entry_(entry), data_(data) {}

    int16_t call(int16_t selector, RcImagistRecord* rec) {
        int16_t result = 0;
        entry_(selector, rec, data_, &result);
        return result;
    }

    // prepare, start, continue until the module empties its output
    // rectangle (at most once per row and once more), finish.
    int16_t overImage(RcImagistRecord* rec) {
        int16_t err = call(kRcImagistPrepare, rec);
        if (err == noErr) err = call(kRcImagistStart, rec);
        for (int32_t i = 0; err == noErr && i <= rec->imageRows; ++i) {
            if (rec->outRect.right <= rec->outRect.left || rec->outRect.bottom <= rec->outRect.top)
                break;
            err = call(kRcImagistContinue, rec);
        }
        const int16_t finish = call(kRcImagistFinish, rec);
        return err != noErr ? err : finish;
    }

  private:
    RcImagistEntry entry_;
    intptr_t* data_;
};

void fillRecord(RcImagistRecord* rec, PPixHand src, PPixHand dst, int32_t mode, int32_t planes) {
    std::memset(rec, 0, sizeof *rec);
    rec->version = 4;
    rec->hostSignature = kRcImagistHostSignature;
    rec->maxSpace = kRcImagistMaxSpace;
    rec->parentWindow = GetAGlobal(kSlotMainWnd);
    rec->imageMode = kRcImagistModeRGB;
    rec->planes = int16_t(planes);
    rec->imageHRes = rec->imageVRes = kRcImagistResolution72;
    std::memset(rec->backColor, 0xFF, sizeof rec->backColor);
    std::memset(rec->foreColor, 0xFF, sizeof rec->foreColor);
    rec->scaleH = rec->scaleV = 0x10000;
    rec->mode = mode;
    rec->host = &hostServices();
    if (!dst || !*dst) return;
    auto* d = reinterpret_cast<PPixRecord*>(*dst);
    const int32_t w = d->bounds.right - d->bounds.left, h = d->bounds.bottom - d->bounds.top;
    rec->imageRows = int16_t(h);
    rec->imageColumns = int16_t(w);
    rec->filterRect = rec->inRect = rec->outRect = RcRect{0, 0, w, h};
    // Rows are stored bottom-up: the top row is the last in memory.
    rec->outData = d->pixels + size_t(d->rowBytes) * size_t(h > 0 ? h - 1 : 0);
    rec->outRowBytes = -d->rowBytes;
    rec->outHiPlane = 3;
    rec->destination = reinterpret_cast<RcPixelBuffer*>(d);
    if (!src || !*src) return;
    auto* s = reinterpret_cast<PPixRecord*>(*src);
    const int32_t sh = s->bounds.bottom - s->bounds.top;
    rec->inData = s->pixels + size_t(s->rowBytes) * size_t(sh > 0 ? sh - 1 : 0);
    rec->inRowBytes = -s->rowBytes;
    rec->inHiPlane = 3;
    rec->source = reinterpret_cast<RcPixelBuffer*>(s);
}

// A field picture (one dimension halved) scaled to full size for the run.
struct FieldScale {
    PPixHand src = nullptr, dst = nullptr;
    ~FieldScale() {
        ppixDispose(src);
        ppixDispose(dst);
    }
};

PPixHand doubled(PPixHand pix, bool width, bool copy) {
    FmRect b;
    ppixGetBounds(pix, &b);
    FmRect r{0, 0, b.right - b.left, b.bottom - b.top};
    (width ? r.right : r.bottom) *= 2;
    PPixHand out = ppixNew(&r);
    if (out && copy) ppixCopy(pix, out, nullptr, nullptr, 0, nullptr);
    return out;
}

// The tag of the settings the record holds, 0 without settings.
uint32_t tagOf(Handle spec) {
    uint32_t tag = kSpecTagLocked;
    if (spec && *spec && GetHandleSize(spec) >= 4) std::memcpy(&tag, *spec, 4);
    return tag;
}

Handle parametersFrom(Handle spec) {
    if (!spec || !*spec) return nullptr;
    return CreateSpec(*spec, int32_t(GetHandleSize(spec)));
}

// The module's parameters become the record's settings (the old ones are
// freed). A block the host did not make is refused and left alone.
int16_t storeParameters(RcImagistRecord* rec, Handle record, int16_t fileID, int16_t result) {
    Handle params = reinterpret_cast<Handle>(rec->parameters);
    rec->parameters = nullptr;
    if (!params) return result;
    auto& vr = *reinterpret_cast<RcVideoFilterRecord*>(*record);
    Handle old = handleOf(vr.specsHandle);
    Handle spec = SpecToHand(fileID, params, int32_t(tagOf(old)));
    if (!spec) return result != noErr ? result : int16_t(-50);
    DisposeHandle(old);
    reinterpret_cast<RcVideoFilterRecord*>(*record)->specsHandle = HandleToWord(spec);
    return result;
}

int16_t processPicture(ImagistRun& run, RcImagistRecord* rec, Handle record, int16_t fileID,
                       int32_t mode, int32_t alphaMode) {
    const auto& vr = *reinterpret_cast<const RcVideoFilterRecord*>(*record);
    PPixHand src = handleOf(vr.source), dst = handleOf(vr.destination);
    const bool halfWidth = (vr.fieldFlags & kFieldWidth) != 0;
    const bool halfHeight = (vr.fieldFlags & kFieldHeight) != 0;
    FieldScale field;
    PPixHand useSrc = src, useDst = dst;
    if (halfWidth != halfHeight && src && dst) {
        field.src = doubled(src, halfWidth, true);
        field.dst = doubled(dst, halfWidth, false);
        if (!field.src || !field.dst) return memFullErr;
        useSrc = field.src;
        useDst = field.dst;
    }
    fillRecord(rec, useSrc, useDst, mode, alphaMode);
    rec->parameters = reinterpret_cast<RcHandle>(parametersFrom(handleOf(vr.specsHandle)));
    if (useSrc && useDst && useSrc != useDst)
        ppixCopy(useSrc, useDst, nullptr, nullptr, 0, nullptr);
    int16_t result = run.overImage(rec);
    if (result == noErr && field.dst) ppixCopy(field.dst, dst, nullptr, nullptr, 0, nullptr);
    return storeParameters(rec, record, fileID, result);
}

}  // namespace

intptr_t* imagistDataWord(int16_t fileID) {
    Handle ids = reinterpret_cast<Handle>(GetAGlobal(kSlotVideoFilters));
    Handle words = reinterpret_cast<Handle>(GetAGlobal(kSlotVideoFilterData));
    if (ids && *ids && words && *words) {
        const size_t n = GetHandleSize(ids) / sizeof(int16_t);
        for (size_t i = 0; i < n; ++i) {
            int16_t id;
            std::memcpy(&id, *ids + i * sizeof id, sizeof id);
            if (id == fileID && (i + 1) * sizeof(intptr_t) <= GetHandleSize(words))
                return reinterpret_cast<intptr_t*>(*words) + i;
        }
    }
    return &ownWords()[fileID].value;
}

int16_t callImagist(int16_t fileID, int16_t hostSelector, Handle record) {
    const ModuleTraits traits = traitsOf(fileID);
    plugins::ModuleCall call(fileID, traits.entry.c_str());
    if (!call.entry()) return kNoModule;
    // The word is kept by module; the call works on a copy so that a table
    // that moves during the call cannot be written through a stale address.
    intptr_t data = *imagistDataWord(fileID);
    const int16_t result = call.run([&](void* entry) {
        return PhotoFilter(hostSelector, record, reinterpret_cast<RcImagistEntry>(entry), &data,
                           fileID, traits.mode, traits.alphaMode);
    });
    *imagistDataWord(fileID) = data;
    return result;
}

}  // namespace rc::effects

using namespace rc::effects;

RC_API int16_t PhotoFilter(int16_t selector, Handle record, RcImagistEntry entry, intptr_t* data,
                           int16_t fileID, int32_t mode, int32_t alphaMode) {
    if (!entry || !record || !*record || GetHandleSize(record) < sizeof(RcVideoFilterRecord))
        return kNoModule;
    intptr_t ownData = 0;
    ImagistRun run(entry, data ? data : &ownData);
    Handle recHandle = NewHandleClear(sizeof(RcImagistRecord));
    if (!recHandle) return memFullErr;
    HLock(recHandle);
    auto* rec = reinterpret_cast<RcImagistRecord*>(*recHandle);
    auto& vr = *reinterpret_cast<RcVideoFilterRecord*>(*record);
    PPixHand src = handleOf(vr.source), dst = handleOf(vr.destination);
    int16_t result = noErr;

    if (selector == 2) {
        fillRecord(rec, src, dst, mode, alphaMode);
        result = run.call(kRcImagistAbout, rec);
    } else if (selector == kRcFilterSetup) {
        fillRecord(rec, src, dst, mode, 3);
        rec->parameters = reinterpret_cast<RcHandle>(parametersFrom(handleOf(vr.specsHandle)));
        result = run.call(kRcImagistParameters, rec);
        if (result == noErr) {
            if (src && dst && src != dst) ppixCopy(src, dst, nullptr, nullptr, 0, nullptr);
            result = run.overImage(rec);
        }
        result = storeParameters(rec, record, fileID, result);
    } else if (selector == kRcFilterProcess) {
        result = processPicture(run, rec, record, fileID, mode, alphaMode);
    } else {
        result = kRcModuleUnsupported;
    }
    DisposeHandle(recHandle);
    return result;
}
