#!/usr/bin/env bash
# The PSD export from the preview dialog, driven by real X input under Wine:
# `lakra.exe edit` opens the dialog on a 400 x 300 picture; xdotool clicks the
# PSD button, chooses "Same proportions as input" and types the width in the
# size dialog, types the path into the save dialog and waits for the progress
# dialog to write the file. The document must be 1000 x 750 and the same, byte
# for byte, as `lakra.exe psd` writes for the same look and size.
# Screenshots of the size and progress dialogs go to the artifacts folder.
#
#   bash psdExportUnderWine.sh LAKRA_EXE ARTIFACTS SCRATCH
# Needs DISPLAY (Xvfb), WINEPREFIX, xdotool, ImageMagick and oiiotool.
set -euo pipefail

exe=$1
artifacts=$2
scratch=$3
mkdir -p "$artifacts" "$scratch"
rm -rf "$scratch"/*.ppm "$scratch"/*.psd "$scratch"/*.log "$scratch/temp"
mkdir -p "$scratch/temp"
# The cached look and memory dots live in the temp folder: one of our own, so
# that the dialog opens with the default look.
export LAKRA_TEMP="Z:$scratch/temp/"

convert -size 400x300 -seed 11 plasma:khaki-teal -depth 8 "$scratch/in.ppm"
winePath() { echo "Z:$1"; }
windowsPath() { echo "Z:$1" | tr / '\\'; }

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The visible window with this caption; sets window, left, top, width, height.
waitForWindow() {
    local caption=$1 tries=${2:-150}
    window=""
    for _ in $(seq 1 "$tries"); do
        window=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1 || true)
        [[ -n $window ]] && break
        sleep 0.2
    done
    [[ -n $window ]] || return 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    left=$X
    top=$Y
    width=$WIDTH
    height=$HEIGHT
}

# A click at a point given in the dialog units of a template `across` x `down`
# units large (the window is the dialog's client area: no window manager
# draws a frame).
clickAt() {
    local across=$1 down=$2
    xdotool mousemove $((left + $3 * width / across)) $((top + $4 * height / down)) click 1
}

shot() {
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$artifacts/$1"
}

psd=$scratch/dialog.psd
rm -f "$psd"
wine "$exe" edit "$(winePath "$scratch/in.ppm")" "$(winePath "$scratch/edit.ppm")" \
    >"$scratch/edit.log" 2>&1 &
pid=$!
waitForWindow Lakra 450 || fail "the preview dialog did not open: $(cat "$scratch/edit.log")"
sleep 2 # the first preview
xdotool windowfocus "$window"
sleep 0.5
preview=("$left" "$top" "$width" "$height")

# The PSD button (control 69, at 74, 206 and 20 x 17 units of the 506 x 331 template).
clickAt 506 331 84 214
waitForWindow "Export PSD image" || fail "the PSD button opened no size dialog"
sleep 0.5
shot psd-size.png
# "Same proportions as input", then the width typed over: the height follows.
clickAt 188 112 40 29
sleep 0.3
clickAt 188 112 82 60
xdotool key End shift+Home
xdotool type 1000
sleep 0.5
shot psd-size-typed.png
clickAt 188 112 99 99 # OK

waitForWindow "Save a PSD file" || fail "OK opened no save dialog"
xdotool windowfocus "$window"
sleep 1
# The name box has the focus and holds "Lakra result.psd": typed over.
xdotool key End shift+Home
xdotool type "$(windowsPath "$psd")"
xdotool key Return

waitForWindow "PSD file progress" || fail "Save opened no progress dialog"
shot psd-progress.png
for _ in $(seq 1 150); do
    [[ -z $(xdotool search --onlyvisible --name '^PSD file progress$' 2>/dev/null || true) ]] && break
    sleep 0.2
done
[[ -s $psd ]] || fail "the progress dialog wrote no file"

# What outside programs make of it: 1000 x 750.
size=$(identify -format '%w x %h' "$psd[0]" 2>/dev/null) || fail "identify cannot read the document"
[[ $size == "1000 x 750" ]] || fail "identify: $size, expected 1000 x 750"
oiiotool --info "$psd" >"$scratch/oiio.log" 2>&1 || fail "oiiotool: $(cat "$scratch/oiio.log")"
grep -Eq "1000 x +750" "$scratch/oiio.log" || fail "oiiotool: $(cat "$scratch/oiio.log")"
wine "$exe" psd "$(winePath "$scratch/in.ppm")" "$(winePath "$scratch/command.psd")" \
    --same-proportions 1000 >"$scratch/psd.log" 2>&1 || fail "lakra psd: $(cat "$scratch/psd.log")"
cmp "$psd" "$scratch/command.psd" || fail "the dialog's document is not the one lakra psd writes"
echo "ok: the PSD button writes the 1000 x 750 document of lakra psd"

# The preview dialog is still there; Cancel ends the run without an image.
read -r left top width height <<<"${preview[*]}"
xdotool windowfocus "$(xdotool search --onlyvisible --name '^Lakra$' | head -n 1)"
clickAt 506 331 471 316
for _ in $(seq 1 120); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
done
status=0
wait "$pid" || status=$?
[[ $status == 1 && ! -e $scratch/edit.ppm ]] || fail "Cancel: exit $status or an image"
echo "ok: the preview dialog is cancelled after the export"
