# Sourced by bench/run.sh: the build, the temporary folder and the timing helpers every section
# uses. The section files (bench/NAME.sh, one per section) define their targets and functions.

# The Release build the benchmarks run from (BENCH_BUILD puts it elsewhere, e.g. build/rel).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${BENCH_BUILD:-$root/build/bench}")
bench="$build/bench/quarlex_bench"
windowed="$build/bench/bench_search_window"
documents="$build/bench/bench_documents"
ocr="$build/bench/bench_ocr"
encoding="$build/bench/bench_encoding"

# bench_build TARGET...: configures the build without tests or sanitizers and builds the targets.
bench_build() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARLEX_SANITIZE=OFF \
          -DQUARLEX_TESTS=OFF -DQUARLEX_BENCH=ON > /dev/null
    cmake --build "$build" --target "$@" > /dev/null
}

# bench_workdir: makes the folder the corpora are generated in (under BENCH_TMP, else TMPDIR, else
# /tmp), removed when the script ends, and enters it; $work names it.
bench_workdir() {
    work=$(mktemp -d "${BENCH_TMP:-${TMPDIR:-/tmp}}/quarlex-bench-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    cd "$work"
}

# best_of N command...: the shortest wall time of N runs, in seconds.
best_of() {
    local n=$1 best="" start end t
    shift
    for _ in $(seq "$n"); do
        start=$EPOCHREALTIME
        "$@" > /dev/null || true
        end=$EPOCHREALTIME
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf '%.3f' "$best"
}
# best_inner N command...: the shortest of N times a command prints itself ("SECONDS HITS"), for
# Quarlex's runs: measured inside the process, as the program is running when a search starts
# (loading its libraries once takes about 60 ms more).
# BEST_DIGITS (default 3) digits after the point, for times well under a millisecond.
best_inner() {
    local n=$1 best="" t
    shift
    for _ in $(seq "$n"); do
        read -r t _ <<< "$("$@")"
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf "%.${BEST_DIGITS:-3}f" "$best"
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
verdict() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo "met"; else echo "MISSED"; fi; }
have() { command -v "$1" > /dev/null; }
warm() { cat "$@" > /dev/null; }

# best_program N ARGS...: the shortest of N runs of bench/bench_program.sh.
best_program() {
    local n=$1 best="" t
    shift
    for _ in $(seq "$n"); do
        t=$("$root/bench/bench_program.sh" "$@" 2>/dev/null) || continue
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    [ -n "$best" ] || return 1
    printf '%.3f' "$best"
}
