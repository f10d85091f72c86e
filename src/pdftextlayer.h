#ifndef TAVIK_PDFTEXTLAYER_H
#define TAVIK_PDFTEXTLAYER_H

#include <QString>
#include <QVector>

class PdfUpdate;

// Lays invisible text over the pages of a PDF that QPdfWriter wrote, so that
// viewers find, select and copy the words where they stand and text tools
// extract them, while every page looks exactly as before.
//
// The text goes into an update of the document (PdfUpdate): an embedded font
// that draws nothing, its map from character codes to Unicode, one content
// stream per page in text render mode 3, the pages and resources that name
// them.
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

// Lays pages[i]'s words over page i (pages without words, and pages beyond
// the list, stay as they are). False, with the reason in *why, when the
// document has fewer pages or pages it cannot add to.
bool addTo(PdfUpdate* update, const QVector<QVector<Word>>& pages, QString* why);

} // namespace PdfTextLayer

#endif // TAVIK_PDFTEXTLAYER_H
