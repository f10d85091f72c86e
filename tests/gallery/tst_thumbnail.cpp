// The strip's commands and bookkeeping. Opening (double-click, open, open folder)
// with hostile paths: tests/faults/tst_savefolder.cpp.
#include "Thumbnail.h"

#include <QAction>
#include <QBuffer>
#include <QtEndian>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QMenu>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QListWidget* iconList(Thumbnail& strip) { return strip.findChild<QListWidget*>(QStringLiteral("ListWidgetImage")); }

QStringList watchedFiles(Thumbnail& strip)
{
    QStringList files = strip.findChild<QFileSystemWatcher*>()->files();
    files.sort();
    return files;
}

// Lists path with a stand-in picture; no file needs to be behind it.
bool add(Thumbnail& strip, const QString& path, int row = -1)
{
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::blue);
    return strip.AddImage(pixmap, path, row);
}

void fill(Thumbnail& strip, int n)
{
    for (int i = 0; i < n; ++i)
        add(strip, QStringLiteral("/p/%1.jpg").arg(i));
}

// A real 3 x 2 BMP whose header claims width x height (negative: stored
// top-down).
QByteArray bmpFile(qint32 width, qint32 height)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImage(3, 2, QImage::Format_RGB32).save(&buffer, "BMP");
    const qint32 size[] = {qToLittleEndian(width), qToLittleEndian(height)};
    bytes.replace(18, 8, reinterpret_cast<const char*>(size), 8);
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
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
    }

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
        for (QAction* action : menu->actions())
            shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(shown, texts);
        menu->hide();
    }

    // Which moves the menu offers at the ends: contextMenu_offersCommandsByState.
    void move_shiftsCurrentItem_slotsRefuseAtTheEnds()
    {
        Thumbnail strip;
        fill(strip, 4);
        const QStringList moved{"/p/0.jpg", "/p/2.jpg", "/p/1.jpg", "/p/3.jpg"};
        iconList(strip)->setCurrentRow(2);
        QVERIFY(chooseFromMenu(strip, QStringLiteral("Move up")));
        QCOMPARE(strip.GetFilePaths(), moved);
        QCOMPARE(iconList(strip)->currentRow(), 1);
        iconList(strip)->setCurrentRow(0);
        strip.onMoveUp();
        iconList(strip)->setCurrentRow(3);
        strip.onMoveDown();
        QCOMPARE(strip.GetFilePaths(), moved);
        QCOMPARE(iconList(strip)->currentRow(), 3);
    }

    void delete_movesSelectedFilesToTrash_clearKeepsFiles()
    {
        Thumbnail strip;
        const QStringList files{writePicture("a.png"), writePicture("b.png"), writePicture("c.png")};
        for (const QString& file : files)
            QVERIFY(strip.AddImage(file, -1));
        iconList(strip)->clearSelection();
        iconList(strip)->item(0)->setSelected(true);
        iconList(strip)->item(2)->setSelected(true);
        QVERIFY(chooseFromMenu(strip, QStringLiteral("Delete")));
        QCOMPARE(strip.GetFilePaths(), QStringList{files.at(1)});
        QCOMPARE(watchedFiles(strip), QStringList{files.at(1)});
        QVERIFY(!QFile::exists(files.at(0)) && !QFile::exists(files.at(2)));
        const QString trash = m_dir.filePath(QStringLiteral("data/Trash/files/"));
        QVERIFY(QFile::exists(trash + "a.png") && QFile::exists(trash + "c.png"));

        QVERIFY(chooseFromMenu(strip, QStringLiteral("Clear")));
        QCOMPARE(strip.Count(), 0);
        QCOMPARE(watchedFiles(strip), QStringList());
        QVERIFY(QFile::exists(files.at(1)));
    }

    // a, b, c listed, b selected and current when the menu opens; then d
    // arrives (a new photo: it becomes the current and only selected item)
    // or b's file vanishes before the command is chosen.
    void menuCommand_actsOnWhatWasSelectedWhenItOpened_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("bVanishes");
        QTest::addColumn<QString>("after"); // the strip's files, in order
        QTest::addColumn<QString>("trashed");
        QTest::newRow("Delete") << "Delete" << false << "acd" << "b";
        QTest::newRow("Delete, b gone meanwhile") << "Delete" << true << "acd" << "";
        QTest::newRow("Move up") << "Move up" << false << "bacd" << "";
        QTest::newRow("Move down") << "Move down" << false << "acbd" << "";
        QTest::newRow("Move up, b gone meanwhile") << "Move up" << true << "acd" << "";
        QTest::newRow("Clear") << "Clear" << false << "d" << "";
    }
    void menuCommand_actsOnWhatWasSelectedWhenItOpened()
    {
        QFETCH(QString, command);
        QFETCH(bool, bVanishes);
        QFETCH(QString, after);
        QFETCH(QString, trashed);
        QTemporaryDir dir;
        QDir(m_dir.filePath(QStringLiteral("data"))).removeRecursively();
        const auto file = [&](QChar name) { return dir.filePath(QStringLiteral("%1.png").arg(name)); };
        Thumbnail strip;
        for (QChar name : QStringLiteral("abcd")) {
            QImage picture(QSize(4, 2), QImage::Format_RGB32);
            picture.fill(Qt::red);
            QVERIFY(picture.save(file(name)));
        }
        for (QChar name : QStringLiteral("abc"))
            QVERIFY(strip.AddImage(file(name), -1));
        iconList(strip)->setCurrentRow(1);
        strip.onPopupCustomMenu(QPoint());
        auto* menu = strip.findChild<QMenu*>();
        QVERIFY(strip.AddImage(file('d'), -1));
        if (bVanishes) {
            QVERIFY(QFile::remove(file('b')));
            QTRY_COMPARE(strip.Count(), 3); // the watcher took b
        }
        const QList<QAction*> actions = menu->actions();
        const auto chosen = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == command; });
        QVERIFY(chosen != actions.end());
        menu->hide();
        (*chosen)->trigger();
        QStringList expected;
        for (QChar name : after)
            expected << file(name);
        QCOMPARE(strip.GetFilePaths(), expected);
        for (QChar name : QStringLiteral("abcd"))
            QCOMPARE(QFile::exists(file(name)), !trashed.contains(name) && !(name == 'b' && bVanishes));
        const QString trash = m_dir.filePath(QStringLiteral("data/Trash/files/"));
        QCOMPARE(QDir(trash).entryList(QDir::Files), trashed.isEmpty() ? QStringList() : QStringList{trashed + ".png"});
    }

    void addImage_insertsAfterCurrentRowInDialogOrder_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("order");
        QTest::newRow("after current row") << 1 << "xyz" << "abxyzc";
        QTest::newRow("no current row appends") << -1 << "xy" << "abcxy";
        QTest::newRow("listed files skipped") << 0 << "xcy" << "axybc";
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

    // Appending and case-blind duplicates: tests/faults/tst_longstrip.cpp.
    void addImage_placesItemAtRowAsSoleCurrent_refusesWhatDoesNotLoad()
    {
        Thumbnail strip;
        fill(strip, 3);
        QListWidget* list = iconList(strip);
        list->item(0)->setSelected(true);
        list->item(1)->setSelected(true);
        QVERIFY(add(strip, QStringLiteral("/p/first.jpg"), 0));
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(add(strip, QStringLiteral("/p/last.jpg"), 10)); // beyond the count: appended
        const QStringList expected{"/p/first.jpg", "/p/0.jpg", "/p/1.jpg", "/p/2.jpg", "/p/last.jpg"};
        QCOMPARE(strip.GetFilePaths(), expected);
        QCOMPARE(list->currentRow(), 4);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem*>{list->item(4)});

        QFile notes(m_dir.filePath(QStringLiteral("notes.jpg")));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture") > 0);
        notes.close();
        QVERIFY(!strip.AddImage(notes.fileName(), -1));
        QVERIFY(!strip.AddImage(m_dir.filePath(QStringLiteral("missing.jpg")), -1));
        QPixmap null;
        QVERIFY(!strip.AddImage(null, QStringLiteral("/p/null.jpg"), -1));
        QCOMPARE(strip.GetFilePaths(), expected);
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
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bmpFile(width, height)) > 0);
        file.close();
        if (!listed) // refused by the cap, before a pixel is read: a failed read would refuse it too
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("not listing .* too large")));
        Thumbnail strip;
        QCOMPARE(strip.AddImage(file.fileName(), -1), listed);
    }

    // A file replaced by rename (a second PDF within the same second) stays
    // watched, so its later deletion still drops it.
    void removeItemAndFileChanges_keepWatcherInStepWithList()
    {
        Thumbnail strip;
        const QStringList files{writePicture("keep.png"), writePicture("del.png"), writePicture("renamed.png")};
        for (const QString& file : files)
            QVERIFY(strip.AddImage(file, -1));
        QVERIFY(!strip.RemoveItem(-1, true));
        QVERIFY(!strip.RemoveItem(strip.Count(), true));
        QVERIFY(strip.RemoveItem(0, false));
        QVERIFY(strip.RemoveItem(0, true));
        QVERIFY(QFile::exists(files.at(0)) && !QFile::exists(files.at(1)));
        QCOMPARE(watchedFiles(strip), QStringList{files.at(2)});

        QSignalSpy changed(strip.findChild<QFileSystemWatcher*>(), &QFileSystemWatcher::fileChanged);
        QSaveFile again(files.at(2));
        QVERIFY(again.open(QIODevice::WriteOnly));
        QVERIFY(QImage(QSize(6, 6), QImage::Format_RGB32).save(&again, "PNG"));
        QVERIFY(again.commit());
        QVERIFY(changed.wait(10000));
        QCoreApplication::processEvents();
        QCOMPARE(strip.GetFilePaths(), QStringList{files.at(2)});
        QCOMPARE(watchedFiles(strip), QStringList{files.at(2)});
        QVERIFY(QFile::remove(files.at(2)));
        QTRY_COMPARE_WITH_TIMEOUT(strip.Count(), 0, 10000);
        QCOMPARE(watchedFiles(strip), QStringList());
    }
};

QTEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
