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

QString writePicture(const QString& path, QSize size = QSize(4, 2))
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    return picture.save(path) ? path : QString();
}

// The strip's icon list, where the items, the current row and the selection live.
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

QPixmap pixmapOf(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::blue);
    return pixmap;
}

} // namespace

class TestThumbnail : public QObject {
    Q_OBJECT

private slots:
    void addImage_placesItemAtRowAndMakesItSoleCurrent_data();
    void addImage_placesItemAtRowAndMakesItSoleCurrent();
    void addImage_refusesPathAlreadyListedIgnoringCase();
    void addImage_refusesUnreadableFile();
    void addImage_itemTextIsTheFileNamePart_data();
    void addImage_itemTextIsTheFileNamePart();
    void addImage_scalesIconIntoCellLessTextLine_data();
    void addImage_scalesIconIntoCellLessTextLine();
    void getIndex_findsPathIgnoringCase();
    void getFilePaths_followsRowOrder();
    void removeItem_takesValidRowOffListAndWatcherDeletingOnRequest();
    void removeItem_ofFileAlreadyGoneStillRemovesItem();
    void watcher_dropsItemWhenFileLeaves_data();
    void watcher_dropsItemWhenFileLeaves();
    void watcher_keepsItemOfFileWrittenAgain_data();
    void watcher_keepsItemOfFileWrittenAgain();
    void pdfIcon_resourceLoads();

private:
    QTemporaryDir m_dir;
};

void TestThumbnail::addImage_placesItemAtRowAndMakesItSoleCurrent_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("expectedRow");
    QTest::newRow("-1 appends") << -1 << 3;
    QTest::newRow("row == count appends") << 3 << 3;
    QTest::newRow("row beyond count appends") << 10 << 3;
    QTest::newRow("row 0 goes first") << 0 << 0;
    QTest::newRow("row 1 inserts") << 1 << 1;
}

void TestThumbnail::addImage_placesItemAtRowAndMakesItSoleCurrent()
{
    QFETCH(int, row);
    QFETCH(int, expectedRow);
    Thumbnail strip;
    for (const char* name : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"}) {
        QPixmap pixmap = pixmapOf(QSize(8, 8));
        QVERIFY(strip.AddImage(pixmap, QString::fromLatin1(name), -1));
    }
    QListWidget* list = iconList(strip);
    list->item(0)->setSelected(true);
    list->item(1)->setSelected(true);

    QPixmap pixmap = pixmapOf(QSize(8, 8));
    QVERIFY(strip.AddImage(pixmap, QStringLiteral("/p/new.jpg"), row));

    QCOMPARE(strip.Count(), 4);
    QCOMPARE(strip.GetFilePaths().at(expectedRow), QStringLiteral("/p/new.jpg"));
    QCOMPARE(list->currentRow(), expectedRow);
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(list->selectedItems().first(), list->item(expectedRow));
}

void TestThumbnail::addImage_refusesPathAlreadyListedIgnoringCase()
{
    Thumbnail strip;
    QPixmap first = pixmapOf(QSize(8, 8));
    QVERIFY(strip.AddImage(first, QStringLiteral("/home/u/pics/a.jpg"), -1));

    QPixmap second = pixmapOf(QSize(300, 300));
    QVERIFY(!strip.AddImage(second, QStringLiteral("/home/u/pics/A.JPG"), -1));
    QCOMPARE(strip.Count(), 1);
    QCOMPARE(second.size(), QSize(300, 300)); // refused: caller's pixmap untouched
}

void TestThumbnail::addImage_refusesUnreadableFile()
{
    Thumbnail strip;
    const QString notPicture = m_dir.filePath(QStringLiteral("notes.jpg"));
    QFile file(notPicture);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();

    QVERIFY(!strip.AddImage(notPicture, -1));
    QVERIFY(!strip.AddImage(m_dir.filePath(QStringLiteral("missing.jpg")), -1));
    QPixmap null;
    QVERIFY(!strip.AddImage(null, QStringLiteral("/p/null.jpg"), -1));
    QCOMPARE(strip.Count(), 0);
}

void TestThumbnail::addImage_itemTextIsTheFileNamePart_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::newRow("unix path") << "/home/u/pics/p.jpg" << "p.jpg";
    QTest::newRow("backslash path") << "C:\\scans\\p1.jpg" << "p1.jpg";
    QTest::newRow("no separator") << "plain.jpg" << "plain.jpg";
    QTest::newRow("trailing slash") << "/home/u/dir/" << "";
    QTest::newRow("slash wins over backslash") << "/a\\b/c\\d.jpg" << "c\\d.jpg";
}

void TestThumbnail::addImage_itemTextIsTheFileNamePart()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    Thumbnail strip;
    QPixmap pixmap = pixmapOf(QSize(8, 8));
    QVERIFY(strip.AddImage(pixmap, path, -1));
    QCOMPARE(iconList(strip)->item(0)->text(), text);
    QCOMPARE(iconList(strip)->item(0)->data(Qt::UserRole).toString(), path);
    QCOMPARE(iconList(strip)->item(0)->textAlignment(), int(Qt::AlignCenter));
}

void TestThumbnail::addImage_scalesIconIntoCellLessTextLine_data()
{
    QTest::addColumn<QSize>("cell"); // empty: default 130 x 150
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("icon");
    QTest::newRow("landscape default") << QSize() << QSize(1300, 1000) << QSize(130, 100);
    QTest::newRow("portrait default") << QSize() << QSize(1000, 2000) << QSize(50, 100);
    QTest::newRow("small enlarged") << QSize() << QSize(13, 10) << QSize(130, 100);
    QTest::newRow("custom cell") << QSize(200, 260) << QSize(400, 420) << QSize(200, 210);
}

void TestThumbnail::addImage_scalesIconIntoCellLessTextLine()
{
    QFETCH(QSize, cell);
    QFETCH(QSize, picture);
    QFETCH(QSize, icon);
    Thumbnail strip;
    QPixmap before = pixmapOf(QSize(8, 8));
    QVERIFY(strip.AddImage(before, QStringLiteral("/p/before.jpg"), -1));
    if (cell.isValid())
        strip.SetIconSize(cell.width(), cell.height());

    QPixmap pixmap = pixmapOf(picture);
    QVERIFY(strip.AddImage(pixmap, QStringLiteral("/p/x.jpg"), -1));
    QCOMPARE(pixmap.size(), icon);
    QCOMPARE(iconList(strip)->item(1)->sizeHint(), cell.isValid() ? cell : QSize(130, 150));
    QCOMPARE(iconList(strip)->item(0)->sizeHint(), QSize(130, 150)); // earlier items keep their cell
}

void TestThumbnail::getIndex_findsPathIgnoringCase()
{
    Thumbnail strip;
    for (const char* name : {"/p/a.jpg", "/p/B.jpg"}) {
        QPixmap pixmap = pixmapOf(QSize(8, 8));
        QVERIFY(strip.AddImage(pixmap, QString::fromLatin1(name), -1));
    }
    QCOMPARE(strip.GetIndex(QStringLiteral("/P/b.JPG")), 1);
    QCOMPARE(strip.GetIndex(QStringLiteral("/p/a.jpg")), 0);
    QCOMPARE(strip.GetIndex(QStringLiteral("/p/c.jpg")), -1);
}

void TestThumbnail::getFilePaths_followsRowOrder()
{
    Thumbnail strip;
    QCOMPARE(strip.GetFilePaths(), QStringList());
    const QStringList added{"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"};
    const QList<int> rows{-1, 0, 1};
    for (int i = 0; i < added.size(); ++i) {
        QPixmap pixmap = pixmapOf(QSize(8, 8));
        QVERIFY(strip.AddImage(pixmap, added.at(i), rows.at(i)));
    }
    QCOMPARE(strip.GetFilePaths(), (QStringList{"/p/2.jpg", "/p/3.jpg", "/p/1.jpg"}));
}

void TestThumbnail::removeItem_takesValidRowOffListAndWatcherDeletingOnRequest()
{
    Thumbnail strip;
    const QString keep = writePicture(m_dir.filePath(QStringLiteral("keep.png")));
    const QString del = writePicture(m_dir.filePath(QStringLiteral("del.png")));
    QVERIFY(strip.AddImage(keep, -1));
    QVERIFY(strip.AddImage(del, -1));
    QCOMPARE(watchedFiles(strip), (QStringList{del, keep}));

    QVERIFY(!strip.RemoveItem(-1, true));
    QVERIFY(!strip.RemoveItem(strip.Count(), true));
    QCOMPARE(strip.Count(), 2);
    QVERIFY(strip.RemoveItem(0, false));
    QVERIFY(QFile::exists(keep));
    QVERIFY(strip.RemoveItem(0, true));
    QVERIFY(!QFile::exists(del));
    QCOMPARE(strip.Count(), 0);
    QCOMPARE(watchedFiles(strip), QStringList());
}

void TestThumbnail::removeItem_ofFileAlreadyGoneStillRemovesItem()
{
    Thumbnail strip;
    QPixmap pixmap = pixmapOf(QSize(8, 8));
    QVERIFY(strip.AddImage(pixmap, m_dir.filePath(QStringLiteral("never-written.png")), -1));
    QVERIFY(strip.RemoveItem(0, true));
    QCOMPARE(strip.Count(), 0);
}

void TestThumbnail::watcher_dropsItemWhenFileLeaves_data()
{
    QTest::addColumn<bool>("moveAway");
    QTest::newRow("deleted") << false;
    QTest::newRow("moved to another name") << true;
}

void TestThumbnail::watcher_dropsItemWhenFileLeaves()
{
    QFETCH(bool, moveAway);
    Thumbnail strip;
    const QString stays = writePicture(m_dir.filePath(QStringLiteral("stays.png")));
    const QString leaves = writePicture(m_dir.filePath(QStringLiteral("leaves.png")));
    QVERIFY(strip.AddImage(stays, -1));
    QVERIFY(strip.AddImage(leaves, -1));

    if (moveAway)
        QVERIFY(QFile::rename(leaves, m_dir.filePath(QStringLiteral("elsewhere.png"))));
    else
        QVERIFY(QFile::remove(leaves));

    QTRY_COMPARE_WITH_TIMEOUT(strip.Count(), 1, 10000);
    QCOMPARE(strip.GetFilePaths(), QStringList{stays});
    QCOMPARE(watchedFiles(strip), QStringList{stays});
    QFile::remove(stays);
    QFile::remove(m_dir.filePath(QStringLiteral("elsewhere.png")));
}

void TestThumbnail::watcher_keepsItemOfFileWrittenAgain_data()
{
    QTest::addColumn<bool>("byRename");
    QTest::newRow("overwritten in place") << false;
    // A second PDF made within the same second replaces the first by rename.
    QTest::newRow("replaced by rename") << true;
}

void TestThumbnail::watcher_keepsItemOfFileWrittenAgain()
{
    QFETCH(bool, byRename);
    Thumbnail strip;
    const QString path = writePicture(m_dir.filePath(QStringLiteral("again.png")));
    QVERIFY(strip.AddImage(path, -1));
    QSignalSpy changed(strip.findChild<QFileSystemWatcher*>(), &QFileSystemWatcher::fileChanged);

    const QImage picture(QSize(6, 6), QImage::Format_RGB32);
    if (byRename) {
        QSaveFile again(path);
        QVERIFY(again.open(QIODevice::WriteOnly));
        QVERIFY(picture.save(&again, "PNG"));
        QVERIFY(again.commit());
    } else {
        QVERIFY(picture.save(path, "PNG"));
    }
    QVERIFY(changed.wait(10000));
    QCoreApplication::processEvents();
    QCOMPARE(strip.GetFilePaths(), QStringList{path});
    QCOMPARE(watchedFiles(strip), QStringList{path}); // its later removal still counts

    QVERIFY(QFile::remove(path));
    QTRY_COMPARE_WITH_TIMEOUT(strip.Count(), 0, 10000);
}

void TestThumbnail::pdfIcon_resourceLoads()
{
    Thumbnail strip; // registers the library's resources
    QPixmap icon(QStringLiteral(":/Pdf.png"));
    QVERIFY(!icon.isNull());
    QVERIFY(strip.AddImage(icon, QStringLiteral("/p/Pdf_26_12_05-22_01_26.pdf"), -1));
}

QTEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
