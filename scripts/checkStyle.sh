#!/usr/bin/env bash
# Checks the formatting (clang-format) and the static analysis (clang-tidy) of
# the C and C++ files that changed, or of every file with --all.
#
#   bash scripts/checkStyle.sh [--all] [--format-only]
#
# "Changed" means changed between a base revision and the working tree, plus
# files not yet added to git. The base is $LAKRA_CHECK_BASE when set, else
# HEAD~10; when the history (or a shallow clone) is shorter than that, every
# file counts as changed. clang-tidy reads the compile commands of the
# native-asan configuration ($LAKRA_CHECK_BUILD, default build/native-asan),
# so that must be configured first; it checks the .cpp files found there,
# two at a time. Exits 1 with the list of offending files, 2 when a tool or
# the compile commands are missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

all=0
tidy=1
what=""
for argument in "$@"; do
    case "$argument" in
    --all) all=1 ;;
    --format-only) tidy=0 ;;
    *)
        echo "usage: $0 [--all] [--format-only]" >&2
        exit 2
        ;;
    esac
done

# Ten commits: clang-tidy takes seconds to a minute of processor time a file
# (most of it the static analyzer in test bodies), and CI has two cores.
window=10
build=${LAKRA_CHECK_BUILD:-build/native-asan}
sources='\.(c|cc|cpp|h|hpp)$'

for tool in clang-format clang-tidy; do
    if ! command -v "$tool" >/dev/null; then
        echo "checkStyle: $tool is not installed (scripts/setup.sh installs it)" >&2
        exit 2
    fi
done

# One path a line, existing files only, C and C++ sources and headers.
if [ "$all" -eq 1 ]; then
    what="every file"
    list() { git ls-files --cached --others --exclude-standard; }
else
    base=${LAKRA_CHECK_BASE:-}
    if [ -z "$base" ]; then
        if git rev-parse -q --verify "HEAD~$window^{commit}" >/dev/null; then
            base="HEAD~$window"
        else
            # A shorter history: everything in it is new.
            base=$(git hash-object -t tree /dev/null)
            what="every file (the history is shorter than $window commits)"
        fi
    elif ! git rev-parse -q --verify "$base^{tree}" >/dev/null; then
        echo "checkStyle: LAKRA_CHECK_BASE=$base is not a revision of this repository" >&2
        exit 2
    fi
    what=${what:-"the files changed since $base"}
    list() {
        git diff --name-only --diff-filter=d "$base" --
        git ls-files --others --exclude-standard
    }
fi
mapfile -t files < <(list | grep -E "$sources" | sort -u | while IFS= read -r f; do
    [ -f "$f" ] && printf '%s\n' "$f"
done)
echo "checkStyle: ${#files[@]} C/C++ files: $what"

status=0

# Formatting: every file, in one clang-format call per 50 files.
unformatted=()
if [ ${#files[@]} -gt 0 ]; then
    mapfile -t unformatted < <(printf '%s\0' "${files[@]}" |
        xargs -0 -n 50 clang-format --dry-run --Werror 2>&1 |
        sed -n -E 's/^([^:]+):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' |
        sort -u)
fi
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "checkStyle: not formatted as .clang-format says (fix with clang-format -i FILE):"
    printf '    %s\n' "${unformatted[@]}"
    status=1
fi

# Analysis: the .cpp files the compile commands know; headers are checked
# through them, as the HeaderFilterRegex of .clang-tidy says.
if [ "$tidy" -eq 1 ]; then
    database="$build/compile_commands.json"
    if [ ! -f "$database" ]; then
        echo "checkStyle: $database is missing: configure the native-asan preset first" >&2
        exit 2
    fi
    declare -A known=()
    while IFS= read -r f; do
        known[$f]=1
    done < <(python3 -c '
import json, os, sys
for entry in json.load(open(sys.argv[1])):
    print(os.path.relpath(os.path.join(entry["directory"], entry["file"]), sys.argv[2]))
' "$database" "$root")
    tidyFiles=()
    skipped=()
    for f in "${files[@]}"; do
        case "$f" in
        *.cpp | *.cc | *.c) ;;
        *) continue ;;
        esac
        if [ -n "${known[$f]:-}" ]; then
            tidyFiles+=("$f")
        else
            skipped+=("$f")
        fi
    done
    if [ ${#skipped[@]} -gt 0 ]; then
        echo "checkStyle: not built natively, so not analysed: ${skipped[*]}"
    fi
    logs=$(mktemp -d)
    trap 'rm -rf "$logs"' EXIT
    if [ ${#tidyFiles[@]} -gt 0 ]; then
        echo "checkStyle: clang-tidy on ${#tidyFiles[@]} files"
        # Each file's findings go to a log of its own; a failing file leaves
        # its name in "failed".
        printf '%s\0' "${tidyFiles[@]}" | xargs -0 -n 1 -P 2 sh -c '
            log="$2/$(printf "%s" "$3" | tr "/" "_").log"
            if ! clang-tidy -p "$1" --quiet "$3" >"$log" 2>&1; then
                printf "%s\n" "$3" >>"$2/failed"
            fi' sh "$build" "$logs" || true
    fi
    if [ -s "$logs/failed" ]; then
        mapfile -t failed < <(sort "$logs/failed")
        for f in "${failed[@]}"; do
            echo "--- clang-tidy: $f"
            grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Use -system-headers' \
                "$logs/$(printf '%s' "$f" | tr '/' '_').log" || true
        done
        echo "checkStyle: clang-tidy found problems in:"
        printf '    %s\n' "${failed[@]}"
        status=1
    fi
fi

if [ "$status" -eq 0 ]; then
    echo "checkStyle: clean"
fi
exit "$status"
