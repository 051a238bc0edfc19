#!/usr/bin/env bash
# Installs what is missing, builds Quarlex (release) and makes the Debian package with CPack,
# then checks it with lintian. The .deb is left in build/package/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" package
build="$root/build/package"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DQUARLEX_TESTS=OFF -DQUARLEX_BENCH=OFF
cmake --build "$build"
(cd "$build" && cpack -G DEB)
deb=$(ls -t "$build"/quarlex_*.deb | head -n 1)
echo "Package: $deb"
# lintian exits non-zero on errors; warnings are printed and allowed.
lintian --fail-on error "$deb"
