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
#include <QPushButton>

#include <sched.h>
#include <sys/mount.h>

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

    // A photo of a 640 x 480 frame, then a PDF of the strip.
    void takePhotoAndMakePdf()
    {
        child<QPushButton>("TakePhoto")->click();
        feed(jpegOf(filled(640, 480, Qt::darkCyan)));
        drain(m_panel);
        QCoreApplication::processEvents(); // the path's road to the strip
        child<QPushButton>("pushButton")->click();
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
        // NAME_MAX is 255 bytes a component: 600 characters take several.
        const QString part = QString(100, QLatin1Char('x')) + QString(50, QChar(0x6587)); // 150 characters, 250 bytes
        QTest::newRow("over 600 characters") << QStringList{part, part, part, part, "end"}.join('/') << "" << 0;
        const QString hostile = QStringLiteral("文件 it's;touch '%1';$(touch '%1')\n\"x\"/第二层 `touch '%1'`").arg(m_canary);
        QTest::newRow("hostile, deleted while running") << hostile + "1" << "deleted" << 1;
        QTest::newRow("hostile, read-only") << hostile + "2" << "read-only" << 1;
        QTest::newRow("hostile, full 4 MB tmpfs, 900 KB BMP") << hostile + "3" << "full" << 1;
        // Small enough to sit in Qt's write buffer until the file is committed.
        QTest::newRow("hostile, full 4 MB tmpfs, small JPG") << hostile + "4" << "full" << 0;
    }

    void folder_failsCleanly_thenHandledExactly()
    {
        QFETCH(QString, name);
        QFETCH(QString, fault);
        QFETCH(int, picIndex);
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
            takePhotoAndMakePdf();
            QCOMPARE(log.countContaining(QStringLiteral("photo not saved")), 1);
            QCOMPARE(log.countContaining(QStringLiteral("PDF not written")), 1);
            QCOMPARE(entriesOf(folder), before); // neither a file nor a temporary one
            QVERIFY(repairFolder(folder, fault));
        }
        takePhotoAndMakePdf();
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

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QMetaObject::invokeMethod(m_panel, "closeVieo", Q_ARG(bool, false));
    }
};

QTEST_MAIN(SaveFolderTest)
#include "tst_savefolder.moc"
