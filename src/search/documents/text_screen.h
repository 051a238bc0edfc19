#pragma once

#include "search/documents/document.h"
#include "search/documents/zip_package.h"

#include <QByteArray>
#include <QList>
#include <QStringView>

#include <functional>
#include <vector>

namespace documents {

// Tells from the raw bytes of a ZIP-based document (Office Open XML, OpenDocument, OFD), before any
// XML is parsed, that its text cannot hold a keyword.
//
// The text of such a document is the character data of its XML parts plus what the extractors
// write themselves (line ends, tabs, commas, quotes, spaces, hyphens: all ASCII). A non-ASCII
// character reaches the text only as its own UTF-8 bytes in some entry, unless a part is encoded
// otherwise (UTF-16, a declared encoding), writes it as a character reference ("&#") or declares
// entities ("<!DOCTYPE"). So when some non-ASCII character of the keyword occurs in no entry and
// no part does any of that, the document has no hit; inflating and scanning the entries costs a
// fraction of parsing them. In an OFD package a radical that its text reads as an ideograph
// (documents::placedText) counts as that ideograph. Of a Word or Excel package only the parts the
// reader takes text from are scanned (documents::officeTextParts): the others cannot put a
// character into the text.
//
// What the screen cannot vouch for is Possible, and the extraction then reads and names it: a
// damaged or encrypted entry, a ZIP bomb, an .xml entry that is no UTF-8 XML, an OpenDocument
// whose manifest lists encrypted parts, an OFD package with Encryptions.xml, and an OFD package
// in which no entry has a TextObject (the extraction may find it a scan, which the report names),
// and an OFD package with an ImageObject (a scanned page, read by text recognition).
// One thing the screen does not see is a broken structure: a document whose every entry inflates
// but whose XML is not well formed (or an OFD package that names a page it does not hold), and
// which holds none of the keyword's characters, is answered Absent where the extraction would
// call it damaged.
class TextScreen
{
public:
    explicit TextScreen(QStringView keyword);

    // False when the keyword has no character the screen can look for (ASCII only, or empty).
    bool usable() const { return !m_needles.empty(); }

    using Verdict = Screen;

    // Inflates and scans the document at `path` of `kind`; other kinds than the ZIP-based ones
    // are Possible. `keepGoing` (may be empty) is called between blocks; false stops (Stopped).
    Verdict screen(const Source &source, Kind kind, const std::function<bool()> &keepGoing) const;

    // The UTF-8 forms of the keyword's non-ASCII characters that are looked for.
    const std::vector<QByteArray> &needles() const { return m_needles; }

private:
    std::vector<QByteArray> m_needles;
};

// The screen of a package already open (TextScreen::screen), for a keyword whose non-ASCII
// characters have the UTF-8 forms `needles`; `monitor.keepGoing()` is asked between blocks.
Screen screenPackageBytes(const ZipPackage &package, Kind kind,
                          const std::vector<QByteArray> &needles, platform::WorkMonitor &monitor);

// The scan of one package's raw entries, entry after entry, as TextScreen runs it: every entry is
// searched for the needles not found yet, UTF-8 XML entries also for what would let a character
// into the text without its bytes. Entries may come in blocks of any size.
class PackageScan
{
public:
    // `kind`: the document's kind; OFD packages have rules of their own (see TextScreen).
    explicit PackageScan(const std::vector<QByteArray> &needles, Kind kind = Kind::OfficeOpenXml);

    // Each returns false once the answer is Possible (every needle found, or something the scan
    // cannot vouch for): the rest need not be read.
    bool beginEntry(QByteArrayView name);
    bool feed(QByteArrayView block);

    // After the last entry: true when the package leaves the keyword possible.
    bool possibleAtEnd()
    {
        endEntry();
        return m_missing == 0 || (m_ofd && !m_sawTextObject);
    }

private:
    bool endEntry()
    {
        if (!m_headKnown && !settleHead(m_pending))
            return false;
        // A part that draws an image and no text may be a scanned page, whose text only
        // recognition finds.
        if (m_ofd && m_entryImage && !m_entryText)
            return decidePossible();
        return true;
    }
    bool settleHead(QByteArrayView bytes);
    bool decidePossible();
    bool scan(QByteArrayView bytes);
    bool search(QByteArrayView text);
    bool holdsRadical(QByteArrayView text, std::size_t needle) const;

    const std::vector<QByteArray> &m_needles;
    // Per needle, of an OFD package: the radicals read as its character (placedText).
    std::vector<QList<QByteArray>> m_radicals;
    std::vector<bool> m_found;
    std::size_t m_missing;
    const bool m_ofd;
    bool m_sawTextObject = false;
    bool m_entryText = false;  // the OFD part has a TextObject
    bool m_entryImage = false; // the OFD part has an ImageObject

    bool m_xmlNamed = false;
    bool m_manifest = false;
    bool m_utf8Xml = false;               // the entry is read as UTF-8 XML
    bool m_headKnown = true;              // no entry begun yet
    QByteArray m_pending;                 // the entry's first bytes, until its head is known
    QByteArray m_tail;                    // the last bytes scanned, for patterns across two blocks
    std::vector<QByteArrayView> m_alarms; // of static patterns
};

} // namespace documents
