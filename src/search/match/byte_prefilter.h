#pragma once

#include "platform/core/text_encoding.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <mutex>
#include <optional>
#include <vector>

namespace search {

// The keyword's bytes, searched in a file's joined field bytes before anything is decoded:
// wherever the search text holds the keyword, the joined bytes hold its byte form (a delimiter
// or quote never falls inside a character), so a file without that form has no hit, and only
// the places that hold it need decoding.
class BytePrefilter
{
public:
    explicit BytePrefilter(const QString &keyword);

    const QString &keyword() const { return m_keyword; }

    // True when the keyword can be searched by its bytes in a file of `encoding` (nothing: not
    // known yet, only ASCII has been read so far and any of GB18030, UTF-8 and Big5 may follow).
    bool usable(std::optional<platform::TextEncoding> encoding) const;

    // The bytes to look for in text of `encoding`; nothing when there are none (before the
    // encoding is known: a keyword with non-ASCII characters cannot occur in ASCII text).
    std::optional<QByteArray> needle(std::optional<platform::TextEncoding> encoding) const;

    // Of the keyword's characters in `encoding`, the byte form that occurs least often in
    // `sample` (the start of the file): every occurrence of the keyword holds it whole in the
    // file's raw bytes, delimiters or not. Nothing when the keyword has no byte form there.
    std::optional<QByteArray> rarestCharacter(std::optional<platform::TextEncoding> encoding,
                                              QByteArrayView sample) const;

    // True when `bytes`, a whole file whose head decides no encoding, cannot hold the keyword in
    // whichever encoding the rest of the rule decides (GB18030, UTF-8 or Big5): in each, one of the
    // keyword's characters has a byte form the bytes lack, or the encoding makes no such
    // character. The file then needs neither that decision nor a scan.
    bool absentFromAll(QByteArrayView bytes) const;

private:
    // What rules an encoding out for a file: a character of the keyword the encoding never makes,
    // or the byte forms of which one missing from the file is enough.
    struct Exclusion
    {
        bool never = false;
        std::vector<QByteArray> forms;
    };
    // Made the first time a file needs it (GB18030, UTF-8 or Big5).
    const Exclusion &exclusion(platform::TextEncoding encoding) const;

    // The byte forms of the keyword's characters in `encoding`, made the first time they are
    // asked for (a run searches many files for one keyword); nothing when one has none.
    const std::optional<std::vector<QByteArray>> &
    characterForms(std::optional<platform::TextEncoding> encoding) const;

    QString m_keyword;
    const std::optional<QByteArray> &gb18030() const;
    const std::optional<QByteArray> &utf8() const;

    std::optional<QByteArray> m_ascii;
    mutable std::optional<QByteArray> m_gb18030;
    mutable std::once_flag m_gb18030Made;
    mutable std::optional<QByteArray> m_utf8;
    mutable std::once_flag m_utf8Made;
    mutable std::optional<QByteArray> m_big5;
    mutable std::once_flag m_big5Made;
    // For no encoding yet (ASCII), GB18030, UTF-8 and Big5.
    mutable std::array<std::optional<std::vector<QByteArray>>, 4> m_forms;
    mutable std::array<std::once_flag, 4> m_formsMade;
    mutable std::array<Exclusion, 3> m_exclusions; // GB18030, UTF-8, Big5
    mutable std::array<std::once_flag, 3> m_exclusionsMade;
};

} // namespace search
