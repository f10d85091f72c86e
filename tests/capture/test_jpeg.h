// Tiny JPEG images of known pixels for the capture tests.
#ifndef TAVIK_TEST_JPEG_H
#define TAVIK_TEST_JPEG_H

#include <QByteArray>
#include <QImage>

// A 16x16 baseline JPEG with libjpeg's standard Huffman tables, quadrants
// red | green over blue | white.
QByteArray quadrantJpeg();
// The same bytes with every DHT segment taken out, as MJPEG cameras send.
QByteArray withoutHuffmanTables(const QByteArray& jpeg);
// Decoded by libjpeg; a null image when libjpeg fails or warns of damage.
QImage decodeStrictly(const QByteArray& jpeg);

#endif
