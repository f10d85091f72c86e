#ifndef TAVIK_PDFUPDATE_H
#define TAVIK_PDFUPDATE_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

class SparsePdfCopy;

// Adds to a PDF that QPdfWriter wrote, as an incremental update: the
// document's bytes stay as they are, and new objects, new versions of the
// objects it changes, a cross-reference section and a trailer follow them.
// It reads what QPdfWriter writes: a classic cross-reference table, one flat
// page tree, each page's contents and resources as objects of their own.
//
// One thread at a time.
class PdfUpdate
{
public:
    // Reads the structure of the document written through copy. False, with
    // the reason in *why, when it is not one it can read.
    bool read(const SparsePdfCopy& copy, QString* why);

    int pageCount() const { return m_pages.size(); }

    // A new object with this body; its number.
    int add(const QByteArray& body);
    // A new stream object holding data, deflated unless told otherwise;
    // keys go into its dictionary (" /Type /XObject ...").
    int addStream(const QByteArray& data, const QByteArray& keys = QByteArray(), bool deflate = true);
    // A new version of an existing object.
    void replace(int number, const QByteArray& body);

    // The one image page i draws, or -1 when it names none or several.
    int pageImage(int page) const;
    // Page i draws content stream `stream` after what it draws already,
    // starting from the page's default space.
    bool addPageContent(int page, int stream, QString* why);
    // Page i's resources name font object `font` as /name.
    bool addPageFont(int page, const QByteArray& name, int font, QString* why);

    bool isEmpty() const { return m_objects.isEmpty(); }
    // The update, to follow the document's bytes.
    QByteArray bytes() const;

private:
    QByteArray object(int number) const;
    // The current text of a page or resources object (changed or as read).
    QByteArray current(int number) const;

    const SparsePdfCopy* m_copy = nullptr;
    QMap<int, qint64> m_offsets;        // object number -> offset in the document
    QVector<int> m_pages;               // page objects in page order
    QVector<int> m_resources;           // each page's resources object
    int m_root = -1;
    int m_info = -1;
    qint64 m_xref = -1;                 // the document's cross-reference table
    qint64 m_length = 0;                // the document's length
    int m_next = 0;                     // the next free object number
    int m_wrapStart = -1;               // shared "q" and "Q" streams, once made
    int m_wrapEnd = -1;
    QMap<int, QByteArray> m_objects;    // the update: object number -> body
};

#endif // TAVIK_PDFUPDATE_H
