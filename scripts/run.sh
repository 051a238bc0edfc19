#!/usr/bin/env bash
# Installs what is missing, builds Quarlex (release) and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" run
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DQUARLEX_TESTS=OFF -DQUARLEX_BENCH=OFF
cmake --build "$root/build/release"
exec "$root/build/release/quarlex"
