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
}

# Run as a script: the same as bench/run.sh bomb.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" bomb "$@"; fi
