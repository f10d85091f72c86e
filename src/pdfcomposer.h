/*
 * Merges pictures into one PDF document: A4 landscape, 300 dpi, margins of
 * 10 pt, one page per picture in list order.
 *
 * Threads: GUI thread (QPdfWriter and QPainter on a paint device).
 */
#ifndef TAVIK_PDFCOMPOSER_H
#define TAVIK_PDFCOMPOSER_H

#include "saveproblem.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace PdfComposer {

// folder + "/Pdf_" + stamp "yy_MM_dd-hh_mm_ss" + ".pdf".
QString outputName(const QString& folder, const QDateTime& when);

// Writes the pictures to outPath, one page each, fitted with the aspect kept
// and placed at the top-left of the printable area, embedded at their own
// resolution. Entries that do not load as pictures (PDFs, missing files) take
// no page; with none loadable the document holds one empty page. One picture
// is in memory at a time. The document goes to a temporary file renamed into
// place when complete, so outPath never holds a partial document.
// Returns false, with one debug line, when the file cannot be written, and
// the cause in *problem when given.
bool compose(const QStringList& pictures, const QString& outPath, SaveProblem* problem = nullptr);

} // namespace PdfComposer

#endif
