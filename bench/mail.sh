#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh mail, or this file run as a script, runs it alone).
# mail_targets: the build targets the section runs.
mail_targets=(bench_documents)

# Mail: 1,000 mails of about 30 KiB, a GBK HTML body in quoted-printable (Chinese text from a
# fixed seed, written by bench/gen_mail.py), against ripmime writing each mail's parts to a folder
# and grep -r -F -l over it. Then the same mails each carrying a .docx attachment, against those
# .docx files alone: reading a mail around an attachment costs little more than the attachment.
# No file holds the keyword. Each is timed twice: the search of one thread without the text cache
# (bench_documents search, the process's start included), and the first search as the program
# runs it (bench_documents run: an empty text cache, a worker per spare core, timed inside the
# process from the run's start to its report, as the program times a search), so that every run
# reads the mails whole.
mail_section() {
    local count=${BENCH_MAIL_COUNT:-1000}
    local workers=$(( $(nproc) > 1 ? $(nproc) - 1 : 0 ))
    # The first search of FILES with an empty text cache, as the program runs it.
    first_run() {
        rm -rf mail-cache
        "$documents" run mail-cache "$workers" 关键字 "$@"
    }
    python3 "$root/bench/gen_mail.py" mail "$count" 20261211
    cat mail/eml/* mail/eml-docx/* mail/docx/* > /dev/null

    ripmime_grep() {
        local f out=ripmime-out
        rm -rf "$out" && mkdir "$out"
        for f in "$1"/*; do ripmime -i "$f" -d "$out/$(basename "$f")" > /dev/null 2>&1 || true; done
        grep -r -F -l 关键字 "$out" || true
    }

    local q p r found
    found=$({ "$documents" search 关键字 mail/eml/* || true; } | wc -l)
    echo
    echo "${count} mails of $(( $(cat mail/eml/* | wc -c) / count / 1024 )) KiB (GBK HTML," \
         "quoted-printable) without the keyword, ${found} found"
    q=$(best_of 3 "$documents" search 关键字 mail/eml/*)
    p=$(best_inner 3 first_run mail/eml/*)
    local g
    if have ripmime; then
        g=$(best_of 3 ripmime_grep mail/eml)
        echo "  ripmime per file, then grep -r -F -l ${g}s"
        r=$(ratio "$g" "$q")
        echo "  quarlex, one thread, no cache ${q}s: ${r}x faster"
        r=$(ratio "$g" "$p")
        echo "  quarlex, first search as the program runs it (${workers} workers) ${p}s: ${r}x" \
             "faster   target >= 10x: $(verdict "$r >= 10")"
    else
        echo "  quarlex ${q}s, as the program runs it ${p}s   ripmime is not installed: no" \
             "ripmime figure"
    fi

    local b c
    found=$({ "$documents" search 关键字 mail/eml-docx/* mail/docx/* || true; } | wc -l)
    echo
    echo "the same mails with a .docx of $(( $(cat mail/docx/* | wc -c) / count / 1024 )) KiB" \
         "attached ($(( $(cat mail/eml-docx/* | wc -c) / count / 1024 )) KiB each), and the" \
         ".docx files alone, ${found} found"
    b=$(best_of 3 "$documents" search 关键字 mail/eml-docx/*)
    c=$(best_of 3 "$documents" search 关键字 mail/docx/*)
    r=$(ratio "$b" "$c")
    echo "  one thread, no cache: mails with the .docx ${b}s   the .docx alone ${c}s   ${r}x"
    b=$(best_inner 3 first_run mail/eml-docx/*)
    c=$(best_inner 3 first_run mail/docx/*)
    r=$(ratio "$b" "$c")
    echo "  first search as the program runs it: mails with the .docx ${b}s   the .docx alone" \
         "${c}s   ${r}x   target <= 1.5x: $(verdict "$r <= 1.5")"
}

# Run as a script: the same as bench/run.sh mail.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" mail "$@"; fi
