#include "Thumbnail.h"

#include "desktopopener.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QIcon>
#include <QImageReader>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <memory>

// The strip lives in a static library: without this reference the linker
// would drop the resource object holding ":/Pdf.png".
static void initGalleryResourcesOnce()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(done);
}

// The path in lower case, made once when the item is added: every add looks
// for a duplicate through all items, and lowering each of them every time
// made a long strip slow to grow.
static constexpr int kLowerPathRole = Qt::UserRole + 1;

// Pictures beyond this many pixels are not listed: decoding one would take
// gigabytes, and no camera or scanner of our users' makes them.
static constexpr qint64 kMaxPicturePixels = 64LL * 1024 * 1024;

Thumbnail::Thumbnail(QWidget* parent)
    : QWidget(parent)
    , m_pLabelTitle(nullptr)
    , m_pListWidgetImage(nullptr)
    , m_pMenu(nullptr)
    , m_IconSize(130, 150)
    , m_fileSystemWatcher(nullptr)
{
    initGalleryResourcesOnce();
    setWindowFlags(Qt::SubWindow | Qt::FramelessWindowHint);
    setMouseTracking(true);

    m_pLabelTitle = new QLabel(QString::fromUtf8("缩略图"), this);
    m_pLabelTitle->setObjectName(QStringLiteral("LabelThumbnailTitle"));

    m_pListWidgetImage = new QListWidget(this);
    m_pListWidgetImage->setObjectName(QStringLiteral("ListWidgetImage"));
    m_pListWidgetImage->setFocusPolicy(Qt::NoFocus);
    m_pListWidgetImage->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pListWidgetImage->setResizeMode(QListView::Adjust);
    m_pListWidgetImage->setViewMode(QListView::IconMode);
    m_pListWidgetImage->setMovement(QListView::Static);
    m_pListWidgetImage->setSpacing(2);
    m_pListWidgetImage->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(m_pLabelTitle);
    layout->addWidget(m_pListWidgetImage);
    setLayout(layout); // the strip takes the layout over

    m_pMenu = new QMenu(this);
    m_pListWidgetImage->setIconSize(m_IconSize);
    m_fileSystemWatcher = new QFileSystemWatcher(this);

    connect(m_fileSystemWatcher, SIGNAL(fileChanged(const QString&)), this,
            SLOT(onFileChanged(const QString&)));
    connect(m_pListWidgetImage, SIGNAL(customContextMenuRequested(const QPoint&)), this,
            SLOT(onPopupCustomMenu(const QPoint&)));
    connect(m_pListWidgetImage, SIGNAL(itemDoubleClicked(QListWidgetItem*)), this,
            SLOT(onItemDoubleClicked(QListWidgetItem*)));
}

Thumbnail::~Thumbnail() = default;

// ---- items

bool Thumbnail::AddImage(QPixmap& pixmap, const QString& fileName, int row)
{
    if (pixmap.isNull() || GetIndex(fileName) != -1)
        return false;

    pixmap = pixmap.scaled(m_IconSize - QSize(0, 50), Qt::KeepAspectRatio,
                           Qt::SmoothTransformation);

    int cut = fileName.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = fileName.lastIndexOf(QLatin1Char('\\'));
    const QString text = fileName.mid(cut + 1);

    for (QListWidgetItem* selected : m_pListWidgetImage->selectedItems())
        selected->setSelected(false);

    auto* item = new QListWidgetItem(QIcon(pixmap), text);
    item->setSizeHint(m_IconSize);
    item->setTextAlignment(Qt::AlignCenter);
    item->setData(Qt::UserRole, fileName);
    item->setData(kLowerPathRole, fileName.toLower());

    // A path the watcher refuses (file not there yet) is listed unwatched.
    m_fileSystemWatcher->addPath(fileName);

    if (row < 0 || row > m_pListWidgetImage->count())
        row = m_pListWidgetImage->count();
    m_pListWidgetImage->insertItem(row, item);
    m_pListWidgetImage->setCurrentRow(row);
    m_pListWidgetImage->repaint();
    return true;
}

bool Thumbnail::AddImage(const QString& fileName, int row)
{
    if (GetIndex(fileName) != -1)
        return false;
    // The reader is chosen by the bytes, not the name, and only among the
    // formats the strip lists (photos and the pictures the add dialog offers):
    // some other readers allocate the whole picture just to report its size.
    // The header is read first: a file may claim any size, and the icon needs
    // only a small picture, which JPEG decodes at a reduced scale directly.
    QImageReader reader(fileName);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "jpeg" && format != "png" && format != "bmp")
        return false;
    // A top-down BMP reports its height negative, and the reader then
    // allocates for the magnitude: the cap must apply to that, and a header
    // that gives no size at all is refused rather than trusted.
    const QSize claimed = reader.size();
    const qint64 width = qAbs(static_cast<qint64>(claimed.width()));
    const qint64 height = qAbs(static_cast<qint64>(claimed.height()));
    if (width == 0 || height == 0 || width * height > kMaxPicturePixels) {
        qDebug() << "Thumbnail: not listing" << fileName << "of" << claimed << "pixels: no size or too large";
        return false;
    }
    const QSize size(static_cast<int>(width), static_cast<int>(height));
    reader.setScaledSize(size.scaled(m_IconSize - QSize(0, 50), Qt::KeepAspectRatio));
    QPixmap pixmap = QPixmap::fromImage(reader.read());
    return AddImage(pixmap, fileName, row);
}

void Thumbnail::TitleHide()
{
    m_pLabelTitle->hide();
}

void Thumbnail::SetIconSize(int iWidth, int iHeigth)
{
    m_IconSize = QSize(iWidth, iHeigth);
    m_pListWidgetImage->setIconSize(m_IconSize);
}

QStringList Thumbnail::GetFilePaths() const
{
    QStringList paths;
    paths.reserve(m_pListWidgetImage->count());
    for (int row = 0; row < m_pListWidgetImage->count(); ++row)
        paths << m_pListWidgetImage->item(row)->data(Qt::UserRole).toString();
    return paths;
}

int Thumbnail::GetIndex(const QString& fileName) const
{
    const QString wanted = fileName.toLower();
    for (int row = 0; row < m_pListWidgetImage->count(); ++row) {
        if (m_pListWidgetImage->item(row)->data(kLowerPathRole).toString() == wanted)
            return row;
    }
    return -1;
}

bool Thumbnail::RemoveItem(int itemIndex, bool isDel)
{
    if (itemIndex < 0 || itemIndex >= m_pListWidgetImage->count())
        return false;
    const QString path = takeRow(itemIndex);
    if (isDel)
        QFile::remove(path);
    return true;
}

int Thumbnail::Count() const
{
    return m_pListWidgetImage->count();
}

QString Thumbnail::takeRow(int row)
{
    std::unique_ptr<QListWidgetItem> item(m_pListWidgetImage->takeItem(row));
    const QString path = item->data(Qt::UserRole).toString();
    m_fileSystemWatcher->removePath(path);
    return path;
}

void Thumbnail::onFileChanged(const QString& path)
{
    const int index = GetIndex(path);
    if (index == -1)
        return;
    if (QFileInfo::exists(path)) {
        // A file replaced by rename (a PDF written again) loses its inotify
        // watch with the old inode: watch the new file so that its later
        // removal still drops the item.
        m_fileSystemWatcher->addPath(path);
        return;
    }
    takeRow(index);
}

// ---- commands

Thumbnail::Targets Thumbnail::liveTargets() const
{
    Targets targets;
    for (QListWidgetItem* selected : m_pListWidgetImage->selectedItems())
        targets.selected << selected->data(Qt::UserRole).toString();
    targets.all = GetFilePaths();
    if (const QListWidgetItem* current = m_pListWidgetImage->currentItem())
        targets.current = current->data(Qt::UserRole).toString();
    return targets;
}

Thumbnail::Targets Thumbnail::targetsOfCommand()
{
    // The menu is not modal: the list may have changed since it opened.
    const auto* action = qobject_cast<const QAction*>(sender());
    return action && action->parent() == m_pMenu ? m_menuTargets : liveTargets();
}

void Thumbnail::onPopupCustomMenu(const QPoint& pos)
{
    Q_UNUSED(pos); // the menu opens at the cursor, wherever the request came from
    m_pMenu->clear();
    m_menuTargets = liveTargets();
    const int n = m_pListWidgetImage->count();
    if (n > 0 && m_pListWidgetImage->selectedItems().isEmpty()) {
        m_pMenu->addAction(tr("Clear"), this, SLOT(onClear()), QKeySequence());
    } else if (n > 0) {
        m_pMenu->addAction(tr("Delete"), this, SLOT(onDelete()), QKeySequence());
        m_pMenu->addAction(tr("Clear"), this, SLOT(onClear()), QKeySequence());
        m_pMenu->addSeparator();
        const int current = m_pListWidgetImage->currentRow();
        if (current > 0)
            m_pMenu->addAction(tr("Move up"), this, SLOT(onMoveUp()), QKeySequence());
        if (current < n - 1)
            m_pMenu->addAction(tr("Move down"), this, SLOT(onMoveDown()), QKeySequence());
    }
    m_pMenu->move(QCursor::pos());
    m_pMenu->show();
}

void Thumbnail::onOpen()
{
    onItemDoubleClicked(m_pListWidgetImage->currentItem());
}

void Thumbnail::onOpenDir()
{
    const int row = m_pListWidgetImage->currentRow();
    if (row == -1)
        return;
    const QString folder =
        QFileInfo(m_pListWidgetImage->item(row)->data(Qt::UserRole).toString()).absolutePath();
    if (!folder.isEmpty())
        DesktopOpener::open(folder);
}

void Thumbnail::onItemDoubleClicked(QListWidgetItem* item)
{
    if (item == nullptr)
        return;
    DesktopOpener::open(item->data(Qt::UserRole).toString());
}

void Thumbnail::onDelete()
{
    const QStringList paths = targetsOfCommand().selected;
    // Where the home trash cannot be made, QFile::moveToTrash moves the file
    // into a "files" folder under the working directory and reports success:
    // refuse rather than hide a photo there.
    const QString homeTrash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                              QStringLiteral("/Trash");
    const bool trashReady = QDir::isAbsolutePath(homeTrash) && QDir().mkpath(homeTrash + QStringLiteral("/files")) &&
                            QDir().mkpath(homeTrash + QStringLiteral("/info"));
    QString failure;
    for (const QString& path : paths) {
        // An item gone since the menu opened is not looked for elsewhere.
        const int row = GetIndex(path);
        if (row == -1)
            continue;
        // The item goes only once its file has: a photo must not vanish from
        // the strip while it stays on disk.
        if (QFileInfo::exists(path) && (!trashReady || !QFile::moveToTrash(path))) {
            const bool writable = QFileInfo(QFileInfo(path).path()).isWritable();
            qDebug().noquote() << "Thumbnail: cannot move to trash:" << path;
            failure = writable ? tr("无法删除：该位置没有回收站") : tr("无法删除：文件夹不可写");
            continue;
        }
        takeRow(row);
    }
    if (!failure.isEmpty())
        emit commandFailed(failure);
}

void Thumbnail::onClear()
{
    for (const QString& path : targetsOfCommand().all) {
        const int row = GetIndex(path);
        if (row != -1)
            takeRow(row);
    }
}

void Thumbnail::onAddImage()
{
    const QStringList fileNameList = chooseImageFiles();
    const int curRow = m_pListWidgetImage->currentRow();
    int row = curRow < 0 ? -1 : curRow + 1;
    for (const QString& fileName : fileNameList) {
        if (AddImage(fileName, row) && row >= 0)
            ++row;
    }
}

QStringList Thumbnail::chooseImageFiles()
{
    std::unique_ptr<QFileDialog> fd(new QFileDialog(this, QString(), QString(), QString()));
    fd->resize(240, 320);
    fd->setNameFilters(QStringList{QStringLiteral("Image files(*.jpg *.png *.bmp)")});
    fd->setFileMode(QFileDialog::ExistingFiles);
    fd->setViewMode(QFileDialog::List);
    if (fd->exec() == QDialog::Accepted)
        return fd->selectedFiles();
    fd->close();
    return QStringList();
}

void Thumbnail::onMoveUp()
{
    moveCurrent(-1);
}

void Thumbnail::onMoveDown()
{
    moveCurrent(+1);
}

// Moves the item that was current when the command was asked for; the item
// keeps its path, so its file stays watched.
void Thumbnail::moveCurrent(int step)
{
    const QString current = targetsOfCommand().current;
    const int from = current.isEmpty() ? -1 : GetIndex(current);
    const int to = from + step;
    if (from < 0 || to < 0 || to >= m_pListWidgetImage->count())
        return;
    m_pListWidgetImage->insertItem(to, m_pListWidgetImage->takeItem(from));
    m_pListWidgetImage->setCurrentRow(to);
}
