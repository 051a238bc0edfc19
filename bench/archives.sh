#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh archives, or this file run as a script, runs it alone).
# archives_targets: the build targets the section runs.
archives_targets=(quarlex_bench bench_documents)

# Archives: 20,000 GBK text files of 4 KiB (20 hold the keyword, 10 of them split by a line
# break) packed into 20 ZIP archives of 1,000 members, against ugrep -z, which searches inside
# archives too. 7z (p7zip-full) writes the archives.
archives_section() {
    "$bench" gen-many members 20000 4 13 csv 20
    "$bench" keyword-bytes > keyword.gbk
    mkdir -p zips
    (cd members && ls | split -l 1000 - ../list-)
    local list i=0
    for list in list-*; do
        (cd members && 7z a -tzip -mx=5 "../zips/part$i.zip" @"../$list" > /dev/null)
        i=$((i + 1))
    done
    rm -rf members list-*
    cat zips/* > /dev/null
    local q found u ufound
    read -r _ found <<< "$("$bench" timed 关键字 zips)"
    q=$(best_inner 3 "$bench" timed 关键字 zips)
    echo
    echo "20 ZIP archives of 1,000 GBK CSV members of 4 KiB, 20 hits of which 10 are split by a line break"
    if command -v ugrep > /dev/null; then
        u=$(best_of 3 ugrep -z -F -l -f keyword.gbk -r zips)
        ufound=$(ugrep -z -F -l -f keyword.gbk -r zips | wc -l)
        echo "  quarlex ${q}s, ${found} found   ugrep -z -F -l ${u}s, ${ufound} found" \
             "  quarlex/ugrep $(ratio "$q" "$u")x, target <= 1x: $(verdict "$q <= $u")" \
             "  all 20 found: $( [ "$found" = 20 ] && echo met || echo MISSED)"
        # As the program runs it: the search run with a worker per spare core, which searches
        # the archives after the run's one.
        local w workers=$(( $(nproc) - 1 ))
        rm -rf cache
        w=$(best_inner 3 "$documents" run cache "$workers" 关键字 zips/*)
        echo "  the search run with ${workers} worker(s) ${w}s   quarlex/ugrep $(ratio "$w" "$u")x," \
             "target <= 1x: $(verdict "$w <= $u")"
    else
        echo "  quarlex ${q}s, ${found} found   ugrep is not installed: no ugrep figure"
    fi
}

# Run as a script: the same as bench/run.sh archives.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" archives "$@"; fi
