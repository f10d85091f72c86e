#ifndef TAVIK_PDFGREYIMAGES_H
#define TAVIK_PDFGREYIMAGES_H

#include <QImage>
#include <QString>

class PdfUpdate;

// Grey pictures stay grey in a PDF. QPdfWriter writes every picture that is
// not black-and-white as a colour JPEG, three channels for one; so the
// composer draws a one-pixel stand-in where a grey picture goes, and this
// puts the picture in its place as a DeviceGray JPEG: the file's own bytes
// when it is a grey JPEG (no second loss), else its pixels encoded as
// QPdfWriter encodes pictures.
//
// Any thread.
namespace PdfGreyImages {

// True for pictures that go this way: 8-bit grey, or indexed with a grey
// ramp for colours (an 8-bit grey BMP).
bool isGrey(const QImage& picture);

// Replaces page's one image (the stand-in) with the grey picture read from
// path. False, with the reason in *why, when the page draws other than one
// image or the file no longer reads as a grey picture.
bool replace(PdfUpdate* update, int page, const QString& path, QString* why);

} // namespace PdfGreyImages

#endif // TAVIK_PDFGREYIMAGES_H
