#pragma once

// The catalogue of the committed document fixtures (tests/data/documents): every file with the
// reader family that reads it, what recognition by content makes of it, how reading it whole
// ends, the words its search text must hold and the office suite's export of its text. The tests
// that go over fixtures take their rows from here, each the families it is about, so that a new
// fixture is written down once and reaches every one of them.
//
// A target that includes this defines QUARLEX_DOCUMENTS_DIR.

#include "search/documents/document_text.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cstdlib>

namespace fixtures {

// The reader that reads a fixture, named as the readers' folders of src/search/documents are.
enum class Family {
    Ooxml,   // Office Open XML: Word, Excel, PowerPoint
    Odf,     // OpenDocument: Writer, Calc, Impress
    Ole2,    // the 97-2003 binary formats in an OLE2 compound file
    Pdf,     // PDF files with text
    Epub,    // EPUB e-books
    Rtf,     // Rich Text Format
    Ofd,     // OFD (GB/T 33190)
    Picture, // pictures and scanned PDF pages: what text recognition reads in them (slow)
    Mime,    // Internet messages: mail (.eml) and saved web pages (.mht)
    Chm,     // compiled HTML help files
    Msg,     // Outlook messages (.msg)
};

struct DocumentFixture
{
    QString path;               // below tests/data/documents
    QString about;              // what the file is, to name a test's row
    Family family;              // the reader that reads it
    documents::Kind kind;       // what recognition by content makes of it
    documents::Outcome outcome; // how reading it whole ends
    QStringList words;          // words its search text holds (a damaged file: before the damage)
    QStringList exports = {};   // the office suite's export of its text, below the same folder
};

// Every document fixture. A fixture made by tests/data/make_documents.sh or taken from another
// project's test files is listed here as soon as it is committed.
inline const QList<DocumentFixture> &documentCatalogue()
{
    using documents::Kind;
    using documents::Outcome;
    using namespace Qt::StringLiterals;
    const QString chinese = QStringLiteral(u"批量查找");
    const QString needleWord = QStringLiteral("NeedleWord");
    const QString needleCell = QStringLiteral("NeedleCell");
    const QString notesWord = QStringLiteral("NotesWord");
    const QStringList header{QStringLiteral("HeaderWord"), QStringLiteral("FooterWord")};
    const QStringList sheets{QStringLiteral("sheets-Summary.export.csv"),
                             QStringLiteral("sheets-Data.export.csv")};
    const QString runs = QStringLiteral("runs.export.txt");
    const QString table = QStringLiteral("table.export.txt");
    const QString headerExport = QStringLiteral("header.export.txt");
    // A table, a fixture to a few lines.
    // clang-format off
    static const QList<DocumentFixture> catalogue = {
        // Written by LibreOffice from the same sources (make_documents.sh).
        {u"runs.docx"_s, u"a Word file with formatting runs, a tab and a run of spaces"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done, {chinese, needleWord}, {runs}},
        {u"runs.odt"_s, u"a Writer file with formatting runs, a tab and a run of spaces"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done, {chinese, needleWord}, {runs}},
        {u"runs.doc"_s, u"a Word 97 file with formatting runs, a tab and a run of spaces"_s,
         Family::Ole2, Kind::Word97, Outcome::Done, {chinese, needleWord}, {runs}},
        {u"runs.epub"_s, u"an EPUB file with a keyword split over two spans"_s,
         Family::Epub, Kind::Epub, Outcome::Done, {chinese, needleWord}},
        {u"table.docx"_s, u"a Word file with a list and a table"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done, {chinese, u"TableCell"_s}, {table}},
        {u"table.odt"_s, u"a Writer file with a list and a table"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done, {chinese, u"TableCell"_s}, {table}},
        {u"table.doc"_s, u"a Word 97 file with a list and a table"_s,
         Family::Ole2, Kind::Word97, Outcome::Done, {chinese, u"TableCell"_s}, {table}},
        {u"table.epub"_s, u"an EPUB file with a list and a table"_s,
         Family::Epub, Kind::Epub, Outcome::Done, {chinese, u"TableCell"_s}, {table}},
        {u"header.docx"_s, u"a Word file with a header and a footer"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done, header, {headerExport}},
        {u"header.odt"_s, u"a Writer file with a header and a footer"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done, header, {headerExport}},
        {u"header.doc"_s, u"a Word 97 file with a header and a footer"_s,
         Family::Ole2, Kind::Word97, Outcome::Done, header, {headerExport}},
        {u"pages.doc"_s, u"a Word 97 file of three pages"_s,
         Family::Ole2, Kind::Word97, Outcome::Done,
         {chinese, u"ThirdPageWord"_s}, {u"pages.export.txt"_s}},
        {u"compressed.doc"_s,
         u"a Word 97 file whose text is 8-bit Windows-1252 with curly quotes and a dash"_s,
         Family::Ole2, Kind::Word97, Outcome::Done,
         {u"NeedleAscii"_s}, {u"compressed.export.txt"_s}},
        {u"sheets.xlsx"_s, u"an Excel file of two sheets"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done, {needleCell}, sheets},
        {u"sheets.ods"_s, u"a Calc file of two sheets"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done, {needleCell}, sheets},
        {u"sheets.xls"_s, u"an Excel 97 file of two sheets"_s,
         Family::Ole2, Kind::Excel97, Outcome::Done, {needleCell}, sheets},
        {u"numbers.xls"_s,
         u"an Excel 97 file of numbers in the general format, a boolean and formulas"_s,
         Family::Ole2, Kind::Excel97, Outcome::Done,
         {u"123456789012345"_s}, {u"numbers-Numbers.export.csv"_s}},
        {u"formats.xlsx"_s, u"an Excel file of cells with number formats"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done,
         {u"2021年4月28日"_s, u"111.11%"_s}, {u"formats-xlsx-Formats.export.csv"_s}},
        {u"formats.xls"_s, u"an Excel 97 file of cells with number formats"_s,
         Family::Ole2, Kind::Excel97, Outcome::Done,
         {u"2021年4月28日"_s, u"111.11%"_s}, {u"formats-xls-Formats.export.csv"_s}},
        {u"formats.ods"_s, u"a Calc file of cells with number formats"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done,
         {u"2021年4月28日"_s, u"111.11%"_s}, {u"formats-ods-Formats.export.csv"_s}},
        {u"dates1904.xlsx"_s, u"an Excel file of dates counted from 1904"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done,
         {u"2025年4月29日"_s}, {u"dates1904-xlsx-Dates1904.export.csv"_s}},
        {u"dates1904.xls"_s, u"an Excel 97 file of dates counted from 1904"_s,
         Family::Ole2, Kind::Excel97, Outcome::Done,
         {u"2025年4月29日"_s}, {u"dates1904-xls-Dates1904.export.csv"_s}},
        {u"slides.pptx"_s, u"a PowerPoint file of two slides and notes"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Done, {chinese, notesWord}},
        {u"slides.odp"_s, u"an Impress file of two pages and notes"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done, {chinese, notesWord}},
        {u"slides.ppt"_s, u"a PowerPoint 97 file of two slides and notes"_s,
         Family::Ole2, Kind::PowerPoint97, Outcome::Done, {chinese, notesWord}},
        {u"footer.odp"_s, u"an Impress file with a master page footer"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Done, {chinese, u"FooterSlide"_s}},
        {u"pages.pdf"_s, u"a PDF file of three pages"_s,
         Family::Pdf, Kind::Pdf, Outcome::Done,
         {chinese, u"ThirdPageWord"_s}, {u"pages.export.txt"_s}},
        {u"glyphs.pdf"_s, u"a PDF invoice of one text object per glyph, placed apart"_s,
         Family::Pdf, Kind::Pdf, Outcome::Done,
         {u"购买方名称：中国移动通信集团有限公司"_s, u"开票日期2025年10月"_s,
          u"Invoice total 2023 paid"_s}},
        {u"radicals.pdf"_s, u"a PDF file whose font maps glyphs to Kangxi radicals"_s,
         Family::Pdf, Kind::Pdf, Outcome::Done,
         {u"电子发票一式两份"_s, u"用例门户长度"_s, u"偏旁\u2E85"_s}},
        {u"blank.pdf"_s, u"a PDF file of blank pages, with no image"_s,
         Family::Pdf, Kind::Pdf, Outcome::Done, {}},
        {u"scan.pdf"_s, u"a PDF file whose pages are only images"_s,
         Family::Pdf, Kind::Pdf, Outcome::NoText, {}},
        {u"encrypted.docx"_s, u"a Word file saved with a password"_s,
         Family::Ooxml, Kind::EncryptedPackage, Outcome::Encrypted, {}},
        {u"encrypted.odt"_s, u"a Writer file saved with a password"_s,
         Family::Odf, Kind::OpenDocument, Outcome::Encrypted, {}},
        {u"encrypted.doc"_s, u"a Word 97 file saved with a password"_s,
         Family::Ole2, Kind::Word97, Outcome::Encrypted, {}},
        {u"encrypted.pdf"_s, u"a PDF file with a user password"_s,
         Family::Pdf, Kind::Pdf, Outcome::Encrypted, {}},
        {u"truncated.docx"_s, u"a Word file cut in half"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Damaged, {}},
        {u"truncated.xls"_s, u"an Excel 97 file cut in half, its directory lost"_s,
         Family::Ole2, Kind::Excel97, Outcome::Damaged, {}},
        {u"bomb.docx"_s, u"a ZIP bomb named .docx"_s,
         Family::Ooxml, Kind::OfficeOpenXml, Outcome::Damaged, {}},
        // Written by Python's email package (make_mail.py).
        {u"mail/mail.eml"_s,
         u"a mail: GBK headers and text part, a UTF-8 HTML part, attachments, an attached mail"_s,
         Family::Mime, Kind::Message, Outcome::Done,
         {u"季度合同 SubjectWord"_s, u"张三"_s, u"纯文本正文 PlainBodyWord"_s, u"网页正文 HtmlBodyWord"_s}},
        {u"mail/page.mht"_s, u"a web page saved as one file, gb2312 HTML and a picture"_s,
         Family::Mime, Kind::Message, Outcome::Done,
         {u"保存的网页 SavedPageWord"_s, u"概率论与数理统计"_s}},
        // RTF files of other programs (rtf/README.md), with LibreOffice's export of each.
        {u"rtf/chinese.rtf"_s,
         u"an RTF file with Chinese, Big5, Japanese and Korean fonts, a picture and a field"_s,
         Family::Rtf, Kind::Rtf, Outcome::Done, {chinese}, {u"rtf/chinese.export.txt"_s}},
        {u"rtf/ffc.rtf"_s, u"an RTF file of Word for Mac in Mac Roman"_s,
         Family::Rtf, Kind::Rtf, Outcome::Done, {u"commons"_s}, {u"rtf/ffc.export.txt"_s}},
        {u"rtf/tika_testRTF.rtf"_s, u"an RTF file of Word 2003 in Windows-1252"_s,
         Family::Rtf, Kind::Rtf, Outcome::Done,
         {u"d’indexation"_s}, {u"rtf/tika_testRTF.export.txt"_s}},
        // OFD files of other programs (ofd/README.md).
        {u"ofd/ofdrw_multiKeywordInTextCode_wps.ofd"_s, u"an OFD file by WPS"_s,
         Family::Ofd, Kind::Ofd, Outcome::Done, {u"哈哈"_s}},
        {u"ofd/ofdrw_n_iofd.ofd"_s, u"an OFD file by iOFD, with absolute paths and a seal"_s,
         Family::Ofd, Kind::Ofd, Outcome::Done, {u"辞职的批复"_s, u"卫生局"_s, u"2011年3月10日印发"_s}},
        {u"ofd/ofdrw_z_suwell.ofd"_s,
         u"an OFD file by Suwell, in the namespace of 2012, with a table and images"_s,
         Family::Ofd, Kind::Ofd, Outcome::Done, {u"字型变换"_s, u"Heaffixedhisfinesign."_s}},
        // 97-2003 files of other programs (ole2/README.md).
        {u"ole2/spreadsheet__OddStyleRecord.xls"_s,
         u"an Excel 97 file whose workbook stream is named WORKBOOK"_s,
         Family::Ole2, Kind::Excel97, Outcome::Done, {u"segalanya"_s, u"confidence"_s}},
        // Both BoundSheet offsets are two bytes short of their BOF records.
        {u"ole2/spreadsheet__clusterfuzz-testcase-minimized-POIHSSFFuzzer-4657005060816896.xls"_s,
         u"a damaged Excel 97 file whose sheet offsets are wrong"_s,
         Family::Ole2, Kind::Excel97, Outcome::Damaged,
         {u"transporte"_s, u"servicios"_s, u"TOTALES"_s}},
        {u"ole2/slideshow__ole2-embedding-2003.ppt"_s,
         u"a PowerPoint 97 file with a Word document embedded on a slide"_s,
         Family::Ole2, Kind::PowerPoint97, Outcome::Done,
         {u"OLE Embedding"_s, u"OLE embedding is thoroughly unremarkable."_s}},
        // The footer of every slide in the document's settings; one slide has its own date.
        {u"ole2/slideshow__headers_footers.ppt"_s,
         u"a PowerPoint 97 file whose slides show a footer and a fixed date"_s,
         Family::Ole2, Kind::PowerPoint97, Outcome::Done,
         {u"Global Slide Footer"_s, u"custom date format"_s, u"per-slide footer"_s}},
        // Drawn by make_ocr_fixtures.sh: their text is only in images.
        {u"ocr/lines.png"_s, u"a PNG picture of printed lines"_s,
         Family::Picture, Kind::Picture, Outcome::Done, {u"违约金"_s, u"Number 2024"_s}},
        {u"ocr/photo.jpg"_s, u"a JPEG photo of a form, turned and noisy"_s,
         Family::Picture, Kind::Picture, Outcome::Done, {u"审批单"_s}},
        {u"ocr/scan.pdf"_s, u"a PDF file of a scanned page"_s,
         Family::Picture, Kind::Pdf, Outcome::Done, {u"印章"_s}},
        {u"ocr/mixed.pdf"_s, u"a PDF file of a text page and a scanned page"_s,
         Family::Picture, Kind::Pdf, Outcome::Done, {u"扫描的图片"_s}},
        {u"ocr/pages.pdf"_s, u"a PDF file of four scanned pages"_s,
         Family::Picture, Kind::Pdf, Outcome::Done, {u"第4页扫描件"_s}},
        {u"ocr/blank.png"_s, u"a blank picture"_s,
         Family::Picture, Kind::Picture, Outcome::NoText, {}},
        {u"ocr/corrupt.jpg"_s, u"a corrupt JPEG picture"_s,
         Family::Picture, Kind::Picture, Outcome::Damaged, {}},
        // Help files: two by HTML Help Workshop (realdocs wave 2), one by chmcmd
        // (make_help_file.sh).
        {u"chm/rqcms_help.chm"_s, u"a GBK help file with a table of contents"_s,
         Family::Chm, Kind::HelpFile, Outcome::Done, {u"帝国备份王"_s, u"伪静态"_s}},
        {u"chm/supertext_help.chm"_s, u"a help file of HTML pages and pictures"_s,
         Family::Chm, Kind::HelpFile, Outcome::Done, {u"万能文字工具箱"_s, u"文字转拼音"_s}},
        {u"chm/contents_gbk.chm"_s, u"a GBK help file written by chmcmd"_s,
         Family::Chm, Kind::HelpFile, Outcome::Done, {u"批量查找"_s, u"统一编码页"_s}},
        // Outlook messages: two by Outlook (realdocs wave 2), two by make_msg.py.
        {u"msg/ompar_chinese_message.msg"_s, u"an Outlook message with a UTF-16 plain body"_s,
         Family::Msg, Kind::OutlookMessage, Outcome::Done,
         {u"提前合理安排进房间入住"_s, u"酒店研发部"_s}},
        {u"msg/hiraoka_hello_cjk.msg"_s, u"an Outlook message in Chinese, Japanese and Korean"_s,
         Family::Msg, Kind::OutlookMessage, Outcome::Done,
         {u"你好"_s, u"こんにちは"_s, u"안녕하세요"_s}},
        {u"mail/outlook.msg"_s,
         u"an Outlook message with a GBK body, a .docx attachment and an embedded message"_s,
         Family::Msg, Kind::OutlookMessage, Outcome::Done,
         {u"季度合同 MsgSubjectWord"_s, u"纯文本正文 MsgBodyWord"_s, u"EmbeddedBodyWord"_s}},
        {u"msg/rtf_only.msg"_s, u"an Outlook message whose only body is compressed RTF"_s,
         Family::Msg, Kind::OutlookMessage, Outcome::Done, {u"RTF正文 RtfBodyWord"_s}},
        {u"msg/html_only.msg"_s, u"an Outlook message whose only body is Shift-JIS HTML"_s,
         Family::Msg, Kind::OutlookMessage, Outcome::Done, {u"日本語の本文 HtmlBodyWord"_s}},
    };
    // clang-format on
    return catalogue;
}

// The fixtures of `families`, in the catalogue's order.
inline QList<DocumentFixture> documentFixtures(std::initializer_list<Family> families)
{
    QList<DocumentFixture> chosen;
    for (const DocumentFixture &fixture : documentCatalogue()) {
        if (std::find(families.begin(), families.end(), fixture.family) != families.end())
            chosen.append(fixture);
    }
    return chosen;
}

// The fixture at `path` (below tests/data/documents); one that is not in the catalogue ends the
// test program, as the catalogue must list every fixture a test uses.
inline const DocumentFixture &documentFixture(QStringView path)
{
    for (const DocumentFixture &fixture : documentCatalogue()) {
        if (fixture.path == path)
            return fixture;
    }
    qFatal("%s is not in the fixture catalogue", qPrintable(path.toString()));
    std::abort(); // qFatal has ended the program already
}

// Names of the kinds and outcomes, for the rows of a test.
inline const char *kindName(documents::Kind kind)
{
    using documents::Kind;
    switch (kind) {
    case Kind::NotDocument:
        return "no document";
    case Kind::OfficeOpenXml:
        return "Office Open XML";
    case Kind::OpenDocument:
        return "OpenDocument";
    case Kind::Pdf:
        return "PDF";
    case Kind::EncryptedPackage:
        return "an encrypted package";
    case Kind::Word97:
        return "Word 97";
    case Kind::Excel97:
        return "Excel 97";
    case Kind::PowerPoint97:
        return "PowerPoint 97";
    case Kind::Ofd:
        return "OFD";
    case Kind::Rtf:
        return "RTF";
    case Kind::Epub:
        return "EPUB";
    case Kind::Picture:
        return "a picture";
    case Kind::Message:
        return "a message";
    case Kind::HelpFile:
        return "a help file";
    case Kind::OutlookMessage:
        return "an Outlook message";
    }
    return "?";
}

inline const char *outcomeName(documents::Outcome outcome)
{
    using documents::Outcome;
    switch (outcome) {
    case Outcome::Done:
        return "read whole";
    case Outcome::Stopped:
        return "stopped";
    case Outcome::Encrypted:
        return "encrypted";
    case Outcome::Damaged:
        return "damaged";
    case Outcome::NoText:
        return "without text";
    }
    return "?";
}

// The full path of a fixture, or of a file beside it such as its export.
inline QString documentPath(const QString &path)
{
    return QStringLiteral(QUARLEX_DOCUMENTS_DIR "/") + path;
}

inline QString documentPath(const DocumentFixture &fixture)
{
    return documentPath(fixture.path);
}

} // namespace fixtures
