/*
 * Merges pictures into one PDF document: A4 landscape, 300 dpi, margins of
 * 10 pt, one page per picture in list order. Grey pictures stay grey and
 * black-and-white ones 1-bit; an invisible text layer can go over them.
 *
 * Threads: any one thread (QPdfWriter and QPainter on a paint device of its
 * own, pictures only); "合成PDF" without text runs it on the GUI thread.
 */
#ifndef TAVIK_PDFCOMPOSER_H
#define TAVIK_PDFCOMPOSER_H

#include "pdftextlayer.h"
#include "saveproblem.h"

#include <QDateTime>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QIODevice;

namespace PdfComposer {

// Where one picture went: its page (0-based), the rectangle it fills in the
// page's PDF user space (points, origin at the bottom left) and its own size
// in pixels, which the document embeds as it is.
struct PlacedPicture {
    int page = 0;
    int entry = 0;       // index into the list of pictures
    QRectF rectPoints;
    QSize pixels;
    bool grey = false;   // drawn as a stand-in, to be put in place as a grey image
};

// The words to lay over one placed picture, in its page's space.
using WordsOf = std::function<QVector<PdfTextLayer::Word>(const PlacedPicture&)>;

// folder + "/Pdf_" + stamp "yy_MM_dd-hh_mm_ss" + ".pdf".
QString outputName(const QString& folder, const QDateTime& when);

// Writes the pictures to outPath, one page each, fitted with the aspect kept
// and placed at the top-left of the printable area, embedded at their own
// resolution. Entries that do not load as pictures (PDFs, missing files) take
// no page; with none loadable the document holds one empty page. One picture
// is in memory at a time. With wordsOf, each picture's words lie invisibly
// over it. The document goes to a temporary file renamed into place when
// complete, so outPath never holds a partial document.
// Returns false, with one debug line, when the file cannot be written, and
// the cause in *problem when given.
bool compose(const QStringList& pictures, const QString& outPath, SaveProblem* problem = nullptr,
             const WordsOf& wordsOf = WordsOf());

// The pages alone, written to an open device: grey pictures as stand-ins
// (see PdfGreyImages), and where each picture went when placed is given.
// False when painting could not start.
bool composeTo(const QStringList& pictures, QIODevice* device, QVector<PlacedPicture>* placed = nullptr);

} // namespace PdfComposer

#endif
