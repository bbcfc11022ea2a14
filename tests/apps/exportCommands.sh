#!/usr/bin/env bash
# `lakra psd` and `lakra gallery` end to end: documents read back by
# OpenImageIO and ImageMagick, the page checked by tidy and loaded in
# headless Chromium. Tools that are missing skip their part.
# usage: exportCommands.sh LAKRA WORK_FOLDER SCREENSHOT
set -euo pipefail
lakra=$1
work=$2
screenshot=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=pageChecks.sh
. "$here/pageChecks.sh"
have() { command -v "$1" > /dev/null 2>&1; }
have oiiotool || { echo "oiiotool is missing"; exit 77; }

# Opaque inputs in the three depths, and one with transparency.
oiiotool --pattern fill:topleft=0.9,0.6,0.2:topright=0.2,0.5,0.9:bottomleft=0.1,0.2,0.1:bottomright=0.8,0.8,0.7 \
    96x64 3 -d uint8 -o in8.png
oiiotool in8.png -d uint16 -o in16.png
oiiotool in8.png -d float -o in32.exr
oiiotool in8.png --ch R,G,B,A=0.5 -d uint8 -o alpha8.png

check_document() { # FILE WIDTH HEIGHT TYPE
    local info
    info=$(oiiotool --info "$1")
    [[ $info =~ $2\ x\ +$3,\ 3\ channel,\ $4\ psd ]] || fail "$1: $info"
}

for input in in8.png in16.png in32.exr; do
    name=${input%.*}
    "$lakra" psd "$input" "$name.psd" --set rippleHeight=60 2> "$name.log"
    grep -q "rendering" "$name.log" || fail "no progress on stderr for $input"
    "$lakra" apply "$input" "$name-apply.${input#*.}" --set rippleHeight=60
    case $name in in8) type=uint8 ;; in16) type=uint16 ;; in32) type=float ;; esac
    check_document "$name.psd" 96 64 "$type"
    # Opaque, so the merged image is the layer: the filter's result within one 8-bit step.
    oiiotool "$name.psd" "$name-apply.${input#*.}" --fail 0.004 --diff > "$name.diff" ||
        fail "$name.psd differs from apply: $(cat "$name.diff")"
    if have identify; then
        layers=$(identify -format '%s %l %wx%h\n' "$name.psd")
        [[ $layers == *"1 layer 1 96x64"* ]] || fail "ImageMagick sees no layer 1 in $name.psd: $layers"
    fi
done

# The size choices, and the clamps of the size dialog.
"$lakra" psd in8.png proportions.psd --same-proportions 48 2> /dev/null
check_document proportions.psd 48 32 uint8
"$lakra" psd in8.png custom.psd --size 1x40000 2> /dev/null
check_document custom.psd 2 30000 uint8
"$lakra" psd alpha8.png alpha.psd 2> /dev/null
if have identify; then
    [[ $(identify -format '%s %A\n' alpha.psd) == *"1 True"* ]] || fail "the layer lost its alpha"
fi
status=0
"$lakra" psd in8.png bad.psd --size 12 2> /dev/null || status=$?
[ "$status" -eq 2 ] || fail "--size 12 gave exit $status"

# A document too large for the format is refused, and the file there stays.
echo "kept" > big.psd
status=0
"$lakra" psd in16.png big.psd --size 30000x30000 2> big.log || status=$?
[ "$status" -eq 1 ] && grep -q "too large" big.log || fail "30000 x 30000 at 16 bits: exit $status"
[ "$(cat big.psd)" = "kept" ] || fail "a refused export changed the file"

# Ctrl-C during a long render: exit 130, no partial document, the file there
# untouched. The signal goes once the first percentage arrives through a
# FIFO, which is drained to the end so that the program never writes into a
# closed pipe.
echo "kept" > cancelled.psd
mkfifo progress.fifo
"$lakra" psd in8.png cancelled.psd --size 8000x8000 2> progress.fifo &
pid=$!
exec 3< progress.fifo
while IFS= read -r line <&3; do
    echo "$line" >> cancelled.log
    [[ $line == *%* ]] && break
done
kill -INT "$pid" 2> /dev/null || true
cat <&3 >> cancelled.log
exec 3<&-
status=0
wait "$pid" || status=$?
[ "$status" -eq 130 ] || fail "Ctrl-C during the render gave exit $status: $(cat cancelled.log)"
grep -q "cancelled, nothing written" cancelled.log || fail "no word of the cancel: $(cat cancelled.log)"
[ ! -e cancelled.psd.partial ] || fail "the partial document was left behind"
[ "$(cat cancelled.psd)" = "kept" ] || fail "a cancelled export changed the file"

# The gallery: six presets make two rows; names with a blank, an ampersand
# and a Latin-1 byte.
mkdir presets
for name in "river & sea" calm $'caf\xe9' storm night dawn; do
    "$lakra" preset save "presets/$name.q8r" --image in8.png $("$lakra" dice --seed ${#name})
done
echo "not a preset" > presets/notes.txt
mkdir presets/sub.q8r
"$lakra" gallery presets page.html 2> gallery.log
grep -q "presets page 100%" gallery.log || fail "no progress on stderr: $(cat gallery.log)"
for picture in top left right bottom; do
    [ -s "web_images/$picture.gif" ] || fail "web_images/$picture.gif is missing"
done
[ "$(ls web_images/*.jpg | wc -l)" -eq 6 ] || fail "expected six pictures: $(ls web_images)"
[ "$(grep -c '<tr>' page.html)" -ge 4 ] || fail "expected two rows and their tails"
grep -q 'src="web_images/river%20%26%20sea.jpg"' page.html || fail "the src is not URL-encoded"
grep -q 'river &amp; sea</font>' page.html || fail "the caption is not escaped"
if have identify; then
    identify web_images/*.jpg web_images/*.gif > identify.log || fail "unreadable pictures"
fi
check_page_tidy page.html
check_page_in_browser page.html 30 "$screenshot"
echo "all export commands behaved"
