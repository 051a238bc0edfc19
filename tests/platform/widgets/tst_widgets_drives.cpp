#include "fake_mounts.h"
#include "platform/widgets/drive_list.h"
#include "platform/widgets/drives.h"

#include <QDir>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

using platform::Drive;
using platform::DriveList;
using platform::Drives;

namespace {

QStringList texts(const QComboBox &combo)
{
    QStringList list;
    for (int i = 0; i < combo.count(); ++i)
        list.append(combo.itemText(i));
    return list;
}

} // namespace

// The drive catalogue of the session and the drive list that shows it.
class TestDrives : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void userVolumes_data();
    void userVolumes();
    void rootIsAlwaysFirst();
    void driveTexts_data();
    void driveTexts();
    void driveOfPath_data();
    void driveOfPath();
    void currentFolders();
    void realVolumesIncludeTheRoot();

    void driveListStartsOnTheWorkingDrive();
    void settingADriveRaisesTheChange();
    void aMissingDriveIsRefusedSilently();
    void aGoneDriveChosenByTheUserIsRefusedSilently();
    void aNewlyMountedDriveIsFound();
};

void TestDrives::userVolumes_data()
{
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("offered");

    QTest::newRow("the root is offered whatever its type") << "/" << QByteArray("overlay") << true;
    QTest::newRow("a disk partition is offered") << "/home" << QByteArray("ext4") << true;
    QTest::newRow("a USB stick under /media is offered")
        << "/media/me/STICK" << QByteArray("vfat") << true;
    QTest::newRow("removable media under /run/media are offered")
        << "/run/media/me/DISC" << QByteArray("iso9660") << true;
    QTest::newRow("a network share is offered") << "/mnt/share" << QByteArray("cifs") << true;
    QTest::newRow("an NTFS disk through FUSE is offered")
        << "/mnt/win" << QByteArray("fuseblk") << true;
    QTest::newRow("proc is left out") << "/proc" << QByteArray("proc") << false;
    QTest::newRow("sysfs is left out") << "/sys" << QByteArray("sysfs") << false;
    QTest::newRow("a tmpfs is left out") << "/tmp" << QByteArray("tmpfs") << false;
    QTest::newRow("devtmpfs is left out") << "/dev" << QByteArray("devtmpfs") << false;
    QTest::newRow("cgroup is left out") << "/sys/fs/cgroup/cpu" << QByteArray("cgroup") << false;
    QTest::newRow("a container overlay below the root is left out")
        << "/var/lib/x/merged" << QByteArray("overlay") << false;
    QTest::newRow("snap images are left out") << "/snap/core/1" << QByteArray("squashfs") << false;
    QTest::newRow("runtime mounts are left out")
        << "/run/user/1000/doc" << QByteArray("fuse.portal") << false;
    QTest::newRow("an ext4 mount inside /run outside /run/media is left out")
        << "/run/netns" << QByteArray("ext4") << false;
    QTest::newRow("the boot partition is left out") << "/boot/efi" << QByteArray("vfat") << false;
    QTest::newRow("a folder that only begins like /dev is offered")
        << "/devel" << QByteArray("ext4") << true;
}

void TestDrives::userVolumes()
{
    QFETCH(QString, mountPoint);
    QFETCH(QByteArray, type);
    QFETCH(bool, offered);
    QCOMPARE(platform::isUserVolume(mountPoint, type), offered);
}

void TestDrives::rootIsAlwaysFirst()
{
    Drives drives(
        [] {
            return QList<Drive>{{QStringLiteral("/mnt/z"), QString()},
                                {QStringLiteral("/mnt/a/"), QString()}};
        },
        QStringLiteral("/"));
    QCOMPARE(drives.drives(), (QList<Drive>{{QStringLiteral("/"), QString()},
                                            {QStringLiteral("/mnt/a"), QString()},
                                            {QStringLiteral("/mnt/z"), QString()}}));
    Drives labelled(
        [] {
            return QList<Drive>{{QStringLiteral("/"), QStringLiteral("ROOT")}};
        },
        QStringLiteral("/"));
    QCOMPARE(labelled.drives(), (QList<Drive>{{QStringLiteral("/"), QStringLiteral("ROOT")}}));
}

void TestDrives::driveTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mountPoint");

    QTest::newRow("a drive is named by its text") << "/media/usb [STICK]"
                                                  << "/media/usb";
    QTest::newRow("a drive is found when its label changed") << "/media/usb [OLD NAME]"
                                                             << "/media/usb";
    QTest::newRow("a drive is found by its bare mount point") << "/media/usb"
                                                              << "/media/usb";
    QTest::newRow("a label cut off at a comma still names the drive") << "/media/usb [A"
                                                                      << "/media/usb";
    QTest::newRow("the longest mount point wins") << "/media/usb 2 [X]"
                                                  << "/media/usb 2";
    QTest::newRow("the root is named by a slash") << "/"
                                                  << "/";
    QTest::newRow("a folder below a drive names no drive") << "/media/usb/sub"
                                                           << "";
    QTest::newRow("an unknown drive names none") << "/media/cdrom"
                                                 << "";
    QTest::newRow("an empty text names none") << ""
                                              << "";
}

void TestDrives::driveTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, mountPoint);
    Drives drives(
        [] {
            return QList<Drive>{{QStringLiteral("/media/usb"), QStringLiteral("STICK")},
                                {QStringLiteral("/media/usb 2"), QStringLiteral("X")}};
        },
        QStringLiteral("/"));
    const auto drive = drives.findByText(text);
    QCOMPARE(drive ? drive->mountPoint : QString(), mountPoint);
}

void TestDrives::driveOfPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("mountPoint");

    QTest::newRow("a folder on the root drive") << "/home/me"
                                                << "/";
    QTest::newRow("the mount point itself") << "/media/usb"
                                            << "/media/usb";
    QTest::newRow("a folder on a mounted drive") << "/media/usb/a/b"
                                                 << "/media/usb";
    QTest::newRow("a sibling whose name begins alike is not on the drive") << "/media/usb2/a"
                                                                           << "/";
}

void TestDrives::driveOfPath()
{
    QFETCH(QString, path);
    QFETCH(QString, mountPoint);
    Drives drives(
        [] {
            return QList<Drive>{{QStringLiteral("/media/usb"), QString()}};
        },
        QStringLiteral("/"));
    QCOMPARE(drives.driveOf(path).mountPoint, mountPoint);
}

void TestDrives::currentFolders()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.a + QStringLiteral("/work"));
    QCOMPARE(drives.workingFolder(), mounts.a + QStringLiteral("/work"));
    QCOMPARE(drives.currentFolder(mounts.a), mounts.a + QStringLiteral("/work"));
    QCOMPARE(drives.currentFolder(mounts.b), mounts.b);
    drives.setCurrentFolder(mounts.b, mounts.b + QStringLiteral("/x"));
    QCOMPARE(drives.currentFolder(mounts.b), mounts.b + QStringLiteral("/x"));
    QCOMPARE(drives.currentFolder(mounts.a), mounts.a + QStringLiteral("/work"));
}

void TestDrives::realVolumesIncludeTheRoot()
{
    Drives drives(&Drives::mountedDrives, QDir::currentPath());
    QVERIFY(!drives.drives().isEmpty());
    QCOMPARE(drives.drives().first().mountPoint, QStringLiteral("/"));
    for (const Drive &drive : drives.drives())
        QVERIFY2(QFileInfo(drive.mountPoint).isDir(), qPrintable(drive.mountPoint));
    QVERIFY(!Drives::session().drives().isEmpty());
}

void TestDrives::driveListStartsOnTheWorkingDrive()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.b + QStringLiteral("/x"));
    DriveList list(drives);
    QCOMPARE(texts(list), (QStringList{QStringLiteral("/"), mounts.a + QStringLiteral(" [DISK A]"),
                                       mounts.b, mounts.gone + QStringLiteral(" [CD]")}));
    QCOMPARE(list.drive(), mounts.b);
}

void TestDrives::settingADriveRaisesTheChange()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.b);
    DriveList list(drives);
    QSignalSpy changed(&list, &DriveList::driveChanged);
    // Saved while the volume had another label: the mount point decides.
    QVERIFY(list.setDrive(mounts.a + QStringLiteral(" [FORMER]")));
    QCOMPARE(list.drive(), mounts.a + QStringLiteral(" [DISK A]"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].toString(), mounts.a + QStringLiteral(" [DISK A]"));
    // The same drive again is no change.
    QVERIFY(list.setDrive(mounts.a));
    QCOMPARE(changed.count(), 1);
}

void TestDrives::aMissingDriveIsRefusedSilently()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.b);
    DriveList list(drives);
    QSignalSpy changed(&list, &DriveList::driveChanged);
    QVERIFY(!list.setDrive(mounts.gone + QStringLiteral(" [CD]")));
    QVERIFY(!list.setDrive(QStringLiteral("c:")));
    QVERIFY(!list.setDrive(QString()));
    QCOMPARE(list.drive(), mounts.b);
    QCOMPARE(changed.count(), 0);
}

void TestDrives::aGoneDriveChosenByTheUserIsRefusedSilently()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.b);
    DriveList list(drives);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy changed(&list, &DriveList::driveChanged);
    // The arrow key moves the drop-down to the next drive as a choice of the user would.
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.drive(), mounts.b);
    QCOMPARE(changed.count(), 0);
    list.setCurrentIndex(3);
    QCOMPARE(list.currentIndex(), 2);
    QCOMPARE(changed.count(), 0);
    QTest::keyClick(&list, Qt::Key_Up);
    QCOMPARE(list.drive(), mounts.a + QStringLiteral(" [DISK A]"));
    QCOMPARE(changed.count(), 1);
}

void TestDrives::aNewlyMountedDriveIsFound()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.b);
    DriveList list(drives);
    const QString fresh = mounts.dir.filePath(QStringLiteral("fresh"));
    QVERIFY(QDir().mkpath(fresh));
    mounts.drives.append({fresh, QStringLiteral("NEW")});
    QVERIFY(list.setDrive(fresh + QStringLiteral(" [NEW]")));
    QCOMPARE(list.drive(), fresh + QStringLiteral(" [NEW]"));
    QCOMPARE(list.count(), 5);
}

QTEST_MAIN(TestDrives)
#include "tst_widgets_drives.moc"
