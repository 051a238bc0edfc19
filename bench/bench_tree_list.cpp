// How long the file list takes to list a tree of 100,000 files in 1,000 folders ("**/*")
// against `find DIR -type f` in the same run, how soon the first entries show, and how long
// marking and paging take on the whole list.
//   bench_tree_list [FOLDER]   (a temporary folder unless given; the tree is made there)
// Prints: "find SECONDS list SECONDS first MILLISECONDS mark MILLISECONDS walk SECONDS count"
// (walk: the tree walk alone, without the list).
#include "platform/core/tree_walk.h"
#include "platform/widgets/file_list.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 1,000 folders of 100 files, as offices keep them: 10 years, 10 clients a year, 10 months a
// client.
bool makeTree(const QString &root)
{
    const QByteArray base = QFile::encodeName(root);
    for (int year = 0; year < 10; ++year) {
        const QByteArray y = base + "/20" + QByteArray::number(10 + year);
        ::mkdir(y.constData(), 0700);
        for (int client = 0; client < 10; ++client) {
            const QByteArray c = y + "/client" + QByteArray::number(client);
            ::mkdir(c.constData(), 0700);
            for (int month = 0; month < 10; ++month) {
                const QByteArray m = c + "/m" + QByteArray::number(month);
                if (::mkdir(m.constData(), 0700) != 0)
                    return false;
                for (int i = 0; i < 100; ++i) {
                    const QByteArray f = m + "/doc" + QByteArray::number(i) + ".txt";
                    const int fd = ::open(f.constData(), O_WRONLY | O_CREAT, 0600);
                    if (fd < 0)
                        return false;
                    ::close(fd);
                }
            }
        }
    }
    return true;
}

double findSeconds(const QString &root)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f")});
        find.waitForFinished(-1);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    if (!QFileInfo::exists(root + QStringLiteral("/2019")) && !makeTree(root)) {
        std::fprintf(stderr, "could not make the tree in %s\n", qPrintable(root));
        return 1;
    }
    const double find = findSeconds(root);

    // The walk alone, without the list.
    double walkBest = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        qsizetype files = 0;
        platform::TreeWalk walk([](const QString &, bool) { return true; },
                                [&](QList<platform::TreeFile> &&found) { files += found.size(); });
        walk.run(root);
        walkBest = std::min(walkBest, timer.nsecsElapsed() / 1e9);
    }

    std::unique_ptr<platform::FileList> list;
    double best = 1e9;
    double firstMs = 1e9;
    for (int round = 0; round < 3; ++round) {
        list = std::make_unique<platform::FileList>();
        list->resize(240, 230);
        list->show();
        list->setPattern(QStringLiteral("**/*"));
        // The event loop runs as the program's does, waiting for events between batches.
        QEventLoop loop;
        QElapsedTimer timer;
        double first = -1;
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, &loop, [&] {
            if (first < 0)
                first = timer.nsecsElapsed() / 1e6;
        });
        QObject::connect(list.get(), &platform::FileList::listingFinished, &loop,
                         &QEventLoop::quit);
        timer.start();
        list->setPath(root);
        loop.exec();
        firstMs = std::min(firstMs, first);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    // Marking everything, then paging to the middle and painting it, as Ctrl+A and ▲■ do.
    QElapsedTimer timer;
    timer.start();
    list->selectAll();
    list->selectOnly(list->entryCount() / 2);
    list->repaint();
    const double markMs = timer.nsecsElapsed() / 1e6;
    std::printf("find %.3f list %.3f first %.1f mark %.1f walk %.3f %d\n", find, best, firstMs,
                markMs, walkBest, list->entryCount());
    return list->entryCount() == 100000 ? 0 : 1;
}
