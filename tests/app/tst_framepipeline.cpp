// The frame pipeline and the photo road, driven in-process with crafted frames
// handed straight to the frame handler. One camera panel serves every case.
#include "Thumbnail.h"
#include "imageprocloader.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class FramePipelineTest : public QObject
{
    Q_OBJECT

    cameraWidget* m_panel = nullptr; // never deleted: its destructor ends the process
    QLabel* m_preview = nullptr;
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;

    QListWidget* iconList() const { return m_strip->findChild<QListWidget*>(QStringLiteral("ListWidgetImage")); }
    template <typename T> T* child(const char* name) { return m_panel->findChild<T*>(QLatin1String(name)); }
    QImage shown() const { return m_preview->pixmap(Qt::ReturnByValue).toImage(); }
    QStringList filesOnDisk() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }

    // Requests a photo, hands one frame over and returns the path the strip lists.
    QString takePhotoWith(const QByteArray& frame)
    {
        const int before = m_strip->Count();
        child<QPushButton>("TakePhoto")->click();
        feed(frame);
        drain(m_panel);
        if (!QTest::qWaitFor([&] { return m_strip->Count() > before; }, 3000))
            return QString();
        return m_strip->GetFilePaths().constLast();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_panel = panelWithoutCamera();
        m_preview = child<QLabel>("label");
        m_strip = child<Thumbnail>("listWidget");
        QVERIFY(m_preview && m_strip);
    }

    void init()
    {
        drain(m_panel);
        g_currentInfo.isTakePhoto = false;
        child<QRadioButton>("radioButton_noRotate")->click();
        if (child<QCheckBox>("DeskImagecheck")->isChecked())
            child<QCheckBox>("DeskImagecheck")->click();
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(0);
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
        m_preview->clear();
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        for (const QString& name : filesOnDisk())
            QFile::remove(m_dir.filePath(name));
    }

    void frame_queuedAtDecodedSizeOrDropped_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("frame"); // null: a null buffer of nullLength bytes
        QTest::addColumn<int>("nullLength");
        QTest::addColumn<QSize>("queued"); // invalid: dropped
        const QByteArray yuyv = yuyvOf(8, 4, 128, 128, 128);
        QByteArray unmarked = jpegOf(filled(1280, 720, Qt::darkCyan));
        unmarked[0] = 0;
        QTest::newRow("null, 0") << "JPEG" << QSize(640, 480) << QByteArray() << 0 << QSize();
        QTest::newRow("2 bytes") << "JPEG" << QSize(640, 480) << QByteArray("\xFF\xD8", 2) << 0 << QSize();
        QTest::newRow("YUYV one byte short") << "YUYV" << QSize(8, 4) << yuyv.left(yuyv.size() - 1) << 0 << QSize();
        QTest::newRow("YUYV whole") << "YUYV" << QSize(8, 4) << yuyv << 0 << QSize(8, 4);
        QTest::newRow("large without JPEG marker") << "JPEG" << QSize(1280, 720) << unmarked << 0 << QSize();
        QTest::newRow("921600 pixels: quarter scale")
            << "JPEG" << QSize(1280, 720) << jpegOf(filled(1280, 720, Qt::darkCyan)) << 0 << QSize(320, 180);
        QTest::newRow("just under 921600 pixels: whole frame")
            << "JPEG" << QSize(1279, 720) << jpegOf(filled(1279, 720, Qt::darkCyan)) << 0 << QSize(1279, 720);
    }

    void frame_queuedAtDecodedSizeOrDropped()
    {
        QFETCH(QString, format);
        QFETCH(QSize, size);
        QFETCH(QByteArray, frame);
        QFETCH(int, nullLength);
        QFETCH(QSize, queued);
        setStreamParameters(format, size.width(), size.height());
        if (frame.isNull())
            setRgbData(nullptr, static_cast<unsigned long>(nullLength));
        else
            feed(frame);
        QCOMPARE(g_imageQueue.size(), queued.isValid() ? 1 : 0);
        QCOMPARE(g_currentInfo.getImageOk.load(), queued.isValid());
        if (queued.isValid())
            QCOMPARE(g_imageQueue.head().m_image.size(), queued);
    }

    void choiceMadeWhileStreamRuns_doesNotResizeItsFrames()
    {
        // The chain records a new choice before it restarts the stream.
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

    void rotation_turnsPreview_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("portrait");
        QTest::newRow("90") << "radioButton_90Rotate" << true;
        QTest::newRow("180") << "radioButton_180Rotate" << false;
    }

    void rotation_turnsPreview()
    {
        QFETCH(QString, button);
        QFETCH(bool, portrait);
        child<QRadioButton>(qPrintable(button))->click();
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        // Left half red, right half blue: the turn shows where red ends up.
        QImage scene = filled(640, 480, Qt::blue);
        QPainter(&scene).fillRect(0, 0, 320, 480, Qt::red);
        feed(jpegOf(scene));
        m_panel->Video_GetPic();
        const QImage image = shown();
        QVERIFY(!image.isNull());
        QCOMPARE(image.height() > image.width(), portrait);
        if (button == QLatin1String("radioButton_90Rotate")) // clockwise: red on top
            QVERIFY(QColor(image.pixel(image.width() / 2, 5)).red() > 200);
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
        drain(m_panel);
        child<QCheckBox>("DeskImagecheck")->click();
        QCOMPARE(flag.load(), 1);
        QImage outlined;
        for (int i = 0; i < 5; ++i) { // the library steadies its outline over a few frames
            feed(frame);
            outlined = g_imageQueue.head().m_image.copy();
            drain(m_panel);
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
        QTest::newRow("JPEG as PNG, 90") << "JPEG" << 2 << "radioButton_90Rotate" << "png" << QSize(1080, 1920);
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
        child<QRadioButton>(qPrintable(rotation))->click();
        setStreamParameters(pixelFormat, 1920, 1080);
        const QString path = takePhotoWith(pixelFormat == QLatin1String("YUYV") ? yuyvOf(1920, 1080, 90, 100, 160)
                                                                               : jpegOf(filled(1920, 1080, Qt::darkGreen)));
        QVERIFY(!path.isEmpty());
        const QFileInfo file(path);
        QCOMPARE(file.absolutePath(), QFileInfo(m_dir.path()).absoluteFilePath());
        const QRegularExpression pattern(
            QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}:\\d{2}:\\d{2}\\.\\d{1,3}\\.%1$").arg(suffix));
        QVERIFY2(pattern.match(file.fileName()).hasMatch(), qPrintable(file.fileName()));
        QCOMPARE(QImage(path).size(), saved);
        QCOMPARE(filesOnDisk().size(), 1);
    }

    void yuyvPhoto_carriesConvertedPixels()
    {
        // (Y 100, U 128, V 200) converts to R 170, G 42, B 85; PNG keeps them exact.
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(2);
        setStreamParameters(QStringLiteral("YUYV"), 8, 4);
        const QImage photo(takePhotoWith(yuyvOf(8, 4, 100, 128, 200)));
        QCOMPARE(photo.size(), QSize(8, 4));
        QCOMPARE(QColor(photo.pixel(3, 2)), QColor(170, 42, 85));
    }

    void deskewPhoto_savesStraightenedPage()
    {
        child<QCheckBox>("DeskImagecheck")->click();
        setStreamParameters(QStringLiteral("JPEG"), 1920, 1080);
        const QImage page(takePhotoWith(jpegOf(documentScene(1920, 1080, 1200, 850, 5))));
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
        for (int i = 0; i < 2; ++i) {
            feed(frame);
            drain(m_panel);
        }
        QTRY_COMPARE(m_strip->Count(), 1);
        QTest::qWait(50);
        QCOMPARE(filesOnDisk().size(), 1);
    }

    void damagedJpegFrame_givesNoFile_andConsumesRequest()
    {
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        child<QPushButton>("TakePhoto")->click();
        feed(QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(2000, '\x5A'));
        QVERIFY(!g_currentInfo.isTakePhoto);
        drain(m_panel);
        feed(jpegOf(filled(640, 480, Qt::gray)));
        drain(m_panel);
        QTest::qWait(50);
        QVERIFY(filesOnDisk().isEmpty());
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

    void makePdf_confirmsPath_andPdfJoinsStripAsCurrent()
    {
        const QString picture = m_dir.filePath(QStringLiteral("p.png"));
        QVERIFY(filled(400, 300, Qt::red).save(picture));
        QVERIFY(m_strip->AddImage(picture, -1));
        BoxCloser closer;
        child<QPushButton>("pushButton")->click();
        QTRY_COMPARE(closer.texts.size(), 1);
        const QString pdf = m_strip->GetFilePaths().constLast();
        QCOMPARE(closer.titles.first(), QStringLiteral("提示"));
        QCOMPARE(closer.texts.first(), QStringLiteral("保存PDF成功\n图片路径:") + pdf);
        QVERIFY(QRegularExpression(QStringLiteral("/Pdf_\\d{2}_\\d{2}_\\d{2}-\\d{2}_\\d{2}_\\d{2}\\.pdf$")).match(pdf).hasMatch());
        QCOMPARE(m_strip->GetFilePaths(), (QStringList{picture, pdf}));
        QCOMPARE(iconList()->currentRow(), 1);
    }
};

QTEST_MAIN(FramePipelineTest)
#include "tst_framepipeline.moc"
