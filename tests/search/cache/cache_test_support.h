#pragma once

// What the tests of the text cache share: the document fixtures, and a search with a cache.

#include "search/cache/text_cache.h"
#include "search/core/file_search.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <utility>

namespace cachetest {

inline QString documentsDir()
{
    return QStringLiteral(QUARLEX_DOCUMENTS_DIR);
}

inline bool copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
}

// One search with the given cache (or none).
inline std::pair<search::FileSearchResult, search::FileSearchStats>
searchWith(textcache::TextCache *cache, const QString &path, const QString &keyword)
{
    search::FileSearchOptions options;
    options.textCache = cache;
    search::FileSearch search(options);
    const search::FileSearchResult result = search.search(path, keyword);
    return {result, search.stats()};
}

inline bool sameAnswer(const search::FileSearchResult &a, const search::FileSearchResult &b)
{
    return a.outcome == b.outcome && a.excerpt == b.excerpt && a.status == b.status;
}

// The entry files of a cache folder.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.qtc")}, QDir::Files);
}

} // namespace cachetest
