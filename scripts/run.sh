#!/usr/bin/env bash
# The main job: sets the machine up, builds the native `lakra` host and runs
# the filter with the default look on the sample photograph (or on IN, writing
# OUT, with any further `lakra apply` options).
#
#   bash scripts/run.sh [IN [OUT [lakra apply options...]]]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target lakra

# "Storm" by Sergey Nazarov (2008), GPL-2+, from Debian's mate-backgrounds.
sample=/usr/share/backgrounds/mate/nature/Storm.jpg
in=${1:-$sample}
mkdir -p build/main
out=${2:-build/main/$(basename "${in%.*}")-lakra.jpg}
shift $(( $# > 2 ? 2 : $# ))

build/native/apps/lakra/lakra apply "$in" "$out" "$@"
echo "lakra: the filtered image is $(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
