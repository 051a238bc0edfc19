#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh tree, or this file run as a script, runs it alone).
# tree_targets: the build targets the section runs.
tree_targets=(bench_tree_list)

# The file list on a tree of 100,000 empty files in 1,000 folders ("**/*"), against find -type f
# in the same run (both best of 3, the tree in the page cache).
tree_section() {
    mkdir -p tree
    local find list first mark walk count
    read -r _ find _ list _ first _ mark _ walk count <<< \
        "$("$build/bench/bench_tree_list" "$work/tree" 2>/dev/null)"
    local r
    r=$(ratio "$list" "$find")
    echo
    echo "Listing 100,000 files in 1,000 folders with **/* (${count} entries)"
    echo "  file list ${list}s (the walk alone ${walk}s)   find -type f ${find}s   ratio ${r}x" \
         "  target <= 2x: $(verdict "$r <= 2")"
    echo "  first entries shown after ${first}ms   target < 100ms: $(verdict "$first < 100")"
    echo "  marking all, paging to the middle and painting: ${mark}ms"
}

# Run as a script: the same as bench/run.sh tree.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" tree "$@"; fi
