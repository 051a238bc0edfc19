#!/usr/bin/env bash
# Builds the search benchmarks in Release, generates the corpora (fixed seeds) in a temporary
# folder, and prints every figure next to its target, with ratios against grep -F -l.
#   bench/run.sh            every section below but rtf and bomb (rtf runs within documents), in
#                           this order (set BENCH_TMP to put the 1.5 GB of corpora somewhere else)
#   bench/run.sh text       only the text files: 400 MiB of every shape, 2,000 and 100,000 small
#                           files, the 1 GiB file, and the costs of the run and its windows
#   bench/run.sh documents  only the office documents and PDF files
#   bench/run.sh rtf        only the RTF files
#   bench/run.sh bomb       only the bombs: documents (3 GiB of one text run in a 3 MB package)
#                           and ZIP files nested five levels deep (42.zip's shape)
#   bench/run.sh tree       only the file list's listing of a folder tree
#   bench/run.sh archives   only the search inside ZIP archives
#   bench/run.sh mail       only the mails (.eml): GBK HTML bodies against ripmime and grep, and
#                           mails carrying a .docx against the .docx files alone
#   bench/run.sh windowed   only the windowed run through the chooser's file list, in-process and
#                           through the real program under Xvfb
#   bench/run.sh startup    only the program's start to the launcher's first paint under Xvfb
#   bench/run.sh ocr        only the search of scanned pages (BENCH_OCR_PAGES pages, default 100)
#   bench/run.sh encoding   only GBK files whose encoding is decided per file: the whole GBK
#                           range, and GB2312's second level (BENCH_OTHER: see bench/encoding.sh)
# Several names run those sections in the order given (bench/run.sh tree startup). Each section
# lives in bench/NAME.sh, which can also be run by itself; bench/common.sh holds what they share.
# The build goes to build/bench; BENCH_BUILD names another folder (e.g. BENCH_BUILD=build/rel).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
all=(text documents tree archives mail windowed startup ocr)
known=(text documents rtf bomb tree archives mail windowed startup ocr encoding)

usage() {
    sed -n '2,/^set -euo/p' "$here/run.sh" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

sections=("$@")
[ $# -gt 0 ] || sections=("${all[@]}")
for name in "${sections[@]}"; do
    [[ " ${known[*]} " == *" $name "* ]] || usage
done

source "$here/common.sh"
for name in "${known[@]}"; do
    source "$here/$name.sh"
done

# The targets of the sections asked for, built once.
targets=()
for name in "${sections[@]}"; do
    declare -n section_targets="${name}_targets"
    for target in "${section_targets[@]}"; do
        [[ " ${targets[*]} " == *" $target "* ]] || targets+=("$target")
    done
    unset -n section_targets
done
bench_build "${targets[@]}"

bench_workdir
for name in "${sections[@]}"; do
    "${name}_section"
done
