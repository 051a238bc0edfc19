// Benchmarks of the document text library, driven by bench/documents.sh, bench/rtf.sh,
// bench/bomb.sh and bench/archives.sh (all through bench/run.sh). Commands:
//
//   search KEYWORD FILE...         prints the files that hold KEYWORD, like grep -l: the search the
//                                  run does (search::FileSearch, one for all files)
//   search-stream KEYWORD FILE...  the document text only, through DocumentTextStream (the worker
//                                  thread)
//   search-cached CACHE KEYWORD FILE...
//                                  as search, with the text cache in the folder CACHE (filled by
//                                  the first run, served from by the next)
//   run CACHE WORKERS KEYWORD FILE...
//                                  a search run over the files (one folder, all marked) with the
//                                  text cache in CACHE and WORKERS threads extracting ahead;
//                                  prints the seconds from start to report and the hits, then
//                                  waits for the workers to finish
//   run-again CACHE WORKERS KEYWORD1 KEYWORD2 FILE...
//                                  as run with KEYWORD1, then with KEYWORD2 in the same process, as
//                                  the program searches the same folder again; prints the second
//                                  run's seconds and hits
//   export DIR FILE...             writes each document's text as DIR/N.txt in UTF-8, for timing
//                                  the same text searched as plain files
//   rss FILE                       idle and peak resident memory (KiB) around extracting FILE
//   text FILE                      the extracted text of FILE and its outcome, to see what a
//                                  reader gives
//   recall FOLDER                  for each row of FOLDER/WORDS.tsv (file, then words separated
//                                  by '|', '-' for none) whether the run's search finds each word
//                                  in FOLDER/file; prints the missed words per file, then the
//                                  totals per file extension
//   gen-ofd DIR COUNT SEED EVERY   writes COUNT one-page e-invoice-like OFD files into DIR (text
//                                  from SEED); every EVERY-th holds 关键字 in its remarks (0: none)
//   make-rtf DIR COUNT [KEYWORD]   writes COUNT RTF files of about 30 KiB to DIR (fixed seed):
//                                  Chinese text as GBK \'xx bytes with some \uN characters, a
//                                  picture; KEYWORD, when given, in the middle of each file, split
//                                  by a formatting group after its first character
//   make-rtf-hex FILE MIB          writes an RTF file whose picture is a hex run of MIB MiB
//   bomb FORM FILE MIB             writes a document bomb: one text run of MIB MiB of one letter,
//                                  deflated, in the part that holds the text (FORM docx: the run
//                                  of word/document.xml; odt: a paragraph of content.xml; xlsx:
//                                  an inline string cell), streamed through libarchive so that
//                                  writing it holds no more than a block. FORM ending in "-hidden"
//                                  declares a size of 1 KiB in the archive for the bomb entry.
//   nested-zip FILE LEVELS MEMBERS MIB
//                                  writes ZIP files nested LEVELS deep (FILE the outermost),
//                                  MEMBERS entries a level; the innermost hold runs of MIB MiB of
//                                  zero bytes (5 16 128: 48 KiB, 128 TiB in all, the shape and
//                                  size of the well-known 42.zip)
//   search-rss KEYWORD FILE        the run's search of FILE: prints seconds, idle and peak resident
//                                  memory (KiB), the outcome and the reason of an unreadable file
//                                  (of an archive: of the archive as a whole, "-" when it was read)
//   pdf-pages FILE...              each PDF file's page texts as the extraction lays them out
//                                  against poppler's own text of each page displayed alone (read
//                                  by the same placed-glyph rules, documents::placedText): prints
//                                  per file "same" or the first page that differs, then the seconds
//                                  each way; exits 1 when any file differs
//
// The search text is what the search run reads: the extracted text cut into fields by the same
// rules as every file, fields joined with nothing between them.
//
// The commands live by purpose: timings and memory in bench_documents_timings.cpp, what the
// readers give in bench_documents_diagnostics.cpp, the corpora in bench_documents_corpora.cpp and
// bench_documents_bombs.cpp.

#include "bench_documents.h"

#include "platform/core/program.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// A command, run when its name comes first and the argument count (the name included) is
// within [minArgs, maxArgs]; maxArgs -1: no upper bound.
struct Command
{
    const char *name;
    qsizetype minArgs;
    qsizetype maxArgs;
    int (*run)(const QStringList &args);
};

constexpr Command kCommands[] = {
    {"search", 3, -1, benchdocs::searchFiles},
    {"search-stream", 3, -1, benchdocs::searchFiles},
    {"search-cached", 4, -1, benchdocs::searchCached},
    {"run", 5, -1, benchdocs::searchRun},
    {"run-again", 6, -1, benchdocs::searchRun},
    {"export", 3, -1, benchdocs::exportText},
    {"rss", 2, 2, benchdocs::extractRss},
    {"search-rss", 3, 3, benchdocs::searchRss},
    {"text", 2, 2, benchdocs::printText},
    {"recall", 2, 2, benchdocs::recallWords},
    {"pdf-pages", 2, -1, benchdocs::comparePdfPages},
    {"gen-ofd", 5, 5, benchdocs::generateOfd},
    {"make-rtf", 3, -1, benchdocs::makeRtf},
    {"make-rtf-hex", 3, 3, benchdocs::makeRtfHex},
    {"bomb", 4, 4, benchdocs::writeBomb},
    {"nested-zip", 5, 5, benchdocs::writeNestedZip},
};

} // namespace

int main(int argc, char **argv)
{
    platform::pinTimeZone();
    QCoreApplication app(argc, argv);
    // The readers linked in, as the format module would hand them out.
    formats::setDefaultReaders(formats::linkedReaders());
    const QStringList args = app.arguments().mid(1);
    for (const Command &command : kCommands) {
        if (args.value(0) == QLatin1String(command.name) && args.size() >= command.minArgs &&
            (command.maxArgs < 0 || args.size() <= command.maxArgs))
            return command.run(args);
    }
    std::fprintf(stderr, "see the comment at the top of bench/bench_documents.cpp\n");
    return 2;
}
