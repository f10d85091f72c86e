// The strip's list: adding, finding, removing, and dropping items whose file
// leaves the disk.
#include "Thumbnail.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QPixmap>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QListWidget* iconList(Thumbnail& strip)
{
    return strip.findChild<QListWidget*>(QStringLiteral("ListWidgetImage"));
}

QStringList watchedFiles(Thumbnail& strip)
{
    QStringList files = strip.findChild<QFileSystemWatcher*>()->files();
    files.sort();
    return files;
}

QPixmap pixmapOf(QSize size = QSize(8, 8))
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::blue);
    return pixmap;
}

bool add(Thumbnail& strip, const QString& path, int row = -1)
{
    QPixmap pixmap = pixmapOf();
    return strip.AddImage(pixmap, path, row);
}

} // namespace

class TestThumbnail : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString writePicture(const QString& name)
    {
        QImage picture(QSize(4, 2), QImage::Format_RGB32);
        picture.fill(Qt::red);
        return picture.save(m_dir.filePath(name)) ? m_dir.filePath(name) : QString();
    }

private slots:
    void addImage_placesItemAtRowAndMakesItSoleCurrent_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("expectedRow");
        QTest::newRow("-1 appends") << -1 << 3;
        QTest::newRow("row == count appends") << 3 << 3;
        QTest::newRow("row beyond count appends") << 10 << 3;
        QTest::newRow("row 0 goes first") << 0 << 0;
        QTest::newRow("row 1 inserts") << 1 << 1;
    }
    void addImage_placesItemAtRowAndMakesItSoleCurrent()
    {
        QFETCH(int, row);
        QFETCH(int, expectedRow);
        Thumbnail strip;
        for (const char* name : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"})
            QVERIFY(add(strip, QString::fromLatin1(name)));
        QListWidget* list = iconList(strip);
        list->item(0)->setSelected(true);
        list->item(1)->setSelected(true);

        QVERIFY(add(strip, QStringLiteral("/p/new.jpg"), row));
        QStringList expected{"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"};
        expected.insert(expectedRow, QStringLiteral("/p/new.jpg"));
        QCOMPARE(strip.GetFilePaths(), expected);
        QCOMPARE(list->currentRow(), expectedRow);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem*>{list->item(expectedRow)});
    }

    // Refused: a path already listed (ignoring case), a file that is no
    // picture or is missing, a null pixmap.
    void addImage_refusesDuplicateAndUnreadable()
    {
        Thumbnail strip;
        QVERIFY(add(strip, QStringLiteral("/home/u/pics/a.jpg")));
        QPixmap second = pixmapOf(QSize(300, 300));
        QVERIFY(!strip.AddImage(second, QStringLiteral("/home/u/pics/A.JPG"), -1));
        QCOMPARE(second.size(), QSize(300, 300)); // refused: caller's pixmap untouched

        QFile file(m_dir.filePath(QStringLiteral("notes.jpg")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        QVERIFY(!strip.AddImage(file.fileName(), -1));
        QVERIFY(!strip.AddImage(m_dir.filePath(QStringLiteral("missing.jpg")), -1));
        QPixmap null;
        QVERIFY(!strip.AddImage(null, QStringLiteral("/p/null.jpg"), -1));
        QCOMPARE(strip.Count(), 1);
    }

    void addImage_itemTextIsTheFileNamePart_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::newRow("unix path") << "/home/u/pics/p.jpg" << "p.jpg";
        QTest::newRow("backslash path") << "C:\\scans\\p1.jpg" << "p1.jpg";
        QTest::newRow("no separator") << "plain.jpg" << "plain.jpg";
        QTest::newRow("slash wins over backslash") << "/a\\b/c\\d.jpg" << "c\\d.jpg";
    }
    void addImage_itemTextIsTheFileNamePart()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        Thumbnail strip;
        QVERIFY(add(strip, path));
        QCOMPARE(iconList(strip)->item(0)->text(), text);
        QCOMPARE(iconList(strip)->item(0)->data(Qt::UserRole).toString(), path);
    }

    void addImage_scalesIconIntoCellLessTextLine_data()
    {
        QTest::addColumn<QSize>("cell"); // empty: default 130 x 150
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("icon");
        QTest::newRow("landscape default") << QSize() << QSize(1300, 1000) << QSize(130, 100);
        QTest::newRow("portrait default") << QSize() << QSize(1000, 2000) << QSize(50, 100);
        QTest::newRow("small enlarged") << QSize() << QSize(13, 10) << QSize(130, 100);
        QTest::newRow("custom cell") << QSize(200, 260) << QSize(400, 420) << QSize(200, 210);
    }
    void addImage_scalesIconIntoCellLessTextLine()
    {
        QFETCH(QSize, cell);
        QFETCH(QSize, picture);
        QFETCH(QSize, icon);
        Thumbnail strip;
        QVERIFY(add(strip, QStringLiteral("/p/before.jpg")));
        if (cell.isValid())
            strip.SetIconSize(cell.width(), cell.height());
        QPixmap pixmap = pixmapOf(picture);
        QVERIFY(strip.AddImage(pixmap, QStringLiteral("/p/x.jpg"), -1));
        QCOMPARE(pixmap.size(), icon);
        QCOMPARE(iconList(strip)->item(1)->sizeHint(), cell.isValid() ? cell : QSize(130, 150));
        QCOMPARE(iconList(strip)->item(0)->sizeHint(), QSize(130, 150)); // earlier items keep their cell
    }

    void getIndex_findsPathIgnoringCase()
    {
        Thumbnail strip;
        QVERIFY(add(strip, QStringLiteral("/p/a.jpg")));
        QVERIFY(add(strip, QStringLiteral("/p/B.jpg")));
        QCOMPARE(strip.GetIndex(QStringLiteral("/P/b.JPG")), 1);
        QCOMPARE(strip.GetIndex(QStringLiteral("/p/a.jpg")), 0);
        QCOMPARE(strip.GetIndex(QStringLiteral("/p/c.jpg")), -1);
    }

    void removeItem_takesValidRowOffListAndWatcherDeletingOnRequest()
    {
        Thumbnail strip;
        const QString keep = writePicture(QStringLiteral("keep.png"));
        const QString del = writePicture(QStringLiteral("del.png"));
        QVERIFY(strip.AddImage(keep, -1));
        QVERIFY(strip.AddImage(del, -1));
        QVERIFY(add(strip, m_dir.filePath(QStringLiteral("never-written.png"))));
        QCOMPARE(watchedFiles(strip), (QStringList{del, keep}));

        QVERIFY(!strip.RemoveItem(-1, true));
        QVERIFY(!strip.RemoveItem(strip.Count(), true));
        QVERIFY(strip.RemoveItem(2, true)); // its file is already gone
        QVERIFY(strip.RemoveItem(0, false));
        QVERIFY(QFile::exists(keep));
        QVERIFY(strip.RemoveItem(0, true));
        QVERIFY(!QFile::exists(del));
        QCOMPARE(strip.Count(), 0);
        QCOMPARE(watchedFiles(strip), QStringList());
    }

    // Deleted or moved away: the item goes. Written again in place or
    // replaced by rename (a second PDF within the same second): it stays,
    // still watched, so its later deletion still counts.
    void watcher_followsFileOnDisk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("deleted") << "delete";
        QTest::newRow("moved to another name") << "move";
        QTest::newRow("overwritten in place") << "overwrite";
        QTest::newRow("replaced by rename") << "rename";
    }
    void watcher_followsFileOnDisk()
    {
        QFETCH(QString, change);
        Thumbnail strip;
        const QString stays = writePicture(QStringLiteral("stays.png"));
        const QString path = writePicture(QStringLiteral("changes.png"));
        QVERIFY(strip.AddImage(stays, -1));
        QVERIFY(strip.AddImage(path, -1));
        QSignalSpy changed(strip.findChild<QFileSystemWatcher*>(), &QFileSystemWatcher::fileChanged);
        const QImage picture(QSize(6, 6), QImage::Format_RGB32);
        if (change == "delete") {
            QVERIFY(QFile::remove(path));
        } else if (change == "move") {
            QVERIFY(QFile::rename(path, m_dir.filePath(QStringLiteral("elsewhere.png"))));
        } else if (change == "overwrite") {
            QVERIFY(picture.save(path, "PNG"));
        } else {
            QSaveFile again(path);
            QVERIFY(again.open(QIODevice::WriteOnly));
            QVERIFY(picture.save(&again, "PNG"));
            QVERIFY(again.commit());
        }
        if (change == "delete" || change == "move") {
            QTRY_COMPARE_WITH_TIMEOUT(strip.Count(), 1, 10000);
            QCOMPARE(strip.GetFilePaths(), QStringList{stays});
            QCOMPARE(watchedFiles(strip), QStringList{stays});
        } else {
            QVERIFY(changed.wait(10000));
            QCoreApplication::processEvents();
            QCOMPARE(strip.GetFilePaths(), (QStringList{stays, path}));
            QCOMPARE(watchedFiles(strip), (QStringList{path, stays}));
            QVERIFY(QFile::remove(path));
            QTRY_COMPARE_WITH_TIMEOUT(strip.Count(), 1, 10000);
        }
        QFile::remove(stays);
        QFile::remove(m_dir.filePath(QStringLiteral("elsewhere.png")));
    }

    void pdfIcon_resourceLoads()
    {
        Thumbnail strip; // registers the library's resources
        QPixmap icon(QStringLiteral(":/Pdf.png"));
        QVERIFY(!icon.isNull());
        QVERIFY(strip.AddImage(icon, QStringLiteral("/p/Pdf_26_12_05-22_01_26.pdf"), -1));
    }
};

QTEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
