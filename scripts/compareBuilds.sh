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

# PNG, JPEG and TIFF: libraries natively, the system's imaging component in the
# Windows build. Lossless files must agree sample for sample (ImageMagick
# compares them); JPEG, decoded and encoded by different code, closely (Wine's
# encoder takes no quality setting and writes quality 75, the Linux build 98).
convert "$work/rgb16.ppm" -depth 16 "$work/photo16.png"
convert "$work/rgb16.ppm" -depth 16 -compress lzw "$work/photo16.tif"
convert "$work/rgba8.pam" "$work/photo8a.png"
convert "$work/grey8.pgm" "$work/photo8g.png"
convert "$work/rgb8.ppm" -quality 92 "$work/photo8.jpg"
files=0
for file in photo16.png photo16.tif photo8a.png photo8g.png photo8.jpg; do
    "$native" apply "$work/$file" "$work/linux-$file" "${look[@]}"
    wine "$windows" apply --plugin "$plugin" "$work/$file" "$work/windows-$file" "${look[@]}"
    files=$((files + 1))
    layout() { identify -format '%w %h %z %[channels]' "$1"; }
    if [ "$(layout "$work/linux-$file")" != "$(layout "$work/windows-$file")" ]; then
        echo "$file: the builds wrote different layouts:" \
            "$(layout "$work/linux-$file") / $(layout "$work/windows-$file")"
        failed=$((failed + 1))
        continue
    fi
    if [ "${file##*.}" = jpg ]; then
        psnr=$(compare -metric PSNR "$work/linux-$file" "$work/windows-$file" null: 2>&1 || true)
        if ! awk -v p="${psnr%% *}" 'BEGIN { exit !(p == "inf" || p + 0 >= 30) }'; then
            echo "$file: the builds differ more than JPEG coding explains (PSNR $psnr)"
            failed=$((failed + 1))
        fi
    else
        differing=$(compare -metric AE "$work/linux-$file" "$work/windows-$file" null: 2>&1 || true)
        if [ "$differing" != 0 ]; then
            echo "$file: $differing samples differ between the builds"
            failed=$((failed + 1))
        fi
    fi
done

echo "cross-build comparison: $(( ${#runs[@]} * 2 + files - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
