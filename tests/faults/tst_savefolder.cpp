// Save folders as users and machines have them: names a shell would take
// apart (blanks, quotes, ";", "$( )", line breaks), Chinese and over 600
// characters, failing while the panel runs (deleted, read-only through a
// read-only bind mount, which stops root too, a full small tmpfs). A failed
// photo or PDF leaves no file under its final name and logs one line; once the
// folder is back, photos, PDFs, the strip and the open commands handle exactly
// that path, and nothing in the name is ever run.
#include "../app/testsupport.h"
#include "Thumbnail.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// A mount namespace of the process's own, so a test's mounts vanish with it.
// False where the machine allows none.
bool privateMounts()
{
    static const bool ok = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
}

// Fills the filesystem of path to the last byte.
bool fillUp(const QString& path)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    filler.write(QByteArray(8 << 20, 'x')); // more than there is room for: written up to the last byte
    return true;
}

// False where the machine does not allow the fault here.
bool breakFolder(const QString& folder, const QString& fault)
{
    const QByteArray dir = QFile::encodeName(folder);
    if (fault == QLatin1String("deleted"))
        return QDir(folder).removeRecursively();
    if (fault == QLatin1String("read-only")) // a read-only view of the folder over itself
        return privateMounts() && mount(dir, dir, nullptr, MS_BIND, nullptr) == 0 &&
               mount(nullptr, dir, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    return privateMounts() && mount("tmpfs", dir, "tmpfs", 0, "size=4m") == 0 && fillUp(folder + "/filler");
}

bool repairFolder(const QString& folder, const QString& fault)
{
    if (fault == QLatin1String("deleted"))
        return QDir().mkpath(folder);
    if (fault == QLatin1String("read-only"))
        return umount2(QFile::encodeName(folder), MNT_DETACH) == 0;
    return QFile::remove(folder + "/filler");
}

} // namespace

class SaveFolderTest : public QObject
{
    Q_OBJECT

public slots:
    // QDesktopServices URL handler: records what the panel asked to open.
    void recordUrl(const QUrl& url) { m_openedUrls << url; }

private:
    cameraWidget* m_panel = nullptr; // never deleted: its destructor ends the process
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    QString m_log;    // each argument the recording xdg-open was given, NUL-ended
    QString m_canary; // created only if a name's text were run
    QList<QUrl> m_openedUrls;

    template <typename T> T* child(const char* name) { return m_panel->findChild<T*>(QLatin1String(name)); }
    QListWidget* iconList() const { return m_strip->findChild<QListWidget*>(QStringLiteral("ListWidgetImage")); }

    QByteArray logged() const
    {
        QFile log(m_log);
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    QLabel* notice() { return child<QLabel>("label_notice"); }
    void hideNotice()
    {
        if (notice())
            notice()->hide();
    }
    QString shownNotice() { return notice() && notice()->isVisible() ? notice()->text() : QString(); }

    // A photo of a 640 x 480 frame; the notice it leaves, empty if none shows.
    QString takePhoto()
    {
        hideNotice();
        child<QPushButton>("TakePhoto")->click();
        feed(jpegOf(filled(640, 480, Qt::darkCyan)));
        drain(m_panel);
        QCoreApplication::processEvents(); // the path's (or the notice's) road to the GUI thread
        return shownNotice();
    }

    // A PDF of the strip; the notice it leaves, empty if none shows.
    QString makePdf()
    {
        hideNotice();
        child<QPushButton>("pushButton")->click();
        return shownNotice();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("xdg-open.log"));
        m_canary = m_dir.filePath(QStringLiteral("canary"));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
        QFile script(m_dir.filePath(QStringLiteral("bin/xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/bash\nprintf '%s\\0' \"$@\" >> '" + m_log.toUtf8() + "'\n");
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + qgetenv("PATH"));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordUrl");

        onlyVirtualCamera(false);
        m_panel = new cameraWidget(nullptr);
        m_panel->show();
        m_strip = child<Thumbnail>("listWidget");
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
    }

    void folder_failsCleanly_thenHandledExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("picIndex");
        QTest::addColumn<QString>("reason"); // the notice's why, after "照片未保存：" or "PDF未保存："
        // NAME_MAX is 255 bytes a component: 600 characters take several.
        const QString part = QString(100, QLatin1Char('x')) + QString(50, QChar(0x6587)); // 150 characters, 250 bytes
        QTest::newRow("over 600 characters") << QStringList{part, part, part, part, "end"}.join('/') << "" << 0 << "";
        const QString hostile = QStringLiteral("文件 it's;touch '%1';$(touch '%1')\n\"x\"/第二层 `touch '%1'`").arg(m_canary);
        QTest::newRow("hostile, deleted while running") << hostile + "1" << "deleted" << 1 << "文件夹不存在";
        QTest::newRow("hostile, read-only") << hostile + "2" << "read-only" << 1 << "文件夹不可写";
        QTest::newRow("hostile, full 4 MB tmpfs, 900 KB BMP") << hostile + "3" << "full" << 1 << "磁盘已满";
        // Small enough to sit in Qt's write buffer until the file is committed.
        QTest::newRow("hostile, full 4 MB tmpfs, small JPG") << hostile + "4" << "full" << 0 << "磁盘已满";
    }

    void folder_failsCleanly_thenHandledExactly()
    {
        QFETCH(QString, name);
        QFETCH(QString, fault);
        QFETCH(int, picIndex);
        QFETCH(QString, reason);
        const QString folder = m_dir.path() + QLatin1Char('/') + name;
        QVERIFY(QDir().mkpath(folder));
        child<QLineEdit>("lineEdit")->setText(folder);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(picIndex);
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        const QString picture = m_dir.filePath(QStringLiteral("page.png")); // outside the folder
        QVERIFY(filled(64, 48, Qt::darkCyan).save(picture) && m_strip->AddImage(picture, -1));

        BoxCloser boxes;
        if (!fault.isEmpty()) {
            if (!breakFolder(folder, fault))
                QSKIP(qPrintable(QStringLiteral("cannot make the folder %1 here (mounts not allowed)").arg(fault)));
            const QStringList before = entriesOf(folder);
            LogCapture log;
            QCOMPARE(takePhoto(), QStringLiteral("照片未保存：") + reason);
            QVERIFY2(notice()->contentsRect().width() >= notice()->fontMetrics().horizontalAdvance(notice()->text()),
                     "a short notice shows on one line");
            QCOMPARE(makePdf(), QStringLiteral("PDF未保存：") + reason);
            QCOMPARE(log.countContaining(QStringLiteral("photo not saved")), 1);
            QCOMPARE(log.countContaining(QStringLiteral("PDF not written")), 1);
            QCOMPARE(entriesOf(folder), before); // neither a file nor a temporary one
            QVERIFY(repairFolder(folder, fault));
        }
        QCOMPARE(takePhoto(), QString()); // success tells nothing new
        QCOMPARE(makePdf(), QString());
        const QStringList saved = entriesOf(folder); // photo, then "Pdf_...": anything else fails below
        const QString photo = folder + QLatin1Char('/') + saved.value(0);
        const QString pdf = folder + QLatin1Char('/') + saved.value(saved.size() - 1);
        QCOMPARE(QImage(photo).size(), QSize(640, 480));
        QCOMPARE(m_strip->GetFilePaths(), (QStringList{picture, photo, pdf})); // nothing of the failed tries
        QCOMPARE(iconList()->currentRow(), 2);
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("提示")}); // none for the failed PDF
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("保存PDF成功\n图片路径:") + pdf});

        // xdg-open gets exactly one argument, the path; nothing opens without a current item.
        QFile::remove(m_log);
        iconList()->setCurrentRow(-1);
        m_strip->onOpen();
        m_strip->onOpenDir();
        emit iconList()->itemDoubleClicked(iconList()->item(2));
        QByteArray opened = pdf.toUtf8() + '\0';
        QTRY_COMPARE(logged(), opened);
        iconList()->setCurrentRow(1);
        m_strip->onOpen();
        opened += photo.toUtf8() + '\0';
        QTRY_COMPARE(logged(), opened);
        m_strip->onOpenDir();
        opened += folder.toUtf8() + '\0';
        QTRY_COMPARE(logged(), opened);
        m_openedUrls.clear();
        QMetaObject::invokeMethod(m_panel, "openDIr");
        QCOMPARE(m_openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder)});
        QVERIFY(!QFile::exists(m_canary));
        umount2(QFile::encodeName(folder), MNT_DETACH);
    }

    // The file system of a USB drive formatted on Windows, mounted the way
    // Debian desktops mount it: it refuses ':' in names.
    void ntfsFolder_photoTakesDashedName_andJoinsStrip()
    {
        if (geteuid() != 0)
            QSKIP("mounting an NTFS volume needs root");
        if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
            QSKIP("ntfs-3g needs /dev/fuse, which this machine lacks");
        const QString mkntfs = QStandardPaths::findExecutable(QStringLiteral("mkntfs"), {"/usr/sbin", "/sbin"});
        const QString ntfs3g = QStandardPaths::findExecutable(QStringLiteral("ntfs-3g"), {"/usr/bin", "/bin"});
        if (mkntfs.isEmpty() || ntfs3g.isEmpty())
            QSKIP("mkntfs or ntfs-3g missing (package ntfs-3g)");
        if (!privateMounts())
            QSKIP("mounts not allowed here");
        const QString image = m_dir.filePath(QStringLiteral("ntfs.img"));
        const QString folder = m_dir.filePath(QStringLiteral("ntfs drive"));
        QFile volume(image);
        QVERIFY(volume.open(QIODevice::WriteOnly) && volume.resize(32 << 20));
        volume.close();
        QCOMPARE(QProcess::execute(mkntfs, {"-F", "-f", "-q", image}), 0);
        QVERIFY(QDir().mkpath(folder));
        if (QProcess::execute(ntfs3g, {"-o", "windows_names", image, folder}) != 0)
            QSKIP("ntfs-3g cannot mount here (FUSE refused)");

        child<QLineEdit>("lineEdit")->setText(folder);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(0);
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        BoxCloser boxes; // the PDF's success box
        const QString photoNotice = takePhoto();
        const QString pdfNotice = makePdf();
        const QStringList saved = entriesOf(folder);
        umount2(QFile::encodeName(folder), MNT_DETACH);
        QCOMPARE(photoNotice, QString());
        QCOMPARE(pdfNotice, QString());
        QCOMPARE(saved.size(), 2);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.\\d{1,3}\\.jpg$"))
                     .match(saved.value(0)).hasMatch(),
                 qPrintable(saved.join(' ')));
        QVERIFY(saved.value(1).startsWith(QLatin1String("Pdf_")));
        const QStringList strip = m_strip->GetFilePaths();
        QCOMPARE(strip, (QStringList{folder + '/' + saved.value(0), folder + '/' + saved.value(1)}));
    }

    // A save folder where no trash can be made (here: the home trash's
    // parent is a file; in offices, a folder on another drive).
    void deleteThatCannotTrash_keepsItemAndFile_andSaysWhy()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QFile blocker(home.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(blocker.fileName() + QStringLiteral("/share")));

        const QString folder = home.filePath(QStringLiteral("photos"));
        QVERIFY(QDir().mkpath(folder));
        child<QLineEdit>("lineEdit")->setText(folder);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(0);
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        QCOMPARE(takePhoto(), QString());
        const QStringList paths = m_strip->GetFilePaths();
        QCOMPARE(paths.size(), 1);
        iconList()->setCurrentRow(0);
        hideNotice();
        QMetaObject::invokeMethod(m_strip, "onDelete");
        const QString said = shownNotice();
        qputenv("HOME", oldHome);
        qputenv("XDG_DATA_HOME", oldData);
        if (oldData.isEmpty())
            qunsetenv("XDG_DATA_HOME");

        QCOMPARE(said, QStringLiteral("无法删除：该位置没有回收站"));
        QCOMPARE(m_strip->GetFilePaths(), paths);
        QVERIFY(QFile::exists(paths.value(0)));
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        windDown(m_panel);
    }
};

QTEST_MAIN(SaveFolderTest)
#include "tst_savefolder.moc"
