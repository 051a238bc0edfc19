#include "search/documents/epub/epub.h"

#include "search/documents/html_text.h"
#include "search/documents/link_path.h"
#include "search/documents/text_sink.h"
#include "search/documents/zip_package.h"

#include <QHash>
#include <QList>
#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

constexpr qint64 kMaxContainer = qint64(1) << 20;
constexpr qint64 kMaxEncryption = qint64(4) << 20;
// Manifest items and spine entries kept; a package document listing more is no real book, and
// what it lists past these is not read.
constexpr qsizetype kMaxItems = qsizetype(1) << 16;

const QString &containerName()
{
    static const QString name = QStringLiteral("META-INF/container.xml");
    return name;
}

// The path of the package document that container.xml names: the first rootfile of the OPF media
// type, or named .opf; empty when there is none.
QString packageDocumentPath(const QByteArray &container)
{
    QXmlStreamReader reader(container);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"rootfile")
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        const QStringView path = attributes.value("full-path"_L1);
        if (!path.isEmpty() &&
            (attributes.value("media-type"_L1) == u"application/oebps-package+xml" ||
             path.endsWith(u".opf", Qt::CaseInsensitive)))
            return path.toString();
    }
    return QString();
}

bool isFont(QStringView algorithm, QStringView uri)
{
    // The font obfuscation of the IDPF and of Adobe: the text stays readable.
    if (algorithm == u"http://www.idpf.org/2008/embedding" ||
        algorithm == u"http://ns.adobe.com/pdf/enc#RC")
        return true;
    for (const QStringView suffix : {u".ttf", u".otf", u".ttc", u".woff", u".woff2", u".eot"}) {
        if (uri.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// True when encryption.xml lists a resource that is not a font.
bool encryptsText(const QByteArray &encryption)
{
    QXmlStreamReader reader(encryption);
    QString algorithm;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == u"EncryptedData") {
            algorithm.clear();
        } else if (name == u"EncryptionMethod") {
            algorithm = reader.attributes().value("Algorithm"_L1).toString();
        } else if (name == u"CipherReference" &&
                   !isFont(algorithm, reader.attributes().value("URI"_L1))) {
            return true;
        }
    }
    return false;
}

struct Item
{
    QString href;
    QString mediaType;
};

bool isHtml(const Item &item)
{
    if (item.mediaType.isEmpty()) {
        for (const QStringView suffix : {u".xhtml", u".html", u".htm"}) {
            if (item.href.endsWith(suffix, Qt::CaseInsensitive))
                return true;
        }
        return false;
    }
    return item.mediaType == u"application/xhtml+xml" || item.mediaType == u"text/html" ||
           item.mediaType == u"application/x-dtbook+xml";
}

// The manifest and the spine of the package document.
class PackageHandler : public XmlPartHandler
{
public:
    void startElement(const QXmlStreamReader &reader) override
    {
        const QStringView name = reader.name();
        if (name == u"item" && items.size() < kMaxItems) {
            const QXmlStreamAttributes attributes = reader.attributes();
            items.insert(attributes.value("id"_L1).toString(),
                         Item{attributes.value("href"_L1).toString(),
                              attributes.value("media-type"_L1).trimmed().toString()});
        } else if (name == u"itemref" && spine.size() < kMaxItems) {
            spine.append(reader.attributes().value("idref"_L1).toString());
        }
    }
    void endElement(const QXmlStreamReader &) override {}
    void characters(QStringView) override {}

    QHash<QString, Item> items; // by id
    QStringList spine;          // idrefs in reading order
};

} // namespace

bool isEpubPackage(const ZipPackage &package)
{
    QByteArray content;
    if (package.readAll(QStringLiteral("mimetype"), content, 256) == Status::Ok &&
        content.trimmed() == "application/epub+zip")
        return true;
    return package.contains(containerName()) &&
           package.readAll(containerName(), content, kMaxContainer) == Status::Ok &&
           !packageDocumentPath(content).isEmpty();
}

Outcome EpubExtractor::extractFrom(const ZipPackage &package, TextSink &sink)
{
    QByteArray bytes;
    const QString encryption = QStringLiteral("META-INF/encryption.xml");
    if (package.contains(encryption) &&
        package.readAll(encryption, bytes, kMaxEncryption) == Status::Ok && encryptsText(bytes))
        return Outcome::Encrypted;
    Status status = package.readAll(containerName(), bytes, kMaxContainer);
    if (status != Status::Ok)
        return outcomeOf(status);
    const QString packageDocument = resolveLink(QString(), packageDocumentPath(bytes));
    if (packageDocument.isEmpty())
        return Outcome::Damaged;

    PackageHandler handler;
    status = readXmlPart(package, packageDocument, handler, sink);
    // A package document broken after its spine still says what to read.
    if (status != Status::Ok && (status != Status::Damaged || handler.spine.isEmpty()))
        return outcomeOf(status);
    bool damaged = status == Status::Damaged;

    const QString base = packageDocument.left(packageDocument.lastIndexOf(u'/') + 1);
    for (const QString &idref : std::as_const(handler.spine)) {
        if (sink.stopRequested())
            return Outcome::Stopped;
        const auto item = handler.items.constFind(idref);
        if (item == handler.items.cend()) {
            damaged = true;
            continue;
        }
        if (!isHtml(*item))
            continue;
        status = readHtmlPart(package, resolveLink(base, item->href), sink);
        switch (status) {
        case Status::Ok:
            break;
        case Status::Missing:
        case Status::Damaged:
            // The other documents are still read: a book missing one chapter has the rest.
            damaged = true;
            break;
        case Status::Stopped:
        case Status::Encrypted:
        case Status::TooLarge:
            return outcomeOf(status);
        }
    }
    return damaged ? Outcome::Damaged : Outcome::Done;
}

} // namespace documents
