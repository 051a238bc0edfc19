#!/usr/bin/env bash
# Installs what is missing, builds Quarlex with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs the whole test suite. The end-to-end tests start their own Xvfb displays.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
build="$root/build/test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLEX_SANITIZE=ON \
      -DQUARLEX_TESTS=ON -DQUARLEX_BENCH=ON
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j2 "$@"
