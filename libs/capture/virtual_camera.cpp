#include "virtual_camera.h"

#include "camera_testing.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <linux/videodev2.h>

namespace tavik {

namespace {

std::atomic<bool> g_present{true};
// Packed as damaged * 1000 + truncated so that a reader sees one setting.
std::atomic<int> g_damage{0};

const SizeInfo kJpegSizes[] = {{640, 480}, {1280, 720}, {1920, 1080}, {2592, 1944}, {3840, 2160}};
// YUYV at 2 bytes a pixel: what a USB 2.0 link carries per second.
struct YuyvMode {
    SizeInfo size;
    int fps;
};
const YuyvMode kYuyvModes[] = {{{640, 480}, 30}, {{1280, 720}, 10}, {{1920, 1080}, 5}};

} // namespace

bool virtualCameraEnabled()
{
    const char* value = std::getenv("TAVIK_VIRTUAL_CAMERA");
    return value && std::strcmp(value, "1") == 0;
}

bool isVirtualCameraPath(const char* path)
{
    return path && std::strcmp(path, TAVIK_VIRTUAL_CAMERA_PATH) == 0;
}

CameraInfo virtualCameraInfo()
{
    CameraInfo info;
    info.path = TAVIK_VIRTUAL_CAMERA_PATH;
    info.card = "Tavik virtual document camera";
    FormatInfo yuyv{"YUYV", V4L2_PIX_FMT_YUYV, {}};
    for (const YuyvMode& mode : kYuyvModes)
        yuyv.sizes.push_back(mode.size);
    FormatInfo jpeg{"JPEG", V4L2_PIX_FMT_MJPEG, {}};
    jpeg.sizes.assign(std::begin(kJpegSizes), std::end(kJpegSizes));
    info.formats = {yuyv, jpeg};
    return info;
}

bool virtualCameraOffers(const std::string& format, int width, int height)
{
    for (const FormatInfo& f : virtualCameraInfo().formats) {
        if (f.name != format)
            continue;
        for (const SizeInfo& s : f.sizes) {
            if (static_cast<int>(s.width) == width && static_cast<int>(s.height) == height)
                return true;
        }
    }
    return false;
}

int virtualFrameRate(const std::string& format, int width, int height)
{
    if (const char* value = std::getenv("TAVIK_VIRTUAL_FPS")) {
        int fps = std::atoi(value);
        if (fps > 0)
            return std::min(fps, 240);
    }
    if (format == "YUYV") {
        for (const YuyvMode& mode : kYuyvModes) {
            if (static_cast<int>(mode.size.width) == width && static_cast<int>(mode.size.height) == height)
                return mode.fps;
        }
    }
    return 30;
}

bool virtualCameraPresent()
{
    return g_present.load();
}

void setVirtualCameraPresent(bool present)
{
    g_present = present;
}

void setVirtualDamage(int damagedPercent, int truncatedPercent)
{
    int damaged = std::clamp(damagedPercent, 0, 100);
    int truncated = std::clamp(truncatedPercent, 0, 100 - damaged);
    g_damage = damaged * 1000 + truncated;
}

void virtualDamage(int& damagedPercent, int& truncatedPercent)
{
    int packed = g_damage.load();
    damagedPercent = packed / 1000;
    truncatedPercent = packed % 1000;
}

} // namespace tavik
