// The frame pipeline and the photo road, driven in-process with crafted frames
// handed straight to the frame handler (no camera is listed). One camera
// panel serves every case, as in the application.
#include "camerawidget.h"
#include "framepipeline.h"
#include "imageprocloader.h"
#include "testsupport.h"
#include "Thumbnail.h"
#include "camera_testing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace TestSupport;

class FramePipelineTest : public QObject
{
    Q_OBJECT

public slots:
    // QDesktopServices URL handler: records what the panel asked to open.
    void recordUrl(const QUrl& url) { m_openedUrls << url; }

private:
    cameraWidget* m_panel = nullptr; // never deleted: its destructor ends the process
    QLabel* m_preview = nullptr;
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    QList<QUrl> m_openedUrls;

    // The strip's icon list, where the items and the current row live.
    QListWidget* iconList() const { return m_strip->findChild<QListWidget*>(QStringLiteral("ListWidgetImage")); }

    template <typename T> T* child(const char* name) { return m_panel->findChild<T*>(QLatin1String(name)); }

    // Hands a frame to the pipeline on a thread of its own, as the capture
    // library does, so the GUI's part waits for the event loop.
    void feed(const QByteArray& frame, bool throughCallback = false)
    {
        auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(frame.constData()));
        const auto len = static_cast<unsigned long>(frame.size());
        std::thread capture([=] {
            if (throughCallback)
                viewCallck(bytes, len);
            else
                setRgbData(bytes, len);
        });
        capture.join();
    }

    void drain()
    {
        while (!g_imageQueue.isEmpty())
            m_panel->Video_GetPic();
        g_currentInfo.getImageOk = false;
    }

    QStringList photosOnDisk() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }

    // Requests a photo, hands one frame over and waits for the strip to list it.
    QString takePhotoWith(const QByteArray& frame)
    {
        const int before = m_strip->Count();
        child<QPushButton>("TakePhoto")->click();
        feed(frame);
        drain();
        if (!QTest::qWaitFor([&] { return m_strip->Count() > before; }, 3000))
            return QString();
        return m_strip->GetFilePaths().constLast();
    }

    void setRotation(const char* button) { child<QRadioButton>(button)->click(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_panel = TestSupport::panelWithoutCamera();
        m_preview = child<QLabel>("label");
        m_strip = child<Thumbnail>("listWidget");
        QVERIFY(m_preview && m_strip);
    }

    void init()
    {
        drain();
        g_currentInfo.isTakePhoto = false;
        setRotation("radioButton_noRotate");
        if (child<QCheckBox>("DeskImagecheck")->isChecked())
            child<QCheckBox>("DeskImagecheck")->click();
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(0);
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
        m_preview->clear();
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        for (const QString& name : photosOnDisk())
            QFile::remove(m_dir.filePath(name));
    }

    void noCamera_previewPointsToInitButton()
    {
        QCOMPARE(child<QComboBox>("comboBox_devName")->count(), 0);
        // Written by the constructor; init() cleared it, so enumerate again.
        child<QPushButton>("pushButton_initData")->click();
        QVERIFY(m_preview->text().contains(QStringLiteral("初始化摄像头数据")));
        QCOMPARE(m_preview->alignment(), Qt::AlignCenter);
    }

    void tinyOrNullFrames_areIgnored_data()
    {
        QTest::addColumn<bool>("nullBuffer");
        QTest::addColumn<int>("length");
        QTest::newRow("null, 0") << true << 0;
        QTest::newRow("null, 5") << true << 5;
        QTest::newRow("2 bytes") << false << 2;
    }

    void tinyOrNullFrames_areIgnored()
    {
        QFETCH(bool, nullBuffer);
        QFETCH(int, length);
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        if (nullBuffer)
            setRgbData(nullptr, static_cast<unsigned long>(length));
        else
            feed(QByteArray("\xFF\xD8", length));
        QVERIFY(g_imageQueue.isEmpty());
        QVERIFY(!g_currentInfo.getImageOk);
    }

    void shortYuyvFrame_isDropped()
    {
        setStreamParameters(QStringLiteral("YUYV"), 8, 4);
        feed(yuyvOf(8, 4, 128, 128, 128).left(8 * 4 * 2 - 1));
        QVERIFY(g_imageQueue.isEmpty());
        feed(yuyvOf(8, 4, 128, 128, 128));
        QCOMPARE(g_imageQueue.size(), 1);
    }

    void choiceMadeWhileStreamRuns_doesNotResizeItsFrames()
    {
        // The chain records a new choice before it restarts the stream; frames
        // of the running stream keep the size the stream was opened with.
        setStreamParameters(QStringLiteral("YUYV"), 8, 4);
        g_currentInfo.g_pixelFormat = QStringLiteral("YUYV");
        g_currentInfo.g_width = 1920;
        g_currentInfo.g_height = 1080;
        g_currentInfo.g_frmsize = 1920 * 1080;
        feed(yuyvOf(8, 4, 128, 128, 128));
        QCOMPARE(g_imageQueue.size(), 1);
        QCOMPARE(g_imageQueue.head().m_image.size(), QSize(8, 4));
    }

    void frameWhileAnotherWaits_isDropped()
    {
        setStreamParameters(QStringLiteral("YUYV"), 8, 4);
        const QByteArray frame = yuyvOf(8, 4, 128, 128, 128);
        feed(frame, true);
        feed(frame, true);
        QCOMPARE(g_imageQueue.size(), 1);
        m_panel->Video_GetPic();
        QVERIFY(!g_currentInfo.getImageOk);
        feed(frame, true);
        QCOMPARE(g_imageQueue.size(), 1);
    }

    void yuyvFrame_paintsConvertedGrey()
    {
        // Y 128, U 128, V 128 converts to 110, 110, 110 (the 220/256 scaling).
        setStreamParameters(QStringLiteral("YUYV"), 16, 8);
        feed(yuyvOf(16, 8, 128, 128, 128));
        m_panel->Video_GetPic();
        QVERIFY(!m_preview->pixmap(Qt::ReturnByValue).isNull());
        const QImage shown = m_preview->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)), QColor(110, 110, 110));
    }

    void jpegFrame_decoderFollowsFrameSize_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QSize>("queued");
        QTest::newRow("921600 pixels: quarter scale") << 1280 << 720 << QSize(320, 180);
        QTest::newRow("just under 921600 pixels: whole frame") << 1279 << 720 << QSize(1279, 720);
        QTest::newRow("640*480: whole frame") << 640 << 480 << QSize(640, 480);
    }

    void jpegFrame_decoderFollowsFrameSize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QSize, queued);
        setStreamParameters(QStringLiteral("JPEG"), width, height);
        feed(jpegOf(filled(width, height, Qt::darkCyan)));
        QCOMPARE(g_imageQueue.size(), 1);
        QCOMPARE(g_imageQueue.head().m_image.size(), queued);
    }

    void largeFrameWithoutJpegMarker_isDropped()
    {
        setStreamParameters(QStringLiteral("JPEG"), 1280, 720);
        QByteArray frame = jpegOf(filled(1280, 720, Qt::darkCyan));
        frame[0] = 0;
        feed(frame);
        QVERIFY(g_imageQueue.isEmpty());
        QVERIFY(!g_currentInfo.getImageOk);
    }

    void rotation_turnsPreview_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("portrait");
        QTest::newRow("0") << "radioButton_noRotate" << false;
        QTest::newRow("90") << "radioButton_90Rotate" << true;
        QTest::newRow("180") << "radioButton_180Rotate" << false;
        QTest::newRow("270") << "radioButton_270Rotate" << true;
    }

    void rotation_turnsPreview()
    {
        QFETCH(QString, button);
        QFETCH(bool, portrait);
        setRotation(qPrintable(button));
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        // Left half red, right half blue: the turn shows where red ends up.
        QImage scene = filled(640, 480, Qt::blue);
        QPainter(&scene).fillRect(0, 0, 320, 480, Qt::red);
        feed(jpegOf(scene));
        m_panel->Video_GetPic();
        QVERIFY(!m_preview->pixmap(Qt::ReturnByValue).isNull());
        const QImage shown = m_preview->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(shown.height() > shown.width(), portrait);
        // Clockwise: after 90 the left (red) half is on top.
        if (button == QLatin1String("radioButton_90Rotate"))
            QVERIFY(QColor(shown.pixel(shown.width() / 2, 5)).red() > 200);
    }

    void deskewOn_drawsOutline_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("640*480, outline into the JPEG") << 640 << 480;
        QTest::newRow("1280*720, outline into the decoded pixels") << 1280 << 720;
    }

    void deskewOn_drawsOutline()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        setStreamParameters(QStringLiteral("JPEG"), width, height);
        const QByteArray frame = jpegOf(documentScene(width, height, width * 6 / 10, height * 7 / 10));
        feed(frame);
        const QImage plain = g_imageQueue.head().m_image.copy();
        drain();

        child<QCheckBox>("DeskImagecheck")->click();
        QCOMPARE(flag.load(), 1);
        QImage outlined;
        for (int i = 0; i < 5; ++i) { // the library steadies its outline over a few frames
            feed(frame);
            outlined = g_imageQueue.head().m_image.copy();
            drain();
        }
        QCOMPARE(outlined.size(), plain.size());
        QVERIFY(outlined != plain);
    }

    void photo_nameAndPixelSizePerFormat_data()
    {
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<int>("picIndex");
        QTest::addColumn<QString>("rotation");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QSize>("saved");
        QTest::newRow("JPEG as JPG") << "JPEG" << 0 << "radioButton_noRotate" << "jpg" << QSize(1920, 1080);
        QTest::newRow("JPEG as BMP") << "JPEG" << 1 << "radioButton_noRotate" << "bmp" << QSize(1920, 1080);
        QTest::newRow("JPEG as PNG, 90") << "JPEG" << 2 << "radioButton_90Rotate" << "png" << QSize(1080, 1920);
        QTest::newRow("JPEG as JPG, 270") << "JPEG" << 0 << "radioButton_270Rotate" << "jpg" << QSize(1080, 1920);
        QTest::newRow("YUYV as JPG, 180") << "YUYV" << 0 << "radioButton_180Rotate" << "jpg" << QSize(1920, 1080);
        QTest::newRow("YUYV as BMP, 90") << "YUYV" << 1 << "radioButton_90Rotate" << "bmp" << QSize(1080, 1920);
        QTest::newRow("YUYV as PNG") << "YUYV" << 2 << "radioButton_noRotate" << "png" << QSize(1920, 1080);
    }

    void photo_nameAndPixelSizePerFormat()
    {
        QFETCH(QString, pixelFormat);
        QFETCH(int, picIndex);
        QFETCH(QString, rotation);
        QFETCH(QString, suffix);
        QFETCH(QSize, saved);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(picIndex);
        setRotation(qPrintable(rotation));
        setStreamParameters(pixelFormat, 1920, 1080);
        const QByteArray frame = pixelFormat == QLatin1String("YUYV") ? yuyvOf(1920, 1080, 90, 100, 160)
                                                                      : jpegOf(filled(1920, 1080, Qt::darkGreen));
        const QString path = takePhotoWith(frame);
        QVERIFY(!path.isEmpty());
        const QFileInfo file(path);
        QCOMPARE(file.absolutePath(), QFileInfo(m_dir.path()).absoluteFilePath());
        const QRegularExpression pattern(
            QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}:\\d{2}:\\d{2}\\.\\d{1,3}\\.%1$").arg(suffix));
        QVERIFY2(pattern.match(file.fileName()).hasMatch(), qPrintable(file.fileName()));
        QCOMPARE(QImage(path).size(), saved);
        QCOMPARE(photosOnDisk().size(), 1);
    }

    void yuyvPhoto_carriesConvertedPixels()
    {
        // (Y 100, U 128, V 200) converts to R 170, G 42, B 85; PNG keeps them exact.
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(2);
        setStreamParameters(QStringLiteral("YUYV"), 8, 4);
        const QString path = takePhotoWith(yuyvOf(8, 4, 100, 128, 200));
        QVERIFY(!path.isEmpty());
        const QImage photo(path);
        QCOMPARE(photo.size(), QSize(8, 4));
        QCOMPARE(QColor(photo.pixel(3, 2)), QColor(170, 42, 85));
    }

    void deskewPhoto_savesStraightenedPage()
    {
        child<QCheckBox>("DeskImagecheck")->click();
        setStreamParameters(QStringLiteral("JPEG"), 1920, 1080);
        const QString path = takePhotoWith(jpegOf(documentScene(1920, 1080, 1200, 850, 5)));
        QVERIFY(!path.isEmpty());
        const QImage page(path);
        QVERIFY(!page.isNull());
        QVERIFY2(page.width() < 1920 && page.height() < 1080, qPrintable(QStringLiteral("%1x%2").arg(page.width()).arg(page.height())));
        const double aspect = double(page.width()) / page.height();
        QVERIFY2(qAbs(aspect - 1200.0 / 850.0) < 0.12, qPrintable(QString::number(aspect)));
    }

    void threeClicksBeforeAFrame_giveOnePhoto()
    {
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        for (int i = 0; i < 3; ++i)
            child<QPushButton>("TakePhoto")->click();
        const QByteArray frame = jpegOf(filled(640, 480, Qt::gray));
        feed(frame);
        drain();
        feed(frame);
        drain();
        QTRY_COMPARE(m_strip->Count(), 1);
        QTest::qWait(50);
        QCOMPARE(photosOnDisk().size(), 1);
    }

    void damagedJpegFrame_givesNoFile_andConsumesRequest()
    {
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        child<QPushButton>("TakePhoto")->click();
        QByteArray damaged("\xFF\xD8\xFF\xE0", 4);
        damaged.append(QByteArray(2000, '\x5A'));
        feed(damaged);
        QVERIFY(!g_currentInfo.isTakePhoto);
        drain();
        feed(jpegOf(filled(640, 480, Qt::gray)));
        drain();
        QTest::qWait(50);
        QVERIFY(photosOnDisk().isEmpty());
        QCOMPARE(m_strip->Count(), 0);
    }

    void unwritableFolder_givesNoFile_andOneLogLine_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing folder") << "missing/deeper";
        QTest::newRow("a file, not a folder") << "plain-file";
    }

    void unwritableFolder_givesNoFile_andOneLogLine()
    {
        QFETCH(QString, folder);
        QFile plain(m_dir.filePath(QStringLiteral("plain-file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString target = m_dir.filePath(folder);
        child<QLineEdit>("lineEdit")->setText(target);
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        LogCapture log;
        child<QPushButton>("TakePhoto")->click();
        feed(jpegOf(filled(640, 480, Qt::gray)));
        drain();
        QVERIFY(!g_currentInfo.isTakePhoto);
        QTest::qWait(50);
        QCOMPARE(log.countContaining(target), 1);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"plain-file"});
        QCOMPARE(m_strip->Count(), 0);
    }

    void newPhoto_joinsStripAtTheEnd_asCurrent()
    {
        const QString earlier = m_dir.filePath(QStringLiteral("earlier.png"));
        QVERIFY(filled(20, 10, Qt::yellow).save(earlier));
        QVERIFY(m_strip->AddImage(earlier, -1));
        iconList()->setCurrentRow(0);
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        const QString path = takePhotoWith(jpegOf(filled(640, 480, Qt::gray)));
        QCOMPARE(m_strip->GetFilePaths(), (QStringList{earlier, path}));
        QCOMPARE(iconList()->currentRow(), 1);
    }

    void makePdf_pagesFollowStripOrder_andPdfJoinsStrip()
    {
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
        QStringList pictures;
        for (int i = 0; i < colours.size(); ++i) {
            pictures << m_dir.filePath(QStringLiteral("p%1.png").arg(i));
            QVERIFY(filled(400, 300, colours[i]).save(pictures.last()));
            QVERIFY(m_strip->AddImage(pictures.last(), -1));
        }
        MessageBoxCloser closer;
        child<QPushButton>("pushButton")->click();
        QTRY_COMPARE(closer.count, 1);
        QCOMPARE(closer.title, QStringLiteral("提示"));
        const QString pdf = m_strip->GetFilePaths().constLast();
        QCOMPARE(closer.text, QStringLiteral("保存PDF成功\n图片路径:") + pdf);
        QVERIFY(QRegularExpression(QStringLiteral("/Pdf_\\d{2}_\\d{2}_\\d{2}-\\d{2}_\\d{2}_\\d{2}\\.pdf$")).match(pdf).hasMatch());
        QCOMPARE(m_strip->Count(), 4);
        QCOMPARE(iconList()->currentRow(), 3);
        QVERIFY(!iconList()->item(3)->icon().isNull());

        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished(10000));
        const QString details = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(details.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))), qPrintable(details));
        // A4 landscape, 841.89 x 595.28 pt (pdfinfo rounds whole-point boxes).
        const QRegularExpressionMatch box =
            QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(details);
        QVERIFY2(box.hasMatch(), qPrintable(details));
        QVERIFY(qAbs(box.captured(1).toDouble() - 841.89) < 0.6);
        QVERIFY(qAbs(box.captured(2).toDouble() - 595.28) < 0.6);
        QCOMPARE(firstPageColour(pdf), QStringLiteral("red"));

        // "Move up" on green makes it the first page of the next composition.
        iconList()->setCurrentRow(1);
        m_strip->onMoveUp();
        QTest::qWait(1100); // a new name: compositions within one second share it
        child<QPushButton>("pushButton")->click();
        QTRY_COMPARE(closer.count, 2);
        QCOMPARE(firstPageColour(m_strip->GetFilePaths().constLast()), QStringLiteral("green"));
    }

    void openDir_opensFolderWithAwkwardName_asLocalFile()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordUrl");
        const QString folder = m_dir.filePath(QStringLiteral("scans #1 ?50%"));
        QVERIFY(QDir().mkpath(folder));
        child<QLineEdit>("lineEdit")->setText(folder);
        m_openedUrls.clear();
        child<QPushButton>("pushButton_openDir")->click();
        QCOMPARE(m_openedUrls.size(), 1);
        QCOMPARE(m_openedUrls.first().toLocalFile(), folder);

        child<QLineEdit>("lineEdit")->setText(m_dir.filePath(QStringLiteral("gone")));
        child<QPushButton>("pushButton_openDir")->click();
        QCOMPARE(m_openedUrls.size(), 1);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

private:
    // Renders page 1 small and names the primary colour near the drawing area's top-left.
    QString firstPageColour(const QString& pdf)
    {
        const QString prefix = m_dir.filePath(QStringLiteral("render"));
        QProcess render;
        render.start(QStringLiteral("pdftoppm"), {"-r", "20", "-f", "1", "-l", "1", "-png", pdf, prefix});
        if (!render.waitForFinished(10000))
            return QString();
        const QStringList pages = QDir(m_dir.path()).entryList({"render*.png"});
        if (pages.isEmpty())
            return QString();
        const QImage page(m_dir.filePath(pages.first()));
        for (const QString& name : pages)
            QFile::remove(m_dir.filePath(name));
        const QColor c(page.pixel(page.width() / 10, page.height() / 4));
        if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
            return QStringLiteral("red");
        if (c.green() > 200 && c.red() < 60 && c.blue() < 60)
            return QStringLiteral("green");
        if (c.blue() > 200 && c.red() < 60 && c.green() < 60)
            return QStringLiteral("blue");
        return c.name();
    }
};

QTEST_MAIN(FramePipelineTest)
#include "tst_framepipeline.moc"
