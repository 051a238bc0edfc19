#include "platform/core/chunk_reader.h"
#include "platform/core/member_copies_folder.h"
#include "search/archives/archive_signature.h"
#include "search/core/document_text_stream.h"
#include "search/documents/signatures.h"
#include "search/formats/format_module.h"
#include "search/match/keyword.h"
#include "support/document_catalogue.h"
#include "support/test_files.h"

#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

#include <thread>

using namespace Qt::Literals::StringLiterals;

// The readers as the program has them: the format module loaded at the first document, and the
// program still searching when the module cannot be used. The test links none of the readers.
class TstFormatModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void noFormatLibraryBeforeTheFirstDocument();
    void documentsReadThroughTheModule_data();
    void documentsReadThroughTheModule();
    void archiveMembersReadThroughTheModule();
    void readerThreadsRunOneOpenMpThread();
    void withoutAModule_data();
    void withoutAModule();
    void childWithoutAModule();
};

namespace {

// A document for each reader library: the ZIP package, poppler, the compound file.
const std::pair<const char *, QString> kModuleFixtures[] = {
    {"Word document (ZIP package)", u"runs.docx"_s},
    {"PDF (poppler)", u"pages.pdf"_s},
    {"Word 97 (compound file)", u"runs.doc"_s},
};
const QString kArchives = QStringLiteral(QUARLEX_ARCHIVES_DIR);

// The libraries only the readers need, as their files are named in /proc/self/maps.
const char *const kFormatLibraries[] = {"libpoppler",   "libarchive", "libgsf",
                                        "libtesseract", "liblept",    "libxml2"};

QByteArray mappedFiles()
{
    return readAll(QStringLiteral("/proc/self/maps"));
}

QStringList formatLibrariesMapped()
{
    const QByteArray maps = mappedFiles();
    QStringList found;
    for (const char *library : kFormatLibraries)
        if (maps.contains(QByteArray("/").append(library)))
            found << QLatin1String(library);
    return found;
}

const formats::Readers &readers()
{
    return formats::moduleReaders();
}

QByteArray headOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(512) : QByteArray();
}

QString textOf(documents::Document &document, documents::Outcome *outcome = nullptr)
{
    QString text;
    platform::WorkMonitor monitor;
    const documents::Outcome got = document.extract(
        [&](QStringView piece) {
            text += piece;
            return true;
        },
        monitor);
    if (outcome)
        *outcome = got;
    return text;
}

QString textOf(const QString &path, documents::Outcome *outcome = nullptr)
{
    const std::unique_ptr<documents::Document> document =
        readers().openDocument(path, headOf(path));
    return document ? textOf(*document, outcome) : QString();
}

documents::Kind kindOf(const QString &path)
{
    const std::unique_ptr<documents::Document> document =
        readers().openDocument(path, headOf(path));
    return document ? document->kind() : documents::Kind::NotDocument;
}

class CollectingVisitor : public archives::Visitor
{
public:
    void text(const archives::MemberPlace &member, archives::MemberBytes &bytes) override
    {
        QByteArray all;
        while (bytes.readInto(all, 4096) > 0) {
        }
        texts.insert(member.path, QStringDecoder("GB18030").decode(all));
    }
    void document(const archives::MemberPlace &member,
                  std::unique_ptr<documents::Document> document) override
    {
        documentTexts.insert(member.path, textOf(*document));
    }
    void failed(const archives::MemberPlace &member, archives::Failure) override
    {
        failures << member.path;
    }
    bool keepGoing() override { return true; }

    QHash<QString, QString> texts;
    QHash<QString, QString> documentTexts;
    QStringList failures;
};

} // namespace

void TstFormatModule::initTestCase()
{
    // The child runs with the module it is given.
    if (!qEnvironmentVariableIsSet("QUARLEX_FORMAT_MODULE"))
        qputenv("QUARLEX_FORMAT_MODULE", QUARLEX_FORMAT_MODULE_FILE);
}

void TstFormatModule::noFormatLibraryBeforeTheFirstDocument()
{
    if (qEnvironmentVariableIsSet("QUARLEX_TEST_CHILD"))
        QSKIP("the child reads without the module only");
    QCOMPARE(formats::moduleState(), formats::ModuleState::NotLoaded);
    QCOMPARE(formatLibrariesMapped(), QStringList());
    // What a search asks of every file before it knows a document: answered from the bytes.
    const QByteArray text("plain text, no document: 合同编号 2024");
    QVERIFY(!documents::mayBeDocument(text));
    QVERIFY(!archives::hasArchiveSignature(text));
    platform::removeOldMemberCopies();
    QCOMPARE(formats::moduleState(), formats::ModuleState::NotLoaded);
    QCOMPARE(formatLibrariesMapped(), QStringList());
}

void TstFormatModule::documentsReadThroughTheModule_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<documents::Kind>("kind");
    QTest::addColumn<QStringList>("words");
    for (const auto &[about, path] : kModuleFixtures) {
        const fixtures::DocumentFixture &fixture = fixtures::documentFixture(path);
        QTest::newRow(about) << fixtures::documentPath(fixture) << fixture.kind << fixture.words;
    }
}

void TstFormatModule::documentsReadThroughTheModule()
{
    if (qEnvironmentVariableIsSet("QUARLEX_TEST_CHILD"))
        QSKIP("the child reads without the module only");
    QFETCH(QString, path);
    QFETCH(documents::Kind, kind);
    QFETCH(QStringList, words);
    QVERIFY(!words.isEmpty());
    QCOMPARE(kindOf(path), kind);
    QCOMPARE(formats::moduleState(), formats::ModuleState::Loaded);
    documents::Outcome outcome;
    const QString text = textOf(path, &outcome);
    for (const QString &word : std::as_const(words))
        QVERIFY2(text.contains(word), qPrintable(word));
    QCOMPARE(outcome, documents::Outcome::Done);
    // The same text through the worker thread of a text stream.
    search::DocumentTextStream stream(readers().openDocument(path, headOf(path)));
    QString streamed, piece;
    for (;;) {
        const auto status = stream.next(piece, 5000);
        QVERIFY(status != search::DocumentTextStream::Status::Waiting);
        if (status == search::DocumentTextStream::Status::End)
            break;
        streamed += piece;
    }
    QCOMPARE(streamed, text);
    // The raw-bytes screen goes through the module too: a keyword absent from the package.
    const std::unique_ptr<search::Keyword> absent =
        std::make_unique<search::Keyword>(u"不在此文档中的词"_s);
    QVERIFY(!absent->utf8Characters().empty());
    platform::WorkMonitor monitor;
    const documents::Screen verdict =
        readers().openDocument(path, headOf(path))->screen(absent->utf8Characters(), monitor);
    QCOMPARE(verdict, kind == documents::Kind::OfficeOpenXml ? documents::Screen::Absent
                                                             : documents::Screen::Possible);
    QCOMPARE(readers().version().isEmpty(), false);
    QVERIFY(readers().version() != "no-readers");
    QVERIFY(formatLibrariesMapped().contains(u"libarchive"_s));
}

void TstFormatModule::archiveMembersReadThroughTheModule()
{
    if (qEnvironmentVariableIsSet("QUARLEX_TEST_CHILD"))
        QSKIP("the child reads without the module only");
    const QString path = kArchives + u"/attachments.zip";
    platform::ChunkReader file;
    QVERIFY(file.open(path));
    QByteArray head;
    QVERIFY(file.readInto(head, archives::kHeadSize) > 0);
    QVERIFY(archives::hasArchiveSignature(head) && readers().readsArchives());
    CollectingVisitor visitor;
    QCOMPARE(readers().walkArchive(file, head, u"attachments.zip"_s, visitor),
             archives::WalkEnd::Done);
    QCOMPARE(visitor.failures, QStringList());
    QCOMPARE(visitor.texts.value(u"客户/合同.txt"_s), u"甲方乙方的关键字"_s);
    QVERIFY(visitor.documentTexts.value(u"合同/2023.docx"_s).contains(u"NeedleWord"));
    // A member copied out to be opened: the docx, whole.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString copy = readers().copyMember(path, {2});
    QVERIFY(!copy.isEmpty());
    QCOMPARE(textOf(copy).contains(u"NeedleWord"), true);
}

void TstFormatModule::readerThreadsRunOneOpenMpThread()
{
    if (qEnvironmentVariableIsSet("QUARLEX_TEST_CHILD"))
        QSKIP("the child reads without the module only");
    // libgomp is in the process before main() (Qt Core needs it through libb2).
    using LevelsFunction = int();
    const auto levels =
        reinterpret_cast<LevelsFunction *>(::dlsym(RTLD_DEFAULT, "omp_get_max_active_levels"));
    QVERIFY(levels);
    int before = -1, after = -1, other = -1;
    std::thread([&] {
        before = levels();
        // A picture read by Tesseract (chosen for every picture by the test's environment),
        // whose OpenMP teams are set per thread.
        textOf(fixtures::documentPath(u"ocr/lines.png"_s));
        after = levels();
    }).join();
    std::thread([&] { other = levels(); }).join();
    QVERIFY(before > 0);
    QCOMPARE(after, 0);      // no parallel region of a reader's thread starts a team
    QCOMPARE(other, before); // a thread that reads no document is left as it was
}

void TstFormatModule::withoutAModule_data()
{
    QTest::addColumn<QString>("module");
    QTest::newRow("no module file") << u"/nonexistent/libquarlex_formats.so"_s;
    QTest::newRow("a library without the readers' entry") << u"libz"_s;
}

void TstFormatModule::withoutAModule()
{
    if (qEnvironmentVariableIsSet("QUARLEX_TEST_CHILD"))
        QSKIP("run in the parent");
    QFETCH(QString, module);
    if (module == u"libz") {
        // A real library of the system, mapped already by Qt.
        const QByteArray maps = mappedFiles();
        const qsizetype at = maps.indexOf("/libz.so");
        QVERIFY(at > 0);
        const qsizetype start = maps.lastIndexOf(' ', at) + 1;
        module = QString::fromLocal8Bit(maps.mid(start, maps.indexOf('\n', at) - start));
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QUARLEX_FORMAT_MODULE"_s, module);
    environment.insert(u"QUARLEX_TEST_CHILD"_s, u"1"_s);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {u"childWithoutAModule"_s});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    const QByteArray errors = child.readAllStandardError();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             QByteArray(output + errors).constData());
    // One line says why, however many documents were asked about.
    QCOMPARE(errors.count("quarlex: no document reader:"), 1);
    QVERIFY(errors.contains(QFile::encodeName(module)) || module.startsWith(u"/nonexistent"));
}

void TstFormatModule::childWithoutAModule()
{
    if (!qEnvironmentVariableIsSet("QUARLEX_TEST_CHILD"))
        QSKIP("run as the child of withoutAModule");
    // Documents are files no reader knows; an archive is its bytes; nothing is kept as their text.
    for (const auto &[about, file] : kModuleFixtures) {
        const QString path = fixtures::documentPath(file);
        QVERIFY(documents::mayBeDocument(headOf(path)));
        QCOMPARE(kindOf(path), documents::Kind::NotDocument);
    }
    QCOMPARE(formats::moduleState(), formats::ModuleState::Missing);
    QVERIFY(!readers().readsArchives());
    QCOMPARE(readers().version(), QByteArray("no-readers"));
    QCOMPARE(readers().copyMember(kArchives + u"/attachments.zip", {2}), QString());
    QCOMPARE(formatLibrariesMapped(), QStringList());
}

QTEST_GUILESS_MAIN(TstFormatModule)
#include "tst_format_module.moc"
