#include "Thumbnail.h"

#include <QAction>
#include <QDataStream>
#include <QFile>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QMenu>
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

void fill(Thumbnail& strip, int n)
{
    for (int i = 0; i < n; ++i)
        add(strip, QStringLiteral("/p/%1.jpg").arg(i));
}

// A 24-bit BMP claiming width x height (negative: stored top-down), with
// pixel rows for a real picture only when it is small.
QByteArray bmpFile(qint32 width, qint32 height)
{
    const qint64 rows = qAbs(static_cast<qint64>(height));
    const qint64 stride = (width * 3 + 3) / 4 * 4;
    const QByteArray pixels = rows * stride <= 4096 ? QByteArray(int(rows * stride), '\x40') : QByteArray(64, '\x40');
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("BM", 2);
    out << quint32(54 + pixels.size()) << quint32(0) << quint32(54);
    out << quint32(40) << width << height << quint16(1) << quint16(24) << quint32(0) << quint32(pixels.size())
        << qint32(2835) << qint32(2835) << quint32(0) << quint32(0);
    out.writeRawData(pixels.constData(), pixels.size());
    return bytes;
}

// Chooses the context menu's command; false when the menu does not offer it.
bool chooseFromMenu(Thumbnail& strip, const QString& text)
{
    strip.onPopupCustomMenu(QPoint());
    QMenu* menu = strip.findChild<QMenu*>();
    menu->hide();
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            action->trigger();
            return true;
        }
    }
    return false;
}

// The file dialog replaced by a fixed answer.
class ChoosingThumbnail : public Thumbnail {
public:
    QStringList answer;

protected:
    QStringList chooseImageFiles() override { return answer; }
};

} // namespace

class TestThumbnail : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_log;    // each argument the recording xdg-open was given, NUL-terminated

    QString writePicture(const QString& name)
    {
        QImage picture(QSize(4, 2), QImage::Format_RGB32);
        picture.fill(Qt::red);
        return picture.save(m_dir.filePath(name)) ? m_dir.filePath(name) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("xdg-open.log"));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
        QFile file(m_dir.filePath(QStringLiteral("bin/xdg-open")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\nprintf '%s\\0' \"$@\" >> '" + m_log.toUtf8() + "'\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + qgetenv("PATH"));
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
    }
    void init() { QFile::remove(m_log); }

    void contextMenu_offersCommandsByState_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("current"); // -2: leave the selection empty
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("empty strip") << 0 << -2 << QStringList();
        QTest::newRow("items, none selected") << 3 << -2 << QStringList{"Clear"};
        QTest::newRow("first of three") << 3 << 0 << QStringList{"Delete", "Clear", "-", "Move down"};
        QTest::newRow("last of three") << 3 << 2 << QStringList{"Delete", "Clear", "-", "Move up"};
    }
    void contextMenu_offersCommandsByState()
    {
        QFETCH(int, count);
        QFETCH(int, current);
        QFETCH(QStringList, texts);
        Thumbnail strip;
        fill(strip, count);
        iconList(strip)->clearSelection();
        if (current >= 0)
            iconList(strip)->setCurrentRow(current);
        strip.onPopupCustomMenu(QPoint(1, 1));
        strip.onPopupCustomMenu(QPoint(1, 1)); // refilled, not appended
        QMenu* menu = strip.findChild<QMenu*>();
        QVERIFY(menu->isVisible());
        QStringList shown;
        for (QAction* action : menu->actions()) {
            shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
            QVERIFY(action->shortcut().isEmpty());
        }
        QCOMPARE(shown, texts);
        menu->hide();
    }

    void move_shiftsCurrentItemAndKeepsEnds_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("currentAfter");
        QTest::newRow("row 2 up") << 2 << true << "0213" << 1;
        QTest::newRow("first up stays") << 0 << true << "0123" << 0;
        QTest::newRow("last down stays") << 3 << false << "0123" << 3;
        QTest::newRow("no current up") << -1 << true << "0123" << -1;
    }
    void move_shiftsCurrentItemAndKeepsEnds()
    {
        QFETCH(int, current);
        QFETCH(bool, up);
        QFETCH(QString, order);
        QFETCH(int, currentAfter);
        Thumbnail strip;
        fill(strip, 4);
        iconList(strip)->setCurrentRow(current);
        // Where the menu does not offer the move, the slot itself must refuse.
        if (!chooseFromMenu(strip, up ? QStringLiteral("Move up") : QStringLiteral("Move down")))
            up ? strip.onMoveUp() : strip.onMoveDown();
        QStringList expected;
        for (QChar c : order)
            expected << QStringLiteral("/p/%1.jpg").arg(c);
        QCOMPARE(strip.GetFilePaths(), expected);
        QCOMPARE(iconList(strip)->currentRow(), currentAfter);
    }

    void open_passesExactPathAsOnlyArgument_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("command");
        const QString folder = m_dir.filePath(QStringLiteral("my scans"));
        for (const char* command : {"double-click", "onOpen", "onOpenDir"})
            QTest::newRow(command) << folder << "page 1.jpg" << QString::fromLatin1(command);
    }
    void open_passesExactPathAsOnlyArgument()
    {
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QFETCH(QString, command);
        const QString path = folder + "/" + fileName;
        Thumbnail strip;
        strip.resize(200, 400);
        strip.show();
        QVERIFY(add(strip, m_dir.filePath(QStringLiteral("other.jpg"))));
        QVERIFY(add(strip, path, 0));
        if (command == QLatin1String("double-click")) {
            const QPoint at = iconList(strip)->visualItemRect(iconList(strip)->item(0)).center();
            // An item view takes a double-click only on the item it saw pressed.
            QTest::mouseClick(iconList(strip)->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseDClick(iconList(strip)->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        } else {
            QVERIFY(QMetaObject::invokeMethod(&strip, qPrintable(command)));
        }
        const QString expected = command == QLatin1String("onOpenDir") ? folder : path;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_log), 10000);
        QFile log(m_log);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), expected.toUtf8() + '\0'); // one call, one argument
    }

    void open_withoutCurrentItemRunsNothing()
    {
        Thumbnail strip;
        fill(strip, 2);
        iconList(strip)->setCurrentRow(-1);
        strip.onOpen();
        strip.onOpenDir();
        strip.onItemDoubleClicked(nullptr);
        QTest::qWait(300); // nothing is expected; give a stray start time to show
        QVERIFY(!QFile::exists(m_log));
    }

    void delete_movesSelectedFilesToTrash()
    {
        Thumbnail strip;
        const QStringList files{writePicture("del-a.png"), writePicture("del-b.png"), writePicture("del-c.png")};
        for (const QString& file : files)
            QVERIFY(strip.AddImage(file, -1));
        iconList(strip)->clearSelection();
        iconList(strip)->item(0)->setSelected(true);
        iconList(strip)->item(2)->setSelected(true);
        QVERIFY(chooseFromMenu(strip, QStringLiteral("Delete")));

        QCOMPARE(strip.GetFilePaths(), QStringList{files.at(1)});
        QCOMPARE(strip.findChild<QFileSystemWatcher*>()->files(), QStringList{files.at(1)});
        QVERIFY(!QFile::exists(files.at(0)));
        QVERIFY(QFile::exists(files.at(1)));
        QVERIFY(!QFile::exists(files.at(2)));
        const QString trash = m_dir.filePath(QStringLiteral("data/Trash/files/"));
        QVERIFY(QFile::exists(trash + "del-a.png"));
        QVERIFY(QFile::exists(trash + "del-c.png"));
    }

    void clear_emptiesStripAndKeepsFiles()
    {
        Thumbnail strip;
        const QStringList files{writePicture("clear-a.png"), writePicture("clear-b.png")};
        for (const QString& file : files)
            QVERIFY(strip.AddImage(file, -1));
        QVERIFY(chooseFromMenu(strip, QStringLiteral("Clear")));
        QCOMPARE(strip.Count(), 0);
        QCOMPARE(strip.findChild<QFileSystemWatcher*>()->files(), QStringList());
        for (const QString& file : files)
            QVERIFY(QFile::exists(file));
    }

    void addImage_insertsAfterCurrentRowInDialogOrder_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("order");
        QTest::newRow("after current row") << 1 << "xyz" << "abxyzc";
        QTest::newRow("no current row appends") << -1 << "xy" << "abcxy";
        QTest::newRow("listed files skipped") << 0 << "xcy" << "axybc";
        QTest::newRow("cancelled") << 1 << "" << "abc";
    }
    void addImage_insertsAfterCurrentRowInDialogOrder()
    {
        QFETCH(int, current);
        QFETCH(QString, chosen);
        QFETCH(QString, order);
        const auto file = [this](QChar name) { return m_dir.filePath(QString(name) + ".png"); };
        ChoosingThumbnail strip;
        for (QChar name : QStringLiteral("abcxyz"))
            QVERIFY(!writePicture(QString(name) + ".png").isEmpty());
        for (QChar name : QStringLiteral("abc"))
            QVERIFY(strip.AddImage(file(name), -1));
        iconList(strip)->setCurrentRow(current);
        for (QChar name : chosen)
            strip.answer << file(name);
        strip.onAddImage();
        QStringList expected;
        for (QChar name : order)
            expected << file(name);
        QCOMPARE(strip.GetFilePaths(), expected);
    }

    void addImage_placesItemAtRowAndMakesItSoleCurrent_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("expectedRow");
        QTest::newRow("-1 appends") << -1 << 3;
        QTest::newRow("row beyond count appends") << 10 << 3;
        QTest::newRow("row 0 goes first") << 0 << 0;
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

    void addImage_capsPictureByHeaderSize_data()
    {
        QTest::addColumn<qint32>("width");
        QTest::addColumn<qint32>("height");
        QTest::addColumn<bool>("listed");
        QTest::newRow("bottom-up 3x2") << 3 << 2 << true;
        QTest::newRow("top-down 3x2") << 3 << -2 << true;
        QTest::newRow("top-down 6x33554428") << 6 << -33554428 << false;
        QTest::newRow("bottom-up 9000x8000") << 9000 << 8000 << false;
    }
    void addImage_capsPictureByHeaderSize()
    {
        QFETCH(qint32, width);
        QFETCH(qint32, height);
        QFETCH(bool, listed);
        QFile file(m_dir.filePath(QStringLiteral("header.bmp")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bmpFile(width, height));
        file.close();
        Thumbnail strip;
        QCOMPARE(strip.AddImage(file.fileName(), -1), listed);
        QCOMPARE(strip.Count(), listed ? 1 : 0);
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

    // Replaced by rename (a second PDF within the same second): the item
    // stays watched, so its later deletion still counts.
    void watcher_followsFileOnDisk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("deleted") << "delete";
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
        } else {
            QSaveFile again(path);
            QVERIFY(again.open(QIODevice::WriteOnly));
            QVERIFY(picture.save(&again, "PNG"));
            QVERIFY(again.commit());
        }
        if (change == "delete") {
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
    }
};

QTEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
