// The cost of deciding a file's encoding against the cost of searching it:
//
//   bench_encoding DIR   processor microseconds per file to decide the encoding of its bytes
//                        (held in memory) and to search it (read from the page cache), the
//                        share of the first in the second, and the encodings decided

#include "bench_support.h"

#include "platform/core/text_encoding.h"
#include "search/core/file_search.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: bench_encoding DIR\n");
        return 2;
    }
    const QString keyword = QStringLiteral(u"关键字");
    const bench::FileNames list = bench::FileNames::ofFolder(args.at(0));
    QList<QByteArray> files;
    for (int i = 0; i < list.entryCount(); ++i) {
        QFile file(args.at(0) + u'/' + list.entryName(i));
        if (file.open(QIODevice::ReadOnly))
            files.append(file.readAll());
    }
    if (files.isEmpty())
        return 2;
    // Processor time of this thread, which other processes on a busy machine do not stretch;
    // best of 5 for each, so that both are timed warm.
    const auto cpuMicroseconds = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
    };
    double decide = 0;
    double search = 0;
    int kinds[6] = {};
    for (int round = 0; round < 5; ++round) {
        // The search decides on bytes it has just read: the files are decided in groups
        // whose bytes the processor's caches hold, each group once before it is timed.
        constexpr qsizetype kGroup = 8;
        double d = 0;
        for (qsizetype group = 0; group < files.size(); group += kGroup) {
            const qsizetype groupEnd = std::min(files.size(), group + kGroup);
            for (qsizetype i = group; i < groupEnd; ++i)
                ++kinds[int(platform::detectTextEncoding(files.at(i)).kind)];
            const double start = cpuMicroseconds();
            for (qsizetype i = group; i < groupEnd; ++i)
                platform::detectTextEncoding(files.at(i));
            d += cpuMicroseconds() - start;
        }
        d /= double(files.size());
        const double start = cpuMicroseconds();
        search::FileSearch searcher;
        for (int i = 0; i < list.entryCount(); ++i)
            searcher.search(args.at(0) + u'/' + list.entryName(i), keyword);
        const double s = (cpuMicroseconds() - start) / double(list.entryCount());
        decide = round == 0 ? d : std::min(decide, d);
        search = round == 0 ? s : std::min(search, s);
    }
    std::printf("%.2f %.2f %.1f%% GB18030 %d UTF-8 %d Big5 %d\n", decide, search,
                100 * decide / search, kinds[int(platform::TextEncoding::Gb18030)] / 5,
                kinds[int(platform::TextEncoding::Utf8)] / 5,
                kinds[int(platform::TextEncoding::Big5)] / 5);
    return 0;
}
