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

QImage blackThenWhite(const QImage& picture)
{
    if (picture.depth() != 1 || picture.colorCount() != 2)
        return picture;
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    QImage mono = picture.convertToFormat(QImage::Format_Mono);
    const QVector<QRgb> table = mono.colorTable();
    if (table == QVector<QRgb>{black, white})
        return mono;
    if (table != QVector<QRgb>{white, black})
        return picture;
    mono.invertPixels();
    mono.setColorTable({black, white});
    return mono;
}

QString portableName(const QString& path)
{
    const int cut = path.lastIndexOf(QLatin1Char('/')) + 1;
    return path.left(cut) + path.mid(cut).replace(QLatin1Char(':'), QLatin1Char('-'));
}

static bool fail(const QString& path, SaveProblem cause, const QString& detail, SaveProblem* problem)
{
    if (cause == SaveProblem::NameRefused)
        qDebug().noquote() << "photo name refused by the folder's file system:" << path << "- saving without ':'";
    else
        qDebug().noquote() << "photo not saved:" << path << "-" << detail;
    if (problem)
        *problem = cause;
    return false;
}

bool save(const QImage& image, const QString& path, SaveProblem* problem)
{
    if (image.isNull())
        return fail(path, SaveProblem::NoPicture, QStringLiteral("no picture (frame did not decode)"), problem);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        const QFileInfo info(path);
        return fail(path, SaveProblems::diagnose(info.path(), info.fileName()), file.errorString(), problem);
    }
    QImageWriter writer(&file, QFileInfo(path).suffix().toLower().toLatin1());
    if (!writer.write(image)) {
        const SaveProblem cause = SaveProblems::diagnose(QFileInfo(path).path());
        file.cancelWriting();
        return fail(path, cause, writer.errorString(), problem);
    }
    SaveProblem cause = SaveProblem::None;
    if (!commitWhole(file, &cause))
        return fail(path, cause, file.errorString(), problem);
    if (problem)
        *problem = SaveProblem::None;
    return true;
}

SaveProblem saveStamped(const QImage& image, const QString& folder, int picIndex, const QDateTime& when,
                        QString* savedPath)
{
    QString path = fileName(folder, picIndex, when);
    SaveProblem problem = SaveProblem::None;
    if (!save(image, path, &problem) && problem == SaveProblem::NameRefused) {
        path = portableName(path);
        save(image, path, &problem);
    }
    if (savedPath)
        *savedPath = path;
    return problem;
}

} // namespace PhotoFile
