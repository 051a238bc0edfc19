#pragma once

// Files for the tests to search, list and compare: written whole or as a tree, read back, and
// text in the code pages the program meets.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringEncoder>
#include <QStringList>
#include <QtGlobal>

// Creates or replaces the file at `path` with `bytes`. Returns false when that failed, for the
// test to check with QVERIFY where it stops the test.
[[nodiscard]] inline bool writeFile(const QString &path, const QByteArray &bytes = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes `bytes` as the file `name` in `folder` and returns its path, for helpers that hand the
// path on; a file that cannot be written ends the test program, as no test can go on without it.
inline QString writeTestFile(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder + u'/' + name;
    if (!writeFile(path, bytes))
        qFatal("cannot write the test file %s", qPrintable(path));
    return path;
}

// Makes a tree of files below `root`: each of `files` is a path relative to it ('/' between the
// folders) and the bytes it holds; the folders on the way are made as needed, `root` too.
// Returns false when a folder or a file could not be made.
[[nodiscard]] inline bool writeTree(const QString &root,
                                    const QList<QPair<QString, QByteArray>> &files)
{
    if (!QDir().mkpath(root))
        return false;
    for (const auto &[relative, bytes] : files) {
        const QString path = root + u'/' + relative;
        if (!QDir().mkpath(QFileInfo(path).path()) || !writeFile(path, bytes))
            return false;
    }
    return true;
}

// The same for empty files: `paths` relative to `root`.
[[nodiscard]] inline bool writeTree(const QString &root, const QStringList &paths)
{
    QList<QPair<QString, QByteArray>> files;
    for (const QString &path : paths)
        files.append({path, QByteArray()});
    return writeTree(root, files);
}

// The bytes of the file at `path`. A file that cannot be read gives a marker no test writes, so
// that it never compares equal to an expected content, an empty one included.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable: ") + QFile::encodeName(path) + '>';
    return file.readAll();
}

// The text of the UTF-8 file at `path` without the byte order mark an office suite's export
// starts with. A file that cannot be read ends the test program: it is a committed fixture.
inline QString readUtf8(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the fixture %s", qPrintable(path));
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// `text` in the code page `codec`; a text the code page cannot hold ends the test program, since
// the test would then search other bytes than it says.
inline QByteArray encoded(const char *codec, const QString &text)
{
    QStringEncoder encoder(codec);
    const QByteArray bytes = encoder.encode(text);
    if (!encoder.isValid() || encoder.hasError())
        qFatal("the test text cannot be written in %s", codec);
    return bytes;
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
