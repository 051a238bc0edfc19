#pragma once

#include "search/documents/document_text.h"

#include <QString>

#include <functional>

namespace formats {
class Readers;
}

namespace search {

// Why a file gave no search text.
enum class ReadStatus {
    Ok,
    NotFound,
    NoPermission,
    IsDirectory,
    ReadError,
    Encrypted,
    Damaged,
    NoText, // a document read whole that holds no text (a scan: every page an image)
};

// The short Chinese reason shown in the report for a file that could not be read.
QString readFailureReason(ReadStatus status);

// The bytes at the start of a file from which a document is recognised (a message's header
// block needs more than a signature's few bytes).
inline constexpr qsizetype kDocumentHeadSize = 1024;

// The failure of a document whose text ended with `outcome` (Ok when it was read).
ReadStatus documentFailure(documents::Outcome outcome);

// Works out why opening `path` failed, from what the file system says about it now.
ReadStatus classifyOpenFailure(const QString &path);

struct SearchTextResult
{
    QString text;
    ReadStatus status = ReadStatus::Ok;
    bool ok() const { return status == ReadStatus::Ok; }
};

// The search text of one file: its text fields, joined end to end with nothing between them.
//
// A document (an office file or a PDF, recognised by its content) gives the text of its
// plain-text export, cut into fields by the same rules; a password-protected or damaged one is
// a failure (Encrypted, Damaged), and `text` then holds what was read before the damage. Any other
// file is read through the sequential file slot (encoding chosen per file, fields cut and decoded
// one by one). `yield`, when given, runs once before every field so that the windows stay live
// during a long file. A file that cannot be opened or read gives an empty text and a failure
// status; nothing is thrown.
//
// This is the plain definition of the search text: it holds the whole text in memory. The search
// run uses the streaming search of file_search.h, which gives the same answers in bounded memory.
// `readers` (null: formats::defaultReaders()) read the documents.
SearchTextResult ReadSearchText(const QString &path, const std::function<void()> &yield = {},
                                const formats::Readers *readers = nullptr);

} // namespace search
