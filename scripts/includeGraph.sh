#!/usr/bin/env bash
# Prints which portable folder includes which (one line per edge, with the
# number of #include lines behind it) and the folders from the bottom layer
# up. Exits 1 when the folders include each other in a cycle, naming the
# folders of the cycle.
#
#   bash scripts/includeGraph.sh [ROOT]
set -euo pipefail

root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root"

# The portable folders, each a library of its own; the command-line host is
# counted as one folder, "apps". The Windows edges (win32 subfolders) sit on
# top of everything and are left out.
folders=(platform driver files pyramid blend render export presets dialog host apps)

folderOf() {
    case "$1" in
    apps/*) echo apps ;;
    *) echo "${1%%/*}" ;;
    esac
}

isPortable() {
    local folder
    for folder in "${folders[@]}"; do
        [[ $folder == "$1" ]] && return 0
    done
    return 1
}

# "from to" for every project include that crosses a folder border.
edges=$(
    for folder in "${folders[@]}"; do
        [[ -d $folder ]] || continue
        grep -rhoE --include='*.h' --include='*.cpp' --exclude-dir=win32 \
            '^#include "[^"]+/[^"]+"' "$folder" |
            sed -E 's/^#include "([^"]+)"$/\1/' |
            while read -r included; do
                to=$(folderOf "$included")
                if [[ $to != "$folder" ]] && isPortable "$to"; then
                    echo "$folder $to"
                fi
            done
    done | sort | uniq -c | awk '{ print $2, $3, $1 }'
)

echo "folder -> folder it includes (include lines)"
echo "$edges" | awk 'NF == 3 { printf "  %-8s -> %-8s (%d)\n", $1, $2, $3 }'

# tsort orders the folders so that each comes before those it includes, and
# reports every cycle it meets on stderr.
pairs=$(echo "$edges" | awk 'NF == 3 { print $1, $2 }'
        for folder in "${folders[@]}"; do
            if [[ -d $folder ]]; then echo "$folder $folder"; fi
        done)
loops=$(echo "$pairs" | tsort 2>&1 >/dev/null || true)
order=$( (echo "$pairs" | tsort 2>/dev/null || true) | tac | tr '\n' ' ')
echo "layers, lowest first: $order"
if [[ -n $loops ]]; then
    echo "include cycle between folders:" >&2
    echo "$loops" | sed -E 's/^tsort: (-: )?/  /' >&2
    exit 1
fi
echo "no include cycle between folders"
