#include "pdfgreyimages.h"

#include "pdfupdate.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

namespace PdfGreyImages {

namespace {

// QPdfWriter's own quality for the pictures it encodes.
constexpr int kJpegQuality = 94;

// The file's bytes when they are a JPEG of one grey channel, which a PDF
// takes as they are; else empty.
QByteArray greyJpegBytes(const QString& path)
{
    QImageReader reader(path);
    if (reader.format() != "jpeg" || reader.imageFormat() != QImage::Format_Grayscale8)
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

bool isGrey(const QImage& picture)
{
    return picture.format() == QImage::Format_Grayscale8
        || (picture.format() == QImage::Format_Indexed8 && picture.isGrayscale());
}

bool replace(PdfUpdate* update, int page, const QString& path, QString* why)
{
    const int image = update->pageImage(page);
    if (image < 0) {
        *why = QStringLiteral("page %1 does not draw one picture").arg(page + 1);
        return false;
    }
    QSize size;
    QByteArray jpeg = greyJpegBytes(path);
    if (!jpeg.isEmpty()) {
        size = QImageReader(path).size();
    } else {
        const QImage picture(path);
        if (!isGrey(picture)) {
            *why = QStringLiteral("%1 is no longer a grey picture").arg(path);
            return false;
        }
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        size = grey.size();
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(kJpegQuality);
        if (!writer.write(grey)) {
            *why = writer.errorString();
            return false;
        }
    }
    const QByteArray keys = " /Type /XObject /Subtype /Image /Width " + QByteArray::number(size.width()) + " /Height "
        + QByteArray::number(size.height()) + " /BitsPerComponent 8 /ColorSpace /DeviceGray /Filter /DCTDecode";
    const QByteArray body = "<< /Length " + QByteArray::number(jpeg.size()) + keys + " >>\nstream\n" + jpeg
        + "\nendstream";
    update->replace(image, body);
    return true;
}

} // namespace PdfGreyImages
