#include "virtual_stream.h"

#include "camera_testing.h"
#include "frame_damage.h"
#include "scripted_frames.h"
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

// TAVIK_VIRTUAL_PAGES=n: the number of pages to lay, or -1 when unset or
// not a count.
static int scriptedPages()
{
    const char* value = std::getenv("TAVIK_VIRTUAL_PAGES");
    if (!value || !*value)
        return -1;
    char* end = nullptr;
    const long pages = std::strtol(value, &end, 10);
    if (*end != '\0' || pages < 0 || pages > 10000) {
        std::fprintf(stderr, "capture: TAVIK_VIRTUAL_PAGES=%s is not a page count, ignored\n", value);
        return -1;
    }
    return static_cast<int>(pages);
}

void VirtualStream::run(FrameSink& sink)
{
    using Clock = std::chrono::steady_clock;
    const int pages = scriptedPages();
    std::unique_ptr<ScriptedFrames> script;
    if (pages >= 0)
        script = std::make_unique<ScriptedFrames>(m_format, m_width, m_height, pages);
    if (!script && !buildFrames()) {
        pollfd wake{sink.wakeFd(), POLLIN, 0};   // nothing to show: wait for the stop
        while (!sink.stopRequested() && poll(&wake, 1, 1000) == 0) {
        }
        return;
    }
    const auto period = std::chrono::microseconds(1000000 / m_fps);
    const bool jpeg = m_format != "YUYV";
    FrameDamage damage;
    std::vector<unsigned char> frame;
    const auto start = Clock::now();
    auto due = start;
    while (!sink.stopRequested()) {
        if (!virtualCameraPresent()) {
            sink.reportLossUntilStopped();
            return;
        }
        const int variant = static_cast<int>(m_frameNumber++ % VirtualScene::kVariants);
        const bool made = script ? script->compose(variant, std::chrono::duration<double>(Clock::now() - start).count(), frame)
                                 : m_frames->compose(variant, frame);
        if (made) {
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
