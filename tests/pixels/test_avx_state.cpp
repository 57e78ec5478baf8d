// The AVX2 kernels must leave the upper halves of the vector registers clean
// when they return: otherwise the caller's next SSE code (ours or any other
// library's) runs several times slower. The processor reports which register
// state is in use (XGETBV with ECX = 1); each kernel is called and that state
// read straight after it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pixel_test_util.h"
#include "pixels/depthcon_rows.h"
#include "pixels/imagefilters_core.h"
#include "pixels/scale_kernels.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

#if defined(__x86_64__)
constexpr uint32_t kUpperHalvesInUse = 1u << 2;

// True when the processor has AVX2 and reports the in-use state.
bool canSeeUpperState() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__builtin_cpu_supports("avx2")) return false;
    if (!__get_cpuid_count(0xD, 1, &a, &b, &c, &d)) return false;
    return (a & (1u << 2)) != 0;
}

uint32_t inUseState() {
    uint32_t lo = 0, hi = 0;
    asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    return lo;
}

bool upperDirtyAfter(const std::function<void()>& call) {
    asm volatile("vzeroupper");
    call();
    return (inUseState() & kUpperHalvesInUse) != 0;
}
#endif

TEST(AvxState, KernelsClearTheUpperHalvesOnReturn) {
#if defined(__x86_64__)
    if (!canSeeUpperState()) GTEST_SKIP() << "processor does not report AVX state in use";
    // the detector itself: dirty after a 256-bit write, clean without one
    ASSERT_TRUE(upperDirtyAfter([] {
        asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
    }));
    ASSERT_FALSE(upperDirtyAfter([] {}));

    const rc::pix::FastRows* rows = rc::pix::fastRowsLevel("avx2");
    ASSERT_NE(rows, nullptr);
    std::vector<uint8_t> src = pixtest::randomVector(64 * 4 * 4), dst(64 * 4 * 4);
    struct Named {
        const char* name;
        rc::pix::RowFn fn;
    };
    const Named rowKernels[] = {{"to16", rows->to16},
                                {"from16", rows->from16},
                                {"to24", rows->to24},
                                {"from24", rows->from24},
                                {"toQ32", rows->toQ32}};
    // 16 pixels is one vector step of the 16-bit kernels; 37 leaves a tail
    for (const Named& k : rowKernels)
        for (int n : {16, 37})
            EXPECT_FALSE(upperDirtyAfter([&] { k.fn(src.data(), dst.data(), n); }))
                << k.name << " over " << n << " pixels";

    // the filters' row kernels, on a picture wide enough for vector steps
    pixtest::RowBlock a(41 * 4, 5, 0, false), b(41 * 4, 5, 0, false);
    a.randomize();
    const rc::pix::Rows ra{a.first(), a.step(), 41, 5}, rb{b.first(), b.step(), 41, 5};
    EXPECT_FALSE(upperDirtyAfter([&] { rc::pix::median3x3(ra, rb, "avx2"); })) << "median";
    const FmKernel3x3 blur{{0, 1, 0, 1, 2, 1, 0, 1, 0}, 6};
    EXPECT_FALSE(upperDirtyAfter([&] { rc::pix::convolve3x3(ra, rb, blur, "avx2"); }))
        << "convolution";

    // the scalers' row kernels
    rc::pix::usePlainScaleKernels(false);
    std::vector<int32_t> i0(37), i1(37), f(37);
    for (int x = 0; x < 37; ++x) i0[x] = x / 2, i1[x] = x / 2 + 1, f[x] = (x * 37) & 255;
    std::vector<uint32_t> sums(64);
    const std::pair<std::string, std::function<void()>> scaleKernels[] = {
        {"lerpPixels",
         [&] {
             rc::pix::lerpPixels(src.data(), 20, dst.data(), i0.data(), i1.data(), f.data(), 37);
         }},
        {"pickPixels", [&] { rc::pix::pickPixels(src.data(), dst.data(), i0.data(), 37); }},
        {"halvePixels",
         [&] { rc::pix::halvePixels(src.data(), src.data() + 320, dst.data(), 37); }},
        {"lerpBytes", [&] { rc::pix::lerpBytes(src.data(), src.data() + 64, dst.data(), 64, 77); }},
        {"addBytes", [&] { rc::pix::addBytes(sums.data(), src.data(), 64); }},
        {"divideSums", [&] { rc::pix::divideSums(sums.data(), dst.data(), 64, 3); }},
    };
    for (const auto& [name, call] : scaleKernels) EXPECT_FALSE(upperDirtyAfter(call)) << name;
#else
    GTEST_SKIP() << "x86-64 only";
#endif
}

}  // namespace
