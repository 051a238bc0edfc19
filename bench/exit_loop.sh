#!/usr/bin/env bash
# Ends the document search's process again and again, also in the middle of a document: runs
# `bench_documents search KEYWORD FILE` REPS times in a row on every file below the given folders
# and fails on any exit status other than 0 (the file holds the keyword) or 1 (it does not). A
# process that crashes as it ends (a static destructor under a reader thread still inside a
# library: SIGSEGV, SIGABRT, a sanitizer's report) shows as another status.
#
# Runs take turns with three keywords: a word the file's folder lists for it in WORDS.tsv, or
# EXIT_LOOP_WORD ("e" unless set) when none is listed (found early, while the reader is still in
# the middle of the document); a word no file holds, so that the reader goes through the whole
# document before the end; "的".
#
# Usage: bench/exit_loop.sh BENCH_DOCUMENTS [REPS] FOLDER...
#   REPS (50 unless given) may be given as the second argument when it is a number.
#   EXIT_LOOP_SLOW_SECONDS and EXIT_LOOP_SLOW_REPS, when set: a file whose first run takes longer
#   than that many seconds (a scan recognised page by page) is run only that many times.
# Prints a line per folder (files, runs, statuses seen) and each failing run; exits 1 when any
# run failed.
set -uo pipefail

bench=${1:?usage: exit_loop.sh BENCH_DOCUMENTS [REPS] FOLDER...}
shift
reps=50
if [[ ${1:-} =~ ^[0-9]+$ ]]; then
    reps=$1
    shift
fi
[ $# -gt 0 ] || { echo "usage: exit_loop.sh BENCH_DOCUMENTS [REPS] FOLDER..." >&2; exit 2; }

# A sanitizer's report must not end the process with 1, which means "not found" here.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:exitcode=86}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:exitcode=87}
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8
absent='qzxjvkw无此词'
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# The first word WORDS.tsv beside $1 lists for it: the "keyword" column of a table that has one,
# otherwise the second column; several words are separated by "|", "-" is none.
listed_word() {
    local dir file table
    dir=$(dirname "$1")
    file=$(basename "$1")
    table="$dir/WORDS.tsv"
    [ -f "$table" ] || return 0
    awk -F '\t' -v file="$file" '
        NR == 1 { col = 2; for (i = 1; i <= NF; i++) if ($i == "keyword") col = i; next }
        $1 == file { split($col, words, "|"); if (words[1] != "-") print words[1]; exit }
    ' "$table"
}

failed=0
for folder in "$@"; do
    files=0 runs=0 slow=""
    declare -A seen=()
    while IFS= read -r -d '' file; do
        case "$(basename "$file")" in WORDS.tsv | README.md) continue ;; esac
        files=$((files + 1))
        word=$(listed_word "$file")
        [ -n "$word" ] || word=${EXIT_LOOP_WORD:-e}
        file_reps=$reps
        for ((i = 1; i <= file_reps; i++)); do
            case $((i % 3)) in
            1) keyword=$word ;;
            2) keyword=$absent ;;
            0) keyword='的' ;;
            esac
            started=${EPOCHREALTIME/./}
            timeout 300 "$bench" search "$keyword" "$file" >/dev/null 2>"$log"
            status=$?
            took=$((${EPOCHREALTIME/./} - started)) # microseconds
            if ((i == 1 && ${EXIT_LOOP_SLOW_SECONDS:-0} > 0 &&
                took > ${EXIT_LOOP_SLOW_SECONDS:-0} * 1000000)); then
                file_reps=${EXIT_LOOP_SLOW_REPS:-$reps}
                slow+=" $(basename "$file")"
            fi
            runs=$((runs + 1))
            seen[$status]=$((${seen[$status]:-0} + 1))
            if { [ "$status" -ne 0 ] && [ "$status" -ne 1 ]; } || grep -q 'Sanitizer' "$log"; then
                failed=$((failed + 1))
                echo "FAIL: status $status, run $i: search '$keyword' $file" >&2
                grep -m 5 -E 'Sanitizer|runtime error|#[0-9] ' "$log" >&2
            fi
        done
    done < <(find "$folder" -type f -print0 | sort -z)
    statuses=""
    for status in $(printf '%s\n' "${!seen[@]}" | sort -n); do
        statuses+=" status $status: ${seen[$status]}"
    done
    echo "$folder: $files files, $runs runs;$statuses"
    [ -z "$slow" ] || echo "  run ${EXIT_LOOP_SLOW_REPS:-$reps} times only (slow):$slow"
    unset seen
done
if [ "$failed" -gt 0 ]; then
    echo "$failed runs failed" >&2
    exit 1
fi
echo "PASS"
