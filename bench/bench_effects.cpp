// Filters and transitions through the host beside their peers:
//  - Filter with vf-tint and a 2-key CompSpec against the module's own
//    xFilter called directly (the host's overhead: settings blended from the
//    keys, the call by name) and against frei0r's tint0r through f0r_update
//    on pictures of the same size (skipped when frei0r is not installed);
//  - Effect with fx-dissolve at 1080p against OpenCV addWeighted, on 1 and 2
//    processors (our processor pool; cv::setNumThreads for the peer).
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "reelcore/clips.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/resources.h"

#ifdef REEL_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

struct Size {
    int32_t w, h;
};
constexpr Size kSizes[] = {{720, 480}, {1920, 1080}, {16, 16}};

std::string gProfile;

void startLibrary() {
    static bool started = false;
    if (started) return;
    started = true;
    SetupGlobals();
    InitMemoryMgr();
    InitResMgr(nullptr);
    SetAGlobal(kSlotOpenFileBudget, 200);
    InitFileQueue();
    InitClipQueue();
    pwInit();
    gProfile = "/tmp/reel_bench_effects_" + std::to_string(getpid()) + ".ini";
}

// The processor pool with n processors (and OpenCV's thread count).
void usePool(int n) {
    startLibrary();
#ifdef REEL_BENCH_OPENCV
    cv::setNumThreads(n);
#endif
    if (GetAGlobal(kSlotProcessorCount) == n) return;
    TerminateMP();
    FILE* f = std::fopen(gProfile.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "[override]\nNumCPUs=%d\n", n);
    std::fclose(f);
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(gProfile.c_str()));
    InitMP();
}

std::string samplePath(const char* name) {
    return std::string(REEL_EFFECT_SAMPLES_DIR "/") + name + ".fmx";
}

// A sample registered once, as the registry does it.
int16_t sampleModule(const char* name, OSType kind) {
    startLibrary();
    const int16_t id = AddFile(samplePath(name).c_str(), 0, 0, kind);
    if (id <= 0) return 0;
    FileSubscribe(id);
    PlugVersionCheck(id, kind);
    return id;
}

PPixHand randomPicture(Size s, uint32_t seed) {
    const FmRect bounds{0, 0, s.w, s.h};
    PPixHand pix = ppixNew(&bounds);
    const PPixRecord* r = reinterpret_cast<const PPixRecord*>(*pix);
    std::mt19937 gen(seed);
    for (int32_t y = 0; y < s.h; ++y) {
        uint8_t* row = reinterpret_cast<uint8_t*>(r->pixels) + int64_t(r->rowBytes) * y;
        for (int32_t x = 0; x < s.w * 4; ++x) row[x] = uint8_t(gen() >> 24);
    }
    return pix;
}

// The same source and destination for every tint benchmark of a size, so
// that host and module run on the very same memory.
struct PicturePair {
    PPixHand src = nullptr, dst = nullptr;
};
PicturePair tintPictures(int index) {
    static PicturePair pairs[std::size(kSizes)];
    PicturePair& p = pairs[index];
    if (!p.src) {
        startLibrary();
        p.src = randomPicture(kSizes[index], 1);
        p.dst = randomPicture(kSizes[index], 2);
    }
    return p;
}

// ---- Tint ----
struct Tint {
    int32_t amount;
    uint8_t colour[4];
};
constexpr OSType kVideoFilter = 0x56466C74;  // 'VFlt'
constexpr OSType kTransition = 0x53504658;   // 'SPFX'

Handle settingsHandle(const Tint& t) {
    Handle h = NewHandleClear(sizeof t);
    std::memcpy(*h, &t, sizeof t);
    return h;
}

// Keys at 0 (amount 0) and 100 (amount 100, towards orange); frames run at
// part 1 of 4, so the settings blend to amount 25.
Handle twoKeys(int16_t tint) {
    Handle first = settingsHandle({0, {255, 160, 64, 0}});
    Handle comp = NewCompSpec(first, tint, 0);
    DisposeHandle(first);
    Handle second = settingsHandle({100, {255, 160, 64, 0}});
    InsertSingleSpec(comp, second, 1, 100);
    DisposeHandle(second);
    return comp;
}

Handle videoRecord(PPixHand src, PPixHand dst, Handle specs) {
    Handle rec = NewHandleClear(sizeof(RcVideoFilterRecord));
    auto* r = reinterpret_cast<RcVideoFilterRecord*>(*rec);
    r->specsHandle = HandleToWord(specs);
    r->source = HandleToWord(src);
    r->destination = HandleToWord(dst);
    r->part = 1;
    r->total = 4;
    r->version = kRcVideoFilterRecordVersion;
    return rec;
}

void BM_TintHost(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    const int16_t tint = sampleModule("vf-tint", kVideoFilter);
    if (!tint) {
        state.SkipWithError("vf-tint.fmx is not built");
        return;
    }
    const PicturePair pix = tintPictures(int(state.range(0)));
    Handle rec = videoRecord(pix.src, pix.dst, twoKeys(tint));
    for (auto _ : state) {
        if (Filter(tint, kRcFilterProcess, rec, nullptr) != 0) {
            state.SkipWithError("the filter failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * s.w * s.h);
    DisposeCompSpec(WordToHandle(reinterpret_cast<RcVideoFilterRecord*>(*rec)->specsHandle));
    DisposeHandle(rec);
}
BENCHMARK(BM_TintHost)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The module's entry called with the settings the host would build.
void BM_TintModuleDirect(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    startLibrary();
    void* lib = dlopen(samplePath("vf-tint").c_str(), RTLD_NOW | RTLD_LOCAL);
    auto entry = lib ? reinterpret_cast<RcFilterEntryProc>(dlsym(lib, "xFilter")) : nullptr;
    if (!entry) {
        state.SkipWithError("vf-tint.fmx cannot be loaded");
        if (lib) dlclose(lib);
        return;
    }
    const PicturePair pix = tintPictures(int(state.range(0)));
    Handle settings = settingsHandle({25, {255, 160, 64, 0}});
    Handle rec = videoRecord(pix.src, pix.dst, settings);
    for (auto _ : state) {
        if (entry(kRcFilterProcess, reinterpret_cast<RcHandle>(rec)) != 0) {
            state.SkipWithError("the filter failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * s.w * s.h);
    DisposeHandle(settings);
    DisposeHandle(rec);
    dlclose(lib);
}
BENCHMARK(BM_TintModuleDirect)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// frei0r's plug-in interface, declared as its public header declares it.
struct Frei0rColour {
    float r, g, b;
};
struct Frei0rParamInfo {
    const char* name;
    int type;
    const char* explanation;
};
struct Frei0r {
    void* lib = nullptr;
    int (*init)() = nullptr;
    void (*deinit)() = nullptr;
    void* (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(void*) = nullptr;
    void (*getParamInfo)(Frei0rParamInfo*, int) = nullptr;
    void (*setParam)(void*, void*, int) = nullptr;
    void (*update)(void*, double, const uint32_t*, uint32_t*) = nullptr;

    bool open(const char* name) {
        const std::string dirs[] = {"/usr/lib/x86_64-linux-gnu/frei0r-1/", "/usr/lib/frei0r-1/",
                                    "/usr/local/lib/frei0r-1/"};
        for (const std::string& d : dirs)
            if ((lib = dlopen((d + name).c_str(), RTLD_NOW | RTLD_LOCAL))) break;
        if (!lib) return false;
        init = reinterpret_cast<int (*)()>(dlsym(lib, "f0r_init"));
        deinit = reinterpret_cast<void (*)()>(dlsym(lib, "f0r_deinit"));
        construct = reinterpret_cast<void* (*)(unsigned, unsigned)>(dlsym(lib, "f0r_construct"));
        destruct = reinterpret_cast<void (*)(void*)>(dlsym(lib, "f0r_destruct"));
        getParamInfo =
            reinterpret_cast<void (*)(Frei0rParamInfo*, int)>(dlsym(lib, "f0r_get_param_info"));
        setParam = reinterpret_cast<void (*)(void*, void*, int)>(dlsym(lib, "f0r_set_param_value"));
        update = reinterpret_cast<void (*)(void*, double, const uint32_t*, uint32_t*)>(
            dlsym(lib, "f0r_update"));
        return init && deinit && construct && destruct && getParamInfo && setParam && update &&
               init() != 0;
    }
    // The index of the parameter whose name starts with `prefix`, -1 if none.
    int param(const char* prefix, int count) const {
        for (int i = 0; i < count; ++i) {
            Frei0rParamInfo info{};
            getParamInfo(&info, i);
            if (info.name && std::strncmp(info.name, prefix, std::strlen(prefix)) == 0) return i;
        }
        return -1;
    }
    ~Frei0r() {
        if (lib) {
            if (deinit) deinit();
            dlclose(lib);
        }
    }
};

// tint0r maps each pixel's luminance onto the line from the black colour to
// the white colour and mixes that with the pixel by the amount: the same
// pixels in and out, tinted by 25 % towards the same orange.
void BM_TintFrei0r(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    Frei0r f;
    if (!f.open("tint0r.so")) {
        state.SkipWithError("frei0r's tint0r is not installed");
        return;
    }
    const int black = f.param("Map black", 3), white = f.param("Map white", 3),
              amount = f.param("Tint amount", 3);
    if (black < 0 || white < 0 || amount < 0) {
        state.SkipWithError("tint0r's parameters are not the expected ones");
        return;
    }
    void* inst = f.construct(unsigned(s.w), unsigned(s.h));
    Frei0rColour dark{0, 0, 0}, light{1.0f, 160 / 255.0f, 64 / 255.0f};
    double mix = 0.25;
    f.setParam(inst, &dark, black);
    f.setParam(inst, &light, white);
    f.setParam(inst, &mix, amount);
    std::vector<uint32_t> in(size_t(s.w) * s.h), out(in.size());
    std::mt19937 gen(1);
    for (uint32_t& p : in) p = gen();
    for (auto _ : state) {
        f.update(inst, 0.0, in.data(), out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * s.w * s.h);
    f.destruct(inst);
}
BENCHMARK(BM_TintFrei0r)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// ---- Dissolve at 1080p, 1 and 2 processors ----
constexpr Size k1080 = kSizes[1];

void BM_DissolveHost(benchmark::State& state) {
    usePool(int(state.range(0)));
    const int16_t fx = sampleModule("fx-dissolve", kTransition);
    if (!fx) {
        state.SkipWithError("fx-dissolve.fmx is not built");
        return;
    }
    PPixHand a = randomPicture(k1080, 1), b = randomPicture(k1080, 2), d = randomPicture(k1080, 3);
    Handle rec = NewHandleClear(sizeof(RcEffectRecord));
    auto* r = reinterpret_cast<RcEffectRecord*>(*rec);
    r->source1 = HandleToWord(a);
    r->source2 = HandleToWord(b);
    r->destination = HandleToWord(d);
    r->part = 1;
    r->total = 3;
    r->version = kRcEffectRecordVersion;
    for (auto _ : state) {
        if (Effect(fx, kRcEffectProcess, rec) != 0) {
            state.SkipWithError("the transition failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k1080.w * k1080.h);
    DisposeHandle(rec);
    ppixDispose(a);
    ppixDispose(b);
    ppixDispose(d);
}
BENCHMARK(BM_DissolveHost)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

// cv::addWeighted(a, 1 - w, b, w, 0) on 8-bit four-channel pictures: the
// same blend of every byte at the dissolve's weight (85 / 256).
void BM_DissolveOpenCV(benchmark::State& state) {
#ifdef REEL_BENCH_OPENCV
    usePool(int(state.range(0)));
    cv::Mat a(k1080.h, k1080.w, CV_8UC4), b(k1080.h, k1080.w, CV_8UC4),
        d(k1080.h, k1080.w, CV_8UC4);
    cv::randu(a, 0, 256);
    cv::randu(b, 0, 256);
    const double w = 85.0 / 256.0;
    for (auto _ : state) {
        cv::addWeighted(a, 1.0 - w, b, w, 0.0, d);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k1080.w * k1080.h);
#else
    state.SkipWithError("OpenCV was not found when this was built");
#endif
}
BENCHMARK(BM_DissolveOpenCV)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
