#pragma once

// Pieces both benchmark programs use: the entries of a run and the stall meter.

#include "search/core/entry_list.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace bench {

// The files a run searches, all marked.
struct FileNames : search::EntryList
{
    QString folder;
    QStringList names;

    // Every file of `path`, sorted by name.
    static FileNames ofFolder(const QString &path)
    {
        return {path, QDir(path).entryList(QDir::Files, QDir::Name)};
    }
    // The one file `path`.
    static FileNames ofFile(const QString &path)
    {
        const QFileInfo info(path);
        return {info.absolutePath(), {info.fileName()}};
    }

    FileNames(QString folder, QStringList names)
        : folder(std::move(folder)), names(std::move(names))
    {}
    int entryCount() const override { return int(names.size()); }
    QString entryName(int index) const override { return names.at(index); }
    bool isSelected(int) const override { return true; }
    QString folderPath() const override { return folder; }
};

// A 10 ms timer that ticks while the event loop runs; the longest gap between two ticks (or
// since the last one) is how long the windows would have stood still.
class StallMeter
{
public:
    explicit StallMeter(QObject *context)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, context, [this] {
            m_longest = std::max(m_longest, m_sinceTick.elapsed());
            m_sinceTick.restart();
        });
        m_timer.start();
        m_sinceTick.start();
    }

    qint64 longestMs() const { return std::max(m_longest, m_sinceTick.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};

} // namespace bench
