# Checks of a written gallery page, for the scripts that write pages (source
# this file): tidy finds no errors in it, and headless Chromium loads it with
# every picture. A tool that is missing skips its check.

page_check_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# check_page_tidy PAGE: warnings are fine, errors are not (tidy's words go to PAGE.tidy.log).
check_page_tidy() {
    command -v tidy > /dev/null 2>&1 || return 0
    local status=0
    tidy -q -e "$1" 2> "$1.tidy.log" || status=$?
    [ "$status" -lt 2 ] || page_check_fail "tidy found errors in $1: $(cat "$1.tidy.log")"
}

# check_page_in_browser PAGE PICTURES [SCREENSHOT]: PICTURES images, none broken.
check_page_in_browser() {
    local status=0
    python3 "$(dirname "${BASH_SOURCE[0]}")/pageInBrowser.py" "$@" || status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || page_check_fail "$1 did not load in Chromium"
}
