#include "search/documents/chm/help_file.h"

#include "platform/core/text_encoding.h"
#include "search/documents/chm/chm_archive.h"
#include "search/documents/chm/help_contents.h"
#include "search/documents/html_text.h"
#include "search/documents/link_path.h"
#include "search/documents/text_sink.h"

#include <QHash>

namespace documents {

namespace {

// Objects listed from the directory; a help file has a few thousand at most.
constexpr qsizetype kMaxObjects = qsizetype(1) << 20;
constexpr qint64 kMaxSystemBytes = qint64(1) << 20;

bool isPage(QStringView path)
{
    for (const char16_t *extension : {u".htm", u".html", u".xhtml", u".shtml"}) {
        if (path.endsWith(extension, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The directory path of a contents entry's Local value, read from the contents file in the
// folder `base` (ending with '/'): a link into another help file ("ms-its:other.chm::/a.htm")
// taken at its path, the fragment cut off, percent escapes decoded, "." and ".." resolved.
// Empty for a web address.
QString topicPath(const QString &base, const QString &local)
{
    const qsizetype archive = local.lastIndexOf(u"::");
    const QString path = resolveLink(base, archive >= 0 ? local.sliced(archive + 2) : local);
    return path.isEmpty() ? QString() : u'/' + path;
}

// The contents file: the one #SYSTEM names when the archive holds it, else the only .hhc file.
QString contentsPath(const HelpSystem &system, const QByteArray &charset,
                     const QHash<QString, qsizetype> &index, const QStringList &paths)
{
    if (!system.contents.isEmpty()) {
        const QString named = topicPath(QStringLiteral("/"), decodeHtml(system.contents, charset));
        if (const auto it = index.constFind(named.toLower()); it != index.cend())
            return paths[*it];
    }
    QString only;
    for (const QString &path : paths) {
        if (path.endsWith(u".hhc", Qt::CaseInsensitive)) {
            if (!only.isEmpty())
                return QString();
            only = path;
        }
    }
    return only;
}

} // namespace

Outcome HelpFileExtractor::extract(const Source &source, TextSink &sink)
{
    ChmArchive archive;
    if (source.inMemory() || !archive.open(source.path()))
        return Outcome::Damaged;
    const std::vector<ChmArchive::Object> objects = archive.objects(kMaxObjects);
    QStringList paths;
    QHash<QString, qsizetype> index; // lower-cased path → place in `paths`
    for (const ChmArchive::Object &object : objects) {
        paths.append(QString::fromUtf8(object.path));
        index.insert(paths.last().toLower(), paths.size() - 1);
    }

    const HelpSystem system =
        readHelpSystem(archive.read("/#SYSTEM", kMaxSystemBytes).value_or(QByteArray()));
    const QByteArray charset = charsetOfLcid(system.lcid);

    // The pages to read, in order: the contents' topics, then the other pages.
    std::vector<qsizetype> order;
    std::vector<bool> taken(objects.size(), false);
    auto take = [&](qsizetype at) {
        if (!taken[at] && isPage(paths[at]) && qsizetype(order.size()) < kMaxTopics) {
            taken[at] = true;
            order.push_back(at);
        }
    };
    bool damaged = false;
    if (const QString contents = contentsPath(system, charset, index, paths); !contents.isEmpty()) {
        const std::optional<QByteArray> sitemap = archive.read(contents.toUtf8(), kMaxTopicBytes);
        damaged = !sitemap && objects[index.value(contents.toLower())].length <= kMaxTopicBytes;
        const QString base = contents.first(contents.lastIndexOf(u'/') + 1);
        for (const QString &local :
             contentsTopics(sitemap.value_or(QByteArray()), charset, kMaxTopics)) {
            if (const auto it = index.constFind(topicPath(base, local).toLower());
                it != index.cend())
                take(*it);
        }
    }
    for (qsizetype at = 0; at < qsizetype(objects.size()); ++at)
        take(at);

    qint64 budget = kMaxTotalBytes;
    const int parts = int(order.size());
    for (int part = 0; part < parts; ++part) {
        if (sink.stopRequested())
            return Outcome::Stopped;
        sink.beginPart(part, parts);
        const ChmArchive::Object &object = objects[order[part]];
        if (object.length > quint64(kMaxTopicBytes))
            continue;
        // Pages that decompress to more than this all told are a bomb, not a help file.
        if (object.length > quint64(budget))
            return Outcome::Damaged;
        budget -= qint64(object.length);
        const std::optional<QByteArray> page = archive.read(object.path, kMaxTopicBytes);
        if (!page) {
            damaged = true;
            continue;
        }
        // A page's own charset declaration is what the help viewer follows first.
        const bool declares =
            platform::declaredCharset(
                QByteArrayView(*page).first(std::min<qsizetype>(page->size(), platform::kHeadSize)))
                .has_value();
        if (!readHtmlText(*page, declares ? QByteArray() : charset, sink))
            return Outcome::Stopped;
    }
    return damaged ? Outcome::Damaged : Outcome::Done;
}

} // namespace documents
