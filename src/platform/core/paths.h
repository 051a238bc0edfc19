#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

// The path of `name` inside `folder`, with one separator between them (a root folder such as
// "/" already ends with one).
inline QString childPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

// How the program holds names the file system gives it.
//
// A file system name is a string of bytes. A path component that is valid UTF-8 is held as its
// text. A component that is not (GBK bytes of a name written on Chinese Windows, unpacked from a
// ZIP or copied from an old disk) is held with each byte 0x80..0xFF as the lone surrogate
// U+DC00 + byte and its ASCII bytes as they are; no valid UTF-8 text holds such a surrogate, so
// the held form says exactly which bytes the name has. nativePath() gives those bytes back;
// displayName() is what the user is shown for it.

// The bytes the file system knows `path` by. Every file the program opens, lists or hands to the
// desktop is named through this, never through QFile::encodeName, so that a name that is not
// UTF-8 reaches the file system with the bytes it was read with (pathFromNative).
QByteArray nativePath(const QString &path);

// A path (or a bare name) read from the file system, as the program holds it; nativePath() gives
// the same bytes back.
QString pathFromNative(QByteArrayView bytes);

// The process's working folder as the program holds it (pathFromNative of getcwd's bytes), so
// that a folder whose name is not UTF-8 is found again; QDir::currentPath() would replace those
// bytes. Empty when it cannot be told (the folder was removed).
QString currentFolder();

// True when `path` holds a component that is not UTF-8 on the file system.
bool hasRawBytes(const QString &path);

// `path` as the user reads it: each component that is not UTF-8 decoded from its bytes as
// GB18030 (a superset of GBK), the others unchanged.
QString displayName(const QString &path);

// `path` as it is shown wherever a name is listed or reported (the file and folder lists, the
// report's entries, a saved report): displayName() with every character that could end a line or
// reorder the text around it written out visibly, so that no name starts a line of its own or
// shows its characters in another order than they have. Tab, CR and LF become \t, \r and \n;
// other control characters (C0, DEL, C1), the line and paragraph separators U+2028 and U+2029,
// and the bidirectional marks, embeddings, overrides and isolates (U+061C, U+200E, U+200F,
// U+202A..U+202E, U+2066..U+2069) become \u and four hex digits. Everything else, a backslash
// included, is shown as it is. Only for showing: the file is still opened by its held name.
QString visibleName(const QString &path);

// The same for a name displayName() already gave.
QString visibleText(QString shown);

// The held form of the component whose GB18030 bytes are those of the displayed `name`: where a
// name was shown (and written down) by displayName(), this finds the bytes it has on disk.
QString rawNameFromDisplay(const QString &name);

// The held form of the absolute path that displayName() showed as `shown`: component by
// component, a name that exists as written is taken, else the name whose GB18030 bytes are the
// shown text, when that exists. Components that exist in neither form are kept as written.
QString pathFromDisplay(const QString &shown);

// A "file://" URL naming `absolutePath` by its exact bytes, every byte that is not an unreserved
// character or "/" percent-encoded.
QByteArray fileUrl(const QString &absolutePath);

} // namespace platform
