// The search as the windows run it: the search controller with its progress window, on the
// offscreen platform, against the core search of the same files.
//   bench_search_window run DIR     prints "<core ms> <windowed run ms> <core hits> <run hits>"
//   bench_search_window stall FILE  prints "<longest gap of a 10 ms timer ms> <run ms>"
//   bench_search_window report N    searches N small files that all hold the keyword, with the
//       launcher's report box as the report's place, and prints "<hit entries> <ms from the
//       last file's keyword read to the report painted> <median ms> <longest ms> of a page step
//       while paging down through the report"

#include "bench_support.h"

#include "chooser/chooser_slot.h"
#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"

#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_list.h"
#include "platform/widgets/folder_list.h"
#include "search/core/file_search.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"
#include "search/widgets/search_controller.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

const QString kKeyword = QStringLiteral(u"关键字");

struct SilentDialogs : platform::Dialogs
{
    QString textPrompt(QWidget *, const QString &, const QString &) override { return {}; }
    void criticalMessage(QWidget *, const QString &, const QString &) override {}
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        return {};
    }
};

// Answers the keyword prompt with one keyword.
struct KeywordDialogs : SilentDialogs
{
    QString keyword;
    QString textPrompt(QWidget *, const QString &, const QString &) override { return keyword; }
};

struct Report : search::ReportSink
{
    QString text;
    void setReport(const QString &report, const QList<search::ReportHit> &) override
    {
        text = report;
    }
};

// Runs the controller over `list` and returns its report; the run's wall time goes to `ms`.
QString runWindowed(const bench::FileNames &list, const QString &keyword, double *ms)
{
    SilentDialogs dialogs;
    Report report;
    QWidget launcher;
    launcher.resize(627, 420);
    launcher.show();
    search::SearchController controller(dialogs, report, &launcher, [&] { return keyword; });
    QSignalSpy finished(&controller, &search::SearchController::finished);
    QElapsedTimer clock;
    clock.start();
    controller.run(list);
    while (finished.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    *ms = double(clock.nsecsElapsed()) / 1e6;
    return report.text;
}

// The report of a run over `count` files that all hold the keyword, shown in a real launcher.
int reportTimes(int count)
{
    QTemporaryDir dir;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        QFile file(dir.filePath(names.last()));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(
                (QStringLiteral(u"第 %1 份会议纪要，关键字在这里，后面还有一些文字。").arg(i))
                    .toUtf8()) < 0)
            return 1;
    }
    const bench::FileNames list(dir.path(), names);

    SilentDialogs dialogs;
    launcher::KeywordPrompt prompt(dialogs);
    launcher::Form1 form(prompt, [] {});
    form.show();
    auto *box = form.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));

    // The run has ended when the last file's keyword has been read (the file is 80 bytes); the
    // report counts as shown once the launcher has painted it.
    QElapsedTimer clock;
    int keywordReads = 0;
    qint64 lastRead = 0;
    qint64 painted = 0;
    struct Painting : search::ReportSink
    {
        launcher::Form1 *form;
        QElapsedTimer *clock;
        qint64 *painted;
        void setReport(const QString &report, const QList<search::ReportHit> &hits) override
        {
            form->setReport(report, hits);
            form->repaint();
            *painted = clock->nsecsElapsed();
        }
    } sink;
    sink.form = &form;
    sink.clock = &clock;
    sink.painted = &painted;
    search::SearchController controller(dialogs, sink, &form, [&] {
        if (++keywordReads == count)
            lastRead = clock.nsecsElapsed();
        return kKeyword;
    });
    QSignalSpy finished(&controller, &search::SearchController::finished);
    clock.start();
    controller.run(list);
    while (finished.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    // Paging down as with the Page Down key, each step painted before the next.
    QScrollBar *bar = box->verticalScrollBar();
    QList<double> steps;
    for (int page = 1; page <= 300 && bar->value() < bar->maximum(); ++page) {
        QElapsedTimer step;
        step.start();
        bar->setValue(std::min(bar->maximum(), bar->value() + bar->pageStep()));
        box->viewport()->repaint();
        steps << double(step.nsecsElapsed()) / 1e6;
    }
    std::sort(steps.begin(), steps.end());
    const int hits = int(form.report().count(QStringLiteral("...")));
    std::printf("%d %.1f %.2f %.2f\n", hits, double(painted - lastRead) / 1e6,
                steps.isEmpty() ? 0.0 : steps.at(steps.size() / 2),
                steps.isEmpty() ? 0.0 : steps.last());
    return 0;
}

// The program's windows wired as app/main.cpp wires them, the chooser on `folder` with
// `pattern` typed; every entry is marked with Ctrl+A and "选定" is triggered. The time runs
// from the trigger until the run has finished (its progress window gone) and the launcher has
// painted the report.
int chooserRun(const QString &folder, const QString &pattern)
{
    // The text cache and the last location go to a folder of their own.
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    KeywordDialogs dialogs;
    dialogs.keyword = kKeyword;
    launcher::KeywordPrompt prompt(dialogs);
    prompt.AskKeyword(nullptr);
    chooser::ChooserServices services;
    services.prompt = &prompt;
    services.settingsFolder = home.path();
    chooser::ChooserSlot chooser(services);
    launcher::Form1 launcher(prompt, [] {});
    search::SearchController controller(dialogs, launcher, &launcher,
                                        [&prompt] { return prompt.StrKey(); });
    chooser.setSearchCommand(&controller);
    launcher.setChooserHost(&chooser);
    launcher.show();
    QSignalSpy finished(&controller, &search::SearchController::finished);

    // Shows the chooser on the folder and waits for its listing.
    const auto showChooser = [&]() -> platform::FileList * {
        chooser.showChooser();
        chooser::Form4 *form = chooser.chooser();
        form->Dir1()->setPath(folder);
        if (!pattern.isEmpty())
            form->Combo1()->setEditText(pattern);
        platform::FileList *files = form->File1();
        while (files->isListing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        return files;
    };
    const auto runSearch = [&] {
        chooser.chooser()->XD()->trigger();
        while (finished.isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        finished.clear();
        launcher.repaint();
    };

    // The program is running when a search starts: a first run over one entry loads the
    // progress window's fonts and classes, untimed.
    platform::FileList *files = showChooser();
    if (files->entryCount() == 0)
        return 1;
    files->selectOnly(0);
    runSearch();

    files = showChooser();
    files->setFocus();
    QTest::keyClick(files, Qt::Key_A, Qt::ControlModifier);
    int marked = 0;
    for (int i = 0; i < files->entryCount(); ++i)
        marked += files->isEntrySelected(i);
    QElapsedTimer clock;
    clock.start();
    runSearch();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    std::printf("%.1f %d %d\n", ms, int(launcher.report().count(QStringLiteral("..."))), marked);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The readers linked in, as the format module would hand them out.
    formats::setDefaultReaders(formats::linkedReaders());
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args.at(0) == QStringLiteral("chooser"))
        return chooserRun(args.at(1), args.value(2));
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: bench_search_window run DIR | stall FILE | report N | "
                             "chooser DIR [PATTERN]\n");
        return 2;
    }
    if (args.at(0) == QStringLiteral("run")) {
        const bench::FileNames list = bench::FileNames::ofFolder(args.at(1));
        QElapsedTimer clock;
        clock.start();
        search::FileSearch core;
        int coreHits = 0;
        for (const QString &name : list.names)
            coreHits += core.search(list.folder + u'/' + name, kKeyword).outcome ==
                        search::FileSearchResult::Outcome::Hit;
        const double coreMs = double(clock.nsecsElapsed()) / 1e6;
        // The program is running when a search starts: its fonts and window classes are
        // loaded. A first run over the first file does that here, untimed.
        double runMs = 0;
        runWindowed(bench::FileNames(list.folder, list.names.mid(0, 1)), kKeyword, &runMs);
        const QString report = runWindowed(list, kKeyword, &runMs);
        std::printf("%.1f %.1f %d %d\n", coreMs, runMs, coreHits,
                    int(report.count(QStringLiteral("..."))));
        return 0;
    }
    if (args.at(0) == QStringLiteral("stall")) {
        // Windows and fonts loaded first (a run over one small file), as in the running program.
        QTemporaryDir warmUp;
        QFile small(warmUp.filePath(QStringLiteral("small.txt")));
        if (!small.open(QIODevice::WriteOnly) || small.write("x") != 1)
            return 1;
        small.close();
        double runMs = 0;
        runWindowed(bench::FileNames::ofFile(small.fileName()), QStringLiteral(u"没有的词"),
                    &runMs);
        const bench::StallMeter stall(&app);
        runWindowed(bench::FileNames::ofFile(args.at(1)), QStringLiteral(u"没有的词"), &runMs);
        std::printf("%lld %.1f\n", stall.longestMs(), runMs);
        return 0;
    }
    if (args.at(0) == QStringLiteral("report"))
        return reportTimes(args.at(1).toInt());
    return 2;
}
