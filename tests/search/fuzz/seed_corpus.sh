#!/usr/bin/env bash
# Seeds for the document fuzzers from the fixtures in tests/data/documents (gsf from libgsf-bin
# takes the streams out of the compound files). See fuzz_documents.cpp for the input layouts.
#   tests/search/fuzz/seed_corpus.sh corpus-documents/ corpus/ [corpus-rtf/]
#   fuzz_documents  -max_len=65536 corpus-documents/
#   fuzz_file_search -max_len=65536 corpus/
#   fuzz_rtf -max_len=65536 corpus-rtf/
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
documents=$1
search=$2
mkdir -p "$documents" "$search"
fixtures="$root/tests/data/documents"
size32() { printf "%08x" "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/'; }
for f in "$fixtures"/*; do
    [ -f "$f" ] || continue
    name=$(basename "$f")
    # Mode 0 of fuzz_documents (byte 0 = 0), and fuzz_file_search's four bytes of options.
    { printf '\x00'; cat "$f"; } > "$documents/$name"
    { printf '\x00\x40\x00\x00'; cat "$f"; } > "$search/$name"
done
for f in "$fixtures"/*.doc; do
    word=$(mktemp) && gsf cat "$f" WordDocument > "$word"
    { printf '\x08'; printf "$(size32 "$(stat -c %s "$word")")"; cat "$word"
      gsf cat "$f" 1Table; } > "$documents/streams-$(basename "$f")" || true
    rm -f "$word"
done
for f in "$fixtures"/*.xls; do
    { printf '\x10'; gsf cat "$f" Workbook; } > "$documents/streams-$(basename "$f")" || true
done
for f in "$fixtures"/*.ppt; do
    document=$(mktemp) && gsf cat "$f" "PowerPoint Document" > "$document"
    { printf '\x18'; printf "$(size32 "$(stat -c %s "$document")")"; cat "$document"
      gsf cat "$f" "Current User"; } > "$documents/streams-$(basename "$f")"
    rm -f "$document"
done
# fuzz_rtf: the RTF fixtures without their first six bytes ("{\rtf1"), which the target puts
# back, after byte 0 (0: the caller never stops) and byte 0 = 3 (it stops after three pieces).
if [ -n "${3:-}" ]; then
    mkdir -p "$3"
    for f in "$fixtures"/rtf/*.rtf; do
        { printf '\x00'; tail -c +7 "$f"; } > "$3/$(basename "$f")"
        { printf '\x03'; tail -c +7 "$f"; } > "$3/stop-$(basename "$f")"
    done
fi
