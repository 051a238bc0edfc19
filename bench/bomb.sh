#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh bomb, or this file run as a script, runs it alone).
# bomb_targets: the build targets the section runs.
bomb_targets=(bench_documents)

# Document bombs: one text run of 3 GiB of one letter, deflated into a package of 3 MB, its size
# told by the archive or hidden (1 KiB declared). Writing each takes about a minute.
bomb_section() {
    echo
    echo "Document bombs (3 GiB of one text run): time and peak memory until named"
    local form file seconds idle peak outcome reason above
    for form in docx docx-hidden xlsx-hidden odt-hidden; do
        file="bomb-$form.${form%-hidden}"
        "$documents" bomb "$form" "$file" 3072
        read -r seconds idle peak outcome reason <<< "$("$documents" search-rss "关键" "$file")"
        above=$(printf '%.1f' "$(echo "($peak - $idle) / 1024" | bc -l)")
        echo "  $form ($(($(stat -c %s "$file") / 1024)) KiB): $outcome $reason in ${seconds}s," \
             "${above} MiB above idle   target < 3 s, < 100 MiB:" \
             "$(verdict "$seconds < 3 && $above < 100")"
        rm -f "$file"
    done
    nested_section
}

# Archives nested in archives, 42.zip's shape: five levels of 16 ZIP files, the innermost holding
# runs of 128 MiB of zero bytes (16^5 of them: 128 TiB) in a file of 48 KiB. The archive's budget
# names it damaged as a whole; the text file after it in the same run is searched as usual.
nested_section() {
    echo
    echo "Nested ZIP files (5 levels of 16, runs of 128 MiB): time until named, the file after it"
    local seconds idle peak outcome reason above run hits
    "$documents" nested-zip nested.zip 5 16 128
    printf '压缩包后面的文件里有关键字。\n' > after.txt
    read -r seconds idle peak outcome reason <<< "$("$documents" search-rss 关键字 nested.zip)"
    above=$(printf '%.1f' "$(echo "($peak - $idle) / 1024" | bc -l)")
    read -r run hits <<< "$("$documents" run cache 1 关键字 nested.zip after.txt)"
    echo "  nested.zip ($(($(stat -c %s nested.zip) / 1024)) KiB): $outcome $reason in ${seconds}s," \
         "${above} MiB above idle   target < 2 s: $(verdict "$seconds < 2")"
    echo "  a run over it and a text file after it: ${run}s, ${hits} hit(s)   target 1 hit:" \
         "$( [ "$hits" = 1 ] && echo met || echo MISSED)"
    rm -rf nested.zip after.txt cache
}

# Run as a script: the same as bench/run.sh bomb.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" bomb "$@"; fi
