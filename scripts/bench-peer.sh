#!/usr/bin/env bash
# Times `lakra apply` against G'MIC's one-step reflection (fx_reflect, the
# free filter closest to ours: horizon at 60 %, waves on, tilt and zoom
# neutral) on the same 12-megapixel picture, PPM in and out, both with two
# threads. Runs alternate so that both see the same machine; prints the
# median wall time and peak resident memory of each and the ratio.
#
#   bash scripts/bench-peer.sh [RUNS] [LAKRA]
#
# RUNS defaults to 5; LAKRA to the Release build's command line
# (build/native/apps/lakra/lakra, made by `cmake --preset native` and
# `cmake --build build/native --target lakra`). Needs gmic (Debian's package)
# and ImageMagick. Run it on a quiet machine: the figures are only as good as
# the machine is idle.
set -euo pipefail

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
lakra=${2:-$root/build/native/apps/lakra/lakra}

for tool in gmic convert /usr/bin/time; do
    command -v "$tool" >/dev/null || {
        echo "bench-peer: $tool is missing (apt-get install gmic imagemagick time)" >&2
        exit 2
    }
done
[[ -x $lakra ]] || {
    echo "bench-peer: no $lakra; build it with: cmake --preset native && cmake --build build/native --target lakra" >&2
    exit 2
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/in.ppm
convert -size 4000x3000 -seed 7 plasma:steelblue-navy -depth 8 "$input"

# One run: "seconds kilobytes" of the command, from GNU time.
measure() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/log" || {
        cat "$work/log" >&2
        exit 1
    }
    cat "$work/time"
}

runLakra() {
    measure "$lakra" apply --threads 2 "$input" "$work/lakra.ppm"
}

runPeer() {
    OMP_NUM_THREADS=2 measure gmic -v -1 "$input" rows "0,{round(0.6*h)-1}" \
        fx_reflect 66.667,1,110,160,190,64,30,1.5,0,0,7,1 to_rgb o "$work/peer.ppm,uchar"
}

: >"$work/lakra.runs"
: >"$work/peer.runs"
for ((i = 0; i < runs; ++i)); do
    runLakra >>"$work/lakra.runs"
    runPeer >>"$work/peer.runs"
done

# Median of a column of a runs file.
median() {
    cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

lakraSeconds=$(median "$work/lakra.runs" 1)
peerSeconds=$(median "$work/peer.runs" 1)
lakraPeak=$(median "$work/lakra.runs" 2)
peerPeak=$(median "$work/peer.runs" 2)
echo "machine: $(nproc) processors, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "picture: 4000 x 3000, 8-bit RGB PPM; $runs alternating runs each, 2 threads; medians"
printf 'lakra apply: %6.2f s, peak %4d MB\n' "$lakraSeconds" $((${lakraPeak%.*} / 1024))
printf 'gmic reflect: %6.2f s, peak %4d MB\n' "$peerSeconds" $((${peerPeak%.*} / 1024))
awk -v a="$lakraSeconds" -v b="$peerSeconds" 'BEGIN {
    printf "lakra takes %.2fx the peer'"'"'s wall time\n", a / b }'
