/* A libImageProc.so from before the image modes: the four deskew functions
 * and no ImageProc_Enhance. It finds no page: outputs are copies. */
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static int copyOf(const unsigned char* data, int length, unsigned char** out, int* outLength)
{
    *out = NULL;
    *outLength = 0;
    if (!data || length <= 0 || !(*out = malloc((size_t)length)))
        return -1;
    memcpy(*out, data, (size_t)length);
    *outLength = length;
    return 0;
}

EXPORT int RAW_DrawLine(unsigned char* rgb, int width, int stride, int height, int colour, int thickness)
{
    (void)rgb, (void)width, (void)stride, (void)height, (void)colour, (void)thickness;
    return 0;
}

EXPORT int RAW_Crop(unsigned char* rgb, int width, int stride, int height, unsigned char** out, int* outWidth,
                    int* outStride, int* outHeight)
{
    (void)rgb, (void)width, (void)stride, (void)height;
    *out = NULL;
    *outWidth = *outStride = *outHeight = 0;
    return 0;
}

EXPORT int JPGFILE_DrawLine(unsigned char* jpeg, int length, int colour, int thickness, unsigned char** out,
                            int* outLength)
{
    (void)colour, (void)thickness;
    return copyOf(jpeg, length, out, outLength);
}

EXPORT int JPGFILE_Rotate(unsigned char* jpeg, int length, unsigned char** out, int* outLength)
{
    return copyOf(jpeg, length, out, outLength);
}
