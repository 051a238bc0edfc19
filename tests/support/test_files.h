#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringEncoder>

// Creates or replaces the file at `path` with `bytes`. Returns false when that failed, for the
// test to check with QVERIFY where it stops the test.
[[nodiscard]] inline bool writeFile(const QString &path, const QByteArray &bytes = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// `text` in the GBK code page, as the program writes its files.
inline QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

// The last-location file's four lines in GBK, as the program writes them.
inline QByteArray lastLocationFileBytes(const QString &drive, const QString &path)
{
    return gbk(QStringLiteral(u"[路径]\r\n") + drive + QStringLiteral("\r\n") + path +
               QStringLiteral(u"\r\n[/路径]\r\n"));
}
