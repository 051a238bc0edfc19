#pragma once

// Stand-ins for what the chooser works with, a chooser in its slot on fake drives, and the
// mouse actions the chooser tests share.

#include "chooser/chooser_slot.h"
#include "launcher/keyword_prompt.h"
#include "platform/widgets/drives.h"
#include "platform/widgets/file_list.h"
#include "platform/widgets/folder_list.h"
#include "search/core/entry_list.h"
#include "search/widgets/search_command.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell_opener.h"
#include "support/file_list_probe.h"
#include "support/test_files.h"

#include <QApplication>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <memory>

// Writes down what a run was given when it started.
class FakeSearch : public search::SearchCommand
{
public:
    bool running = false;
    int runs = 0;
    QStringList marked;
    int entryCount = -1;
    QString folder;
    std::function<void()> whileRunning;

    void run(const search::EntryList &files) override
    {
        ++runs;
        entryCount = files.entryCount();
        folder = files.folderPath();
        marked.clear();
        for (int i = 0; i < files.entryCount(); ++i) {
            if (files.isSelected(i))
                marked.append(files.entryName(i));
        }
        if (whileRunning)
            whileRunning();
    }
    bool isRunning() const override { return running; }
};

// Two drives on temporary folders: "A" (labelled DISK A, holding the working folder a/work)
// and "B" (no label); a third drive, "CD", whose mount point is missing (no medium).
struct ChooserFixture
{
    QTemporaryDir dir;
    QString a, b, gone, settings;
    QList<platform::Drive> driveList;
    std::unique_ptr<platform::Drives> drives;
    FakeDialogs dialogs;
    launcher::KeywordPrompt prompt{dialogs};
    FakeShell shell;
    FakeSearch search;
    std::unique_ptr<chooser::ChooserSlot> slot;

    // Makes the folders and files of both drives and the chooser's slot. Returns false when
    // something could not be made, for the test to check where the failure stops it.
    [[nodiscard]] bool setUp()
    {
        if (!dir.isValid())
            return false;
        a = dir.filePath(QStringLiteral("a"));
        b = dir.filePath(QStringLiteral("b"));
        gone = dir.filePath(QStringLiteral("cd"));
        settings = dir.filePath(QStringLiteral("program"));
        const bool made = makeFolder(a + QStringLiteral("/work"),
                                     {QStringLiteral("w1.txt"), QStringLiteral("w2.txt")}) &&
                          makeFolder(b, {QStringLiteral("b1.txt"), QStringLiteral("b2.doc")}) &&
                          makeFolder(b + QStringLiteral("/x"), {QStringLiteral("inside.txt")}) &&
                          makeFolder(b + QStringLiteral("/y"), {}) && makeFolder(settings, {});
        if (!made)
            return false;
        driveList = {{a, QStringLiteral("DISK A")}, {b, QString()}, {gone, QStringLiteral("CD")}};
        drives = std::make_unique<platform::Drives>([this] { return driveList; },
                                                    a + QStringLiteral("/work"));
        chooser::ChooserServices services;
        services.prompt = &prompt;
        services.search = &search;
        services.shell = &shell;
        services.drives = drives.get();
        services.settingsFolder = settings;
        slot = std::make_unique<chooser::ChooserSlot>(services);
        return true;
    }

    // Makes `folder` (with any missing parents) holding empty files of these names.
    [[nodiscard]] static bool makeFolder(const QString &folder, const QStringList &names)
    {
        return writeTree(folder, names);
    }

    QString driveA() const { return a + QStringLiteral(" [DISK A]"); }

    // Shows the chooser (loading it the first time) and waits until it is on the screen.
    chooser::Form4 *show()
    {
        slot->showChooser();
        chooser::Form4 *form = slot->chooser();
        if (form && !QTest::qWaitForWindowExposed(form))
            return nullptr;
        return form;
    }

    [[nodiscard]] bool writeLastLocation(const QString &drive, const QString &path) const
    {
        return writeFile(settings + QStringLiteral("/find.ini"),
                         lastLocationFileBytes(drive, path));
    }

    // The bytes of the last-location file; empty when there is none.
    QByteArray lastLocationBytes() const
    {
        QFile file(settings + QStringLiteral("/find.ini"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

inline void clickEntry(platform::FileList &list, int row, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, entryCentre(list, row));
}

inline void rightClick(QWidget *widget, QPoint at)
{
    QTest::mousePress(widget, Qt::RightButton, {}, at);
    QTest::mouseRelease(widget, Qt::RightButton, {}, at);
}

// Double-clicks the folder list's row of that name; false when no row has it.
[[nodiscard]] inline bool doubleClickFolder(platform::FolderList &list, const QString &name)
{
    QTreeWidgetItem *found = nullptr;
    for (QTreeWidgetItemIterator it(&list); *it; ++it) {
        if ((*it)->text(0) == name)
            found = *it;
    }
    if (!found)
        return false;
    // On the start of the row: a long name reaches beyond the narrow list.
    const QRect row = list.visualItemRect(found);
    const QPoint at =
        list.viewport()->mapTo(list.window(), QPoint(row.left() + 4, row.center().y()));
    QTest::mouseDClick(list.window()->windowHandle(), Qt::LeftButton, {}, at);
    return true;
}

// A popup menu left open by a failed test must not take the next test's clicks.
inline void closePopups()
{
    for (QWidget *popup = QApplication::activePopupWidget(); popup;
         popup = QApplication::activePopupWidget())
        popup->close();
}
