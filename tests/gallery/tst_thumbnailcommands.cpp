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

QListWidget* iconList(Thumbnail& strip)
{
    return strip.findChild<QListWidget*>(QStringLiteral("ListWidgetImage"));
}

bool add(Thumbnail& strip, const QString& path, int row = -1)
{
    QPixmap pixmap(QSize(8, 8));
    pixmap.fill(Qt::green);
    return strip.AddImage(pixmap, path, row);
}

void fill(Thumbnail& strip, int n)
{
    for (int i = 0; i < n; ++i)
        add(strip, QStringLiteral("/p/%1.jpg").arg(i));
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

class TestThumbnailCommands : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_log;    // what the recording xdg-open was given
    QString m_canary; // made only if a shell ran a hostile name

    QString writePicture(const QString& name)
    {
        QImage picture(QSize(4, 2), QImage::Format_RGB32);
        picture.fill(Qt::red);
        return picture.save(m_dir.filePath(name)) ? m_dir.filePath(name) : QString();
    }

    // Each call's arguments, from the log of NUL-terminated fields "argc, argv...".
    QList<QStringList> xdgOpenCalls() const
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

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("xdg-open.log"));
        m_canary = m_dir.filePath(QStringLiteral("canary"));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
        QFile file(m_dir.filePath(QStringLiteral("bin/xdg-open")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\nprintf '%s\\0' \"$#\" \"$@\" >> '" + m_log.toUtf8() + "'\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + qgetenv("PATH"));
        // Trash inside the test folder, as a desktop session would have it.
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
        QTest::newRow("one item") << 1 << 0 << QStringList{"Delete", "Clear", "-"};
        QTest::newRow("first of three") << 3 << 0 << QStringList{"Delete", "Clear", "-", "Move down"};
        QTest::newRow("middle of three") << 3 << 1 << QStringList{"Delete", "Clear", "-", "Move up", "Move down"};
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
        QTest::newRow("row 1 down") << 1 << false << "0213" << 2;
        QTest::newRow("first up stays") << 0 << true << "0123" << 0;
        QTest::newRow("last down stays") << 3 << false << "0123" << 3;
        QTest::newRow("no current up") << -1 << true << "0123" << -1;
        QTest::newRow("no current down") << -1 << false << "0123" << -1;
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
            const QString path = m_dir.path() + "/" + name.second;
            const int cut = path.lastIndexOf('/');
            for (const char* command : {"double-click", "onOpen", "onOpenDir"})
                QTest::addRow("%s, %s", qPrintable(name.first), command)
                    << path.left(cut) << path.mid(cut + 1) << QString::fromLatin1(command);
        }
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
        QTRY_COMPARE_WITH_TIMEOUT(xdgOpenCalls().size(), 1, 10000);
        QTest::qWait(100); // room for anything else a shell might have started
        QCOMPARE(xdgOpenCalls(), QList<QStringList>{QStringList{expected}});
        QVERIFY(!QFile::exists(m_canary));
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
        QTest::newRow("after last row") << 2 << "x" << "abcx";
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
};

QTEST_MAIN(TestThumbnailCommands)
#include "tst_thumbnailcommands.moc"
