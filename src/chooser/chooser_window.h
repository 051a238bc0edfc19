#pragma once

#include "platform/widgets/form.h"

#include <QString>

#include <memory>

class QAction;
class QComboBox;
class QMenu;
class QPushButton;

namespace platform {
class Drives;
class DriveList;
class FileList;
class FolderList;
class ShellOpener;
} // namespace platform

namespace search {
class SearchCommand;
}

namespace launcher {
class ChooserHost;
class KeywordPrompt;
} // namespace launcher

namespace chooser {

class FileListEntries;
enum class PageDirection;

// What the chooser works with; owned elsewhere and living longer than the chooser.
struct ChooserServices
{
    launcher::KeywordPrompt *prompt = nullptr; // "ReLoad" asks for the keyword here
    search::SearchCommand *search = nullptr;   // "选定" runs it; unavailable while null
    platform::ShellOpener *shell = nullptr;    // "打开" hands the files to it
    platform::Drives *drives = nullptr;        // null: the session's drives
    QString settingsFolder;                    // where the last-location file lives
};

// Form4, the chooser window: drive, folder and file list, the type filter, the paging buttons,
// "ReLoad", and the file list's popup menu with "选定" (search) and "打开" (open).
class Form4 : public platform::Form
{
    Q_OBJECT
    Q_DISABLE_COPY(Form4)

public:
    // `host` is the slot the chooser lives in; "ReLoad" with an empty keyword unloads it there.
    Form4(const ChooserServices &services, launcher::ChooserHost &host, QWidget *parent = nullptr);
    ~Form4() override;

    void setSearchCommand(search::SearchCommand *search);

    platform::DriveList *Drive1() const { return m_Drive1; }
    platform::FolderList *Dir1() const { return m_Dir1; }
    platform::FileList *File1() const { return m_File1; }
    QComboBox *Combo1() const { return m_Combo1; }
    QPushButton *Command1() const { return m_Command1; }
    QPushButton *Command2() const { return m_Command2; }
    QPushButton *command3() const { return m_command3; }
    QMenu *FileMenu() const { return m_FileMenu; }
    QAction *XD() const { return m_XD; }
    QAction *OpenIndex() const { return m_OpenIndex; }

    // The values read from the last-location file at load.
    const QString &IniDrive() const { return m_IniDrive; }
    const QString &IniPath() const { return m_IniPath; }

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    void Drive1_Change();
    void Dir1_Change();
    void File1_MouseUp(Qt::MouseButton button, const QPoint &globalPosition);
    void Combo1_Change(const QString &text);
    void Combo1_Click();
    void Command1_Click();
    void Command2_Click();
    void command3_Click();
    // Leaves one entry selected, kPageStep entries up or down from the current one.
    void page(PageDirection direction);
    void XD_Click();
    void OpenIndex_Click();
    void LoadLastLocation();
    void SaveLastLocation();
    void fillFilter();

    ChooserServices m_services;
    launcher::ChooserHost &m_host;
    platform::Drives &m_drives;

    platform::FileList *m_File1 = nullptr;
    platform::FolderList *m_Dir1 = nullptr;
    platform::DriveList *m_Drive1 = nullptr;
    QComboBox *m_Combo1 = nullptr;
    QPushButton *m_Command1 = nullptr;
    QPushButton *m_Command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QMenu *m_FileMenu = nullptr;
    QAction *m_XD = nullptr;
    QAction *m_OpenIndex = nullptr;

    std::unique_ptr<FileListEntries> m_entries;
    QString m_IniDrive;
    QString m_IniPath;
};

} // namespace chooser
