// What enumeration learns about one camera, before it becomes the C lists.
#ifndef TAVIK_CAPTURE_CAMERA_INFO_H
#define TAVIK_CAPTURE_CAMERA_INFO_H

#include <string>
#include <vector>

namespace tavik {

struct SizeInfo {
    unsigned width = 0;
    unsigned height = 0;
};

struct FormatInfo {
    std::string name;   // "YUYV" or "JPEG"
    unsigned fourcc = 0;
    std::vector<SizeInfo> sizes;
};

struct CameraInfo {
    std::string path;   // what Video_Open() takes
    std::string card;
    std::vector<FormatInfo> formats;
};

} // namespace tavik

#endif
