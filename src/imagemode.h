#ifndef TAVIK_IMAGEMODE_H
#define TAVIK_IMAGEMODE_H

#include <QImage>
#include <QString>

#include <cstdint>

// The image modes ("图像模式"): photos and the preview as the camera sees them,
// or made to look scanned by the image-processing library's ImageProc_Enhance
// (even white paper, dark print), in colour, in grey or in black and white.
//
// The mode is set on the GUI thread and read by the capture thread (an
// atomic); the rest runs on whichever thread calls it.
namespace ImageMode {

// The order of the "图像模式" box, and the library's mode numbers.
enum Mode { Original = 0, Document = 1, Grey = 2, BlackWhite = 3 };

void set(Mode mode);
Mode current();

// A photo's picture in mode (after deskew, before rotation): Original and a
// library without the modes give it back as it is; Grey and BlackWhite give
// an 8-bit grey picture.
QImage photo(const QImage& picture, Mode mode);

// The form a photo in mode is written in, by the file's suffix: 8-bit grey
// in Grey, and in BlackWhite for a JPG; 1-bit for a black-and-white PNG or
// BMP.
QImage forFile(const QImage& picture, Mode mode, const QString& suffix);

// A preview picture (packed RGB) in mode, in place. With outline, the page's
// outline is drawn too (the library's RAW_DrawLine), found in the picture as
// the camera sees it and drawn over the picture in the mode; returns what
// RAW_DrawLine returned, or -1 without outline.
int preview(uint8_t* rgb, int width, int height, int stride, Mode mode, bool outline);

} // namespace ImageMode

#endif // TAVIK_IMAGEMODE_H
