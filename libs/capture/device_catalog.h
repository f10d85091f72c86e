// The enumerated cameras as the interface's linked lists.
#ifndef TAVIK_CAPTURE_DEVICE_CATALOG_H
#define TAVIK_CAPTURE_DEVICE_CATALOG_H

#include "camera.h"
#include "camera_info.h"

#include <vector>

namespace tavik {

// Owns the VideoDeviceData / PixelFormat / FrmSizeData records handed out by
// the lookups. GUI thread only: the interface is called from one thread.
class DeviceCatalog {
public:
    DeviceCatalog() = default;
    ~DeviceCatalog();
    DeviceCatalog(const DeviceCatalog&) = delete;
    DeviceCatalog& operator=(const DeviceCatalog&) = delete;

    // Replaces the lists; returns the number of cameras.
    int rebuild(const std::vector<CameraInfo>& cameras);
    void clear();

    int deviceCount() const { return m_count; }
    VideoDeviceData* device(int index) const;
    VideoDeviceData* deviceByPath(const char* path, int byteLength) const;

    static int formatCount(const VideoDeviceData* camera);
    static PixelFormat* format(const VideoDeviceData* camera, int index);
    static PixelFormat* formatByName(const VideoDeviceData* camera, const char* name);
    static int sizeCount(const PixelFormat* format);
    static FrmSizeData* size(const PixelFormat* format, int index);

private:
    VideoDeviceData* m_head = nullptr;
    int m_count = 0;
};

} // namespace tavik

#endif
