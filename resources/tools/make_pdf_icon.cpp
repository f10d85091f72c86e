// Draws the strip's icon for PDF entries: a white page with a folded corner
// and a red "PDF" band. Run by make_pdf_icon.sh; the PNG is committed.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal left = 40, top = 12, right = 216, bottom = 244, fold = 56;
    QPainterPath page;
    page.moveTo(left, top);
    page.lineTo(right - fold, top);
    page.lineTo(right, top + fold);
    page.lineTo(right, bottom);
    page.lineTo(left, bottom);
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(page);

    QPainterPath corner;
    corner.moveTo(right - fold, top);
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    corner.closeSubpath();
    p.setBrush(QColor(215, 215, 215));
    p.drawPath(corner);

    p.setPen(QPen(QColor(170, 170, 170), 8, Qt::SolidLine, Qt::RoundCap));
    for (int y = 196; y <= 228; y += 16)
        p.drawLine(QPointF(left + 28, y), QPointF(right - 28, y));

    const QRectF band(12, 96, 232, 84);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawRoundedRect(band, 12, 12);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(70);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(band, Qt::AlignCenter, QStringLiteral("PDF"));
    p.end();
    return icon.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
