#include "search/core/search_text.h"

#include "platform/core/field_cutter.h"
#include "platform/core/file_slot.h"
#include "search/documents/document.h"
#include "search/documents/signatures.h"
#include "search/formats/format_module.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace search {

QString readFailureReason(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::NotFound:
        return QStringLiteral(u"文件不存在");
    case ReadStatus::NoPermission:
        return QStringLiteral(u"没有读取权限");
    case ReadStatus::IsDirectory:
        return QStringLiteral(u"这是一个文件夹");
    case ReadStatus::ReadError:
        return QStringLiteral(u"读取出错");
    case ReadStatus::Encrypted:
        return QStringLiteral(u"文档已加密");
    case ReadStatus::Damaged:
        return QStringLiteral(u"文档已损坏");
    case ReadStatus::NoText:
        return QStringLiteral(u"没有可搜索的文字");
    }
    return QString();
}

ReadStatus classifyOpenFailure(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) // also a dangling symbolic link
        return ReadStatus::NotFound;
    if (info.isDir())
        return ReadStatus::IsDirectory;
    if (!info.isReadable())
        return ReadStatus::NoPermission;
    return ReadStatus::ReadError;
}

ReadStatus documentFailure(documents::Outcome outcome)
{
    switch (outcome) {
    case documents::Outcome::Done:
    case documents::Outcome::Stopped:
        break;
    case documents::Outcome::Encrypted:
        return ReadStatus::Encrypted;
    case documents::Outcome::Damaged:
        return ReadStatus::Damaged;
    case documents::Outcome::NoText:
        return ReadStatus::NoText;
    }
    return ReadStatus::Ok;
}

namespace {

// The document's text, cut into fields and joined. Nothing when the file is no document.
std::optional<SearchTextResult> readDocumentText(const QString &path,
                                                 const std::function<void()> &yield,
                                                 const formats::Readers &readers)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt; // the file slot says why
    const QByteArray head = file.read(kDocumentHeadSize);
    if (!documents::mayBeDocument(head))
        return std::nullopt;
    const std::unique_ptr<documents::Document> document = readers.openDocument(path, head);
    if (!document)
        return std::nullopt;
    file.close();
    SearchTextResult result;
    platform::FieldCutter<char16_t> cutter;
    platform::AppendToText sink{result.text};
    platform::WorkMonitor monitor;
    const documents::Outcome outcome = document->extract(
        [&](QStringView text) {
            if (yield)
                yield();
            const auto *p = reinterpret_cast<const char16_t *>(text.data());
            cutter.cutAll(p, p + text.size(), sink);
            return true;
        },
        monitor);
    // A damaged document keeps the text read before the damage: a keyword found there is found.
    result.status = documentFailure(outcome);
    return result;
}

} // namespace

SearchTextResult ReadSearchText(const QString &path, const std::function<void()> &yield,
                                const formats::Readers *readers)
{
    if (auto document =
            readDocumentText(path, yield, readers ? *readers : formats::defaultReaders()))
        return *document;
    SearchTextResult result;
    platform::FileSlot slot;
    if (!slot.openInput(path)) {
        result.status = classifyOpenFailure(path);
        return result;
    }
    QString field;
    while (!slot.atEnd()) {
        if (yield)
            yield();
        if (!slot.readField(field))
            break; // a read error, told below
        result.text += field;
    }
    // The end-of-file test also answers true when reading failed.
    if (slot.readFailed()) {
        result.text.clear();
        result.status = ReadStatus::ReadError;
    }
    slot.closeAll();
    return result;
}

} // namespace search
