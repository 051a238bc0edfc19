#pragma once

#include "search/documents/document_text.h"
#include "search/documents/rtf/block_input.h"
#include "search/documents/rtf/code_pages.h"

#include <QByteArray>
#include <QString>

#include <unordered_map>
#include <vector>

namespace documents {

class TextSink;

namespace rtf {

// Reads an RTF file a block at a time and hands the text a reader sees to a TextSink as it goes.
// Memory stays bounded whatever the file holds: a picture's hex run or \bin data is passed over,
// not kept, groups nest to any depth, and text reaches the sink in pieces.
class Reader
{
public:
    Reader(QIODevice &device, TextSink &sink) : m_sink(sink), m_input(device, sink) {}

    // Reads the device to its end or to the close of the outermost group. Done also for a file
    // cut short (its text so far is what a reader shows); Damaged for bytes that are no RTF.
    Outcome read();

private:
    enum class Destination : unsigned char { Text, FontTable, Skipped };

    // The state a group restores when it closes.
    struct Group
    {
        int font = -1;    // -1: the document's default font
        int fallback = 1; // \uc: the bytes that stand in for each \uN
        Destination destination = Destination::Text;
    };

    // A font table entry: its \fcharset and \cpg, 0 when not given.
    struct Font
    {
        int charset = 0;
        int codePage = 0;
    };

    void openGroup();
    bool closeGroup();
    void controlSymbol(int c);
    void controlWord(int first);
    void textByte(int c);
    void takePlainRun();
    void passOverSkipped();

    void updateCodePage();
    void useCodePage();
    void decodeBytes(bool end);
    void give(QStringView text);
    void give(QChar c) { give(QStringView(&c, 1)); }
    void giveCharacter(char32_t codePoint);

    TextSink &m_sink;
    BlockInput m_input;

    Group m_group;
    std::vector<Group> m_outer;
    qint64 m_deepGroups = 0;  // groups nested past the kept states, which share the innermost
    bool m_ignorable = false; // \* seen: the group's destination is skipped
    int m_skipFallback = 0;   // bytes or control words still to drop after a \uN

    std::unordered_map<int, Font> m_fonts;
    int m_tableFont = -1;
    int m_defaultFont = 0;
    int m_documentCodePage = 1252;
    bool m_codePageGiven = false;
    int m_codePage = 1252; // of the current font

    Decoders m_decoders;
    QStringDecoder *m_decoder = nullptr;
    int m_bytesCodePage = 0; // the code page m_bytes are in
    QByteArray m_bytes;      // text bytes not decoded yet
    QString m_decoded;

    qint64 m_pendingTabs = 0; // cells ended, written as tabs when more of their row follows
    bool m_gaveText = false;  // a character other than white space was handed out
    bool m_sawPicture = false;
};

} // namespace rtf
} // namespace documents
