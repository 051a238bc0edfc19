#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh encoding, or this file run as a script, runs it alone).
# encoding_targets: the build targets the section runs.
encoding_targets=(quarlex_bench bench_search_window bench_encoding quarlex)

# Files whose encoding is decided one by one: 2,000 GBK CSV files of 50 KiB, 20 of them holding the
# keyword (10 split by a line end, which grep does not find), made of characters drawn from the
# whole GBK range (two thirds beyond GB2312, with trail bytes in 0x40-0x7E as Big5 has), then
# from GB2312's second level. The real program under Xvfb (bench/bench_program.sh), the
# windowed run offscreen (bench_search_window chooser) and grep -r -F -l on the same corpus in
# the same run, best of 5 each; and the share of a file's search that deciding its encoding
# takes (bench_encoding). BENCH_OTHER names a folder holding another build's
# quarlex (with its libquarlex_formats.so) and bench_search_window, timed on the same corpora
# after this build's (an older build, before a change).
encoding_section() {
    local driven=no range dir grep_s grep_found label program win in_proc ms p
    if have Xvfb && have openbox && have xdotool && have xclip; then driven=yes; fi
    "$bench" keyword-bytes > keyword.gbk
    for range in gbk gb2312-2; do
        dir="range-$range"
        "$bench" gen-many "$dir" 2000 50 21 csv 20 "$range"
        find "$dir" -type f -exec cat {} + > /dev/null
        grep_s=$(best_of 5 grep -r -F -l -f keyword.gbk "$dir")
        grep_found=$(grep -r -F -l -f keyword.gbk "$dir" | wc -l)
        echo
        echo "2,000 GBK CSV files of 50 KiB, characters from $range, 20 hits" \
             "(load $(cut -d' ' -f1-3 /proc/loadavg))"
        echo "  grep -r -F -l ${grep_s}s (${grep_found} found, the split ones not)"
        read -r ms p _ <<< "$("$encoding" "$dir")"
        echo "  deciding the encoding ${ms}us a file, searching it ${p}us:" \
             "$(printf '%.1f' "$(echo "100 * $ms / $p" | bc -l)")%"
        for label in this ${BENCH_OTHER:+other}; do
            program=$build/quarlex win=$windowed
            [ "$label" = this ] || program=$BENCH_OTHER/quarlex win=$BENCH_OTHER/bench_search_window
            in_proc=""
            for _ in 1 2 3 4 5; do
                read -r ms _ _ <<< "$("$win" chooser "$dir" 2>/dev/null)"
                if [ -z "$in_proc" ] || [ "$(echo "$ms < $in_proc" | bc -l)" = 1 ]; then in_proc=$ms; fi
            done
            in_proc=$(printf '%.3f' "$(echo "$in_proc / 1000" | bc -l)")
            echo "  $label build: windowed run, offscreen ${in_proc}s: $(ratio "$in_proc" "$grep_s")x grep"
            if [ "$driven" = yes ]; then
                p=$(best_program 5 "$program" "$PWD/$dir" 关键字) || p=""
                [ -n "$p" ] || echo "  $label build: the program under Xvfb: no run completed"
                [ -z "$p" ] || echo "  $label build: the program under Xvfb ${p}s:" \
                     "$(ratio "$p" "$grep_s")x grep (target <= 1x: $(verdict "$p <= $grep_s"))"
            else
                echo "  Xvfb, openbox, xdotool or xclip is not installed: no figure through the program"
            fi
        done
        rm -rf "$dir"
    done
}

# Run as a script: the same as bench/run.sh encoding.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" encoding "$@"; fi
