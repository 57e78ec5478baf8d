// reelhost keyframes MODULE TIME=V,V,... ... --at T ...: keys of a filter's
// parameters, blended at the asked times. The parameters are laid out as the
// module describes them: by the animation properties of its PiPL, else by its
// FltD table. Imagist-style modules (.Q7F) get a form tag 0 in front.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/filetable.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/resources.h"

namespace {

enum class Kind { Bytes, Signed, Unsigned, Fixed, UnsignedFixed, Real, Float, Colour };

// One value of the settings as the module describes it.
struct Field {
    std::string name;
    Kind kind;
    int32_t offset;
    int32_t width;
    bool blended;
};

constexpr OSType kVideoFilter = 0x56466C74;  // 'VFlt'
constexpr OSType kImagist = 0x5137464D;      // 'Q7FM'

// Kind and width of an animation data type and of a FltD kind.
Field animField(const RcAnimParamInfo& p) {
    static const struct {
        Kind kind;
        int32_t width;
    } kTypes[] = {{Kind::Bytes, 0},    {Kind::Signed, 1},   {Kind::Signed, 2},
                  {Kind::Signed, 4},   {Kind::Unsigned, 1}, {Kind::Unsigned, 2},
                  {Kind::Unsigned, 4}, {Kind::Fixed, 4},    {Kind::UnsignedFixed, 4},
                  {Kind::Bytes, 0},    {Kind::Real, 8},     {Kind::Float, 4},
                  {Kind::Colour, 4}};
    Field f{"", Kind::Bytes, 0, std::max(p.size, 0), false};
    if (p.dataType >= 0 && p.dataType < 13 && kTypes[p.dataType].kind != Kind::Bytes &&
        (p.flags & kRcAnimParamInterpolate)) {
        f.kind = kTypes[p.dataType].kind;
        f.width = kTypes[p.dataType].width;
        f.blended = true;
    } else if (p.dataType >= 0 && p.dataType < 13 && kTypes[p.dataType].kind != Kind::Bytes) {
        // Not blended: held at its declared size, shown as its type.
        f.kind = kTypes[p.dataType].kind;
        if (f.width != kTypes[p.dataType].width) f.kind = Kind::Bytes;
    }
    char name[33] = {};
    std::memcpy(name, p.name, 32);
    f.name = name[0] ? name : "p" + std::to_string(p.index);
    return f;
}

bool fltdField(int16_t kind, int16_t count, Field* f) {
    static const struct {
        Kind kind;
        int32_t width;
    } kKinds[] = {{Kind::Bytes, 0},    {Kind::Signed, 1},   {Kind::Signed, 2},   {Kind::Signed, 4},
                  {Kind::Unsigned, 1}, {Kind::Unsigned, 2}, {Kind::Unsigned, 4}, {Kind::Real, 8},
                  {Kind::Real, 8},     {Kind::Float, 4}};
    if (uint16_t(kind) > 9) return false;
    f->kind = kKinds[kind].kind;
    f->width = kind == 0 ? uint16_t(count) : kKinds[kind].width;
    f->blended = kind != 0;
    return true;
}

// The module's settings layout; empty with a reason when it has none.
std::vector<Field> describe(int16_t id, std::string* how) {
    std::vector<Field> fields;
    const ResFileRef saved = CurResFile();
    if (OpenFmxRFile(id, 255) == -1) {
        *how = "its resources cannot be read";
        return fields;
    }
    Handle pipl = GetPiPLHandle(id);
    RcAnimFilterInfo info;
    if (pipl && GetAnimFilterInfo(pipl, &info)) {
        *how = "animation description";
        for (int32_t i = 0; i < std::min(info.paramCount, 1024); ++i) {
            RcAnimParamInfo p;
            GetAnimParamProperty(pipl, i, &p);
            fields.push_back(animField(p));
        }
    } else if (Handle table = Get1Resource(0x466C7444 /* 'FltD' */, 1)) {
        *how = "FltD table";
        const size_t n = GetHandleSize(table) / sizeof(FmFltDEntry);
        for (size_t i = 0; i < n; ++i) {
            FmFltDEntry e;
            std::memcpy(&e, *table + 4 * i, sizeof e);
            Field f{"v" + std::to_string(i), Kind::Bytes, 0, 0, false};
            if (!fltdField(e.kind, e.count, &f)) {
                *how = "a FltD table with an unknown kind";
                fields.clear();
                break;
            }
            fields.push_back(f);
        }
    } else {
        *how = "no description of its parameters";
    }
    if (pipl) DisposeHandle(pipl);
    ReleaseRFile(id);
    UseResFile(saved);
    return fields;
}

struct Key {
    int32_t time;
    std::vector<std::string> values;
};

struct {
    std::string module;
    std::vector<std::string> keys;
    std::vector<double> times;
} args;

// Writes one value given as text; false when it does not read.
bool store(const Field& f, const std::string& text, uint8_t* p) {
    char* end = nullptr;
    if (f.kind == Kind::Real || f.kind == Kind::Float || f.kind == Kind::Fixed ||
        f.kind == Kind::UnsignedFixed) {
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end) return false;
        if (f.kind == Kind::Real) std::memcpy(p, &v, 8);
        if (f.kind == Kind::Float) {
            const float x = float(v);
            std::memcpy(p, &x, 4);
        }
        if (f.kind == Kind::Fixed || f.kind == Kind::UnsignedFixed) {
            const int64_t x = int64_t(std::llround(v * 65536.0));
            std::memcpy(p, &x, 4);
        }
        return true;
    }
    // Integers, colours (0xRRGGBBAA as bytes R, G, B, A) and byte runs (a
    // byte repeated over the run).
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (end == text.c_str() || *end) return false;
    if (f.kind == Kind::Colour) {
        for (int i = 0; i < 4; ++i) p[i] = uint8_t(uint64_t(v) >> (24 - 8 * i));
    } else if (f.kind == Kind::Bytes) {
        std::memset(p, int(v & 0xFF), size_t(f.width));
    } else {
        std::memcpy(p, &v, size_t(f.width));  // little-endian: the low bytes
    }
    return true;
}

std::string show(const Field& f, const uint8_t* p) {
    char buf[64];
    switch (f.kind) {
        case Kind::Signed: {
            int64_t v = 0;
            std::memcpy(&v, p, size_t(f.width));
            v = (v << (64 - 8 * f.width)) >> (64 - 8 * f.width);
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
            break;
        }
        case Kind::Unsigned: {
            uint64_t v = 0;
            std::memcpy(&v, p, size_t(f.width));
            std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v));
            break;
        }
        case Kind::Fixed:
        case Kind::UnsignedFixed: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            const double x = f.kind == Kind::Fixed ? int32_t(v) / 65536.0 : v / 65536.0;
            std::snprintf(buf, sizeof buf, "%g (0x%X)", x, unsigned(v));
            break;
        }
        case Kind::Real: {
            double v;
            std::memcpy(&v, p, 8);
            std::snprintf(buf, sizeof buf, "%g", v);
            break;
        }
        case Kind::Float: {
            float v;
            std::memcpy(&v, p, 4);
            std::snprintf(buf, sizeof buf, "%g", double(v));
            break;
        }
        case Kind::Colour:
            std::snprintf(buf, sizeof buf, "#%02X%02X%02X%02X", p[0], p[1], p[2], p[3]);
            break;
        case Kind::Bytes: {
            std::string hex;
            for (int32_t i = 0; i < f.width && i < 16; ++i) {
                std::snprintf(buf, sizeof buf, "%02x", p[i]);
                hex += buf;
            }
            return "[" + hex + (f.width > 16 ? "..." : "") + "]";
        }
    }
    return buf;
}

Key parseKey(const std::string& text) {
    const size_t eq = text.find('=');
    int64_t time = 0;
    if (eq == std::string::npos || !host::parseDecimal(text.substr(0, eq), time) ||
        time < INT32_MIN || time > INT32_MAX)
        throw CLI::ValidationError("KEY", "'" + text + "' is not TIME=V,V,...");
    Key k{int32_t(time), {}};
    std::stringstream values(text.substr(eq + 1));
    for (std::string v; std::getline(values, v, ',');) k.values.push_back(v);
    return k;
}

int runKeyframes() {
    const bool imagist = host::hasExtension(args.module, ".q7f");
    if (host::hasExtension(args.module, ".xex")) {
        std::fprintf(stderr, "%s: XE filters keep their own parameter blocks\n",
                     args.module.c_str());
        return 1;
    }
    const int16_t id = AddFile(args.module.c_str(), 0, 0, imagist ? kImagist : kVideoFilter);
    if (id <= 0) {
        std::fprintf(stderr, "%s: cannot be registered\n", args.module.c_str());
        return 1;
    }
    FileSubscribe(id);
    std::string how;
    std::vector<Field> fields = describe(id, &how);
    int32_t size = imagist ? 4 : 0;  // form tag 0, then the settings
    for (Field& f : fields) {
        f.offset = size;
        size += f.width;
    }
    std::printf("%s: %s, %zu values, %d bytes%s\n", args.module.c_str(), how.c_str(), fields.size(),
                int(size), CanVary(id) ? "" : " (cannot vary: keys hold)");

    std::vector<Key> keys;
    for (const std::string& text : args.keys) keys.push_back(parseKey(text));
    std::stable_sort(keys.begin(), keys.end(),
                     [](const Key& a, const Key& b) { return a.time < b.time; });
    Handle comp = nullptr;
    for (const Key& k : keys) {
        if (k.values.size() > fields.size())
            throw CLI::ValidationError("KEY", "key at " + std::to_string(k.time) + " has " +
                                                  std::to_string(k.values.size()) +
                                                  " values; the module has " +
                                                  std::to_string(fields.size()));
        Handle spec = NewHandleClear(uint32_t(size));
        for (size_t i = 0; i < k.values.size(); ++i)
            if (!store(fields[i], k.values[i],
                       reinterpret_cast<uint8_t*>(*spec) + fields[i].offset))
                throw CLI::ValidationError(
                    "KEY", "'" + k.values[i] + "' is not a value for " + fields[i].name);
        if (!comp)
            comp = NewCompSpec(spec, id, k.time);
        else
            InsertSingleSpec(comp, spec, CountSingleSpecs(comp), k.time);
        DisposeHandle(spec);
    }
    for (double t : args.times) {
        Handle out = nullptr;
        if (!BuildSingleSpec(comp, id, t, &out)) {
            std::printf("at %g: outside the keys\n", t);
            continue;
        }
        std::printf("at %g:", t);
        const auto* p = reinterpret_cast<const uint8_t*>(out ? *out : nullptr);
        const int32_t have = out ? int32_t(GetHandleSize(out)) : 0;
        for (const Field& f : fields)
            if (f.offset + f.width <= have)
                std::printf(" %s=%s", f.name.c_str(), show(f, p + f.offset).c_str());
        std::printf("\n");
        DisposeSingleSpec(out);
    }
    DisposeCompSpec(comp);
    FileCancel(id);
    return 0;
}

host::Registrar keyframesCommand(host::Command{
    "keyframes", "blend a filter's keyed parameters at given times",
    [](CLI::App& cmd) {
        cmd.add_option("MODULE", args.module, "filter module (.fmx, .Q7F)")
            ->required()
            ->check(CLI::ExistingFile);
        cmd.add_option("KEY", args.keys,
                       "TIME=V,V,... one value per parameter (reals for 16.16 and floating "
                       "values, 0xRRGGBBAA for colours, a byte for opaque runs)")
            ->required();
        cmd.add_option("--at", args.times, "times to evaluate at")->required();
    },
    runKeyframes});

}  // namespace
