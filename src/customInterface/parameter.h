/*
 * Process-wide application parameters, and the YUYV to packed RGB conversion
 * used by the frame pipeline.
 */
#ifndef TAVIK_PARAMETER_H
#define TAVIK_PARAMETER_H

#include <QObject>
#include <QString>

/*
 * Holds the window title. Created on the first call of instance(), from any
 * thread, with the application object as parent; never deleted explicitly.
 */
class Parameter : public QObject
{
    Q_OBJECT

public:
    static Parameter* instance();

    // Title and version, "塔维克高拍仪软件v1.0.0". Read by main on the GUI thread.
    QString m_softVersion;

private:
    explicit Parameter(QObject* parent);
    ~Parameter() override;
    Q_DISABLE_COPY(Parameter)
};

/*
 * One pixel: R in bits 0-7, G in bits 8-15, B in bits 16-23, 0 above.
 * Double precision, truncated toward zero, clamped to 0..255 and scaled by
 * 220/256, so every channel lies in 0..219. Stateless; any thread.
 */
int convert_yuv_to_rgb_pixel(int y, int u, int v);

/*
 * Converts width*height pixels of packed YUYV (Y0 U Y1 V per pixel pair,
 * width*height*2 bytes) into packed RGB888 (width*height*3 bytes), with the
 * same result as convert_yuv_to_rgb_pixel for every pixel. width*height must
 * be even; an odd last pixel is left unwritten. Runs on the capture thread
 * (any thread: reentrant; its tables are built once, thread-safely, on the
 * first call). Returns 0, or -1 for a null buffer.
 */
int convert_yuv_to_rgb_buffer(unsigned char* yuv, unsigned char* rgb, unsigned int width, unsigned int height);

#endif // TAVIK_PARAMETER_H
