// Pages of known text for measuring recognition: an office letter in
// Chinese and English, a table, a receipt. Each is drawn at print resolution
// and laid on a desk the way a document camera sees it.
#ifndef TAVIK_BENCH_TEXTPAGES_H
#define TAVIK_BENCH_TEXTPAGES_H

#include <QImage>
#include <QString>
#include <QStringList>

namespace TextPages {

struct Page {
    QString name;
    QImage image;   // the sheet alone, white paper
    QString text;   // what is printed on it, lines separated by '\n'
};

// "letter", "table", "receipt".
QStringList names();
Page make(const QString& name);

// The page turned by `degrees` on a desk of frame's size, filling about 85%
// of its height (clear of the virtual camera's moving marker near the
// bottom), as the camera's picture.
QImage onDesk(const Page& page, QSize frame, double degrees);

} // namespace TextPages

#endif
