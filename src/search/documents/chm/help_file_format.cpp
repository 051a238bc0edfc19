#include "search/documents/chm/chm_archive.h"
#include "search/documents/chm/help_file.h"
#include "search/documents/format_support.h"

namespace documents {

namespace {

bool isHelpFile(Probe &probe)
{
    // chmlib reads files by path only (see help_file.h).
    return !probe.source().inMemory() && ChmArchive().open(probe.source().path());
}

} // namespace

const Format kHelpFileFormat{Kind::HelpFile,
                             "1",
                             hasSignature<kChmSignature, 4>,
                             isHelpFile,
                             openSource<HelpFileExtractor, kHelpFileFormat>,
                             false,
                             nullptr};

} // namespace documents
