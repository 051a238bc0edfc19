#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh text, or this file run as a script, runs it alone).
# text_targets: the build targets the section runs.
text_targets=(quarlex_bench bench_search_window)

# The text files: 400 MiB corpora of every shape, 2,000 and 100,000 small files, a 1 GiB file;
# Quarlex against cat, grep -F -l, ugrep and rg, then the costs of the run and its windows.

# rg on raw bytes: the keyword's bytes as (?-u)\xNN escapes.
rg_pattern() { printf '(?-u)%s' "$(od -An -tx1 "$1" | tr -d ' \n' | sed 's/../\\x&/g')"; }

# one_file LABEL FILE KEYWORD KEYWORD_FILE TARGET_RATIO: Quarlex against cat, grep, ugrep and rg
# on one file; the target is Quarlex's time at most TARGET_RATIO times grep's.
one_file() {
    local label=$1 file=$2 keyword=$3 bytes=$4 target=$5 q g c u r line
    warm "$file"
    q=$(best_inner 3 "$bench" timed "$keyword" "$file")
    g=$(best_of 3 grep -F -l -f "$bytes" "$file")
    c=$(best_of 3 cat "$file")
    echo
    echo "$label"
    line="  quarlex ${q}s   grep -F -l ${g}s   cat ${c}s"
    if have ugrep; then u=$(best_of 3 ugrep -F -l -f "$bytes" "$file"); line+="   ugrep -F -l ${u}s"; fi
    if have rg; then r=$(best_of 3 rg -l "$(rg_pattern "$bytes")" "$file"); line+="   rg (bytes) ${r}s"; fi
    echo "$line"
    echo "  quarlex/grep $(ratio "$q" "$g")x, target <= ${target}x: $(verdict "$q <= $target * $g")" \
         "  quarlex/cat $(ratio "$q" "$c")x"
    last_q=$q last_c=$c
}

# cold: drops the page cache (root only); can_drop says whether it can be done here.
cold() { sync; echo 3 > /proc/sys/vm/drop_caches; }

text_section() {
    can_drop=no
    if (sync && echo 3 > /proc/sys/vm/drop_caches) 2> /dev/null; then can_drop=yes; fi
    echo "Generating corpora in $work ..."
    # 400 MiB each, GBK unless said: the shapes of bench/quarlex_bench.cpp (Shape), fixed seeds.
    "$bench" gen-text prose.txt 400 1 gbk prose
    "$bench" gen-text csv.txt 400 5 gbk csv
    "$bench" gen-text csv8.txt 400 9 utf8 csv
    "$bench" gen-text quoted.txt 400 6 gbk quoted
    "$bench" gen-text long.txt 400 7 gbk long
    "$bench" gen-text common.txt 400 8 gbk common
    "$bench" gen-many many 2000 50 2 csv 20        # 2,000 files of 50 KiB, 20 hits, 10 split by CR LF
    "$bench" gen-many small 100000 4 3 csv 100     # 100,000 files of 4 KiB, 100 hits
    "$bench" gen-hit-first giga.txt 1024 3         # 1 GiB of GBK text, the keyword in its first kilobyte
    "$bench" keyword-bytes > keyword.gbk
    "$bench" keyword-bytes common > common.gbk

    one_file "400 MiB GBK prose (one field a line), no hit" prose.txt 关键字 keyword.gbk 0.5
    one_file "400 MiB GBK CSV, 3-8 comma-separated fields a line, no hit" csv.txt 关键字 keyword.gbk 0.5
    echo "  within 3x of cat: $(verdict "$last_q <= 3 * $last_c")"
    iconv -f GBK -t UTF-8 keyword.gbk > keyword.utf8
    one_file "400 MiB UTF-8 CSV, no hit" csv8.txt 关键字 keyword.utf8 0.5
    one_file "400 MiB GBK quoted CSV (commas, line ends and doubled quotes inside quotes), no hit" \
        quoted.txt 关键字 keyword.gbk 0.5
    one_file "400 MiB GBK of lines of 256 KiB to 2 MiB without a delimiter, no hit" long.txt 关键字 keyword.gbk 0.5
    one_file "400 MiB GBK CSV whose fields hold 的 and 数据 often, keyword 数据的 (absent)" \
        common.txt 数据的 common.gbk 2
    cat keyword.gbk >> csv.txt
    one_file "The CSV file with one hit at its very end" csv.txt 关键字 keyword.gbk 1
    rm -f prose.txt csv8.txt quoted.txt long.txt common.txt

    echo
    echo "2,000 GBK CSV files of 50 KiB, 20 hits of which 10 are split by a line break"
    warm many/*
    read -r q found <<< "$("$bench" timed 关键字 many)"
    q=$(best_inner 3 "$bench" timed 关键字 many)
    g=$(best_of 3 sh -c 'grep -F -l -f keyword.gbk many/* > /dev/null')
    grep_found=$(grep -F -l -f keyword.gbk many/* | wc -l)
    line="  quarlex ${q}s, ${found} found   grep -F -l ${g}s, ${grep_found} found"
    if have ugrep; then line+="   ugrep -F -l $(best_of 3 ugrep -F -l -f keyword.gbk -r many)s"; fi
    if have rg; then line+="   rg (bytes) $(best_of 3 rg -l "$(rg_pattern keyword.gbk)" many)s"; fi
    echo "$line"
    echo "  quarlex/grep $(ratio "$q" "$g")x, target <= 1x: $(verdict "$q <= $g")" \
         "  all 20 found: $( [ "$found" = 20 ] && echo met || echo MISSED)"
    if [ "$can_drop" = yes ]; then
        qc="" gc=""
        for _ in 1 2 3; do
            cold; read -r t _ <<< "$("$bench" timed 关键字 many)"
            if [ -z "$qc" ] || [ "$(echo "$t < $qc" | bc -l)" = 1 ]; then qc=$t; fi
            cold; t=$(best_of 1 sh -c 'grep -F -l -f keyword.gbk many/* > /dev/null')
            if [ -z "$gc" ] || [ "$(echo "$t < $gc" | bc -l)" = 1 ]; then gc=$t; fi
        done
        echo "  page cache dropped: quarlex ${qc}s   grep ${gc}s   ratio $(ratio "$qc" "$gc")x," \
             "target <= 1x: $(verdict "$qc <= $gc")"
    else
        echo "  the page cache cannot be dropped here (needs root): no cold figure"
    fi
    read -r plain run run_hits hits <<< "$("$bench" run many)"
    echo "  search run (event-loop passes, read-ahead) ${run}ms, plain loop over the files ${plain}ms"

    echo
    echo "100,000 GBK CSV files of 4 KiB, 100 hits"
    warm_small() { find small -type f -exec cat {} + > /dev/null; }
    warm_small
    read -r q found <<< "$("$bench" timed 关键字 small)"
    q=$(best_inner 3 "$bench" timed 关键字 small)
    g=$(best_of 3 sh -c 'grep -r -F -l -f keyword.gbk small > /dev/null')
    line="  quarlex ${q}s, ${found} found   grep -r -F -l ${g}s"
    if have ugrep; then line+="   ugrep -r -F -l $(best_of 3 ugrep -r -F -l -f keyword.gbk small)s"; fi
    if have rg; then line+="   rg (bytes) $(best_of 3 rg -l "$(rg_pattern keyword.gbk)" small)s"; fi
    echo "$line"
    echo "  quarlex/grep $(ratio "$q" "$g")x, target <= 1x: $(verdict "$q <= $g")"
    rm -rf small

    echo
    echo "1 GiB file with the keyword in its first kilobyte"
    best=""
    for _ in 1 2 3; do
        read -r ms _ _ <<< "$("$bench" first-hit giga.txt)"
        if [ -z "$best" ] || [ "$(echo "$ms < $best" | bc -l)" = 1 ]; then best=$ms; fi
    done
    echo "  answered in ${best}ms   target < 50ms: $(verdict "$best < 50")"

    echo
    echo "Peak resident memory while searching the 1 GiB file through (no hit)"
    read -r idle peak _ buffers <<< "$("$bench" rss giga.txt)"
    above=$(printf '%.1f' "$(echo "($peak - $idle) / 1024" | bc -l)")
    echo "  idle $((idle / 1024)) MiB, peak $((peak / 1024)) MiB: ${above} MiB above idle" \
         "  target < 64 MiB: $(verdict "$above < 64")"
    echo "  (the search's own buffers held at most $((buffers / 1024)) KiB)"

    echo
    echo "Responsiveness during a run over the 400 MiB CSV file (event-loop pass at most every 16 ms)"
    read -r stall run_ms <<< "$("$bench" stall csv.txt)"
    echo "  longest gap of a 10 ms timer ${stall}ms over a ${run_ms}ms run   target < 50ms:" \
         "$(verdict "$stall < 50")"

    echo
    echo "The windowed run: search controller and progress window on the offscreen platform"
    read -r core wrun core_hits wrun_hits <<< "$("$windowed" run many 2>/dev/null)"
    r=$(ratio "$wrun" "$core")
    echo "  windowed run ${wrun}ms (${wrun_hits} hits)   core search ${core}ms (${core_hits} hits)   ratio ${r}x" \
         "  target <= 1.1x: $(verdict "$r <= 1.1")"
    read -r wstall wrun_ms <<< "$("$windowed" stall csv.txt 2>/dev/null)"
    echo "  longest gap of a 10 ms timer ${wstall}ms over a ${wrun_ms}ms windowed run   target < 30ms:" \
         "$(verdict "$wstall < 30")"
    read -r rhits rms rmedian rlongest <<< "$("$windowed" report 10000 2>/dev/null)"
    echo "  report of ${rhits} hit entries painted ${rms}ms after the run's last file   target < 300ms:" \
         "$(verdict "$rms < 300")"
    echo "  paging down through it: median ${rmedian}ms, longest ${rlongest}ms per page painted" \
         "  target < 16ms: $(verdict "$rlongest < 16")"

    echo
    echo "Cost of yielding when nothing is pending"
    read -r pass maybe <<< "$("$bench" yield-cost)"
    echo "  platform::processPendingEvents() ${pass}ns per call   yield check between two yields ${maybe}ns per call"
}

# Run as a script: the same as bench/run.sh text.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" text "$@"; fi
