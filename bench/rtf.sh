#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh rtf, or this file run as a script, runs it alone).
# rtf_targets: the build targets the section runs.
rtf_targets=(bench_documents)

# RTF: 1,000 files written by bench_documents (fixed seed; GBK \'xx text, some \uN, a picture),
# without the keyword and with it in the middle of each, against unrtf, the converter packaged for
# RTF. unrtf does not decode GBK \'xx bytes, so its pipeline finds no Chinese keyword: its figure is
# the cost of the conversion people run, not a search that finds the same files.
rtf_section() {
    mkdir -p rtf rtf-hit
    "$documents" make-rtf rtf 1000
    "$documents" make-rtf rtf-hit 1000 关键字
    cat rtf/* rtf-hit/* > /dev/null
    unrtf_grep() { for f in "$1"/*; do unrtf --text "$f" 2> /dev/null | grep -F -q 关键字 || true; done; }
    unrtf_count() { local n=0 f; for f in "$1"/*; do if unrtf --text "$f" 2> /dev/null | grep -F -q 关键字; then n=$((n + 1)); fi; done; echo "$n"; }
    local q u r found dir
    for dir in rtf rtf-hit; do
        echo
        if [ "$dir" = rtf ]; then
            echo "1,000 RTF files of about $(( $(du -sk rtf | cut -f1) / 1000 )) KiB without the keyword"
        else
            echo "1,000 RTF files of about $(( $(du -sk rtf-hit | cut -f1) / 1000 )) KiB with the keyword in the middle"
        fi
        q=$(best_of 3 "$documents" search 关键字 "$dir"/*)
        found=$("$documents" search 关键字 "$dir"/* | wc -l || true)
        u=$(best_of 1 unrtf_grep "$dir")
        r=$(ratio "$u" "$q")
        echo "  quarlex ${q}s (found in ${found})   unrtf --text | grep -F per file ${u}s" \
             "(found in $(unrtf_count "$dir"))   quarlex is ${r}x faster   target >= 10x: $(verdict "$r >= 10")"
    done

    echo
    echo "An RTF file with a 2 GiB \\bin and one with a 1 GiB hex run in a picture"
    local idle peak chars outcome above start end
    printf '{\\rtf1 before{\\pict\\bin2147483648 ' > bin.rtf
    truncate -s +2147483648 bin.rtf
    printf '}after}' >> bin.rtf
    "$documents" make-rtf-hex hex.rtf 1024
    for f in bin.rtf hex.rtf; do
        start=$EPOCHREALTIME
        read -r idle peak chars outcome <<< "$("$documents" rss "$f")"
        end=$EPOCHREALTIME
        above=$(printf '%.1f' "$(echo "($peak - $idle) / 1024" | bc -l)")
        echo "  $f: $(printf '%.2f' "$(echo "$end - $start" | bc -l)")s, ${above} MiB above idle" \
             "(${chars} characters)   target < 100 MiB: $(verdict "$above < 100")"
    done
    rm -f bin.rtf hex.rtf
}

# Run as a script: the same as bench/run.sh rtf.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" rtf "$@"; fi
