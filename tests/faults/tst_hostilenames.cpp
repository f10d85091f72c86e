// Save folders whose names a shell would take apart (blanks, quotes, ";",
// "$( )", line breaks), Chinese names and a path of over 600 characters:
// photos, PDFs, the strip, opening an entry and opening folders all handle
// exactly that path, and nothing in it is ever run.
#include "../app/testsupport.h"
#include "Thumbnail.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class HostileNamesTest : public QObject
{
    Q_OBJECT

public slots:
    // QDesktopServices URL handler: records what the panel asked to open.
    void recordUrl(const QUrl& url) { m_openedUrls << url; }

private:
    cameraWidget* m_panel = nullptr; // never deleted: its destructor ends the process
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    QString m_log;    // what the recording xdg-open was given
    QString m_canary; // created only if a name's text were run
    QList<QUrl> m_openedUrls;
    QByteArray m_frame;

    QListWidget* iconList() const { return m_strip->findChild<QListWidget*>(QStringLiteral("ListWidgetImage")); }

    template <typename T> T* child(const char* name) { return m_panel->findChild<T*>(QLatin1String(name)); }

    // The argument lists of the xdg-open calls so far (log: argc, argv..., each NUL-ended).
    QList<QStringList> xdgOpenCalls() const
    {
        QFile file(m_log);
        QList<QByteArray> fields = file.open(QIODevice::ReadOnly) ? file.readAll().split('\0') : QList<QByteArray>{""};
        fields.removeLast(); // after the last NUL
        QList<QStringList> calls;
        for (int i = 0; i < fields.size();) {
            QStringList args;
            for (int n = fields.at(i++).toInt(); n > 0 && i < fields.size(); --n)
                args << QString::fromUtf8(fields.at(i++));
            calls << args;
        }
        return calls;
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
        script.write("#!/bin/bash\nprintf '%s\\0' \"$#\" \"$@\" >> '" + m_log.toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + qgetenv("PATH"));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordUrl");

        m_panel = panelWithoutCamera();
        m_strip = child<Thumbnail>("listWidget");
        setStreamParameters(QStringLiteral("JPEG"), 320, 240);
        m_frame = jpegOf(filled(320, 240, Qt::darkYellow));
    }

    void folderName_handledExactly_data()
    {
        QTest::addColumn<QString>("relative");
        const QString canary = m_canary;
        QTest::newRow("semicolon") << QStringLiteral("a;touch '%1';b").arg(canary);
        QTest::newRow("command substitution") << QStringLiteral("$(touch '%1') `touch '%1'`").arg(canary);
        // NAME_MAX is 255 bytes a component: 600 characters take several.
        const QString part = QString(100, QLatin1Char('x')) + QString(50, QChar(0x6587)); // 150 characters, 250 bytes
        QTest::newRow("over 600 characters") << QStringList{part, part, part, part, QStringLiteral("end")}.join('/');
        QTest::newRow("all at once") << QStringLiteral("文件 it's;$(touch '%1')\n\"x\"/第二层 `id`").arg(canary);
    }

    void folderName_handledExactly()
    {
        QFETCH(QString, relative);
        const QString folder = m_dir.path() + QLatin1Char('/') + relative;
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(folder.size() < 800);
        child<QLineEdit>("lineEdit")->setText(folder);
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        QFile::remove(m_log);
        m_openedUrls.clear();

        child<QPushButton>("TakePhoto")->click();
        feed(m_frame);
        drain(m_panel);
        QTRY_COMPARE(m_strip->Count(), 1);
        const QStringList photos = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files);
        QCOMPARE(photos.size(), 1);
        const QString photo = folder + QLatin1Char('/') + photos.first();
        QCOMPARE(m_strip->GetFilePaths(), QStringList{photo});
        QCOMPARE(QImage(photo).size(), QSize(320, 240));

        BoxCloser boxes;
        child<QPushButton>("pushButton")->click();
        QCOMPARE(boxes.texts.size(), 1);
        const QStringList pdfs = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        QCOMPARE(pdfs.size(), 1);
        const QString pdf = folder + QLatin1Char('/') + pdfs.first();
        QVERIFY(boxes.texts.first().endsWith(pdf));
        QCOMPARE(m_strip->GetFilePaths(), (QStringList{photo, pdf}));
        QCOMPARE(m_strip->GetIndex(photo), 0);

        // Opening: xdg-open gets exactly one argument, the path.
        iconList()->setCurrentRow(0);
        m_strip->onOpen();
        QTRY_COMPARE(xdgOpenCalls().size(), 1);
        iconList()->setCurrentRow(1);
        m_strip->onOpenDir();
        QTRY_COMPARE(xdgOpenCalls().size(), 2);
        QCOMPARE(xdgOpenCalls(), (QList<QStringList>{{photo}, {folder}}));
        QMetaObject::invokeMethod(m_panel, "openDIr");
        QCOMPARE(m_openedUrls.size(), 1);
        QCOMPARE(m_openedUrls.first().toLocalFile(), folder);

        QVERIFY(!QFile::exists(m_canary));
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QMetaObject::invokeMethod(m_panel, "closeVieo", Q_ARG(bool, false));
    }
};

QTEST_MAIN(HostileNamesTest)
#include "tst_hostilenames.moc"
