// Save folders that fail while the panel runs: deleted, read-only (a
// read-only bind mount, which stops root too) and a full small tmpfs. A failed
// photo or PDF leaves no file under its final name, logs one line, and the
// next save after the folder is back works.
#include "../app/testsupport.h"
#include "Thumbnail.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class SaveFolderTest : public QObject
{
    Q_OBJECT

private:
    cameraWidget* m_panel = nullptr; // never deleted: its destructor ends the process
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    QString m_folder;  // the save folder of each case
    QString m_picture; // a picture outside the save folder, for PDFs
    QByteArray m_frame;

    template <typename T> T* child(const char* name) { return m_panel->findChild<T*>(QLatin1String(name)); }

    QStringList photosIn(const QString& dir) const
    {
        return QDir(dir).entryList({QStringLiteral("*.bmp"), QStringLiteral("*.jpg"), QStringLiteral("*.pdf")},
                                   QDir::Files);
    }

    void takePhoto()
    {
        child<QPushButton>("TakePhoto")->click();
        feed(m_frame);
        drain(m_panel);
        QCoreApplication::processEvents(); // the path's road to the strip
    }

    // Breaks the save folder the way the case names; false when the machine
    // does not allow it here.
    bool breakFolder(const QString& fault)
    {
        if (fault == QLatin1String("deleted"))
            return QDir(m_folder).removeRecursively();
        if (fault == QLatin1String("read-only"))
            return privateMounts() && makeReadOnly(m_folder);
        return privateMounts() && mountTmpfs(m_folder, "2m") && fillUp(m_folder + QStringLiteral("/filler"));
    }

    bool repairFolder(const QString& fault)
    {
        if (fault == QLatin1String("deleted"))
            return QDir().mkpath(m_folder);
        if (fault == QLatin1String("read-only"))
            return unmount(m_folder);
        return QFile::remove(m_folder + QStringLiteral("/filler"));
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("picIndex");
        QTest::newRow("deleted while running") << "deleted" << 1;
        QTest::newRow("read-only") << "read-only" << 1;
        QTest::newRow("full 2 MB tmpfs, 900 KB BMP") << "full" << 1;
        // Small enough to sit in Qt's write buffer until the file is committed.
        QTest::newRow("full 2 MB tmpfs, small JPG") << "full" << 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_panel = panelWithoutCamera();
        m_strip = child<Thumbnail>("listWidget");
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        m_frame = jpegOf(filled(640, 480, Qt::darkCyan)); // a few KB as JPG
        m_picture = m_dir.filePath(QStringLiteral("page.png"));
        QVERIFY(filled(64, 48, Qt::darkCyan).save(m_picture));
    }

    void init()
    {
        static int n = 0;
        m_folder = m_dir.filePath(QStringLiteral("save%1").arg(++n));
        QVERIFY(QDir().mkpath(m_folder));
        child<QLineEdit>("lineEdit")->setText(m_folder);
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
    }

    void cleanup()
    {
        unmount(m_folder); // whatever a failed case left mounted
    }

    void photo_failsCleanly_thenNextSaveWorks_data() { faults_data(); }
    void photo_failsCleanly_thenNextSaveWorks()
    {
        QFETCH(QString, fault);
        QFETCH(int, picIndex);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(picIndex);
        if (!breakFolder(fault))
            QSKIP(qPrintable(QStringLiteral("cannot make the folder %1 here (mounts not allowed)").arg(fault)));
        const QStringList before = entriesOf(m_folder);
        {
            LogCapture log;
            takePhoto();
            QCOMPARE(log.countContaining(QStringLiteral("photo not saved")), 1);
            QCOMPARE(log.countContaining(m_folder), 1);
        }
        QCOMPARE(entriesOf(m_folder), before); // neither the photo nor a temporary file
        QCOMPARE(m_strip->Count(), 0);

        QVERIFY(repairFolder(fault));
        takePhoto();
        const QStringList photos = photosIn(m_folder);
        QCOMPARE(photos.size(), 1);
        const QString path = m_folder + QLatin1Char('/') + photos.first();
        QCOMPARE(QImage(path).size(), QSize(640, 480));
        QCOMPARE(m_strip->GetFilePaths(), QStringList{path});
    }

    void pdf_failsCleanly_thenNextOneWorks_data() { faults_data(); }
    void pdf_failsCleanly_thenNextOneWorks()
    {
        QFETCH(QString, fault);
        QVERIFY(m_strip->AddImage(m_picture, -1));
        if (!breakFolder(fault))
            QSKIP(qPrintable(QStringLiteral("cannot make the folder %1 here (mounts not allowed)").arg(fault)));
        const QStringList before = entriesOf(m_folder);
        BoxCloser boxes;
        {
            LogCapture log;
            child<QPushButton>("pushButton")->click();
            QCOMPARE(log.countContaining(QStringLiteral("PDF not written")), 1);
        }
        QCOMPARE(entriesOf(m_folder), before);
        QCOMPARE(m_strip->Count(), 1);
        QVERIFY(boxes.texts.isEmpty());

        QVERIFY(repairFolder(fault));
        QTest::qWait(1100); // a PDF's name changes by the second
        child<QPushButton>("pushButton")->click();
        const QStringList pdfs = photosIn(m_folder);
        QCOMPARE(pdfs.size(), 1);
        QVERIFY(pdfs.first().endsWith(QLatin1String(".pdf")));
        QCOMPARE(m_strip->Count(), 2);
        QCOMPARE(boxes.countStartingWith(QStringLiteral("保存PDF成功")), 1);
    }

    void cleanupTestCase()
    {
        QMetaObject::invokeMethod(m_panel, "closeVieo", Q_ARG(bool, false));
    }
};

QTEST_MAIN(SaveFolderTest)
#include "tst_savefolder.moc"
