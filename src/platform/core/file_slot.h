#pragma once

#include "platform/core/field_cutter.h"
#include "platform/core/text_encoding.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;
class QSaveFile;

namespace platform {

// The sequential text file slot: one file at a time, opened for input or for output.
//
// Opening a file while the slot holds one closes the old one first (output that was being written
// is committed). Each user owns its own slot, so a file read in one place is never closed by
// another. Failures are returned as values, never thrown.
//
// Input: the encoding is chosen per file by detectEncoding (text_encoding.h); fields are cut by
// the rules of FieldCutter, on the bytes where cutsAsBytes says so and decoded one by one, else
// on the decoded characters.
//
// Output goes to a temporary file that replaces the target only when closeAll() succeeds, so an
// interrupted write never leaves a truncated file behind.
class FileSlot
{
public:
    enum class OutputEncoding { CodePage, Utf8WithBom };

    FileSlot();
    ~FileSlot();
    FileSlot(const FileSlot &) = delete;
    FileSlot &operator=(const FileSlot &) = delete;

    bool openInput(const QString &path);
    bool openOutput(const QString &path, OutputEncoding encoding = OutputEncoding::CodePage);

    // True once nothing more can be read: at the end of the file, after a read error (which
    // readFailed() then tells apart), and when no input file is open.
    bool atEnd();
    // True when reading the open input file failed; the reason is in errorString().
    bool readFailed() const { return m_readFailed; }
    // Reads the next field into `field`. Returns false on a read error; at the end of the file
    // it returns true with an empty field.
    bool readField(QString &field);

    // Writes the text, encoded, followed by CR LF.
    bool writeLine(const QString &text);

    // Closes whatever is open. Returns false when pending output could not be saved.
    bool closeAll();

    bool isOpen() const;
    const Encoding &inputEncoding() const { return m_encoding; }
    QString errorString() const { return m_error; }

private:
    bool fill();
    bool readByteField(QString &field);
    bool readTextField(QString &field);

    std::unique_ptr<QFile> m_in;
    std::unique_ptr<QSaveFile> m_out;
    OutputEncoding m_outEncoding = OutputEncoding::CodePage;
    Encoding m_encoding;
    bool m_bytesCut = true;   // cutsAsBytes(m_encoding)
    QStringDecoder m_decoder; // byte encodings other than GB18030
    TextDecoder m_textDecoder;

    QByteArray m_bytes; // raw input not consumed yet, from m_pos
    qsizetype m_pos = 0;
    QString m_text; // decoded UTF-16 input not consumed yet, from m_textPos
    qsizetype m_textPos = 0;
    FieldCutter<char> m_byteCutter;
    FieldCutter<char16_t> m_textCutter;
    bool m_eofSeen = false;
    bool m_readFailed = false;
    QString m_error;
};

} // namespace platform
