#include "photofile.h"

#include "savefilecommit.h"

#include <QDebug>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QTransform>

namespace PhotoFile {

QString suffixForIndex(int picIndex)
{
    switch (picIndex) {
    case 1:
        return QStringLiteral("bmp");
    case 2:
        return QStringLiteral("png");
    default:
        return QStringLiteral("jpg");
    }
}

QString fileName(const QString& folder, int picIndex, const QDateTime& when)
{
    // The last field is the milliseconds as a plain number (7 ms gives ".7",
    // 70 ms ".70"); Qt 5.15's "z" would give the fraction ".007" instead.
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss.")) +
                          QString::number(when.time().msec());
    // One multi-argument substitution: a "%2" inside the folder text stays text.
    return QStringLiteral("%1/%2.%3").arg(folder, stamp, suffixForIndex(picIndex));
}

QImage rotated(const QImage& image, int angle)
{
    if (angle == 0)
        return image;
    QTransform turn;
    turn.rotate(angle);
    return image.transformed(turn, Qt::SmoothTransformation);
}

static bool fail(const QString& path, const QString& reason)
{
    qDebug().noquote() << "photo not saved:" << path << "-" << reason;
    return false;
}

bool save(const QImage& image, const QString& path)
{
    if (image.isNull())
        return fail(path, QStringLiteral("no picture (frame did not decode)"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(path, file.errorString());
    QImageWriter writer(&file, QFileInfo(path).suffix().toLower().toLatin1());
    if (!writer.write(image)) {
        file.cancelWriting();
        return fail(path, writer.errorString());
    }
    if (!commitWhole(file))
        return fail(path, file.errorString());
    return true;
}

} // namespace PhotoFile
