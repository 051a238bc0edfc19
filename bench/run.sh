#!/usr/bin/env bash
# Builds the search benchmarks in Release, generates the corpora (fixed seeds) in a temporary
# folder, and prints every figure next to its target, with ratios against grep -F -l.
#   bench/run.sh            (set BENCH_TMP to put the 1.5 GB of corpora somewhere else)
#   bench/run.sh documents  only the office documents and PDF files
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARLEX_SANITIZE=OFF \
      -DQUARLEX_TESTS=OFF -DQUARLEX_BENCH=ON > /dev/null
cmake --build "$build" --target quarlex_bench bench_search_window bench_documents > /dev/null
bench="$build/bench/quarlex_bench"
windowed="$build/bench/bench_search_window"
documents="$build/bench/bench_documents"

work=$(mktemp -d "${BENCH_TMP:-${TMPDIR:-/tmp}}/quarlex-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

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
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
verdict() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo "met"; else echo "MISSED"; fi; }

# Office documents and PDF files: the corpora are copies of the documents bench/data holds (made
# by tests/data/make_documents.sh: Chinese text from a fixed seed, without the keyword).
documents_section() {
    mkdir -p docx pdf
    local i
    for i in $(seq -w 1 1000); do cp "$root/bench/data/chinese.docx" "docx/d$i.docx"; done
    for i in $(seq -w 1 200); do cp "$root/bench/data/chinese15.pdf" "pdf/p$i.pdf"; done
    # 67 copies of the 15-page file: a PDF of 1,005 pages.
    pdfunite $(for _ in $(seq 67); do echo "$root/bench/data/chinese15.pdf"; done) long.pdf
    cat docx/* pdf/* long.pdf > /dev/null

    unzip_grep() { for f in docx/*; do unzip -p "$f" word/document.xml | grep -F -q 关键字 || true; done; }
    pdftotext_grep() { for f in pdf/*; do pdftotext "$f" - | grep -F -q 关键字 || true; done; }
    ugrep_filter() { ugrep -F -l --filter='pdf:pdftotext % -' 关键字 pdf; }

    echo
    echo "1,000 .docx of $(( $(stat -c %s "$root/bench/data/chinese.docx") / 1024 )) KiB without the keyword"
    local q u r
    q=$(best_of 3 "$documents" search 关键字 docx/*)
    u=$(best_of 1 unzip_grep)
    r=$(ratio "$u" "$q")
    echo "  quarlex ${q}s   unzip -p | grep -F per file ${u}s   quarlex is ${r}x faster" \
         "  target >= 10x: $(verdict "$r >= 10")"
    q=$(best_of 3 "$documents" search-stream 关键字 docx/*)
    echo "  through the worker stream ${q}s"

    echo
    echo "200 PDF files of 15 pages ($(( $(stat -c %s "$root/bench/data/chinese15.pdf") / 1024 )) KiB) without the keyword"
    local p
    q=$(best_of 1 "$documents" search 关键字 pdf/*)
    p=$(best_of 1 pdftotext_grep)
    r=$(ratio "$p" "$q")
    echo "  quarlex ${q}s   pdftotext | grep -F per file ${p}s   quarlex is ${r}x faster" \
         "  target >= 2x: $(verdict "$r >= 2")"
    if command -v ugrep > /dev/null; then
        u=$(best_of 1 ugrep_filter)
        echo "  ugrep --filter with pdftotext ${u}s   quarlex is $(ratio "$u" "$q")x faster"
    else
        echo "  ugrep is not installed: no ugrep --filter figure"
    fi

    echo
    echo "Peak resident memory while extracting a PDF of 1,005 pages"
    local idle peak chars outcome above
    read -r idle peak chars outcome <<< "$("$documents" rss long.pdf)"
    above=$(printf '%.1f' "$(echo "($peak - $idle) / 1024" | bc -l)")
    echo "  idle $((idle / 1024)) MiB, peak $((peak / 1024)) MiB: ${above} MiB above idle" \
         "(${chars} characters)   target < 200 MiB: $(verdict "$above < 200")"
}

if [ "${1:-}" = documents ]; then
    documents_section
    exit 0
fi

echo "Generating corpora in $work ..."
"$bench" gen-text big.txt 400 1            # 400 MiB of GBK text without the keyword
"$bench" gen-text utf8.txt 400 4 utf8      # the same kind of text in UTF-8
"$bench" gen-many many 2000 50 2           # 2,000 GBK files of 50 KiB, 20 hits, 10 split by CR LF
"$bench" gen-hit-first giga.txt 1024 3     # 1 GiB of GBK text, the keyword in its first kilobyte
"$bench" keyword-bytes > keyword.gbk       # the keyword 关键字 in GBK, for grep
cat big.txt utf8.txt many/* giga.txt > /dev/null  # everyone reads from the page cache

grep_many() { grep -F -l -f keyword.gbk many/*; }
rg_big() { rg -F -l -E gbk -f <(printf '%s' 关键字) big.txt; }
rg_many() { rg -F -l -E gbk -f <(printf '%s' 关键字) many; }

echo
echo "400 MiB GBK file without a hit"
q=$(best_of 3 "$bench" search 关键字 big.txt)
g=$(best_of 3 grep -F -l -f keyword.gbk big.txt)
r=$(ratio "$q" "$g")
echo "  quarlex ${q}s   grep -F -l ${g}s   ratio ${r}x   target <= 2x: $(verdict "$r <= 2")"
if command -v rg > /dev/null; then
    rb=$(best_of 3 rg_big)
    echo "  rg -F -l -E gbk ${rb}s   ratio quarlex/rg $(ratio "$q" "$rb")x"
else
    echo "  rg is not installed: no rg -E gbk figure"
fi

echo
echo "400 MiB UTF-8 file without a hit"
q=$(best_of 3 "$bench" search 关键字 utf8.txt)
g=$(best_of 3 grep -F -l 关键字 utf8.txt)
r=$(ratio "$q" "$g")
echo "  quarlex ${q}s   grep -F -l ${g}s   ratio ${r}x   target <= 2x: $(verdict "$r <= 2")"

echo
echo "2,000 GBK files of 50 KiB, 20 hits of which 10 are split by a line break"
q=$(best_of 3 "$bench" search-dir many)
g=$(best_of 3 grep_many)
found=$("$bench" search-dir many)
grep_found=$(grep_many | wc -l)
r=$(ratio "$q" "$g")
echo "  quarlex ${q}s, ${found} found   grep -F -l ${g}s, ${grep_found} found   ratio ${r}x"
echo "  target <= 2x: $(verdict "$r <= 2")   all 20 found: $( [ "$found" = 20 ] && echo met || echo MISSED)"
if command -v rg > /dev/null; then
    rm_=$(best_of 3 rg_many)
    echo "  rg -F -l -E gbk ${rm_}s, $(rg_many | wc -l) found"
fi
read -r plain run run_hits hits <<< "$("$bench" run many)"
r=$(ratio "$run" "$plain")
echo "  search run with an event-loop pass per entry ${run}ms, core search ${plain}ms: ratio ${r}x," \
     "target <= 1.3x: $(verdict "$r <= 1.3")"

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
echo "Responsiveness during a run over the 400 MiB file (event-loop pass at most every 16 ms)"
read -r stall run_ms <<< "$("$bench" stall big.txt)"
echo "  longest gap of a 10 ms timer ${stall}ms over a ${run_ms}ms run   target < 50ms:" \
     "$(verdict "$stall < 50")"

echo
echo "The windowed run: search controller and progress window on the offscreen platform"
read -r core wrun core_hits wrun_hits <<< "$("$windowed" run many 2>/dev/null)"
r=$(ratio "$wrun" "$core")
echo "  windowed run ${wrun}ms (${wrun_hits} hits)   core search ${core}ms (${core_hits} hits)   ratio ${r}x" \
     "  target <= 1.3x: $(verdict "$r <= 1.3")"
read -r wstall wrun_ms <<< "$("$windowed" stall big.txt 2>/dev/null)"
echo "  longest gap of a 10 ms timer ${wstall}ms over a ${wrun_ms}ms windowed run   target < 50ms:" \
     "$(verdict "$wstall < 50")"
read -r rhits rms rmedian rlongest <<< "$("$windowed" report 10000 2>/dev/null)"
echo "  report of ${rhits} hit entries painted ${rms}ms after the run's last file   target < 300ms:" \
     "$(verdict "$rms < 300")"
echo "  paging down through it: median ${rmedian}ms, longest ${rlongest}ms per page painted" \
     "  target < 16ms: $(verdict "$rlongest < 16")"

echo
echo "Cost of yielding when nothing is pending"
read -r pass maybe <<< "$("$bench" yield-cost)"
echo "  platform::processPendingEvents() ${pass}ns per call   yield check between two yields ${maybe}ns per call"

documents_section
