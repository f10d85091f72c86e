#include "virtual_stream.h"

#include "camera_testing.h"
#include "frame_damage.h"
#include "virtual_camera.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>

namespace tavik {

std::unique_ptr<VirtualStream> VirtualStream::open()
{
    if (!virtualCameraPresent()) {
        std::fprintf(stderr, "capture: %s is unplugged\n", TAVIK_VIRTUAL_CAMERA_PATH);
        return nullptr;
    }
    return std::unique_ptr<VirtualStream>(new VirtualStream());
}

bool VirtualStream::setParam(const std::string& format, int width, int height)
{
    if (!virtualCameraOffers(format, width, height)) {
        std::fprintf(stderr, "capture: %s offers no %s %dx%d\n", TAVIK_VIRTUAL_CAMERA_PATH, format.c_str(),
                     width, height);
        return false;
    }
    if (format != m_format || width != m_width || height != m_height)
        m_frames.reset();
    m_format = format;
    m_width = width;
    m_height = height;
    return true;
}

bool VirtualStream::streamOn()
{
    if (m_format.empty()) {
        std::fprintf(stderr, "capture: %s: start without a format\n", TAVIK_VIRTUAL_CAMERA_PATH);
        return false;
    }
    if (!virtualCameraPresent()) {
        std::fprintf(stderr, "capture: %s is unplugged\n", TAVIK_VIRTUAL_CAMERA_PATH);
        return false;
    }
    m_fps = virtualFrameRate(m_format, m_width, m_height);
    return true;
}

bool VirtualStream::buildFrames()
{
    if (m_frames)
        return true;
    const char* image = std::getenv("TAVIK_VIRTUAL_IMAGE");
    auto scene = std::make_unique<VirtualScene>(m_width, m_height, image ? image : "");
    m_frames = m_format == "YUYV" ? makeYuyvFrames(std::move(scene)) : makeJpegFrames(std::move(scene));
    return m_frames != nullptr;
}

void VirtualStream::run(FrameSink& sink)
{
    using Clock = std::chrono::steady_clock;
    if (!buildFrames()) {
        pollfd wake{sink.wakeFd(), POLLIN, 0};   // nothing to show: wait for the stop
        while (!sink.stopRequested() && poll(&wake, 1, 1000) == 0) {
        }
        return;
    }
    const auto period = std::chrono::microseconds(1000000 / m_fps);
    const bool jpeg = m_format != "YUYV";
    FrameDamage damage;
    std::vector<unsigned char> frame;
    auto due = Clock::now();
    while (!sink.stopRequested()) {
        if (!virtualCameraPresent()) {
            sink.reportLossUntilStopped();
            return;
        }
        if (m_frames->compose(static_cast<int>(m_frameNumber++ % VirtualScene::kVariants), frame)) {
            if (jpeg)
                damage.apply(frame);
            sink.deliver(frame.data(), frame.size());
        }
        // Keep the pace of a camera; after a slow callback, carry on from now
        // instead of catching up with a burst.
        due += period;
        const auto now = Clock::now();
        if (due < now - period)
            due = now;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
        pollfd wake{sink.wakeFd(), POLLIN, 0};
        if (wait > 0 && poll(&wake, 1, static_cast<int>(wait)) > 0)
            return;
    }
}

} // namespace tavik
