#include "pdfcomposer.h"

#include "pdfgreyimages.h"
#include "pdfupdate.h"
#include "photofile.h"
#include "savefilecommit.h"
#include "sparsepdfcopy.h"

#include <QDebug>
#include <QFileInfo>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace PdfComposer {

QString outputName(const QString& folder, const QDateTime& when)
{
    return folder + QStringLiteral("/Pdf_") + when.toString(QStringLiteral("yy_MM_dd-hh_mm_ss")) +
           QStringLiteral(".pdf");
}

static bool fail(const QString& path, const QString& reason, SaveProblem cause, SaveProblem* problem)
{
    qDebug().noquote() << "PDF not written:" << path << "-" << reason;
    if (problem)
        *problem = cause;
    return false;
}

bool composeTo(const QStringList& pictures, QIODevice* device, QVector<PlacedPicture>* placed)
{
    constexpr int kDpi = 300;
    QPdfWriter writer(device);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(kDpi);
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(10, 10, 10, 10));

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    // Viewers smooth the picture when they scale it to the page.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect area = painter.viewport();
    // The painter's pixels start at the printable area's corner; PDF user
    // space is in points from the page's bottom left.
    const QRect printable = writer.pageLayout().paintRectPixels(kDpi);
    const double pageHeight = writer.pageLayout().fullRectPoints().height();
    const double pointsPerPixel = 72.0 / kDpi;
    int pages = 0;
    for (int i = 0; i < pictures.size(); ++i) {
        const QImage picture(pictures.at(i));
        if (picture.isNull())
            continue;
        if (pages > 0)
            writer.newPage();
        const QSize fitted = picture.size().scaled(area.size(), Qt::KeepAspectRatio);
        // A stand-in of its own for every grey picture: QPdfWriter shares
        // one image object between drawings of the same picture.
        const bool grey = placed && PdfGreyImages::isGrey(picture);
        // QPdfWriter keeps a 1-bit picture 1-bit only when its colours are
        // black then white; else it writes a colour JPEG ten times the size.
        painter.drawImage(QRect(QPoint(0, 0), fitted),
                          grey ? QImage(1, 1, QImage::Format_Grayscale8) : PhotoFile::blackThenWhite(picture));
        if (placed) {
            const double left = printable.left() * pointsPerPixel;
            const double top = printable.top() * pointsPerPixel;
            const QRectF rect(left, pageHeight - top - fitted.height() * pointsPerPixel,
                              fitted.width() * pointsPerPixel, fitted.height() * pointsPerPixel);
            placed->append(PlacedPicture{pages, i, rect, picture.size(), grey});
        }
        ++pages;
    }
    painter.end();
    return true;
}

bool compose(const QStringList& pictures, const QString& outPath, SaveProblem* problem, const WordsOf& wordsOf)
{
    const QString folder = QFileInfo(outPath).path();
    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(outPath, file.errorString(), SaveProblems::diagnose(folder), problem);
    // The pages stream to the file; what follows them needs only the
    // document's structure, kept on the way.
    SparsePdfCopy copy(&file);
    copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    QVector<PlacedPicture> placed;
    if (!composeTo(pictures, &copy, &placed)) {
        file.cancelWriting();
        return fail(outPath, QStringLiteral("cannot start painting"), SaveProblem::WriteFailed, problem);
    }
    const bool anyGrey = std::any_of(placed.begin(), placed.end(), [](const PlacedPicture& p) { return p.grey; });
    if (anyGrey || wordsOf) {
        PdfUpdate update;
        QString why;
        bool ok = update.read(copy, &why);
        for (int i = 0; ok && i < placed.size(); ++i) {
            if (placed[i].grey)
                ok = PdfGreyImages::replace(&update, placed[i].page, pictures.at(placed[i].entry), &why);
        }
        if (ok && wordsOf) {
            QVector<QVector<PdfTextLayer::Word>> layers;
            for (const PlacedPicture& p : placed)
                layers.append(wordsOf(p));
            ok = PdfTextLayer::addTo(&update, layers, &why);
        }
        if (!ok) {
            file.cancelWriting();
            return fail(outPath, why, SaveProblem::WriteFailed, problem);
        }
        if (!update.isEmpty())
            file.write(update.bytes());
    }
    SaveProblem cause = SaveProblem::None;
    if (!commitWhole(file, &cause))
        return fail(outPath, file.errorString(), cause, problem);
    if (problem)
        *problem = SaveProblem::None;
    return true;
}

} // namespace PdfComposer
