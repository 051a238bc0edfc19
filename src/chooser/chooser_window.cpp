#include "chooser/chooser_window.h"

#include "chooser/file_list_entries.h"
#include "chooser/paging.h"
#include "chooser/paging_button.h"
#include "chooser/type_filter.h"
#include "launcher/chooser_host.h"
#include "launcher/keyword_prompt.h"
#include "platform/widgets/cursors.h"
#include "platform/widgets/drive_list.h"
#include "platform/widgets/drives.h"
#include "platform/widgets/file_list.h"
#include "platform/widgets/folder_list.h"
#include "platform/widgets/shell_opener.h"
#include "platform/widgets/twips.h"
#include "search/widgets/search_command.h"
#include "settings/last_location.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QSignalBlocker>

namespace chooser {

using platform::twipsRect;

namespace {

// CustomizeWindowHint: the window manager gets exactly these decorations, a caption with a
// close box, instead of its defaults (which add minimise and maximise boxes).
constexpr Qt::WindowFlags kWindowFlags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowCloseButtonHint |
                                         Qt::MSWindowsFixedSizeDialogHint;

} // namespace

Form4::Form4(const ChooserServices &services, launcher::ChooserHost &host, QWidget *parent)
    : platform::Form(parent, kWindowFlags), m_services(services), m_host(host),
      m_drives(services.drives ? *services.drives : platform::Drives::session())
{
    setWindowTitle(QStringLiteral(u"选择导入数据的路径"));
    setFixedSize(platform::twipsSize(4680, 3435));

    // Created back to front: a later sibling lies in front of an earlier one. The file list is
    // larger than the window; its scroll bar and bottom strip lie outside, and the buttons at
    // the right edge lie in front of it.
    m_File1 = new platform::FileList(this);
    m_File1->setGeometry(twipsRect(1920, 0, 3495, 3510));
    m_Dir1 = new platform::FolderList(m_drives, this);
    m_Dir1->setGeometry(twipsRect(0, 360, 1935, 2820));
    m_Drive1 = new platform::DriveList(m_drives, this);
    m_Drive1->setGeometry(twipsRect(0, 0, 1935, 300));
    m_Combo1 = new QComboBox(this);
    m_Combo1->setEditable(true);
    m_Combo1->setInsertPolicy(QComboBox::NoInsert);
    m_Combo1->setCompleter(nullptr); // typed text is a pattern, never completed to an item
    m_Combo1->setGeometry(twipsRect(0, 3120, 1935, 300));
    m_Command1 = new QPushButton(QStringLiteral("ReLoad"), this);
    m_Command1->setGeometry(twipsRect(3840, 0, 855, 255));
    m_Command1->setCursor(platform::arrowHourglassCursor());
    m_Command2 = new PagingButton(QStringLiteral(u"▲■"), this);
    m_Command2->setGeometry(twipsRect(4440, 720, 255, 615));
    m_command3 = new PagingButton(QStringLiteral(u"■▼"), this);
    m_command3->setGeometry(twipsRect(4440, 1560, 255, 615));

    setTabOrder(m_File1, m_Dir1);
    setTabOrder(m_Dir1, m_Drive1);
    setTabOrder(m_Drive1, m_Combo1);
    setTabOrder(m_Combo1, m_Command1);
    setTabOrder(m_Command1, m_Command2);
    setTabOrder(m_Command2, m_command3);

    m_FileMenu = new QMenu(this);
    m_XD = m_FileMenu->addAction(QStringLiteral(u"选定"));
    m_OpenIndex = m_FileMenu->addAction(QStringLiteral(u"打开"));

    m_entries = std::make_unique<FileListEntries>(*m_File1);

    // Before the load procedure runs, the lists show the current drive and its folder.
    m_Dir1->setDrive(m_Drive1->drive());
    m_File1->setPath(m_Dir1->path());

    connect(m_Drive1, &platform::DriveList::driveChanged, this, &Form4::Drive1_Change);
    connect(m_Dir1, &platform::FolderList::pathChanged, this, &Form4::Dir1_Change);
    connect(m_File1, &platform::FileList::mouseReleased, this, &Form4::File1_MouseUp);
    connect(m_Combo1, &QComboBox::editTextChanged, this, &Form4::Combo1_Change);
    connect(m_Combo1, &QComboBox::activated, this, &Form4::Combo1_Click);
    connect(m_Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(m_Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form4::command3_Click);
    connect(m_XD, &QAction::triggered, this, &Form4::XD_Click);
    connect(m_OpenIndex, &QAction::triggered, this, &Form4::OpenIndex_Click);
}

Form4::~Form4() = default;

void Form4::setSearchCommand(search::SearchCommand *search)
{
    m_services.search = search;
}

void Form4::Form_Load()
{
    // The window has no icon: an empty picture, so that no application icon stands in.
    QPixmap none(16, 16);
    none.fill(Qt::transparent);
    setWindowIcon(QIcon(none));
    fillFilter();
    m_File1->setPattern(QStringLiteral("*.*"));
    LoadLastLocation();
}

void Form4::Form_Unload()
{
    SaveLastLocation();
}

void Form4::fillFilter()
{
    const QStringList items = filterItemTexts();
    {
        // Adding the first item would put its text into the edit part; that is not a text change
        // of the filter, only the text set below is.
        const QSignalBlocker blocker(m_Combo1);
        m_Combo1->addItems(items);
    }
    // Like typing, this raises the text change: the item text is the pattern for a moment.
    m_Combo1->setEditText(loadItemText());
}

void Form4::Drive1_Change()
{
    // A drive that cannot be shown leaves the folder list where it was.
    m_Dir1->setDrive(m_Drive1->drive());
}

void Form4::Dir1_Change()
{
    // A folder that vanished meanwhile leaves the file list as it was.
    m_File1->setPath(m_Dir1->path());
}

void Form4::File1_MouseUp(Qt::MouseButton button, const QPoint &globalPosition)
{
    if (button != Qt::RightButton)
        return;
    // A search already under way refuses another one.
    m_XD->setEnabled(m_services.search && !m_services.search->isRunning());
    m_FileMenu->popup(globalPosition);
}

void Form4::Combo1_Change(const QString &text)
{
    m_File1->setPattern(patternForText(text));
}

void Form4::Combo1_Click()
{
    const QString pattern = patternForItem(m_Combo1->currentIndex());
    if (!pattern.isNull())
        m_File1->setPattern(pattern);
}

void Form4::Command1_Click()
{
    if (!m_services.prompt)
        return;
    m_services.prompt->AskKeyword(this);
    if (m_services.prompt->StrKey().isEmpty()) {
        m_services.prompt->showEmptyKeywordMessage(this);
        m_host.unloadChooser();
    }
}

void Form4::Command2_Click()
{
    page(PageDirection::Up);
}

void Form4::command3_Click()
{
    page(PageDirection::Down);
}

void Form4::page(PageDirection direction)
{
    const int target = pageTarget(m_File1->listIndex(), m_File1->entryCount(), direction);
    if (target >= 0)
        m_File1->selectOnly(target);
}

void Form4::XD_Click()
{
    search::SearchCommand *search = m_services.search;
    if (!search || search->isRunning())
        return;
    hide();
    // The run takes names, marks and folder when it starts; while it runs, events are
    // processed and the chooser may be unloaded, so nothing of it is touched afterwards.
    search->run(*m_entries);
}

void Form4::OpenIndex_Click()
{
    if (!m_services.shell)
        return;
    const int count = m_File1->entryCount();
    for (int i = 0; i < count; ++i) {
        if (m_File1->isEntrySelected(i))
            m_services.shell->open(m_File1, QStringLiteral("open"), m_File1->entryName(i),
                                   QString(), m_File1->path() + QLatin1Char('/'),
                                   platform::ShellOpener::kShowRestore);
    }
}

void Form4::LoadLastLocation()
{
    const settings::LastLocation saved = settings::readLastLocation(m_services.settingsFolder);
    m_IniDrive = saved.drive;
    m_IniPath = saved.path;
    if (m_IniDrive.isEmpty())
        return;
    // Each step that fails leaves the lists where they are.
    m_Drive1->setDrive(m_IniDrive);
    m_Dir1->setPath(m_IniPath);
}

void Form4::SaveLastLocation()
{
    // A folder that cannot be written (full disk) must not keep the chooser from closing.
    settings::writeLastLocation(m_services.settingsFolder, {m_Drive1->drive(), m_Dir1->path()});
}

} // namespace chooser
