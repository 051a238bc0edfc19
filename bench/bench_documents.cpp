// Benchmarks of the document text library, driven by bench/run.sh. Commands:
//
//   search KEYWORD FILE...         prints the files that hold KEYWORD, like grep -l: the search the
//                                  run does (search::FileSearch, one for all files)
//   search-stream KEYWORD FILE...  the document text only, through DocumentTextStream (the worker
//                                  thread)
//   search-cached CACHE KEYWORD FILE...
//                                  as search, with the text cache in the folder CACHE (filled by
//                                  the first run, served from by the next)
//   run CACHE WORKERS KEYWORD FILE...
//                                  a search run over the files (one folder, all marked) with the
//                                  text cache in CACHE and WORKERS threads extracting ahead;
//                                  prints the seconds from start to report and the hits, then
//                                  waits for the workers to finish
//   run-again CACHE WORKERS KEYWORD1 KEYWORD2 FILE...
//                                  as run with KEYWORD1, then with KEYWORD2 in the same process, as
//                                  the program searches the same folder again; prints the second
//                                  run's seconds and hits
//   export DIR FILE...             writes each document's text as DIR/N.txt in UTF-8, for timing
//                                  the same text searched as plain files
//   rss FILE                       idle and peak resident memory (KiB) around extracting FILE
//   text FILE                      the extracted text of FILE and its outcome, to see what a
//                                  reader gives
//   recall FOLDER                  for each row of FOLDER/WORDS.tsv (file, then words separated
//                                  by '|', '-' for none) whether the run's search finds each word
//                                  in FOLDER/file; prints the missed words per file, then the
//                                  totals per file extension
//   gen-ofd DIR COUNT SEED EVERY   writes COUNT one-page e-invoice-like OFD files into DIR (text
//                                  from SEED); every EVERY-th holds 关键字 in its remarks (0: none)
//   make-rtf DIR COUNT [KEYWORD]   writes COUNT RTF files of about 30 KiB to DIR (fixed seed):
//                                  Chinese text as GBK \'xx bytes with some \uN characters, a
//                                  picture; KEYWORD, when given, in the middle of each file, split
//                                  by a formatting group after its first character
//   make-rtf-hex FILE MIB          writes an RTF file whose picture is a hex run of MIB MiB
//   bomb FORM FILE MIB             writes a document bomb: one text run of MIB MiB of one letter,
//                                  deflated, in the part that holds the text (FORM docx: the run
//                                  of word/document.xml; odt: a paragraph of content.xml; xlsx:
//                                  an inline string cell), streamed through libarchive so that
//                                  writing it holds no more than a block. FORM ending in "-hidden"
//                                  declares a size of 1 KiB in the archive for the bomb entry.
//   search-rss KEYWORD FILE        the run's search of FILE: prints seconds, idle and peak resident
//                                  memory (KiB), the outcome and the reason of an unreadable file
//   pdf-pages FILE...              each PDF file's page texts as the extraction lays them out
//                                  against poppler's own text of each page displayed alone: prints
//                                  per file "same" or the first page that differs, then the seconds
//                                  each way; exits 1 when any file differs
//
// The search text is what the search run reads: the extracted text cut into fields by the same
// rules as every file, fields joined with nothing between them.

#include "platform/core/field_cutter.h"
#include "platform/core/program.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"
#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/documents/document_text.h"
#include "search/core/document_text_stream.h"
#include "search/documents/registry.h"
#include "search/documents/pdf/pdf_page_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QThread>

#include <poppler-qt6.h>

#include <archive.h>
#include <archive_entry.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

// Looks for the keyword in the search text as pieces of extracted text come in, holding only the
// last keyword-length characters between pieces.
class KeywordScan
{
public:
    explicit KeywordScan(QString keyword) : m_keyword(std::move(keyword)) {}

    // False once the keyword was found (the caller stops reading).
    bool feed(QStringView piece)
    {
        const char16_t *p = piece.utf16();
        const char16_t *end = p + piece.size();
        while (p < end) {
            m_cutter.cut(p, end, *this);
            m_cutter.skipPendingLineFeed(p, end);
        }
        // The fields of the whole piece are searched at once, with the end of the previous
        // piece's fields in front.
        if (m_window.indexOf(m_keyword) >= 0)
            m_found = true;
        const qsizetype keep = m_keyword.size() - 1;
        if (m_window.size() > keep)
            m_window.remove(0, m_window.size() - keep);
        return !m_found;
    }
    bool found() const { return m_found; }

    // Field content from the cutter.
    void append(const char16_t *p, qsizetype n) { m_window.append(QStringView(p, n)); }

private:
    QString m_keyword;
    QString m_window;
    platform::FieldCutter<char16_t> m_cutter;
    bool m_found = false;
};

documents::Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return documents::Kind::NotDocument;
    return documents::recognise(path, file.read(16));
}

bool streamHolds(const QString &path, const QString &keyword)
{
    KeywordScan scan(keyword);
    const documents::Kind kind = kindOf(path);
    if (kind == documents::Kind::NotDocument)
        return false;
    search::DocumentTextStream text(documents::openAs(path, kind));
    QString piece;
    for (;;) {
        const auto status = text.next(piece, 16);
        if (status == search::DocumentTextStream::Status::End)
            return false;
        if (status == search::DocumentTextStream::Status::Text && !scan.feed(piece))
            return true;
    }
}

// The recall command: the words of WORDS.tsv found by the run's search, per extension.
int recall(const QString &folder)
{
    QFile table(QDir(folder).filePath(QStringLiteral("WORDS.tsv")));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "no WORDS.tsv in %s\n", qPrintable(folder));
        return 2;
    }
    struct Tally
    {
        int words = 0;
        int found = 0;
    };
    QMap<QString, Tally> tallies;
    search::FileSearch search;
    // The words are the column headed "words" or "keyword" (tables of either form), else the
    // second.
    const QStringList heads =
        QString::fromUtf8(table.readLine()).trimmed().split(QLatin1Char('\t'));
    qsizetype column =
        std::max(heads.indexOf(QStringLiteral("words")), heads.indexOf(QStringLiteral("keyword")));
    if (column < 0)
        column = 1;
    while (!table.atEnd()) {
        const QString line = QString::fromUtf8(table.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList columns = line.split(QLatin1Char('\t'));
        if (columns.size() <= column || columns.at(column) == QStringLiteral("-"))
            continue;
        const QString path = QDir(folder).filePath(columns.at(0));
        Tally &tally = tallies[QFileInfo(path).suffix().toLower()];
        QStringList missed;
        for (const QString &word : columns.at(column).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            ++tally.words;
            if (search.search(path, word).outcome == search::FileSearchResult::Outcome::Hit)
                ++tally.found;
            else
                missed.append(word);
        }
        if (!missed.isEmpty())
            std::printf("missed %s: %s\n", qPrintable(columns.at(0)),
                        qPrintable(missed.join(QLatin1Char('|'))));
    }
    Tally total;
    for (auto it = tallies.cbegin(); it != tallies.cend(); ++it) {
        std::printf("%s %d/%d\n", qPrintable(it.key()), it->found, it->words);
        total.words += it->words;
        total.found += it->found;
    }
    std::printf("total %d/%d (%.1f %%)\n", total.found, total.words,
                total.words > 0 ? 100.0 * total.found / total.words : 0.0);
    return 0;
}

// One e-invoice as OFD writers lay it out: the labels on a template page, the values on the page
// (a TextObject each), a seal image and a signature. No text holds a character of 关键字 unless
// `keyword` is set.
class InvoiceWriter
{
public:
    explicit InvoiceWriter(unsigned seed) : m_random(seed) {}

    QList<QPair<QByteArray, QByteArray>> invoice(bool keyword)
    {
        static const char *const cities[] = {"北京", "上海", "深圳", "杭州",
                                             "成都", "武汉", "南京", "西安"};
        static const char *const names[] = {"华信", "远航", "恒通", "瑞丰",
                                            "博达", "中科", "天宇", "新元"};
        static const char *const kinds[] = {"科技有限公司", "贸易有限公司", "商贸有限责任公司",
                                            "信息技术有限公司"};
        static const char *const items[] = {
            "*信息技术服务*软件开发服务", "*办公用品*打印纸",       "*餐饮服务*餐费",
            "*运输服务*国内运输费",       "*电子计算机*笔记本电脑", "*纸制品*复印纸"};
        static const char *const units[] = {"项", "箱", "次", "台", "个"};
        static const char *const people[] = {"张伟", "王芳", "李娜", "刘洋", "陈静", "杨帆"};
        const auto pick = [&](const auto &list) -> QByteArray {
            return QByteArray(list[m_random() % std::size(list)]);
        };
        const auto company = [&]() -> QByteArray {
            return pick(cities) + pick(names) + pick(kinds);
        };
        const auto digits = [&](int n) -> QByteArray {
            QByteArray d;
            for (int i = 0; i < n; ++i)
                d += char('0' + m_random() % 10);
            return d;
        };
        m_id = 10;
        QByteArray page;
        double y = 20;
        const auto line = [&](double x, const QByteArray &text) { page += textObject(x, y, text); };
        line(150, digits(20));
        line(150, "20" + digits(2) + "年" + digits(2) + "月" + digits(2) + "日");
        y += 12;
        for (int side = 0; side < 2; ++side) {
            line(side ? 120 : 30, company());
            line(side ? 120 : 30, "91" + digits(16));
        }
        double total = 0;
        const int rows = 1 + int(m_random() % 5);
        for (int i = 0; i < rows; ++i) {
            y += 6;
            const int count = 1 + int(m_random() % 20);
            const double price = double(m_random() % 100000) / 100;
            total += count * price;
            line(20, pick(items));
            line(80, pick(units));
            line(100, QByteArray::number(count));
            line(120, QByteArray::number(price, 'f', 2));
            line(150, QByteArray::number(count * price, 'f', 2));
            line(170, "13%");
            line(185, QByteArray::number(count * price * 0.13, 'f', 2));
        }
        y += 10;
        line(150, "¥" + QByteArray::number(total * 1.13, 'f', 2));
        line(30, "订单号" + digits(12) + (keyword ? "，关键字" : ""));
        line(30, pick(people));

        QByteArray labels;
        for (const char *label : {"电子发票（普通发票）",
                                  "发票号码：",
                                  "开票日期：",
                                  "购买方信息",
                                  "销售方信息",
                                  "名称：",
                                  "统一社会信用代码/纳税人识别号：",
                                  "项目名称",
                                  "规格型号",
                                  "单位",
                                  "数量",
                                  "单价",
                                  "金额",
                                  "税率/征收率",
                                  "税额",
                                  "合计",
                                  "价税合计（大写）",
                                  "（小写）",
                                  "备注",
                                  "开票人："}) {
            labels += textObject(10, y, label);
            y += 4;
        }
        const QByteArray ns = "xmlns:ofd=\"http://www.ofdspec.org/2016\"";
        const auto part = [&](const char *root, const QByteArray &body) -> QByteArray {
            return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ofd:" + QByteArray(root) + " " +
                   ns + ">" + body + "</ofd:" + root + ">";
        };
        const auto content = [&](const QByteArray &objects, const QByteArray &head) -> QByteArray {
            return part("Page", head + "<ofd:Content><ofd:Layer ID=\"" +
                                    QByteArray::number(++m_id) + "\">" + objects +
                                    "</ofd:Layer></ofd:Content>");
        };
        QByteArray seal(8 << 10, Qt::Uninitialized);
        for (char &c : seal)
            c = char(m_random());
        QByteArray signedValue = seal.first(3 << 10);
        return {
            {"OFD.xml", part("OFD", "<ofd:DocBody><ofd:DocInfo><ofd:DocID>" + digits(32) +
                                        "</ofd:DocID><ofd:Creator>bench</ofd:Creator>"
                                        "</ofd:DocInfo><ofd:DocRoot>Doc_0/Document.xml"
                                        "</ofd:DocRoot><ofd:Signatures>Doc_0/Signs/"
                                        "Signatures.xml</ofd:Signatures></ofd:DocBody>")},
            {"Doc_0/Document.xml",
             part("Document", "<ofd:CommonData><ofd:MaxUnitID>200</ofd:MaxUnitID><ofd:PageArea>"
                              "<ofd:PhysicalBox>0 0 210 140</ofd:PhysicalBox></ofd:PageArea>"
                              "<ofd:PublicRes>PublicRes.xml</ofd:PublicRes>"
                              "<ofd:DocumentRes>DocumentRes.xml</ofd:DocumentRes>"
                              "<ofd:TemplatePage ID=\"2\" BaseLoc=\"Tpls/Tpl_0/Content.xml\"/>"
                              "</ofd:CommonData><ofd:Pages><ofd:Page ID=\"1\" "
                              "BaseLoc=\"Pages/Page_0/Content.xml\"/></ofd:Pages>")},
            {"Doc_0/PublicRes.xml",
             part("Res", "<ofd:Fonts><ofd:Font ID=\"3\" FontName=\"宋体\"/></ofd:Fonts>")},
            {"Doc_0/DocumentRes.xml",
             part("Res", "<ofd:MultiMedias><ofd:MultiMedia ID=\"4\" Type=\"Image\"><ofd:MediaFile>"
                         "seal.png</ofd:MediaFile></ofd:MultiMedia></ofd:MultiMedias>")},
            {"Doc_0/Tpls/Tpl_0/Content.xml", content(labels, QByteArray())},
            {"Doc_0/Pages/Page_0/Content.xml",
             content(page + "<ofd:ImageObject ID=\"9\" ResourceID=\"4\" Boundary=\"80 5 40 25\"/>",
                     "<ofd:Template TemplateID=\"2\"/>")},
            {"Doc_0/Res/seal.png", seal},
            {"Doc_0/Signs/Signatures.xml",
             part("Signatures", "<ofd:Signature ID=\"1\" BaseLoc=\"Sign_0/Signature.xml\"/>")},
            {"Doc_0/Signs/Sign_0/SignedValue.dat", signedValue},
        };
    }

private:
    QByteArray textObject(double x, double y, const QByteArray &text)
    {
        QByteArray deltas;
        const qsizetype characters = QString::fromUtf8(text).size();
        for (qsizetype i = 1; i < characters; ++i)
            deltas += i > 1 ? " 3.175" : "3.175";
        return "<ofd:TextObject ID=\"" + QByteArray::number(++m_id) + "\" Boundary=\"" +
               QByteArray::number(x) + " " + QByteArray::number(y) +
               " 60 5\" Font=\"3\" Size=\"3.175\"><ofd:FillColor Value=\"0 0 0\"/>"
               "<ofd:TextCode X=\"0\" Y=\"3\" DeltaX=\"" +
               deltas + "\">" + text + "</ofd:TextCode></ofd:TextObject>";
    }

    std::mt19937 m_random;
    int m_id = 10;
};

bool writeZip(const QString &path, const QList<QPair<QByteArray, QByteArray>> &entries)
{
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    bool ok = archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const auto &[name, content] : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.constData());
        archive_entry_set_size(entry, content.size());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK &&
             archive_write_data(a, content.constData(), size_t(content.size())) == content.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

qint64 maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void appendHex(QByteArray &rtf, QByteArrayView bytes)
{
    for (const char b : bytes) {
        rtf += "\\'";
        rtf += QByteArray::number(uchar(b), 16).rightJustified(2, '0');
    }
}

// One RTF file as a word processor on Chinese Windows saves it: GBK text as \'xx pairs, about one
// character in eight as \uN with a one-byte fallback, formatting groups and a picture.
QByteArray chineseRtf(std::mt19937 &random, const QString &keyword)
{
    constexpr qsizetype kSize = 30 * 1024;
    QStringDecoder gbk("GB18030");
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\uc1\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 "
                     "\\'cb\\'ce\\'cc\\'e5;}{\\f1\\fswiss\\fcharset0 Arial;}}\n"
                     "{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Quarlex bench;}"
                     "\\paperw11906\\paperh16838\\pard\\plain\\f0\\fs21 ";
    // A picture: a PNG of one grey pixel, as hex digits.
    rtf += "{\\pict\\pngblip\\picw1\\pich1 89504e470d0a1a0a0000000d49484452000000010000000108000000"
           "003a7e9b550000000a49444154789c636000000002000148afa4710000000049454e44ae426082}\\par\n";
    bool keywordWritten = keyword.isEmpty();
    while (rtf.size() < kSize) {
        const int length = 30 + int(random() % 50);
        for (int i = 0; i < length; ++i) {
            // GB2312 level 1 (B0A1-D7F9), without 关 (B9D8): the keyword only where it is put.
            char pair[2];
            do {
                pair[0] = char(0xB0 + random() % 40);
                pair[1] = char(0xA1 + random() % 94);
            } while ((uchar(pair[0]) == 0xD7 && uchar(pair[1]) > 0xF9) ||
                     (uchar(pair[0]) == 0xB9 && uchar(pair[1]) == 0xD8));
            const QByteArrayView bytes(pair, 2);
            if (random() % 8 == 0) {
                const QString character = gbk(bytes);
                const int unit = character.at(0).unicode();
                rtf += "\\u" + QByteArray::number(unit > 32767 ? unit - 65536 : unit) + "?";
            } else if (random() % 16 == 0) {
                rtf += "{\\b ";
                appendHex(rtf, bytes);
                rtf += "}";
            } else {
                appendHex(rtf, bytes);
            }
        }
        if (!keywordWritten && rtf.size() > kSize / 2) {
            const QByteArray bytes = QStringEncoder("GB18030")(keyword);
            rtf += "{\\b ";
            appendHex(rtf, QByteArrayView(bytes).first(2));
            rtf += "}";
            appendHex(rtf, QByteArrayView(bytes).sliced(2));
            keywordWritten = true;
        }
        rtf += random() % 4 == 0 ? "{\\f1 Report 2026}\\par\n" : "\\par\n";
    }
    return rtf + "}";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The parts around the bomb's text: before, after, the entry that holds it.
struct BombForm
{
    QList<QPair<QByteArray, QByteArray>> entries; // written before the bomb entry
    QByteArray entry;
    QByteArray before;
    QByteArray after;
};

BombForm bombForm(const QString &form)
{
    BombForm f;
    if (form.startsWith(u"odt")) {
        f.entries = {{"mimetype", "application/vnd.oasis.opendocument.text"}};
        f.entry = "content.xml";
        f.before = "<?xml version=\"1.0\"?><office:document-content "
                   "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                   "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
                   "<office:text><text:p>";
        f.after = "</text:p></office:text></office:body></office:document-content>";
        return f;
    }
    const bool sheet = form.startsWith(u"xlsx");
    const QByteArray type = sheet ? "spreadsheetml.sheet" : "wordprocessingml.document";
    const QByteArray main = sheet ? "/xl/workbook.xml" : "/word/document.xml";
    f.entries = {{"[Content_Types].xml",
                  "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                  "package/2006/content-types\"><Override PartName=\"" +
                      main + "\" ContentType=\"application/vnd.openxmlformats-officedocument." +
                      type + ".main+xml\"/></Types>"}};
    if (sheet) {
        const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
        const QByteArray r =
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
        f.entries.append(
            qMakePair(QByteArray("xl/workbook.xml"), "<workbook " + ns + " " + r +
                                                         "><sheets><sheet name=\"S\" sheetId=\"1\" "
                                                         "r:id=\"rId1\"/></sheets></workbook>"));
        f.entries.append(qMakePair(
            QByteArray("xl/_rels/workbook.xml.rels"),
            QByteArray("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" "
                       "Type=\"http://schemas.openxmlformats.org/"
                       "officeDocument/2006/relationships/worksheet\" Target=\"sheet1.xml\"/>"
                       "</Relationships>")));
        f.entry = "xl/sheet1.xml";
        f.before =
            "<worksheet " + ns + "><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>";
        f.after = "</t></is></c></row></sheetData></worksheet>";
        return f;
    }
    f.entry = "word/document.xml";
    f.before = "<?xml version=\"1.0\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/"
               "wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>";
    f.after = "</w:t></w:r></w:p></w:body></w:document>";
    return f;
}

void writeEntry(archive *a, const QByteArray &name, qint64 size)
{
    archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.constData());
    if (size >= 0)
        archive_entry_set_size(entry, size);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_write_header(a, entry);
    archive_entry_free(entry);
}

// Sets the uncompressed size of every central directory record of `path` named `name` to
// `size` (a bomb that hides its size).
bool hideSize(const QString &path, const QByteArray &name, quint32 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 length = file.size();
    const qint64 tail = std::min<qint64>(length, 1 << 20);
    file.seek(length - tail);
    QByteArray bytes = file.read(tail);
    const QByteArray record = QByteArray("PK\x01\x02", 4);
    for (qsizetype at = bytes.indexOf(record); at >= 0; at = bytes.indexOf(record, at + 4)) {
        if (at + 46 > bytes.size())
            break;
        const auto u16 = [&](qsizetype i) {
            return quint16(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8);
        };
        if (bytes.mid(at + 46, u16(at + 28)) != name)
            continue;
        for (int i = 0; i < 4; ++i)
            bytes[at + 24 + i] = char(size >> (8 * i) & 0xFF);
    }
    file.seek(length - tail);
    return file.write(bytes) == tail;
}

int writeBomb(const QString &form, const QString &path, qint64 mebibytes)
{
    const BombForm f = bombForm(form);
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    if (archive_write_open_filename(a, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return 1;
    for (const auto &[name, content] : f.entries) {
        writeEntry(a, name, content.size());
        archive_write_data(a, content.constData(), size_t(content.size()));
    }
    // No size: libarchive then writes the entry as it comes and its size after it.
    writeEntry(a, f.entry, -1);
    archive_write_data(a, f.before.constData(), size_t(f.before.size()));
    const QByteArray block(1 << 20, 'A');
    for (qint64 i = 0; i < mebibytes; ++i)
        archive_write_data(a, block.constData(), size_t(block.size()));
    archive_write_data(a, f.after.constData(), size_t(f.after.size()));
    archive_write_close(a);
    archive_write_free(a);
    if (form.endsWith(u"-hidden") && !hideSize(path, f.entry, 1024))
        return 1;
    return 0;
}

// VmHWM, the peak resident memory so far, in KiB.
qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return maxRssKiB();
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return maxRssKiB();
}

} // namespace

int main(int argc, char **argv)
{
    platform::pinTimeZone();
    QCoreApplication app(argc, argv);
    // The readers linked in, as the format module would hand them out.
    formats::setDefaultReaders(formats::linkedReaders());
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QStringLiteral("search-cached") && args.size() >= 4) {
        textcache::TextCache cache(args.at(1));
        search::FileSearch search;
        search.setTextCache(&cache);
        int found = 0;
        for (const QString &path : args.mid(3)) {
            if (search.search(path, args.at(2)).outcome == search::FileSearchResult::Outcome::Hit) {
                std::printf("%s\n", qPrintable(path));
                ++found;
            }
        }
        return found > 0 ? 0 : 1;
    }
    const bool again = command == QStringLiteral("run-again") && args.size() >= 6;
    if ((command == QStringLiteral("run") && args.size() >= 5) || again) {
        textcache::TextCache cache(args.at(1));
        const QStringList keywords = again ? args.mid(3, 2) : args.mid(3, 1);
        const QStringList files = args.mid(3 + keywords.size());
        search::RunSnapshot snapshot;
        snapshot.folderPath = QFileInfo(files.first()).absolutePath();
        for (const QString &path : files)
            snapshot.entries.append(search::RunEntry{QFileInfo(path).fileName(), true});
        for (const QString &keyword : keywords) {
            QElapsedTimer clock;
            clock.start();
            search::SearchRun run(
                snapshot, [keyword] { return keyword; }, [] {});
            run.setTextCache(&cache, args.at(2).toInt());
            run.run();
            if (keyword == keywords.last()) {
                std::printf("%.3f %lld\n", clock.nsecsElapsed() / 1e9, qint64(run.hits().size()));
                std::fflush(stdout);
            }
            // As in the program, which goes on running: the workers finish keeping the text of
            // the documents the run decided by their bytes.
            const std::unique_ptr<search::DocumentPrefetch> prefetch = run.takePrefetch();
            while (search::DocumentPrefetch::runningWorkers() > 0)
                QThread::msleep(10);
        }
        return 0;
    }
    if (command == QStringLiteral("pdf-pages") && args.size() >= 2) {
        Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
        bool allSame = true;
        qint64 oursNs = 0;
        qint64 popplerNs = 0;
        for (const QString &path : args.mid(1)) {
            QElapsedTimer clock;
            clock.start();
            QStringList ours;
            {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    return 2;
                documents::PdfPageText texts(file);
                for (int i = 0; i < texts.pages(); ++i)
                    ours.append(texts.hasPage(i) ? texts.text(i) : QStringLiteral("<none>"));
            }
            oursNs += clock.nsecsElapsed();
            clock.restart();
            QStringList theirs;
            {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    return 2;
                const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(&file);
                for (int i = 0; document && !document->isLocked() && i < document->numPages();
                     ++i) {
                    const std::unique_ptr<Poppler::Page> page = document->page(i);
                    theirs.append(page ? page->text(QRectF()) : QStringLiteral("<none>"));
                }
            }
            popplerNs += clock.nsecsElapsed();
            qsizetype differs = -1;
            for (qsizetype i = 0; i < std::max(ours.size(), theirs.size()) && differs < 0; ++i) {
                if (ours.value(i) != theirs.value(i))
                    differs = i;
            }
            if (differs >= 0) {
                allSame = false;
                std::printf("%s: page %lld differs\n", qPrintable(path), qint64(differs) + 1);
            } else {
                std::printf("%s: same, %lld pages\n", qPrintable(path), qint64(ours.size()));
            }
        }
        std::printf("%.3f s laid out here, %.3f s page by page through poppler\n", oursNs / 1e9,
                    popplerNs / 1e9);
        return allSame ? 0 : 1;
    }
    if (command == QStringLiteral("export") && args.size() >= 3) {
        int n = 0;
        for (const QString &path : args.mid(2)) {
            QFile out(args.at(1) + u'/' + QString::number(++n) + QStringLiteral(".txt"));
            if (!out.open(QIODevice::WriteOnly))
                return 2;
            documents::extractText(path, kindOf(path), [&](QStringView piece) {
                out.write(piece.toUtf8());
                return true;
            });
        }
        return 0;
    }
    if ((command == QStringLiteral("search") || command == QStringLiteral("search-stream")) &&
        args.size() >= 3) {
        const bool stream = command == QStringLiteral("search-stream");
        int found = 0;
        search::FileSearch search;
        for (const QString &path : args.mid(2)) {
            const bool holds = stream ? streamHolds(path, args.at(1))
                                      : search.search(path, args.at(1)).outcome ==
                                            search::FileSearchResult::Outcome::Hit;
            if (holds) {
                std::printf("%s\n", qPrintable(path));
                ++found;
            }
        }
        return found > 0 ? 0 : 1;
    }
    if (command == QStringLiteral("rss") && args.size() == 2) {
        const qint64 idle = maxRssKiB();
        qint64 characters = 0;
        const documents::Outcome outcome =
            documents::extractText(args.at(1), kindOf(args.at(1)), [&](QStringView piece) {
                characters += piece.size();
                return true;
            });
        std::printf("%lld %lld %lld %d\n", idle, maxRssKiB(), characters, int(outcome));
        return 0;
    }
    if (command == QStringLiteral("text") && args.size() == 2) {
        const documents::Outcome outcome =
            documents::extractText(args.at(1), kindOf(args.at(1)), [](QStringView piece) {
                std::fputs(piece.toString().toUtf8().constData(), stdout);
                return true;
            });
        std::printf("[outcome %d]\n", int(outcome));
        return 0;
    }
    if (command == QStringLiteral("recall") && args.size() == 2)
        return recall(args.at(1));
    if (command == QStringLiteral("gen-ofd") && args.size() == 5) {
        const QDir dir(args.at(1));
        InvoiceWriter writer(args.at(3).toUInt());
        const int count = args.at(2).toInt();
        const int every = args.at(4).toInt();
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("i%1.ofd").arg(i, 4, 10, QLatin1Char('0'));
            if (!writeZip(dir.filePath(name), writer.invoice(every > 0 && i % every == 0)))
                return 1;
        }
        return 0;
    }
    if (command == QStringLiteral("make-rtf") && args.size() >= 3) {
        std::mt19937 random(18);
        const QDir dir(args.at(1));
        const int count = args.at(2).toInt();
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("r%1.rtf").arg(i, 4, 10, QLatin1Char('0'));
            if (!writeFile(dir.filePath(name), chineseRtf(random, args.value(3))))
                return 1;
        }
        return 0;
    }
    if (command == QStringLiteral("make-rtf-hex") && args.size() == 3) {
        QFile file(args.at(1));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("{\\rtf1\\ansi before{\\pict\\pngblip ");
        const QByteArray block = QByteArray("0123456789abcdef").repeated(65536);
        for (qint64 i = 0; i < args.at(2).toLongLong() * 1024 * 1024 / block.size(); ++i)
            file.write(block);
        file.write("}after}");
        return 0;
    }
    if (command == QStringLiteral("bomb") && args.size() == 4)
        return writeBomb(args.at(1), args.at(2), args.at(3).toLongLong());
    if (command == QStringLiteral("search-rss") && args.size() == 3) {
        search::FileSearch search;
        const qint64 idle = peakRssKiB();
        QElapsedTimer timer;
        timer.start();
        const search::FileSearchResult result = search.search(args.at(2), args.at(1));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const char *outcomes[] = {"hit", "no-hit", "unreadable", "stopped", "archive"};
        std::printf("%.3f %lld %lld %s %s\n", seconds, idle, peakRssKiB(),
                    outcomes[int(result.outcome)],
                    qPrintable(search::readFailureReason(result.status)));
        return 0;
    }
    std::fprintf(stderr, "see the comment at the top of bench/bench_documents.cpp\n");
    return 2;
}
