#include "v4l2_probe.h"

#include "sys_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace tavik {

namespace {

// Offered from a stepwise or continuous size range, where they fit.
const SizeInfo kCommonSizes[] = {
    {320, 240},   {640, 480},   {800, 600},   {1024, 768},  {1280, 720},  {1280, 960},
    {1600, 1200}, {1920, 1080}, {2048, 1536}, {2592, 1944}, {3264, 2448}, {3840, 2160},
    {4096, 3072}, {4208, 3120}};

bool fitsRange(unsigned value, unsigned min, unsigned max, unsigned step)
{
    return value >= min && value <= max && (step <= 1 || (value - min) % step == 0);
}

std::vector<SizeInfo> enumerateSizes(int fd, unsigned fourcc)
{
    std::vector<SizeInfo> sizes;
    for (unsigned index = 0; index < kMaxEnumEntries; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = fourcc;
        if (xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0)
            break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.push_back({size.discrete.width, size.discrete.height});
            continue;
        }
        const v4l2_frmsize_stepwise& r = size.stepwise;
        const bool continuous = size.type == V4L2_FRMSIZE_TYPE_CONTINUOUS;
        for (const SizeInfo& s : kCommonSizes) {
            if (fitsRange(s.width, r.min_width, r.max_width, continuous ? 1 : r.step_width)
                && fitsRange(s.height, r.min_height, r.max_height, continuous ? 1 : r.step_height))
                sizes.push_back(s);
        }
        break;   // a range is the only entry
    }
    return sizes;
}

std::vector<FormatInfo> enumerateFormats(int fd)
{
    std::vector<FormatInfo> formats;
    for (unsigned index = 0; index < kMaxEnumEntries; ++index) {
        v4l2_fmtdesc desc{};
        desc.index = index;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_ENUM_FMT, &desc) < 0)
            break;
        const std::string name = formatNameOf(desc.pixelformat);
        const bool listed = std::any_of(formats.begin(), formats.end(),
                                        [&](const FormatInfo& f) { return f.name == name; });
        if (name.empty() || listed)
            continue;
        FormatInfo format{name, desc.pixelformat, enumerateSizes(fd, desc.pixelformat)};
        if (!format.sizes.empty())
            formats.push_back(format);
    }
    return formats;
}

bool probeNode(const std::string& path, CameraInfo& info)
{
    const int fd = sysOps().open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            std::fprintf(stderr, "capture: no permission to open %s (is the user in group video?)\n",
                         path.c_str());
        else if (errno != ENOENT && errno != ENODEV && errno != ENXIO)
            std::fprintf(stderr, "capture: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    v4l2_capability cap{};
    bool usable = xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && canStreamVideo(cap);
    if (usable) {
        info.path = path;
        const char* card = reinterpret_cast<const char*>(cap.card);
        info.card.assign(card, strnlen(card, sizeof cap.card));
        info.formats = enumerateFormats(fd);
        if (info.formats.empty()) {
            std::fprintf(stderr, "capture: %s offers neither YUYV nor JPEG\n", path.c_str());
            usable = false;
        }
    }
    sysOps().close(fd);
    return usable;
}

} // namespace

std::string formatNameOf(unsigned fourcc)
{
    if (fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG)
        return "JPEG";
    if (fourcc == V4L2_PIX_FMT_YUYV)
        return "YUYV";
    return std::string();
}

unsigned nodeCapabilities(const v4l2_capability& cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

bool canStreamVideo(const v4l2_capability& cap)
{
    const unsigned caps = nodeCapabilities(cap);
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

std::vector<CameraInfo> probeV4l2Cameras()
{
    std::vector<CameraInfo> cameras;
    for (const std::string& path : videoNodePaths()) {
        CameraInfo info;
        if (probeNode(path, info))
            cameras.push_back(info);
    }
    return cameras;
}

} // namespace tavik
