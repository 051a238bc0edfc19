#include "chooser/file_list_entries.h"

#include "platform/widgets/file_list.h"

namespace chooser {

int FileListEntries::entryCount() const
{
    return m_files.entryCount();
}

QString FileListEntries::entryName(int index) const
{
    return m_files.entryName(index);
}

bool FileListEntries::isSelected(int index) const
{
    return m_files.isEntrySelected(index);
}

QStringList FileListEntries::entryNames() const
{
    return m_files.entryNames();
}

QList<bool> FileListEntries::entryMarks() const
{
    return m_files.entryMarks();
}

QString FileListEntries::folderPath() const
{
    return m_files.path();
}

} // namespace chooser
