#!/usr/bin/env bash
# Sets up the machine, checks the formatting and static analysis of the
# changed files, then builds and runs every test: natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, the render driver's and
# level building's suites under ThreadSanitizer, the Release build with the
# benchmarks (built, not run), the fuzz targets under libFuzzer, and the
# Windows build's test executables under Wine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh

# How long each step took, for keeping the run within its budget.
stepStart=$SECONDS
stepDone() { echo "--- $1: $((SECONDS - stepStart)) s"; stepStart=$SECONDS; }

echo "=== native build under AddressSanitizer + UBSan"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cmake --preset native-asan >/dev/null

echo "=== formatting and static analysis of the changed files"
# After the configure step: clang-tidy reads its compile commands.
bash scripts/checkStyle.sh
# The portable folders include one another one way only.
bash scripts/includeGraph.sh
stepDone "format, analysis and layers"

cmake --build --preset native-asan
ctest --preset native-asan
stepDone "native-asan build and tests"

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "=== the render driver, shading and level building under ThreadSanitizer"
cmake --preset native-tsan "${launcher[@]}" >/dev/null
cmake --build --preset native-tsan
mkdir -p build/native-tsan/temp
for suite in render_tests pyramid_tests; do
    TSAN_OPTIONS=halt_on_error=1 LAKRA_TEMP="$root/build/native-tsan/temp/" \
        "build/native-tsan/tests/$suite" --gtest_brief=1
done
stepDone "ThreadSanitizer build and runs"

echo "=== native Release build with the benchmarks (built, not run)"
cmake --preset native "${launcher[@]}" >/dev/null
cmake --build --preset native
if [ ! -x build/native/bench/lakra_bench ]; then
    echo "the benchmarks were not built (is Google Benchmark installed?)" >&2
    exit 1
fi
stepDone "native Release build"

echo "=== the fuzz targets under libFuzzer (clang, ASan + UBSan), bounded runs"
fuzzBuild="$root/build/fuzz"
fuzzTargets=(preset_reader_fuzz resource_reader_fuzz script_reader_fuzz netpbm_reader_fuzz
    jpeg_header_fuzz tiff_reader_fuzz)
cmake -S "$root" -B "$fuzzBuild" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DLAKRA_LIBFUZZER=ON -DLAKRA_SANITIZE=address,undefined \
    -DLAKRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$fuzzBuild" --target "${fuzzTargets[@]}"
mkdir -p "$fuzzBuild/temp"
for target in "${fuzzTargets[@]}"; do
    # The starting corpus: the seeds, as the sanitized build writes them.
    corpus="$fuzzBuild/corpus/$target"
    rm -rf "$corpus" && mkdir -p "$corpus"
    LAKRA_TEMP="$fuzzBuild/temp/" "$root/build/native-asan/tests/$target" --write-seeds "$corpus"
    echo "--- $target"
    LAKRA_TEMP="$fuzzBuild/temp/" "$fuzzBuild/tests/$target" -runs=30000 -seed=1 \
        -max_len=65536 "$corpus" 2>&1 | tail -n 3
done
stepDone "libFuzzer build and runs"

echo "=== Windows build, tests under Wine"
export WINEDEBUG=-all
export WINEPREFIX="$root/build/windows/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
cmake --preset windows >/dev/null
cmake --build --preset windows
# Some tests open real windows (message boxes), so Wine gets a display.
xvfb-run -a --server-args="-screen 0 1600x1000x24" bash -c '
    wineboot -i >/dev/null 2>&1 || true
    ctest --preset windows
    status=$?
    wineserver -k >/dev/null 2>&1 || true
    exit $status'

echo "=== the Linux and Windows builds give the same images"
bash scripts/compareBuilds.sh "$root/build/native-asan/apps/lakra/lakra" \
    "$root/build/windows/apps/lakra/lakra.exe" "$root/build/windows/Lakra.8bf"
wineserver -k >/dev/null 2>&1 || true

echo "=== all tests passed"
