#!/usr/bin/env bash
# The preview dialog driven by real X input under Wine: `lakra.exe edit` opens
# it on a picture; xdotool presses keys and drags with the mouse as a user
# would, so the dialog's own hit-testing is what is exercised. Screenshots go
# to the artifacts folder.
#
#   bash dialogUnderWine.sh LAKRA_EXE ARTIFACTS SCRATCH
# Needs DISPLAY (Xvfb), WINEPREFIX, xdotool and ImageMagick.
set -euo pipefail

exe=$1
artifacts=$2
scratch=$3
mkdir -p "$artifacts" "$scratch"
rm -rf "$scratch"/*.ppm "$scratch"/*.log "$scratch/temp"
mkdir -p "$scratch/temp"
# Memory dots and the cached look live in the temp folder: one of our own.
export LAKRA_TEMP="Z:$scratch/temp/"

convert -size 360x240 -seed 7 plasma:steelblue-navy -depth 8 "$scratch/in.ppm"
winePath() { echo "Z:$1"; }

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts the dialog in the background; sets pid, window and the pixel scale
# of a dialog unit (the window is the dialog's client area: no window
# manager draws a frame).
openDialog() {
    local out=$1
    shift
    rm -f "$out"
    wine "$exe" edit "$(winePath "$scratch/in.ppm")" "$(winePath "$out")" "$@" \
        >"$scratch/edit.log" 2>&1 &
    pid=$!
    window=""
    for _ in $(seq 1 90); do
        window=$(xdotool search --onlyvisible --name '^Lakra$' 2>/dev/null | head -n 1 || true)
        [[ -n $window ]] && break
        sleep 1
    done
    [[ -n $window ]] || fail "the dialog did not open: $(cat "$scratch/edit.log")"
    sleep 2 # the first preview
    eval "$(xdotool getwindowgeometry --shell "$window")"
    left=$X
    top=$Y
    width=$WIDTH
    height=$HEIGHT
    xdotool windowfocus "$window"
    sleep 0.5
}

# Screen position of a point given in dialog units.
at() {
    echo "$((left + $1 * width / 506)) $((top + $2 * height / 331))"
}

# A click at a point given in dialog units.
clickAt() {
    local x y
    read -r x y <<<"$(at "$1" "$2")"
    xdotool mousemove "$x" "$y" click 1
}

# Waits for the dialog's process to end; sets status to its exit code. Not
# run in a subshell: only this shell may wait for its own child.
closed() {
    for _ in $(seq 1 120); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 1
    done
    status=0
    wait "$pid" || status=$?
}

shot() {
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$artifacts/$1"
}

apply() {
    local out=$1
    shift
    wine "$exe" apply "$(winePath "$scratch/in.ppm")" "$(winePath "$out")" "$@" \
        >"$scratch/apply.log" 2>&1 || fail "apply failed: $(cat "$scratch/apply.log")"
}

# 1. Return confirms the incoming look: the same image as apply.
openDialog "$scratch/return.ppm" --set waviness=70
shot dialog-default.png
xdotool key Return
closed
[[ $status == 0 ]] || fail "Return did not confirm: $(cat "$scratch/edit.log")"
apply "$scratch/apply-return.ppm" --set waviness=70
cmp -s "$scratch/return.ppm" "$scratch/apply-return.ppm" || fail "Return: not the look of apply"
echo "ok: Return confirms the incoming look"

# 2. A knob dragged past the right end of Blur gives 100; OK by mouse.
openDialog "$scratch/drag.ppm"
read -r x y <<<"$(at 300 170)"
xdotool mousemove "$x" "$y" mousedown 1
sleep 0.3
read -r x y <<<"$(at 505 170)"
xdotool mousemove "$x" "$y"
sleep 0.3
xdotool mouseup 1
sleep 1
shot dialog-blur-dragged.png
clickAt 417 316
closed
[[ $status == 0 ]] || fail "OK did not confirm: $(cat "$scratch/edit.log")"
apply "$scratch/apply-drag.ppm" --set blur=100
cmp -s "$scratch/drag.ppm" "$scratch/apply-drag.ppm" || fail "drag: not blur 100"
echo "ok: dragging Blur past its end and OK give blur 100"

# 3. Dice, zoom in and a memory dot, then Escape: nothing written, exit 1,
# and the look cached by the last confirmed run stays as it was.
cached="$scratch/temp/Lakra cached settings D"
[[ -s $cached ]] || fail "OK cached no look"
cp "$cached" "$scratch/cached-before"
openDialog "$scratch/cancel.ppm"
clickAt 84 192
sleep 2
shot dialog-dice.png
clickAt 40 155
sleep 2
shot dialog-zoomed.png
for dot in 3 4 5; do
    clickAt $((14 + dot * 14)) 273
    sleep 1
done
shot dialog-dots.png
stored=$(cd "$scratch/temp" && ls -- *memory\ dot* 2>/dev/null | tr '\n' ',' || true)
# Slot 0 keeps the look the dialog opened with; the clicked slots hold theirs.
[[ $stored == "Lakra A memory dot 0.q8r,Lakra A memory dot 3.q8r,Lakra A memory dot 4.q8r,Lakra A memory dot 5.q8r," ]] ||
    fail "clicking three dots stored: '$stored'"
# A stored dot carries a thumbnail of the pane's picture: the blue water, not
# the grey placeholder.
wine "$exe" preset thumbnail "$(winePath "$scratch/temp/Lakra A memory dot 3.q8r")" \
    "$(winePath "$scratch/dot3.ppm")" >"$scratch/thumb.log" 2>&1 ||
    fail "dot 4 has no thumbnail: $(cat "$scratch/thumb.log")"
convert "$scratch/dot3.ppm" "$artifacts/dialog-dot-thumbnail.png"
read -r blue red <<<"$(convert "$scratch/dot3.ppm" -format '%[fx:int(255*mean.b)] %[fx:int(255*mean.r)]' info:)"
((blue > red + 30)) || fail "dot 4's thumbnail is not the picture (blue $blue, red $red)"
xdotool key Escape
closed
[[ $status == 1 ]] || fail "Escape: exit $status, expected 1"
[[ ! -e $scratch/cancel.ppm ]] || fail "Escape wrote an image"
grep -q -- "-128" "$scratch/edit.log" || fail "Escape: no cancel code reported"
cmp -s "$cached" "$scratch/cached-before" || fail "Escape changed the cached look"
echo "ok: Escape writes nothing and exits with 1"

# The Cancel button after a change: the same, by mouse.
openDialog "$scratch/cancel-button.ppm"
clickAt 84 192
sleep 1
clickAt 471 316
closed
[[ $status == 1 && ! -e $scratch/cancel-button.ppm ]] || fail "Cancel: exit $status or an image"
cmp -s "$cached" "$scratch/cached-before" || fail "Cancel changed the cached look"
echo "ok: Cancel writes nothing and leaves the cached look"

# 4. Load: the open dialog's side panel shows the selected file's thumbnail;
# Open and OK render the file's look, as apply --preset does.
mkdir -p "$scratch/presets"
wine "$exe" preset save "$(winePath "$scratch/presets/harbour.q8r")" --set waviness=90 \
    --set blur=5 --image "$(winePath "$scratch/in.ppm")" >"$scratch/save.log" 2>&1 ||
    fail "preset save: $(cat "$scratch/save.log")"
openDialog "$scratch/load.ppm"
clickAt 128 192
box=""
for _ in $(seq 1 30); do
    box=$(xdotool search --onlyvisible --name '^Open a settings file$' 2>/dev/null | head -n 1 || true)
    [[ -n $box ]] && break
    sleep 0.5
done
[[ -n $box ]] || fail "Load opened no open dialog"
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool windowfocus "$box"
sleep 0.5
# The file name box takes a folder (Windows separators) and Return goes there;
# the folder's one file is then first in the list.
xdotool type "Z:$(echo "$scratch/presets" | tr / '\\')"
xdotool key Return
sleep 1.5
xdotool mousemove $((X + 150)) $((Y + 43)) click 1
sleep 1.5
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$artifacts/dialog-open-thumbnail.png"
read -r blue red <<<"$(convert "$artifacts/dialog-open-thumbnail.png" -crop 140x120+664+34 \
    -format '%[fx:int(255*mean.b)] %[fx:int(255*mean.r)]' info:)"
((blue > red + 30)) || fail "the open dialog shows no thumbnail (blue $blue, red $red)"
xdotool mousemove $((X + 590)) $((Y + 304)) click 1
sleep 4 # the open dialog goes, the file's look is rendered
shot dialog-loaded.png
clickAt 417 316
closed
[[ $status == 0 ]] || fail "OK after Load did not confirm: $(cat "$scratch/edit.log")"
apply "$scratch/apply-load.ppm" --preset "$(winePath "$scratch/presets/harbour.q8r")"
cmp -s "$scratch/load.ppm" "$scratch/apply-load.ppm" || fail "Load: not the file's look"
echo "ok: Load shows the thumbnail and renders the file's look"

# 5. At 144 dots per inch the same dialog is laid out larger; a screenshot
# shows whether it is drawn right. The setting is undone on the way out.
setDpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}
trap 'setDpi 96' EXIT
setDpi 144
openDialog "$scratch/dpi.ppm"
shot dialog-144dpi.png
clickAt 84 192
sleep 2
shot dialog-144dpi-dice.png
clickAt 40 155
sleep 2
shot dialog-144dpi-zoomed.png
xdotool key Escape
closed
[[ $status == 1 ]] || fail "Escape at 144 dpi: exit $status, expected 1"
echo "ok: the dialog opens and closes at 144 dots per inch (dialog-144dpi.png)"
