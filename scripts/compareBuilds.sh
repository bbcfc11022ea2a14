#!/usr/bin/env bash
# Runs the filter on the same test images with the native `lakra` and, under
# Wine, with the Windows `lakra.exe` loading Lakra.8bf by path, and checks
# that the two results agree.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=${1:-$root/build/native-asan/apps/lakra/lakra}
windows=${2:-$root/build/windows/apps/lakra/lakra.exe}
plugin=${3:-$root/build/windows/Lakra.8bf}
work="$root/build/cross"
rm -rf "$work" && mkdir -p "$work"
python3 "$root/scripts/crossImages.py" make "$work"

export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix}

# name, extension, and the look each runs with
runs=(
    "rgb8 ppm"
    "grey8 pgm"
    "rgb16 ppm"
    "grey16 pgm"
    "rgba8 pam"
    "greyalpha16 pam"
    "rgb32 pfm"
    "grey32 pfm"
)
look=(--set waviness=80 --set rippleSize=40 --set yCenter=0.8 --set blur=50 --glue multiply)
failed=0
for run in "${runs[@]}"; do
    read -r name ext <<<"$run"
    for masked in no yes; do
        extra=()
        suffix=""
        if [ "$masked" = yes ]; then
            extra=(--mask "$work/mask.pgm")
            suffix="-masked"
        fi
        out="$name$suffix.$ext"
        "$native" apply "$work/$name.$ext" "$work/linux-$out" "${look[@]}" "${extra[@]}"
        wine "$windows" apply --plugin "$plugin" "$work/$name.$ext" "$work/windows-$out" \
            "${look[@]}" "${extra[@]}"
        python3 "$root/scripts/crossImages.py" compare "$work/linux-$out" "$work/windows-$out" ||
            failed=$((failed + 1))
    done
done
echo "cross-build comparison: $(( ${#runs[@]} * 2 - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
