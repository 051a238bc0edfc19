#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh windowed, or this file run as a script, runs it alone).
# windowed_targets: the build targets the section runs.
windowed_targets=(quarlex_bench bench_search_window quarlex)

# The windowed run as a user starts it: the chooser's file list (File1) holding every file, all
# marked with Ctrl+A, "选定" chosen; timed to the progress window gone and the report painted.
# In-process on the offscreen platform (bench_search_window chooser), and through the real
# program under Xvfb driven by xdotool (bench/bench_program.sh, which reads the times the
# program logs with QUARLEX_TIMING set), against grep in the same run and the in-process search
# of the same files (quarlex_bench timed). Then the same through the program on a tree of 20,000
# GBK text files in 500 folders, "**/*" typed into the chooser's type box, the keyword in 20.
windowed_section() {
    local program="$build/quarlex" driven=no
    if have Xvfb && have openbox && have xdotool && have xclip; then driven=yes; fi
    [ -d small ] || "$bench" gen-many small 100000 4 3 csv 100
    "$bench" keyword-bytes > keyword.gbk
    find small -type f -exec cat {} + > /dev/null
    local core grep_s in_proc ms p
    core=$(best_inner 3 "$bench" timed 关键字 small)
    grep_s=$(best_of 3 sh -c 'grep -r -F -l -f keyword.gbk small > /dev/null')
    in_proc=""
    for _ in 1 2 3; do
        read -r ms _ _ <<< "$("$windowed" chooser small 2>/dev/null)"
        if [ -z "$in_proc" ] || [ "$(echo "$ms < $in_proc" | bc -l)" = 1 ]; then in_proc=$ms; fi
    done
    in_proc=$(printf '%.3f' "$(echo "$in_proc / 1000" | bc -l)")
    echo
    echo "100,000 GBK CSV files of 4 KiB marked in the chooser's file list, 100 hits (load $(cut -d' ' -f1-3 /proc/loadavg))"
    echo "  in-process search ${core}s   grep -r -F -l ${grep_s}s"
    echo "  windowed run, offscreen ${in_proc}s: $(ratio "$in_proc" "$grep_s")x grep" \
         "(target <= 1x: $(verdict "$in_proc <= $grep_s")), $(ratio "$in_proc" "$core")x the" \
         "in-process search (target <= 1.15x: $(verdict "$in_proc <= 1.15 * $core"))"
    if [ "$driven" = yes ]; then
        p=$(best_program 3 "$program" "$work/small" 关键字) || p=""
        [ -n "$p" ] || echo "  the program under Xvfb: no run completed"
        [ -z "$p" ] || echo "  the program under Xvfb ${p}s: $(ratio "$p" "$grep_s")x grep" \
             "(target <= 1x: $(verdict "$p <= $grep_s")), $(ratio "$p" "$core")x the" \
             "in-process search (target <= 1.15x: $(verdict "$p <= 1.15 * $core"))"
    else
        echo "  Xvfb, openbox, xdotool or xclip is not installed: no figure through the program"
    fi
    rm -rf small

    # The tree: 40 files in each of 500 folders.
    "$bench" gen-many tree-flat 20000 4 13 csv 20
    (cd tree-flat && ls | split -l 40 - ../tree-list-)
    local i=0 list
    for list in tree-list-*; do
        mkdir -p "tree20k/d$i"
        (cd tree-flat && xargs mv -t "../tree20k/d$i" < "../$list")
        i=$((i + 1))
    done
    rm -rf tree-flat tree-list-*
    find tree20k -type f -exec cat {} + > /dev/null
    grep_s=$(best_of 3 sh -c 'grep -r -F -l -f keyword.gbk tree20k > /dev/null')
    echo
    echo "A tree of 20,000 GBK text files of 4 KiB in 500 folders, **/* marked, 20 hits"
    read -r ms _ _ <<< "$("$windowed" chooser tree20k '**/*' 2>/dev/null)"
    in_proc=$(printf '%.3f' "$(echo "$ms / 1000" | bc -l)")
    echo "  grep -r -F -l ${grep_s}s   windowed run, offscreen ${in_proc}s:" \
         "$(ratio "$in_proc" "$grep_s")x grep (target <= 1x: $(verdict "$in_proc <= $grep_s"))"
    if [ "$driven" = yes ]; then
        p=$(best_program 3 "$program" "$work/tree20k" 关键字 '**/*') || p=""
        [ -n "$p" ] || echo "  the program under Xvfb: no run completed"
        [ -z "$p" ] || echo "  the program under Xvfb ${p}s: $(ratio "$p" "$grep_s")x grep" \
             "(target <= 1x: $(verdict "$p <= $grep_s"))"
    fi
    rm -rf tree20k
}

# Run as a script: the same as bench/run.sh windowed.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" windowed "$@"; fi
