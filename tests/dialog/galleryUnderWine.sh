#!/usr/bin/env bash
# The pages the preview dialog's gallery commands write under Wine, checked
# outside Windows: the gallery tests of dialog_tests run with an output
# folder that keeps their presets and pages, then tidy reads each page and
# headless Chromium loads it with every picture.
#
#   bash galleryUnderWine.sh DIALOG_TESTS_EXE SCRATCH
# Needs DISPLAY (Xvfb) and WINEPREFIX, as the dialog tests do.
set -euo pipefail

exe=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../apps/pageChecks.sh
. "$here/../apps/pageChecks.sh"

rm -rf "$scratch"
mkdir -p "$scratch/temp" "$scratch/pages"
LAKRA_TEMP="Z:$scratch/temp/" LAKRA_GALLERY_OUTPUT="Z:$scratch/pages" \
    wine "$exe" --gtest_color=no \
    --gtest_filter='GalleryCommands.PageButtonWritesThePresetsPageAndOpensIt:GalleryCommands.RightClickOnTheDotCellWritesTheMemoryDotsPage'

# Each picture shows in a frame of four images: five per cell.
presets="$scratch/pages/PageButtonWritesThePresetsPageAndOpensIt/presets.html"
dots="$scratch/pages/RightClickOnTheDotCellWritesTheMemoryDotsPage/dots.html"
for page in "$presets" "$dots"; do
    [ -s "$page" ] || page_check_fail "no page at $page"
    check_page_tidy "$page"
done
check_page_in_browser "$presets" 15
check_page_in_browser "$dots" 10
echo "the gallery pages written under Wine are well formed and show every picture"
