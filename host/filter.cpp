// `reelhost filter` and `reelhost fx`: run a video filter module on a picture
// at a point of its keyed settings, or a transition module on two pictures at
// a point of its progress, and save the result.
#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "effect_modules.h"
#include "host.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/resources.h"

namespace {

constexpr OSType kImagist = 0x5137464D;  // 'Q7FM'
constexpr OSType kVideoFilter = 0x56466C74;
constexpr OSType kTransition = 0x53504658;

struct Progress {
    int64_t part = 0, total = 1;
};

struct {
    std::string module, in, inB, out, at = "0/1";
    std::vector<std::string> keys;
} args;

int fail(const char* command, const std::string& message) {
    std::fprintf(stderr, "reelhost %s: %s\n", command, message.c_str());
    return 1;
}

Progress parseProgress(const std::string& text) {
    const size_t slash = text.find('/');
    Progress p;
    if (slash == std::string::npos || !host::parseDecimal(text.substr(0, slash), p.part) ||
        !host::parseDecimal(text.substr(slash + 1), p.total) || p.total <= 0 || p.part < 0 ||
        p.part > p.total || p.total > INT32_MAX)
        throw CLI::ValidationError("--at", "'" + text + "' is not PART/TOTAL");
    return p;
}

// --key TIME=W,W,...: 32-bit words (decimal or 0x hex), little-endian.
Handle settingsOf(const std::string& values, bool imagist) {
    std::vector<uint8_t> bytes(imagist ? 4 : 0, 0);  // Imagist specs lead with tag 0
    std::stringstream in(values);
    for (std::string v; std::getline(in, v, ',');) {
        const bool hex = v.size() > 2 && (v[1] == 'x' || v[1] == 'X') && v[0] == '0';
        char* end = nullptr;
        const long long n = std::strtoll(v.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
        if (v.empty() || *end != '\0' || n < INT32_MIN || n > UINT32_MAX)
            throw CLI::ValidationError("--key", "'" + v + "' is not a 32-bit word");
        const uint32_t w = uint32_t(n);
        bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&w),
                     reinterpret_cast<const uint8_t*>(&w) + 4);
    }
    Handle h = NewHandleClear(uint32_t(bytes.size()));
    if (h && !bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
    return h;
}

Handle keyList(int16_t id, PPixHand src, PPixHand dst) {
    const bool imagist = GetFileTypeID(id) == kImagist;
    std::vector<std::pair<int32_t, std::string>> keys;
    for (const std::string& k : args.keys) {
        const size_t eq = k.find('=');
        int64_t t = 0;
        if (eq == std::string::npos || !host::parseDecimal(k.substr(0, eq), t) || t < 0 ||
            t > INT32_MAX)
            throw CLI::ValidationError("--key", "'" + k + "' is not TIME=W,W,...");
        keys.emplace_back(int32_t(t), k.substr(eq + 1));
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Handle comp = nullptr;
    for (const auto& [time, values] : keys) {
        Handle spec = settingsOf(values, imagist);
        if (!comp)
            comp = NewCompSpec(spec, id, time);
        else
            InsertSingleSpec(comp, spec, CountSingleSpecs(comp), time);
        DisposeHandle(spec);
    }
    if (comp) return comp;
    // No keys: the module's own defaults, from its setup (no dialog here).
    Handle rec = NewHandleClear(sizeof(RcVideoFilterRecord));
    auto* r = reinterpret_cast<RcVideoFilterRecord*>(*rec);
    r->source = HandleToWord(src);
    r->destination = HandleToWord(dst);
    r->total = 1;
    r->previewing = 1;
    r->version = kRcVideoFilterRecordVersion;
    r->fieldFlags = 32;
    Filter(id, kRcFilterSetup, rec, nullptr);
    Handle settings = WordToHandle(reinterpret_cast<RcVideoFilterRecord*>(*rec)->specsHandle);
    DisposeHandle(rec);
    comp = NewCompSpec(settings, id, 0);
    DisposeHandle(settings);
    return comp;
}

int runFilter() {
    const Progress at = parseProgress(args.at);
    std::string why;
    PPixHand src = host::readPicture(args.in, why);
    if (!src) return fail("filter", args.in + ": " + why);
    FmRect b;
    ppixGetBounds(src, &b);
    PPixHand dst = ppixNew(&b);
    const int16_t id = host::registerEffectModule(args.module, kVideoFilter);
    if (!id || !dst) {
        ppixDispose(src);
        ppixDispose(dst);
        return fail("filter", args.module + ": cannot be registered");
    }
    Handle comp = keyList(id, src, dst);
    Handle rec = NewHandleClear(sizeof(RcVideoFilterRecord));
    auto* r = reinterpret_cast<RcVideoFilterRecord*>(*rec);
    r->specsHandle = HandleToWord(comp);
    r->source = HandleToWord(src);
    r->destination = HandleToWord(dst);
    r->part = int32_t(at.part);
    r->total = int32_t(at.total);
    r->version = kRcVideoFilterRecordVersion;
    const int16_t result = Filter(id, kRcFilterProcess, rec, nullptr);
    comp = WordToHandle(reinterpret_cast<RcVideoFilterRecord*>(*rec)->specsHandle);
    int status = 0;
    if (result != 0)
        status = fail("filter", "the module answered " + std::to_string(result));
    else if (host::writePicture(dst, args.out) != 0)
        status = fail("filter", args.out + ": cannot be written");
    else
        std::printf("%s: filtered at %lld/%lld (%d keys) into %s\n", args.module.c_str(),
                    (long long)at.part, (long long)at.total, int(CountSingleSpecs(comp)),
                    args.out.c_str());
    DisposeCompSpec(comp);
    DisposeHandle(rec);
    ppixDispose(src);
    ppixDispose(dst);
    FileCancel(id);
    return status;
}

int runFx() {
    const Progress at = parseProgress(args.at);
    std::string why;
    PPixHand a = host::readPicture(args.in, why);
    if (!a) return fail("fx", args.in + ": " + why);
    PPixHand b = host::readPicture(args.inB, why);
    if (!b) {
        ppixDispose(a);
        return fail("fx", args.inB + ": " + why);
    }
    FmRect bounds;
    ppixGetBounds(a, &bounds);
    PPixHand dst = ppixNew(&bounds);
    const int16_t id = host::registerEffectModule(args.module, kTransition);
    int status = 0;
    if (!id || !dst) {
        status = fail("fx", args.module + ": cannot be registered");
    } else {
        Handle rec = NewHandleClear(sizeof(RcEffectRecord));
        auto* r = reinterpret_cast<RcEffectRecord*>(*rec);
        r->source1 = HandleToWord(a);
        r->source2 = HandleToWord(b);
        r->destination = HandleToWord(dst);
        r->part = int32_t(at.part);
        r->total = int32_t(at.total);
        r->version = kRcEffectRecordVersion;
        r->flags = 32;
        const int16_t result = Effect(id, kRcEffectProcess, rec);
        if (result != 0)
            status = fail("fx", "the module answered " + std::to_string(result));
        else if (host::writePicture(dst, args.out) != 0)
            status = fail("fx", args.out + ": cannot be written");
        else
            std::printf("%s: %lld/%lld of the way into %s\n", args.module.c_str(),
                        (long long)at.part, (long long)at.total, args.out.c_str());
        DisposeHandle(rec);
        FileCancel(id);
    }
    ppixDispose(a);
    ppixDispose(b);
    ppixDispose(dst);
    return status;
}

host::Registrar filterCommand(host::Command{
    "filter", "run a video filter module on a picture at a point of its keyed settings",
    [](CLI::App& cmd) {
        cmd.add_option("MODULE", args.module, "video filter module (.fmx, .Q7F)")
            ->required()
            ->check(CLI::ExistingFile);
        host::addInputPicture(cmd, "IN", args.in);
        host::addOutputPicture(cmd, "OUT", args.out);
        cmd.add_option("--at", args.at, "PART/TOTAL of the clip (default 0/1)");
        cmd.add_option("--key", args.keys,
                       "TIME=W,W,... the settings at a time, as 32-bit words (decimal or 0x "
                       "hex); without keys the module's defaults");
    },
    runFilter});

host::Registrar fxCommand(host::Command{
    "fx", "run a transition module between two pictures",
    [](CLI::App& cmd) {
        cmd.add_option("MODULE", args.module, "transition module (.fmx)")
            ->required()
            ->check(CLI::ExistingFile);
        host::addInputPicture(cmd, "A", args.in);
        host::addInputPicture(cmd, "B", args.inB);
        cmd.add_option("P/T", args.at, "progress PART/TOTAL")->required();
        host::addOutputPicture(cmd, "OUT", args.out);
    },
    runFx});

}  // namespace

int16_t host::registerEffectModule(const std::string& path, OSType fallback, OSType* declared) {
    const int16_t id = AddFile(path.c_str(), 0, 0, fallback);
    if (id <= 0) return 0;
    FileSubscribe(id);
    OSType kind = host::hasExtension(path, ".q7f") ? kImagist : 0;
    if (!kind) {
        Handle pipl = GetPiPLHandle(id);
        kind = pipl ? GetPiPLKind(pipl) : 0;
        DisposeHandle(pipl);
    }
    if (!kind) {
        const ResFileRef saved = CurResFile();
        if (OpenFmxRFile(id, 255) != -1) {
            Handle type = Get1Resource(kRcResType, kRcResourceID);
            if (type && *type && GetHandleSize(type) >= 4) std::memcpy(&kind, *type, 4);
            ReleaseRFile(id);
        }
        UseResFile(saved);
    }
    if (kind && kind != GetFileTypeID(id)) {
        FSSpec spec;
        GetFSSpec(id, &spec);
        ChangeFSSpec(id, &spec, kind);
    }
    if (declared) *declared = kind ? kind : fallback;
    PlugVersionCheck(id, GetFileTypeID(id));
    return id;
}
