#include "pdfcomposer.h"

#include "savefilecommit.h"

#include <QDebug>
#include <QFileInfo>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

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

bool compose(const QStringList& pictures, const QString& outPath, SaveProblem* problem)
{
    const QString folder = QFileInfo(outPath).path();
    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(outPath, file.errorString(), SaveProblems::diagnose(folder), problem);
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(10, 10, 10, 10));

        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            return fail(outPath, QStringLiteral("cannot start painting"), SaveProblem::WriteFailed, problem);
        }
        // Viewers smooth the picture when they scale it to the page.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRect area = painter.viewport();
        bool drawn = false;
        for (const QString& path : pictures) {
            const QImage picture(path);
            if (picture.isNull())
                continue;
            if (drawn)
                writer.newPage();
            const QSize fitted = picture.size().scaled(area.size(), Qt::KeepAspectRatio);
            painter.drawImage(QRect(QPoint(0, 0), fitted), picture);
            drawn = true;
        }
        painter.end();
    }
    SaveProblem cause = SaveProblem::None;
    if (!commitWhole(file, &cause))
        return fail(outPath, file.errorString(), cause, problem);
    if (problem)
        *problem = SaveProblem::None;
    return true;
}

} // namespace PdfComposer
