// The C interface of camera.h over the catalog and the capture sessions.
#pragma GCC visibility push(default)
#include "camera.h"
#pragma GCC visibility pop

#include "capture_session.h"
#include "device_catalog.h"
#include "session_table.h"
#include "v4l2_probe.h"
#include "v4l2_stream.h"
#include "virtual_camera.h"
#include "virtual_stream.h"

#include <cstdio>
#include <memory>

using tavik::CaptureSession;
using tavik::DeviceCatalog;

namespace {

// The lists; the interface calls them from the GUI thread only.
DeviceCatalog g_catalog;

tavik::SessionTable g_sessions;

std::shared_ptr<CaptureSession> sessionOf(int handle)
{
    return g_sessions.find(handle);
}

std::unique_ptr<tavik::CameraStream> openStream(const char* devPath)
{
    if (tavik::isVirtualCameraPath(devPath))
        return tavik::VirtualStream::open();
    return tavik::V4l2Stream::open(devPath);
}

} // namespace

// ---- enumeration

int initVideoData(void)
{
    std::vector<tavik::CameraInfo> cameras = tavik::probeV4l2Cameras();
    if (tavik::virtualCameraEnabled() && tavik::virtualCameraPresent())
        cameras.push_back(tavik::virtualCameraInfo());
    const int count = g_catalog.rebuild(cameras);
    return count > 0 ? count : -1;
}

int deinitVideoData(void)
{
    g_catalog.clear();
    return 0;
}

int getVideoDeviceNum(void)
{
    return g_catalog.deviceCount();
}

int getPixelFormatNum(VideoDeviceData* camera)
{
    return DeviceCatalog::formatCount(camera);
}

int getFrmSizeNum(PixelFormat* format)
{
    return DeviceCatalog::sizeCount(format);
}

VideoDeviceData* getVideoDeviceByIndex(int index)
{
    return g_catalog.device(index);
}

PixelFormat* getPixelFormatByIndex(VideoDeviceData* camera, int index)
{
    return DeviceCatalog::format(camera, index);
}

FrmSizeData* getFrmSizeNumByIndex(PixelFormat* format, int index)
{
    return DeviceCatalog::size(format, index);
}

VideoDeviceData* getVideoDeviceNodeByName(const char* devPath, int byteLength)
{
    return g_catalog.deviceByPath(devPath, byteLength);
}

PixelFormat* getPixelFormatByFormatTip(VideoDeviceData* camera, const char* name)
{
    return DeviceCatalog::formatByName(camera, name);
}

// ---- streams

int Video_Open(const char* devPath)
{
    if (!devPath || !*devPath) {
        std::fprintf(stderr, "capture: open without a camera path\n");
        return -1;
    }
    std::unique_ptr<tavik::CameraStream> stream = openStream(devPath);
    if (!stream)
        return -1;
    return g_sessions.add(std::make_shared<CaptureSession>(std::move(stream)));
}

int Video_SetParam(int handle, const char* formatName, int width, int height)
{
    std::shared_ptr<CaptureSession> session = sessionOf(handle);
    if (!session || !formatName)
        return -1;
    return session->setParam(formatName, width, height) ? 0 : -1;
}

int StartCapture(int handle, FrameCallback callback)
{
    std::shared_ptr<CaptureSession> session = sessionOf(handle);
    if (!session)
        return -1;
    return session->start(callback) ? 0 : -1;
}

int StopCapture(int handle)
{
    std::shared_ptr<CaptureSession> session = sessionOf(handle);
    if (!session)
        return -1;
    session->stop();
    return 0;
}

int Video_Close(int handle)
{
    std::shared_ptr<CaptureSession> session = sessionOf(handle);
    if (!session || !session->close())
        return -1;
    g_sessions.remove(handle);
    return 0;
}
