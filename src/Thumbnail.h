/*
 * The thumbnail strip: the files this session produced, one icon per file,
 * each identified by its full path (item data Qt::UserRole). Row order is
 * the page order of a composed PDF.
 *
 * The strip watches every listed file and drops the item whose file is gone.
 * Its commands change the list; a file leaves the disk only through "Delete"
 * (to the desktop's trash) or RemoveItem(row, true). Every removal also stops
 * watching the file.
 *
 * The menu's commands act on the items that were selected (and current) when
 * the menu opened, found again by path: a photo that arrives while the menu
 * is open becomes the current item, and must not be what "Delete" takes.
 *
 * A widget holding a title label above its icon list (object name
 * "ListWidgetImage"), which owns the items. Its constructor registers the
 * gallery's resources (":/Pdf.png").
 *
 * Threads: GUI thread only, every function and slot. Other threads reach the
 * strip through queued signals.
 */
#ifndef TAVIK_THUMBNAIL_H
#define TAVIK_THUMBNAIL_H

#include <QSize>
#include <QStringList>
#include <QWidget>

class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPixmap;

class Thumbnail : public QWidget {
    Q_OBJECT

public:
    explicit Thumbnail(QWidget* parent = nullptr);
    ~Thumbnail() override;

    // Adds one item for fileName showing pixmap, at row (0..Count() inserts,
    // anything else appends) and makes it the current and only selected item.
    // On success pixmap is replaced by the scaled icon picture.
    // Returns false, changing nothing, for a null pixmap or a path already
    // listed (letter case ignored).
    bool AddImage(QPixmap& pixmap, const QString& fileName, int row);
    // Loads fileName as the pixmap; false when it does not load.
    bool AddImage(const QString& fileName, int row);

    void TitleHide();
    // Cell size of items added from now on; icons fit iWidth x (iHeigth - 50).
    void SetIconSize(int iWidth, int iHeigth);

    // Full paths, row 0 first.
    QStringList GetFilePaths() const;
    // Row of the path, letter case ignored; -1 when not listed.
    int GetIndex(const QString& fileName) const;
    // Removes row itemIndex and stops watching its file; with isDel also
    // deletes the file. False for a row outside the list.
    bool RemoveItem(int itemIndex, bool isDel);
    int Count() const;

signals:
    // A command could not do what was asked (a file stayed where it was);
    // message says so in the window's words, e.g. "无法删除：该位置没有回收站".
    void commandFailed(const QString& message);

public slots:
    void onPopupCustomMenu(const QPoint& pos);
    void onOpen();
    void onOpenDir();
    void onDelete();
    void onClear();
    void onAddImage();
    void onMoveUp();
    void onMoveDown();
    void onItemDoubleClicked(QListWidgetItem* item);
    void onFileChanged(const QString& path);

protected:
    // Asks the user for picture files; the chosen full paths in the dialog's
    // order, empty when cancelled. Tests override it to skip the dialog.
    virtual QStringList chooseImageFiles();

private:
    // What a command acts on: paths, so that rows moved or taken meanwhile
    // are found again or skipped.
    struct Targets {
        QStringList selected;
        QStringList all;
        QString current;
    };
    // The list as it is now.
    Targets liveTargets() const;
    // The menu's targets when a command runs from its action, else live ones.
    Targets targetsOfCommand();

    // Takes row out of the list and the watcher, deleting the item.
    QString takeRow(int row);
    void moveCurrent(int step);

    Targets m_menuTargets; // taken when the menu opened
    QLabel* m_pLabelTitle;
    QListWidget* m_pListWidgetImage;
    QMenu* m_pMenu;
    QSize m_IconSize;
    QFileSystemWatcher* m_fileSystemWatcher;
};

#endif
