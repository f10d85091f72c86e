// Draws the application icon, a document camera over a page, as PNGs in the
// freedesktop theme sizes and as a scalable SVG, both from one list of shapes
// so the two never drift apart.
//
//   tavik_draw_icon OUTPUT_DIR
// writes OUTPUT_DIR/<N>x<N>/tavikApp.png and OUTPUT_DIR/scalable/tavikApp.svg.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>
#include <QVector>

#include <cstdio>

namespace {

// The icon lives in a 256-unit square; every size is a scaled copy.
constexpr int kDesignSize = 256;

struct Shape {
    enum Kind { Polygon, RoundedRect, Circle, Line };
    Kind kind;
    // Polygon: the corners; RoundedRect: top-left and bottom-right;
    // Circle: the centre; Line: the two ends.
    QVector<QPointF> points;
    qreal radius;  // corner radius or circle radius
    QColor fill;   // invalid: not filled
    QColor stroke; // invalid: no outline
    qreal strokeWidth;
};

QVector<Shape> iconShapes()
{
    const QColor none;
    const QColor metal(0x37, 0x47, 0x4f);
    const QColor head(0x26, 0x32, 0x38);
    const QColor pageEdge(0x54, 0x6e, 0x7a);
    const QColor ink(0x90, 0xa4, 0xae);
    QColor light(0xff, 0xd5, 0x4f);
    light.setAlphaF(0.45);
    return {
        // the page on the desk, seen from the user's chair
        {Shape::Polygon, {{44, 190}, {172, 190}, {198, 244}, {14, 244}}, 0, Qt::white, pageEdge, 5},
        {Shape::Line, {{50, 207}, {150, 207}}, 0, none, ink, 7},
        {Shape::Line, {{42, 224}, {172, 224}}, 0, none, ink, 7},
        // the camera's light falling on the page
        {Shape::Polygon, {{112, 104}, {140, 104}, {172, 190}, {44, 190}}, 0, light, none, 0},
        // stand: foot, pole, arm
        {Shape::RoundedRect, {{190, 228}, {248, 248}}, 7, metal, none, 0},
        {Shape::RoundedRect, {{210, 40}, {228, 236}}, 8, metal, none, 0},
        {Shape::RoundedRect, {{100, 40}, {228, 58}}, 9, metal, none, 0},
        // camera head and lens looking down
        {Shape::RoundedRect, {{88, 48}, {164, 96}}, 12, head, none, 0},
        {Shape::Circle, {{126, 96}}, 17, QColor(0x4f, 0xc3, 0xf7), head, 6},
        {Shape::Circle, {{120, 90}}, 5, Qt::white, none, 0},
    };
}

void paintShape(QPainter& painter, const Shape& shape)
{
    painter.setBrush(shape.fill.isValid() ? QBrush(shape.fill) : QBrush(Qt::NoBrush));
    if (shape.stroke.isValid())
        painter.setPen(QPen(shape.stroke, shape.strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        painter.setPen(Qt::NoPen);
    switch (shape.kind) {
    case Shape::Polygon:
        painter.drawPolygon(QPolygonF(shape.points));
        break;
    case Shape::RoundedRect:
        painter.drawRoundedRect(QRectF(shape.points[0], shape.points[1]), shape.radius, shape.radius);
        break;
    case Shape::Circle:
        painter.drawEllipse(shape.points[0], shape.radius, shape.radius);
        break;
    case Shape::Line:
        painter.drawLine(shape.points[0], shape.points[1]);
        break;
    }
}

bool writePng(const QVector<Shape>& shapes, int size, const QString& path)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(qreal(size) / kDesignSize, qreal(size) / kDesignSize);
    for (const Shape& shape : shapes)
        paintShape(painter, shape);
    painter.end();
    return image.save(path, "PNG");
}

QString svgPaint(const Shape& shape)
{
    QString paint;
    if (shape.fill.isValid()) {
        paint += QStringLiteral(" fill=\"%1\"").arg(shape.fill.name());
        if (shape.fill.alpha() != 255)
            paint += QStringLiteral(" fill-opacity=\"%1\"").arg(shape.fill.alphaF(), 0, 'g', 3);
    } else {
        paint += QStringLiteral(" fill=\"none\"");
    }
    if (shape.stroke.isValid())
        paint += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"round\" stroke-linejoin=\"round\"")
                     .arg(shape.stroke.name())
                     .arg(shape.strokeWidth);
    return paint;
}

bool writeSvg(const QVector<Shape>& shapes, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    QTextStream out(&file);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kDesignSize << "\" height=\"" << kDesignSize
        << "\" viewBox=\"0 0 " << kDesignSize << ' ' << kDesignSize << "\">\n";
    for (const Shape& shape : shapes) {
        const QPointF& a = shape.points[0];
        switch (shape.kind) {
        case Shape::Polygon: {
            QStringList corners;
            for (const QPointF& p : shape.points)
                corners << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
            out << "  <polygon points=\"" << corners.join(QLatin1Char(' ')) << '"';
            break;
        }
        case Shape::RoundedRect: {
            const QPointF& b = shape.points[1];
            out << "  <rect x=\"" << a.x() << "\" y=\"" << a.y() << "\" width=\"" << b.x() - a.x() << "\" height=\""
                << b.y() - a.y() << "\" rx=\"" << shape.radius << '"';
            break;
        }
        case Shape::Circle:
            out << "  <circle cx=\"" << a.x() << "\" cy=\"" << a.y() << "\" r=\"" << shape.radius << '"';
            break;
        case Shape::Line: {
            const QPointF& b = shape.points[1];
            out << "  <line x1=\"" << a.x() << "\" y1=\"" << a.y() << "\" x2=\"" << b.x() << "\" y2=\"" << b.y() << '"';
            break;
        }
        }
        out << svgPaint(shape) << "/>\n";
    }
    out << "</svg>\n";
    return out.status() == QTextStream::Ok;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QVector<Shape> shapes = iconShapes();
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1x%1").arg(size);
        const QString path = out.filePath(dir + QStringLiteral("/tavikApp.png"));
        if (!out.mkpath(dir) || !writePng(shapes, size, path)) {
            fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    if (!out.mkpath(QStringLiteral("scalable")) || !writeSvg(shapes, out.filePath(QStringLiteral("scalable/tavikApp.svg"))))
        return 1;
    return 0;
}
