/*
 * JPEG decoding of camera frames into packed RGB888 for the live preview.
 */
#ifndef TAVIK_COMPRESS_H
#define TAVIK_COMPRESS_H

/*
 * Decodes the JPEG image of size bytes at inbuf, scaled while decoding to
 * 1/scale of its width and height (rounded up), into outbuf as packed RGB888
 * rows: three bytes per pixel for colour and grey-scale images alike. outbuf
 * has room for outbufLen bytes and nothing is written past it. Stores the
 * decoded size in *width and *height.
 *
 * Runs on the capture thread (any thread: no shared state). Allocates nothing
 * of its own; libjpeg's working memory is released before it returns.
 *
 * Returns 0 on success; -1 for a missing argument, data that is not a
 * decodable JPEG (libjpeg's message goes to standard error), a colour space
 * that cannot be turned into RGB, or a buffer too small for the image.
 */
int jpeg_decompress(unsigned char* inbuf, unsigned int size, int scale, unsigned char* outbuf, int* width,
                    int* height, int outbufLen);

/*
 * Reads only the header of the JPEG image of size bytes at inbuf and stores
 * in *width and *height the size jpeg_decompress would decode it to at the
 * same scale, so that a caller can size outbuf by the frame itself rather
 * than by what the stream announced (cameras pad 1080 to 1088 rows).
 *
 * Any thread. Returns 0, or -1 for a missing argument or a header that does
 * not parse.
 */
int jpeg_scaled_size(const unsigned char* inbuf, unsigned int size, int scale, int* width, int* height);

#endif // TAVIK_COMPRESS_H
