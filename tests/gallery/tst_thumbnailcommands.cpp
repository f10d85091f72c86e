// The strip's commands: context menu, moves, opening with xdg-open, Delete,
// Clear and adding pictures from a file dialog.
#include "Thumbnail.h"

#include <QAction>
#include <QFile>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QPixmap pixmapOf()
{
    QPixmap pixmap(QSize(8, 8));
    pixmap.fill(Qt::green);
    return pixmap;
}

// The strip's icon list, where the items, the current row and the selection live.
QListWidget* iconList(Thumbnail& strip)
{
    return strip.findChild<QListWidget*>(QStringLiteral("ListWidgetImage"));
}

void fill(Thumbnail& strip, int n)
{
    for (int i = 0; i < n; ++i) {
        QPixmap pixmap = pixmapOf();
        strip.AddImage(pixmap, QStringLiteral("/p/%1.jpg").arg(i), -1);
    }
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

QStringList menuTexts(Thumbnail& strip)
{
    QStringList texts;
    for (QAction* action : strip.findChild<QMenu*>()->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// The file dialog replaced by a fixed answer.
class ChoosingThumbnail : public Thumbnail {
public:
    QStringList answer;

protected:
    QStringList chooseImageFiles() override { return answer; }
};

} // namespace

class TestThumbnailCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void contextMenu_offersCommandsByState_data();
    void contextMenu_offersCommandsByState();
    void move_shiftsCurrentItemAndKeepsEnds_data();
    void move_shiftsCurrentItemAndKeepsEnds();
    void open_passesExactPathAsOnlyArgument_data();
    void open_passesExactPathAsOnlyArgument();
    void open_withoutCurrentItemRunsNothing();
    void delete_movesSelectedFilesToTrash();
    void clear_emptiesStripAndKeepsFiles();
    void addImage_insertsAfterCurrentRowInDialogOrder_data();
    void addImage_insertsAfterCurrentRowInDialogOrder();

private:
    QString writePicture(const QString& name);
    QList<QStringList> xdgOpenCalls() const;

    QTemporaryDir m_dir;
    QString m_log;
    QString m_canary;
};

void TestThumbnailCommands::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_log = m_dir.filePath(QStringLiteral("xdg-open.log"));
    m_canary = m_dir.filePath(QStringLiteral("canary"));

    // A recording xdg-open first on PATH: each call appends its argument
    // count and arguments, NUL-terminated.
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
    const QString script = m_dir.filePath(QStringLiteral("bin/xdg-open"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/bash\nprintf '%s\\0' \"$#\" \"$@\" >> '" + m_log.toUtf8() + "'\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + qgetenv("PATH"));

    // Trash inside the test folder; the data folder itself is created by
    // the strip, as a desktop session would have it.
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
}

void TestThumbnailCommands::init()
{
    QFile::remove(m_log);
}

QString TestThumbnailCommands::writePicture(const QString& name)
{
    QImage picture(QSize(4, 2), QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString path = m_dir.filePath(name);
    return picture.save(path) ? path : QString();
}

QList<QStringList> TestThumbnailCommands::xdgOpenCalls() const
{
    QFile file(m_log);
    QList<QStringList> calls;
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    QList<QByteArray> fields = file.readAll().split('\0');
    fields.removeLast(); // after the last terminator
    for (int i = 0; i < fields.size();) {
        const int argc = fields.at(i++).toInt();
        QStringList argv;
        for (int k = 0; k < argc && i < fields.size(); ++k)
            argv << QString::fromUtf8(fields.at(i++));
        calls << argv;
    }
    return calls;
}

void TestThumbnailCommands::contextMenu_offersCommandsByState_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("current"); // -2: leave the selection empty
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("empty strip") << 0 << -2 << QStringList();
    QTest::newRow("items, none selected") << 3 << -2 << QStringList{"Clear"};
    QTest::newRow("one item") << 1 << 0 << QStringList{"Delete", "Clear", "-"};
    QTest::newRow("first of three") << 3 << 0 << QStringList{"Delete", "Clear", "-", "Move down"};
    QTest::newRow("middle of three")
        << 3 << 1 << QStringList{"Delete", "Clear", "-", "Move up", "Move down"};
    QTest::newRow("last of three") << 3 << 2 << QStringList{"Delete", "Clear", "-", "Move up"};
}

void TestThumbnailCommands::contextMenu_offersCommandsByState()
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
    QCOMPARE(menuTexts(strip), texts);
    for (QAction* action : menu->actions())
        QVERIFY(action->shortcut().isEmpty());
    menu->hide();
}

void TestThumbnailCommands::move_shiftsCurrentItemAndKeepsEnds_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("currentAfter");
    QTest::newRow("row 2 up") << 2 << true << "0213" << 1;
    QTest::newRow("row 1 down") << 1 << false << "0213" << 2;
    QTest::newRow("first up stays") << 0 << true << "0123" << 0;
    QTest::newRow("last down stays") << 3 << false << "0123" << 3;
    QTest::newRow("no current up") << -1 << true << "0123" << -1;
    QTest::newRow("no current down") << -1 << false << "0123" << -1;
}

void TestThumbnailCommands::move_shiftsCurrentItemAndKeepsEnds()
{
    QFETCH(int, current);
    QFETCH(bool, up);
    QFETCH(QString, order);
    QFETCH(int, currentAfter);
    Thumbnail strip;
    fill(strip, 4);
    iconList(strip)->setCurrentRow(current);

    // Where the menu does not offer the move, the slot itself must refuse.
    if (up && !chooseFromMenu(strip, QStringLiteral("Move up")))
        strip.onMoveUp();
    if (!up && !chooseFromMenu(strip, QStringLiteral("Move down")))
        strip.onMoveDown();

    QStringList expected;
    for (QChar c : order)
        expected << QStringLiteral("/p/%1.jpg").arg(c);
    QCOMPARE(strip.GetFilePaths(), expected);
    QCOMPARE(iconList(strip)->currentRow(), currentAfter);
    QCOMPARE(strip.findChild<QFileSystemWatcher*>()->files().size(), 0); // nothing on disk was watched
}

void TestThumbnailCommands::open_passesExactPathAsOnlyArgument_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("command");

    const QString base = m_dir.path();
    const QString touch = QStringLiteral("touch ") + m_canary;
    const QList<QPair<QString, QString>> names{
        {"blanks", "my scans/page 1.jpg"},
        {"quotes", "it's \"quoted\"/a 'b'.jpg"},
        {"semicolon", "x; " + touch + ";/y; " + touch + ".jpg"},
        {"command substitution", "$(" + touch + ")/`" + touch + "`.jpg"},
        {"newline", "two\nlines/p\n.jpg"},
        {"600 characters", QString(200, 'd') + "/" + QString(200, 'e') + "/" + QString(200, 'f') + ".jpg"},
        {"chinese", QString::fromUtf8("照片 文件夹/图片 1.jpg")},
    };
    for (const auto& name : names) {
        const QString path = base + "/" + name.second;
        const int cut = path.lastIndexOf('/');
        for (const char* command : {"double-click", "onOpen", "onOpenDir"}) {
            QTest::addRow("%s, %s", qPrintable(name.first), command)
                << path.left(cut) << path.mid(cut + 1) << QString::fromLatin1(command);
        }
    }
}

void TestThumbnailCommands::open_passesExactPathAsOnlyArgument()
{
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QFETCH(QString, command);
    const QString path = folder + "/" + fileName;
    QVERIFY(path.size() >= 40);
    Thumbnail strip;
    strip.resize(200, 400);
    strip.show();
    QPixmap other = pixmapOf();
    QVERIFY(strip.AddImage(other, m_dir.filePath(QStringLiteral("other.jpg")), -1));
    QPixmap pixmap = pixmapOf();
    QVERIFY(strip.AddImage(pixmap, path, 0));

    if (command == QLatin1String("double-click")) {
        const QPoint at = iconList(strip)->visualItemRect(iconList(strip)->item(0)).center();
        // An item view takes a double-click only on the item it saw pressed.
        QTest::mouseClick(iconList(strip)->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(iconList(strip)->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    } else if (command == QLatin1String("onOpen")) {
        strip.onOpen();
    } else {
        strip.onOpenDir();
    }

    const QString expected = command == QLatin1String("onOpenDir") ? folder : path;
    QTRY_COMPARE_WITH_TIMEOUT(xdgOpenCalls().size(), 1, 10000);
    QTest::qWait(100); // room for anything else a shell might have started
    QCOMPARE(xdgOpenCalls(), QList<QStringList>{QStringList{expected}});
    QVERIFY(!QFile::exists(m_canary));
}

void TestThumbnailCommands::open_withoutCurrentItemRunsNothing()
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

void TestThumbnailCommands::delete_movesSelectedFilesToTrash()
{
    Thumbnail strip;
    const QStringList files{writePicture("del-a.png"), writePicture("del-b.png"),
                            writePicture("del-c.png")};
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

void TestThumbnailCommands::clear_emptiesStripAndKeepsFiles()
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
    // Unwatched: deleting a file now must not disturb the empty strip.
    QVERIFY(QFile::remove(files.at(0)));
    QVERIFY(strip.AddImage(files.at(1), -1));
    QCOMPARE(strip.Count(), 1);
}

void TestThumbnailCommands::addImage_insertsAfterCurrentRowInDialogOrder_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("after current row")
        << 1 << QStringList{"x", "y", "z"} << QStringList{"a", "b", "x", "y", "z", "c"};
    QTest::newRow("no current row appends")
        << -1 << QStringList{"x", "y"} << QStringList{"a", "b", "c", "x", "y"};
    QTest::newRow("after last row") << 2 << QStringList{"x"} << QStringList{"a", "b", "c", "x"};
    QTest::newRow("listed files skipped")
        << 0 << QStringList{"x", "c", "y"} << QStringList{"a", "x", "y", "b", "c"};
    QTest::newRow("cancelled") << 1 << QStringList() << QStringList{"a", "b", "c"};
}

void TestThumbnailCommands::addImage_insertsAfterCurrentRowInDialogOrder()
{
    QFETCH(int, current);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, order);
    ChoosingThumbnail strip;
    for (const char* name : {"a", "b", "c", "x", "y", "z"})
        writePicture(QString::fromLatin1(name) + ".png");
    for (const char* name : {"a", "b", "c"})
        QVERIFY(strip.AddImage(m_dir.filePath(QString::fromLatin1(name) + ".png"), -1));
    iconList(strip)->setCurrentRow(current);
    for (const QString& name : chosen)
        strip.answer << m_dir.filePath(name + ".png");

    strip.onAddImage();

    QStringList expected;
    for (const QString& name : order)
        expected << m_dir.filePath(name + ".png");
    QCOMPARE(strip.GetFilePaths(), expected);
}

QTEST_MAIN(TestThumbnailCommands)
#include "tst_thumbnailcommands.moc"
