#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// What a compiled help file says about itself: its #SYSTEM object and its table of contents.
namespace documents {

struct HelpSystem
{
    QByteArray contents; // the contents file (.hhc) it names, as written; empty: none
    quint32 lcid = 0;    // the language it was compiled for; 0: not given
};

// The #SYSTEM object: a version, then records of a 16-bit code, a 16-bit length and that many
// bytes. Code 0 names the contents file; code 4 starts with the LCID. Records cut off by the end
// are not read.
HelpSystem readHelpSystem(QByteArrayView bytes);

// The charset of the ANSI code page of the language `lcid` for the languages whose pages a text
// decoder could take for another charset (Chinese, Japanese, Korean, Cyrillic, Greek, ...), by
// the names platform::encodingNamed knows; empty for the others, whose pages the encoding rule
// reads.
QByteArray charsetOfLcid(quint32 lcid);

// The topics of a contents file (an HTML sitemap), in its order: the "Local" parameter of each
// <object type="text/sitemap">, as written (decoded with `charset` as a page is), at most
// `maxTopics`. Parsed with libxml2's HTML parser, which reads the sitemap's unclosed <li> and
// <param> elements as a browser does.
QStringList contentsTopics(QByteArrayView sitemap, const QByteArray &charset, qsizetype maxTopics);

} // namespace documents
