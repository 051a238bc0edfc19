#include "search/documents/ole2/excel97.h"

#include "search/documents/ole2/biff_records.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/ole2/excel97_sheet.h"
#include "search/documents/ole2/excel97_values.h"
#include "search/documents/text_sink.h"

#include <QList>

#include <algorithm>

namespace documents {

namespace {

// Record types of the workbook globals ([MS-XLS] 2.3).
enum : quint16 {
    kDate1904 = 0x0022,
    kFilePass = 0x002F,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kFormat = 0x041E,
};

constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kWorkbookGlobals = 0x0005;
constexpr quint16 kWorksheet = 0x0010;

class WorkbookReader
{
public:
    WorkbookReader(QByteArrayView stream, TextSink &sink) : m_stream(stream), m_sink(sink) {}

    Outcome read()
    {
        if (!biff::bofAt(m_stream, 0))
            return Outcome::Damaged;
        QList<qint64> sheets;
        if (le16(m_stream, 6) == kWorksheet) {
            // A stream of worksheets without globals, as some tools write a one-sheet file.
            sheets = biff::substreamsFrom(m_stream, 0);
        } else {
            if (le16(m_stream, 6) != kWorkbookGlobals)
                return Outcome::Damaged;
            const Outcome globals = readGlobals();
            if (globals == Outcome::Encrypted)
                return globals;
            sheets = sheetPositions();
        }
        for (const qint64 at : std::as_const(sheets)) {
            const Outcome sheet = readWorksheet(m_stream, at, m_strings, m_formats, m_sink);
            if (sheet == Outcome::Stopped)
                return sheet;
            if (sheet != Outcome::Done)
                m_damaged = true;
        }
        return m_damaged ? Outcome::Damaged : Outcome::Done;
    }

private:
    struct Sheet
    {
        qint64 at;
        bool worksheet; // charts, macro sheets and modules hold no cells
    };

    // The workbook globals: the sheet list, the shared strings, the code page, the password, the
    // number formats, the cell styles and the date system.
    // Whatever they hold before a damaged record is kept.
    Outcome readGlobals()
    {
        biff::Records records(m_stream, 0);
        biff::Record record;
        records.next(record);
        m_strings.biff8 = le16(record.data, 0) == kBiff8;
        while (records.next(record)) {
            switch (record.type) {
            case biff::kEof:
                m_globalsEnd = records.position();
                return Outcome::Done;
            case kFilePass:
                return Outcome::Encrypted;
            case kCodePage:
                if (record.data.size() >= 2)
                    m_strings.decoder = decoderForCodePage(le16(record.data, 0));
                break;
            case kBoundSheet:
                if (record.data.size() >= 6)
                    m_sheets.append({le32(record.data, 0), u8At(record.data, 5) == 0});
                break;
            case kDate1904:
                if (record.data.size() >= 2 && le16(record.data, 0) == 1)
                    m_formats.setDateSystem(cells::DateSystem::From1904);
                break;
            case kFormat:
                readFormat(record.data);
                break;
            case kXf:
                if (record.data.size() >= 4)
                    m_formats.addStyle(le16(record.data, 2));
                break;
            case kSst:
                if (!readSharedStrings(record.data, records.continuations()))
                    m_damaged = true;
                break;
            default:
                break;
            }
        }
        m_damaged = true;
        return Outcome::Damaged;
    }

    // Format ([MS-XLS] 2.4.126): the number of the format, then its code; in BIFF5 the code is
    // 8-bit with an 8-bit count.
    void readFormat(QByteArrayView data)
    {
        if (data.size() < 3)
            return;
        QString code;
        if (m_strings.biff8) {
            code = m_strings.cellString({data.sliced(2)});
        } else {
            const QByteArrayView bytes = data.sliced(3);
            code = m_strings.decoder.decode(
                bytes.first(std::min<qsizetype>(bytes.size(), u8At(data, 2))));
        }
        m_formats.addFormat(le16(data, 0), code);
    }

    // SST ([MS-XLS] 2.4.265): two counts, then the strings, continued over CONTINUE records. The
    // strings before a damaged one are kept.
    bool readSharedStrings(QByteArrayView first, QList<QByteArrayView> continuations)
    {
        continuations.prepend(first);
        biff::ContinuedData data(std::move(continuations));
        quint32 total = 0;
        quint32 unique = 0;
        if (!data.u32(total) || !data.u32(unique))
            return false;
        // The count is only a claim: every string takes at least three bytes.
        m_strings.starts.reserve(std::min<qsizetype>(unique, first.size() / 3 + 1));
        while (quint32(m_strings.starts.size()) < unique && !data.atEnd()) {
            m_strings.starts.append(m_strings.text.size());
            if (!data.unicodeString(m_strings.text, true))
                return false;
        }
        return true;
    }

    // Where the worksheets start. A BoundSheet record gives the offset of its sheet's BOF; where
    // it does not point at a BOF (a damaged or carelessly written file), the substream in the
    // same place of the sequence after the globals is that sheet. Without any BoundSheet, every
    // worksheet of that sequence.
    QList<qint64> sheetPositions() const
    {
        QList<qint64> substreams;
        bool scanned = false;
        const auto sequence = [&]() -> const QList<qint64> & {
            if (!scanned && m_globalsEnd >= 0)
                substreams = biff::substreamsFrom(m_stream, m_globalsEnd);
            scanned = true;
            return substreams;
        };
        QList<qint64> positions;
        if (m_sheets.isEmpty()) {
            for (const qint64 at : sequence()) {
                if (le16(m_stream, at + 6) == kWorksheet)
                    positions.append(at);
            }
            return positions;
        }
        for (qsizetype i = 0; i < m_sheets.size(); ++i) {
            if (!m_sheets[i].worksheet)
                continue;
            if (biff::bofAt(m_stream, m_sheets[i].at))
                positions.append(m_sheets[i].at);
            else if (i < sequence().size())
                positions.append(sequence()[i]);
            else
                positions.append(-1); // read as damaged
        }
        return positions;
    }

    QByteArrayView m_stream;
    TextSink &m_sink;
    WorkbookStrings m_strings;
    cells::CellFormats m_formats;
    QList<Sheet> m_sheets;
    qint64 m_globalsEnd = -1; // after the globals' EOF
    bool m_damaged = false;
};

} // namespace

Outcome Excel97Extractor::extractFrom(const CompoundFile &file, const Source &, TextSink &sink)
{
    QByteArray stream;
    CompoundFile::Status status = file.read("Workbook", stream);
    if (status == CompoundFile::Status::Missing)
        status = file.read("Book", stream);
    if (status == CompoundFile::Status::Missing || status == CompoundFile::Status::TooLarge)
        return Outcome::Damaged;
    // A stream cut short still gives the sheets before the cut.
    const Outcome outcome = WorkbookReader(stream, sink).read();
    return status == CompoundFile::Status::Damaged && outcome == Outcome::Done ? Outcome::Damaged
                                                                               : outcome;
}

} // namespace documents
