#!/usr/bin/env bash
# The plug-in must load and run on any x86-64 processor: instructions beyond
# the SSE2 baseline (AVX, AVX2, AVX-512, SSSE3, SSE4.1) may appear only in
# the functions that the start-up check of the processor's features chooses
# (our vector variants, and libjpeg-turbo's own, which checks for itself).
#   vectorCodeBehindDispatch.sh OBJDUMP MODULE
set -euo pipefail
objdump=$1
module=$2

chosen='gradientNoise8|waveSum8|rgba8BlockAvx2|rgba8BlockSse4|trilinearRowAvx2|rgba16BlockAvx2|rgba16BlockSse4|trilinearRow16Avx2|trilinearRow16Sse4|jsimd_[a-z0-9_.]*(avx2|sse41)'
# Mnemonics (AT&T, as objdump prints them) of SSE3 and later, and any use of
# the 256- and 512-bit registers. (tzcnt is left out: older processors run it
# as bsf, which gives the same answer for the non-zero values compilers pass.)
beyond='^(p(mulld|movzx[a-z]*|movsx[a-z]*|blendvb|blendw|test|insr[bdq]|extr[bdq]|shufb|maxs[bd]|mins[bd]|maxu[wd]|minu[wd]|cmpeqq|cmpgtq|ackusdw|hadd[a-z]*|hsub[a-z]*|abs[bwd]|alignr|maddubsw|mulhrsw|sign[bwd]|cmp[ei]str[im]|dep|ext)|blendv?p[sd]|round[sp][sd]|dpp[sd]|insertps|extractps|movntdqa|mpsadbw|phminposuw|haddp[sd]|hsubp[sd]|addsubp[sd]|movddup|movs[hl]dup|lddqu|crc32[a-z]*|v[a-z0-9]*|lzcnt|popcnt|andn|bextr|shlx|shrx|sarx|rorx)$'

"$objdump" -d "$module" >/dev/null || { echo "FAIL: $objdump cannot read $module" >&2; exit 1; }
offenders=$("$objdump" -d "$module" |
    awk -F '\t' -v beyond="$beyond" '
        /^[0-9a-f]+ <.*>:$/ { split($0, label, " "); name = label[2]; next }
        NF >= 3 { split($3, words, " "); if (words[1] ~ beyond || $3 ~ /%[yz]mm/) print name }' |
    sort -u | { grep -v -E "$chosen" || true; })
if [[ -n $offenders ]]; then
    echo "FAIL: instructions beyond SSE2 outside the chosen vector variants:" >&2
    echo "$offenders" >&2
    exit 1
fi
echo "vector code only behind the processor check: ok"
