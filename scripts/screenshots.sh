#!/usr/bin/env bash
# Takes the README's pictures: runs the typical search under Xvfb (the end-to-end test
# tests/e2e/search_flow.sh) and keeps its screenshots in docs/images/.
# Usage: scripts/screenshots.sh [path to quarlex]   (default: builds build/release first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
app=${1:-}
if [ -z "$app" ]; then
    cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DQUARLEX_TESTS=OFF -DQUARLEX_BENCH=OFF
    cmake --build "$root/build/release" --target quarlex
    app="$root/build/release/quarlex"
fi
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
bash "$root/tests/e2e/search_flow.sh" "$app" "$shots"
mkdir -p "$root/docs/images"
# Crop each screenshot to the part of the screen the windows cover.
for name in launcher chooser-marked chooser-menu report; do
    convert "$shots/$name.png" -crop 940x410+0+190 +repage "$root/docs/images/$name.png"
done
echo "Pictures written to docs/images/"
