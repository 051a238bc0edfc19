#!/usr/bin/env bash
# Seeds for the document fuzzers from the fixtures in tests/data/documents (gsf from libgsf-bin
# takes the streams out of the compound files). See fuzz_documents.cpp for the input layouts.
#   tests/search/fuzz/seed_corpus.sh corpus-documents/ corpus/
#   fuzz_documents  -max_len=65536 corpus-documents/
#   fuzz_file_search -max_len=65536 corpus/
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
documents=$1
search=$2
mkdir -p "$documents" "$search"
fixtures="$root/tests/data/documents"
size32() { printf "%08x" "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/'; }
for f in "$fixtures"/*; do
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
# Mode 4: the content documents of the EPUB fixtures.
for f in "$fixtures"/*.epub; do
    { printf '\x20'; unzip -p "$f" 'OEBPS/sections/*.xhtml'; } > "$documents/document-$(basename "$f")"
done
