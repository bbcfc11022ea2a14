#!/usr/bin/env bash
# lakra maps OpenImageIO only for the files that need it: --help, netpbm
# files, plain PNGs in and out, plain JPEGs out, JPEG pixels in, JPEG to
# JPEG and plain TIFF and OpenEXR files in and out load none of its libraries (and so run under a tight address-space
# limit), a JPEG's records written to another format load the image module
# beside lakra, and a lakra without that module says what those files need.
# usage: lightStartup.sh LAKRA WORK_FOLDER
set -euo pipefail
lakra=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The libraries a run loads, as the dynamic loader reports them.
loaded() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -o 'calling init: [^ ]*' || true; }

printf 'P6\n8 6\n255\n' > in.ppm
head -c 144 /dev/urandom >> in.ppm

for run in "--help" "modes" "apply in.ppm out.ppm --set rippleHeight=40"; do
    # shellcheck disable=SC2086 # the run's words
    libraries=$(loaded "$lakra" $run)
    [[ -n $libraries ]] || fail "lakra $run: the loader reported nothing"
    if oiio=$(grep -e OpenImageIO -e lakra_oiio <<< "$libraries"); then
        fail "lakra $run loads $oiio"
    fi
done
[[ -s out.ppm ]] || fail "no out.ppm"

# Without OpenImageIO's libraries lakra needs little address space. (The
# sanitizers reserve terabytes for themselves, so a sanitized lakra is not
# held to it.)
# (grep reads all of ldd's output: with -q it could stop early and fail the
# pipe under pipefail.)
if ! ldd "$lakra" | grep -e libasan -e libtsan >/dev/null; then
    (ulimit -v 409600 && "$lakra" apply in.ppm limited.ppm) || fail "apply under a 400 MB limit"
    cmp -s out.ppm limited.ppm || fail "the limited run wrote another image"
fi

# PNG in and out, JPEG out, JPEG in and JPEG to JPEG (the metadata carried
# verbatim, the README's main job) need no module; a JPEG's metadata into a
# PNG loads it.
camera=/usr/share/backgrounds/mate/nature/Storm.jpg
jpegToJpeg="apply out.jpg again.jpg"
[[ -f $camera ]] && jpegToJpeg="apply $camera again.jpg"
for run in "apply in.ppm out.png" "apply out.png back.ppm" "apply out.png again.png" \
    "apply in.ppm out.jpg" "apply out.jpg back.ppm" "$jpegToJpeg"; do
    # shellcheck disable=SC2086 # the run's words
    if oiio=$(grep -e OpenImageIO -e lakra_oiio <<< "$(loaded "$lakra" $run)"); then
        fail "lakra $run loads $oiio"
    fi
done
[[ -s back.ppm && -s again.png && -s out.jpg && -s again.jpg ]] ||
    fail "no back.ppm, again.png, out.jpg or again.jpg"
if ! ldd "$lakra" | grep -e libasan -e libtsan >/dev/null; then
    # shellcheck disable=SC2086 # the run's words
    (ulimit -v 409600 && "$lakra" $jpegToJpeg) || fail "lakra $jpegToJpeg under a 400 MB limit"
fi
grep -q lakra_oiio <<< "$(loaded "$lakra" apply out.jpg out2.png)" || fail "no module for the records"

# TIFF in and out (8, 16 and float), and a TIFF's pixels into another format,
# need no module; its records into a PNG load it.
printf 'PF\n5 4\n-1.0\n' > in.pfm
head -c 240 /dev/zero >> in.pfm
for run in "apply in.ppm out.tif" "apply out.tif again.tif" "apply again.tif back.ppm" \
    "apply in.pfm float.tif" "apply float.tif float2.tif"; do
    # shellcheck disable=SC2086 # the run's words
    if oiio=$(grep -e OpenImageIO -e lakra_oiio <<< "$(loaded "$lakra" $run)"); then
        fail "lakra $run loads $oiio"
    fi
done
[[ -s out.tif && -s again.tif && -s float2.tif ]] || fail "no out.tif, again.tif or float2.tif"
if ! ldd "$lakra" | grep -e libasan -e libtsan >/dev/null; then
    (ulimit -v 409600 && "$lakra" apply out.tif limited.tif) || fail "TIFF to TIFF under a 400 MB limit"
fi
grep -q lakra_oiio <<< "$(loaded "$lakra" apply out.tif out3.png)" || fail "no module for the TIFF's records"
grep -q lakra_oiio <<< "$(LAKRA_TIFF=module loaded "$lakra" apply out.tif out4.tif)" ||
    fail "LAKRA_TIFF=module without the module"

# OpenEXR in and out, likewise.
for run in "apply in.ppm out.exr" "apply out.exr again.exr" "apply again.exr back.pfm"; do
    # shellcheck disable=SC2086 # the run's words
    if oiio=$(grep -e OpenImageIO -e lakra_oiio <<< "$(loaded "$lakra" $run)"); then
        fail "lakra $run loads $oiio"
    fi
done
[[ -s again.exr && -s back.pfm ]] || fail "no again.exr or back.pfm"
if ! ldd "$lakra" | grep -e libasan -e libtsan >/dev/null; then
    (ulimit -v 409600 && "$lakra" apply out.exr limited.exr) || fail "EXR to EXR under a 400 MB limit"
fi
grep -q lakra_oiio <<< "$(LAKRA_EXR=module loaded "$lakra" apply out.exr out4.exr)" ||
    fail "LAKRA_EXR=module without the module"

# Alone in a folder, lakra still handles netpbm files, plain PNGs, JPEGs and
# TIFFs, and explains the rest.
mkdir alone
cp "$lakra" alone/lakra
alone/lakra apply in.ppm alone.ppm || fail "netpbm without the module"
alone/lakra apply out.png alone.png || fail "a PNG without the module"
alone/lakra apply out.jpg alone.ppm || fail "a JPEG without the module"
alone/lakra apply out.jpg alone.jpg || fail "JPEG to JPEG without the module"
alone/lakra apply out.tif alone.tif || fail "TIFF to TIFF without the module"
alone/lakra apply out.exr alone.exr || fail "EXR to EXR without the module"
# A TIFF with metadata needs the module to carry it.
cp out.tif tagged.tif
tiffset -s 315 "Lakra Tester" tagged.tif
for run in "apply out.jpg x.png" "apply tagged.tif x.tif"; do
    # shellcheck disable=SC2086 # the run's words
    if message=$(alone/lakra $run 2>&1); then
        fail "lakra $run without the module succeeded"
    fi
    [[ $message == *" files need liblakra_oiio.so beside lakra ("* ]] || fail "lakra $run: $message"
done
echo "light start-up: ok"
