// The corpus makers of bench_documents: one-page e-invoices in OFD and RTF files as word
// processors on Chinese Windows save them, each from a fixed seed.

#include "bench_documents.h"

#include <QDir>
#include <QStringDecoder>
#include <QStringEncoder>

#include <archive.h>
#include <archive_entry.h>

#include <random>

namespace benchdocs {

namespace {

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

} // namespace

int generateOfd(const QStringList &args)
{
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

int makeRtf(const QStringList &args)
{
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

int makeRtfHex(const QStringList &args)
{
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

} // namespace benchdocs
