// The image modes in the window: the form each mode's photo is written in,
// and the preview in the mode with the page's outline still in its colours.
// The modes' own pixels: tests/imageproc/tst_imageproc_enhance.cpp.
#include "Thumbnail.h"
#include "mainwidget.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

using namespace TestSupport;

namespace {

// A page with lines of print under a lamp that lights its left side more,
// on a dark desk.
QImage pageUnderLamp(QSize frame)
{
    QImage scene = filled(frame.width(), frame.height(), QColor(60, 48, 40));
    QPainter p(&scene);
    const QRect page(frame.width() / 5, frame.height() / 10, frame.width() * 3 / 5, frame.height() * 8 / 10);
    QLinearGradient lamp(page.topLeft(), page.topRight());
    lamp.setColorAt(0, QColor(235, 232, 225));
    lamp.setColorAt(1, QColor(150, 146, 140));
    p.fillRect(page, lamp);
    for (int y = page.top() + 30; y < page.bottom() - 30; y += 24)
        p.fillRect(page.left() + 30, y, page.width() - 60, 6, QColor(30, 30, 34));
    return scene;
}

bool grey(QRgb c)
{
    return qAbs(qRed(c) - qGreen(c)) < 8 && qAbs(qGreen(c) - qBlue(c)) < 8;
}

} // namespace

Q_DECLARE_METATYPE(QImage::Format)

class ImageModesTest : public QObject
{
    Q_OBJECT

    MainWidget* m_window = nullptr; // never deleted: destroying it ends the process
    cameraWidget* m_panel = nullptr;
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    const QSize m_frame{640, 480};

    template <typename T> T* child(const char* name) { return m_window->findChild<T*>(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        onlyVirtualCamera(false);
        m_window = new MainWidget;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_panel = m_window->findChild<cameraWidget*>();
        m_strip = child<Thumbnail>("listWidget");
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
        setStreamParameters(QStringLiteral("JPEG"), m_frame.width(), m_frame.height());
        auto* modes = child<QComboBox>("comboBox_colorMode");
        QVERIFY(modes && modes->isEnabled());
        QCOMPARE(modes->currentText(), QStringLiteral("原图"));
        QStringList items;
        for (int i = 0; i < modes->count(); ++i)
            items << modes->itemText(i);
        QCOMPARE(items, (QStringList{"原图", "文档", "灰度", "黑白"}));
    }

    void photo_writtenInTheModesForm_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("picIndex"); // 0 JPG, 1 BMP, 2 PNG
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<bool>("flattened"); // the lamp's falloff gone from the paper
        QTest::newRow("原图 PNG") << "原图" << 2 << QImage::Format_RGB32 << false;
        QTest::newRow("文档 PNG keeps colour") << "文档" << 2 << QImage::Format_RGB32 << true;
        QTest::newRow("灰度 JPG, 8-bit grey") << "灰度" << 0 << QImage::Format_Grayscale8 << true;
        QTest::newRow("黑白 PNG, 1-bit") << "黑白" << 2 << QImage::Format_Mono << true;
        QTest::newRow("黑白 BMP, 1-bit") << "黑白" << 1 << QImage::Format_Mono << true;
        QTest::newRow("黑白 JPG, 8-bit grey") << "黑白" << 0 << QImage::Format_Grayscale8 << true;
    }

    void photo_writtenInTheModesForm()
    {
        QFETCH(QString, mode);
        QFETCH(int, picIndex);
        QFETCH(QImage::Format, format);
        QFETCH(bool, flattened);
        child<QComboBox>("comboBox_colorMode")->setCurrentText(mode);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(picIndex);
        const int before = m_strip->Count();
        child<QPushButton>("TakePhoto")->click();
        feed(jpegOf(pageUnderLamp(m_frame)));
        drain(m_panel);
        QVERIFY(QTest::qWaitFor([&] { return m_strip->Count() > before; }, 3000));
        const QImage photo(m_strip->GetFilePaths().constLast());
        QCOMPARE(photo.format(), format);
        QCOMPARE(photo.size(), m_frame);
        // Between two lines of print, at the lit and the dim side of the page.
        const int y = m_frame.height() / 10 + 30 + 6 + 9;
        const int lit = qGray(photo.pixel(m_frame.width() / 5 + 40, y));
        const int dim = qGray(photo.pixel(m_frame.width() * 4 / 5 - 40, y));
        if (flattened)
            QVERIFY2(lit > 235 && dim > 235, qPrintable(QStringLiteral("%1 %2").arg(lit).arg(dim)));
        else
            QVERIFY2(lit - dim > 50, qPrintable(QStringLiteral("%1 %2").arg(lit).arg(dim)));
        QVERIFY(qGray(photo.pixel(m_frame.width() / 2, m_frame.height() / 10 + 30 + 3)) < 100); // print stays dark
    }

    // With deskew on, the preview shows the mode, and the outline keeps its colour.
    void preview_inTheMode_outlineInItsColour()
    {
        child<QComboBox>("comboBox_colorMode")->setCurrentText(QStringLiteral("灰度"));
        child<QCheckBox>("DeskImagecheck")->click();
        const QByteArray frame = jpegOf(pageUnderLamp(m_frame));
        QImage shown;
        for (int i = 0; i < 5; ++i) { // the library steadies its outline over a few frames
            feed(frame);
            shown = g_imageQueue.head().m_image.convertToFormat(QImage::Format_RGB32);
            drain(m_panel);
        }
        child<QCheckBox>("DeskImagecheck")->click();
        child<QComboBox>("comboBox_colorMode")->setCurrentText(QStringLiteral("原图"));
        int coloured = 0, total = 0;
        for (int y = 0; y < shown.height(); y += 2) {
            for (int x = 0; x < shown.width(); x += 2, ++total)
                coloured += !grey(shown.pixel(x, y));
        }
        QVERIFY2(coloured > 0 && coloured < total / 20, qPrintable(QStringLiteral("%1 of %2").arg(coloured).arg(total)));
    }

    void cleanupTestCase()
    {
        windDown(m_panel);
    }
};

QTEST_MAIN(ImageModesTest)
#include "tst_imagemodes.moc"
