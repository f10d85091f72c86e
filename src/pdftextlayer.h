#ifndef TAVIK_PDFTEXTLAYER_H
#define TAVIK_PDFTEXTLAYER_H

#include <QByteArray>
#include <QString>
#include <QVector>

// Lays invisible text over the pages of a PDF that QPdfWriter wrote, so that
// viewers find, select and copy the words where they stand and text tools
// extract them, while every page looks exactly as before.
//
// The text goes in as an incremental update: the document's own bytes stay
// as they are, and new objects follow them (an embedded font that draws
// nothing, its map from character codes to Unicode, one content stream per
// page in text render mode 3, the pages and resources that name them).
//
// Any thread.
namespace PdfTextLayer {

// In the page's PDF user space: points, origin at the bottom left.
struct Word {
    double left = 0;
    double bottom = 0;
    double width = 0;
    double height = 0;    // the size of the text: the box spans the font's em
    QString text;
};

// Appends pages[i]'s words to page i of pdf (pages without words, and pages
// beyond the list, stay as they are). False, with the reason in *why and
// pdf untouched, when the document is not one it can read or has fewer pages.
bool append(QByteArray* pdf, const QVector<QVector<Word>>& pages, QString* why);

} // namespace PdfTextLayer

#endif // TAVIK_PDFTEXTLAYER_H
