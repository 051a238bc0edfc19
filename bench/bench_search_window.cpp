// The search as the windows run it: the search controller with its progress window, on the
// offscreen platform, against the core search of the same files.
//   bench_search_window run DIR     prints "<core ms> <windowed run ms> <core hits> <run hits>"
//   bench_search_window stall FILE  prints "<longest gap of a 10 ms timer ms> <run ms>"

#include "bench_support.h"

#include "platform/widgets/dialogs.h"
#include "search/core/file_search.h"
#include "search/widgets/search_controller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QWidget>

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

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: bench_search_window run DIR | stall FILE\n");
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
        double runMs = 0;
        const QString report = runWindowed(list, kKeyword, &runMs);
        std::printf("%.1f %.1f %d %d\n", coreMs, runMs, coreHits,
                    int(report.count(QStringLiteral("..."))));
        return 0;
    }
    if (args.at(0) == QStringLiteral("stall")) {
        const bench::StallMeter stall(&app);
        double runMs = 0;
        runWindowed(bench::FileNames::ofFile(args.at(1)), QStringLiteral(u"没有的词"), &runMs);
        std::printf("%lld %.1f\n", stall.longestMs(), runMs);
        return 0;
    }
    return 2;
}
