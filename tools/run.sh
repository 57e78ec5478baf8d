#!/usr/bin/env bash
# One entry point for newcomers and CI.
#   tools/run.sh demo   build, then run the end-to-end demo through reelhost
#   tools/run.sh test   build, then run every test
#   tools/run.sh asan   build with AddressSanitizer/UBSan into build-asan, run every test
#   tools/run.sh tsan   the processor pool tests under ThreadSanitizer
#   tools/run.sh bench  Release build with the peers installed, every benchmark
#                       (median of 3; extra arguments go to each benchmark)
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v pkg-config >/dev/null || need+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/png.h ] || need+=(libpng-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
# FFmpeg's libraries for the media modules, and the command that makes test media.
for lib in libavformat libavcodec libswscale libswresample libavutil; do
    pkg-config --exists "$lib" 2>/dev/null || need+=("$lib-dev")
done
command -v ffmpeg >/dev/null || need+=(ffmpeg)
if [ ${#need[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi

jobs=$(nproc 2>/dev/null || echo 2)
configure() {  # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

case "${1:-}" in
demo)
    configure build
    exec bash tools/demo.sh build
    ;;
test)
    configure build
    cd build && ctest -j"$jobs" --output-on-failure --timeout 600
    ;;
asan)
    configure build-asan -DREEL_SANITIZE=ON -DREEL_BENCH=OFF
    cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest -j"$jobs" --output-on-failure --timeout 900
    ;;
tsan)
    # The processor pool's tests under ThreadSanitizer.
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREEL_BENCH=OFF \
        -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
        -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
    cmake --build build-tsan -j"$jobs" --target reel_tests_timeline
    cd build-tsan && ctest -j"$jobs" --output-on-failure --timeout 600 -R '^(ProcessorPool|ProfileFile)\.'
    ;;
bench)
    shift
    peers=()
    [ -f /usr/include/libyuv.h ] || peers+=(libyuv-dev)
    [ -d /usr/include/opencv4 ] || peers+=(libopencv-dev)
    if [ ${#peers[@]} -gt 0 ]; then
        SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO=sudo
        $SUDO apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${peers[@]}" >/dev/null
    fi
    cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DREEL_TESTS=OFF >/dev/null
    cmake --build build-release -j"$jobs"
    run_bench() {  # binary, arguments...
        # repetitions of ours and the peer's interleaved, so both medians
        # come from the same stretch of a shared machine's load
        "$@" --benchmark_min_time="${REEL_BENCH_MIN_TIME:-0.05}" --benchmark_repetitions=3 \
            --benchmark_enable_random_interleaving="${REEL_BENCH_INTERLEAVE:-true}" \
            --benchmark_report_aggregates_only=true
    }
    for b in build-release/bench/bench_*; do
        [ -x "$b" ] || continue
        echo "== $b"
        run_bench "$b" "$@"
    done
    # OpenMP reads its wait policy at start-up: its figures both ways. In
    # file order, ours before OpenMP's: actively waiting OpenMP workers keep
    # spinning after their benchmark and would take the processors (and add
    # their processor time) from whatever ran after them.
    for policy in active passive; do
        echo "== bench_pixels_buffers with OMP_WAIT_POLICY=$policy"
        OMP_WAIT_POLICY=$policy REEL_BENCH_INTERLEAVE=false run_bench \
            build-release/bench/bench_pixels_buffers --benchmark_filter='Omp|Pool|FillSerial'
    done
    ;;
*)
    echo "usage: tools/run.sh demo|test|asan|tsan|bench" >&2
    exit 2
    ;;
esac
