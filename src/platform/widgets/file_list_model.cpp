#include "platform/widgets/file_list_model.h"

namespace platform {

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_shown.size())
        return QVariant();
    return m_shown.at(index.row());
}

QString FileListModel::name(int row) const
{
    if (row < 0 || row >= m_shown.size())
        return QString();
    const auto held = m_names.constFind(row);
    return held != m_names.cend() ? *held : m_shown.at(row);
}

QStringList FileListModel::names() const
{
    QStringList names = m_shown;
    for (auto held = m_names.cbegin(); held != m_names.cend(); ++held) {
        if (held.key() < names.size())
            names[held.key()] = held.value();
    }
    return names;
}

void FileListModel::clear()
{
    if (m_shown.isEmpty())
        return;
    beginResetModel();
    m_shown.clear();
    m_names.clear();
    endResetModel();
}

void FileListModel::append(const QStringList &shown, const Names &names)
{
    if (shown.isEmpty())
        return;
    const int first = int(m_shown.size());
    beginInsertRows(QModelIndex(), first, first + int(shown.size()) - 1);
    m_shown.append(shown);
    for (const auto &[row, name] : names)
        m_names.insert(first + row, name);
    endInsertRows();
}

} // namespace platform
