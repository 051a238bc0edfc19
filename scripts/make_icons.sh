#!/usr/bin/env bash
# Repaints the program's icon files, data/icons/hicolor/<size>x<size>/apps/quarlex.png, with the
# brush-style font installed here (fonts-arphic-ukai). Builds never paint the icon, so that every
# build of a commit ships the same pictures: run this only to change the icon, look at the
# files, and commit them. The sizes are listed in cmake/Icons.cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" run
build="$root/build/icons"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DQUARLEX_TESTS=OFF -DQUARLEX_BENCH=OFF
cmake --build "$build" --target quarlex_icons
git -C "$root" status --short -- data/icons
