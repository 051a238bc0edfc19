#pragma once

// Stand-ins for what the chooser works with, and a chooser in its slot on fake drives.

#include "chooser/chooser_slot.h"
#include "launcher/keyword_prompt.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/drives.h"
#include "platform/widgets/shell_opener.h"
#include "search/core/entry_list.h"
#include "search/widgets/search_command.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Answers prompts from a queue and writes down the messages it was asked to show.
class FakeDialogs : public platform::Dialogs
{
public:
    QStringList answers;
    QStringList prompts;
    QStringList messages;

    QString textPrompt(QWidget *, const QString &, const QString &prompt) override
    {
        prompts.append(prompt);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void criticalMessage(QWidget *, const QString &title, const QString &text) override
    {
        messages.append(title + QLatin1Char('|') + text);
    }
};

struct ShellRequest
{
    QWidget *owner;
    QString verb, file, parameters, workingFolder;
    int showState;
};

class FakeShell : public platform::ShellOpener
{
public:
    QList<ShellRequest> requests;
    bool open(QWidget *owner, const QString &verb, const QString &file, const QString &parameters,
              const QString &workingFolder, int showState) override
    {
        requests.append({owner, verb, file, parameters, workingFolder, showState});
        return false; // as for a type without an application: the chooser goes on regardless
    }
};

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
    KeywordPrompt prompt{dialogs};
    FakeShell shell;
    FakeSearch search;
    std::unique_ptr<ChooserSlot> slot;

    ChooserFixture()
    {
        a = dir.filePath(QStringLiteral("a"));
        b = dir.filePath(QStringLiteral("b"));
        gone = dir.filePath(QStringLiteral("cd"));
        settings = dir.filePath(QStringLiteral("program"));
        for (const QString &folder :
             QStringList{a + QStringLiteral("/work"), b + QStringLiteral("/x"),
                         b + QStringLiteral("/y"), settings})
            QDir().mkpath(folder);
        for (const char *name : {"w1.txt", "w2.txt"})
            touch(a + QStringLiteral("/work/") + QLatin1String(name));
        for (const char *name : {"b1.txt", "b2.doc"})
            touch(b + QLatin1Char('/') + QLatin1String(name));
        touch(b + QStringLiteral("/x/inside.txt"));
        driveList = {{a, QStringLiteral("DISK A")}, {b, QString()}, {gone, QStringLiteral("CD")}};
        drives = std::make_unique<platform::Drives>([this] { return driveList; },
                                                    a + QStringLiteral("/work"));
        ChooserServices services;
        services.prompt = &prompt;
        services.search = &search;
        services.shell = &shell;
        services.drives = drives.get();
        services.settingsFolder = settings;
        slot = std::make_unique<ChooserSlot>(services);
    }

    static void touch(const QString &path)
    {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    }

    QString driveA() const { return a + QStringLiteral(" [DISK A]"); }

    // Shows the chooser (loading it the first time) and waits until it is on the screen.
    Form4 *show()
    {
        slot->showChooser();
        Form4 *form = slot->chooser();
        if (form && !QTest::qWaitForWindowExposed(form))
            return nullptr;
        return form;
    }

    void writeLastLocation(const QString &drive, const QString &path)
    {
        QFile file(settings + QStringLiteral("/find.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QStringEncoder gbk("GBK");
        file.write(gbk.encode(QStringLiteral(u"[路径]\r\n") + drive + QStringLiteral("\r\n") +
                              path + QStringLiteral(u"\r\n[/路径]\r\n")));
    }

    QByteArray lastLocationBytes() const
    {
        QFile file(settings + QStringLiteral("/find.ini"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
