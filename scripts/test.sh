#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows build's
# test executables under Wine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh

echo "=== native build under AddressSanitizer + UBSan"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan

echo "=== the preset reader under libFuzzer (clang, ASan + UBSan), a bounded run"
fuzzBuild="$root/build/fuzz"
cmake -S "$root" -B "$fuzzBuild" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DLAKRA_LIBFUZZER=ON -DLAKRA_SANITIZE=address,undefined \
    -DLAKRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$fuzzBuild" --target preset_reader_fuzz
corpus="$fuzzBuild/corpus"
rm -rf "$corpus" && mkdir -p "$corpus"
LAKRA_TEMP="$corpus/" "$root/build/native-asan/tests/preset_reader_fuzz" --write-seeds "$corpus"
rm -f "$corpus/Lakra fuzz seed"
LAKRA_TEMP="$fuzzBuild/" "$fuzzBuild/tests/preset_reader_fuzz" -runs=30000 -seed=1 \
    -max_len=65536 "$corpus" 2>&1 | tail -n 3

echo "=== Windows build, tests under Wine"
export WINEDEBUG=-all
export WINEPREFIX="$root/build/windows/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
cmake --preset windows >/dev/null
cmake --build --preset windows
# Some tests open real windows (message boxes), so Wine gets a display.
xvfb-run -a --server-args="-screen 0 1024x768x24" bash -c '
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
