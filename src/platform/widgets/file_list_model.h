#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QPair>
#include <QStringList>

namespace platform {

// The entries of the file list: the text each shows and, where it differs, the name the program
// holds for it (see paths.h). Rows are only ever appended in batches or replaced whole, so that
// a listing of a hundred thousand entries costs the view a handful of insertions.
class FileListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY(FileListModel)

public:
    using Names = QList<QPair<int, QString>>; // row within the batch, held name

    explicit FileListModel(QObject *parent = nullptr) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The held name of a row; empty outside the rows.
    QString name(int row) const;
    // The held names of all rows, in order.
    QStringList names() const;

    void clear();
    // Appends a batch: `shown` in order, `names` for the rows whose held name is not shown.
    void append(const QStringList &shown, const Names &names);

private:
    QStringList m_shown;
    QHash<int, QString> m_names;
};

} // namespace platform
