// The virtual document camera as an opened stream.
#ifndef TAVIK_CAPTURE_VIRTUAL_STREAM_H
#define TAVIK_CAPTURE_VIRTUAL_STREAM_H

#include "camera_stream.h"
#include "virtual_frames.h"

#include <memory>
#include <string>

namespace tavik {

// Paces pre-built frames at a real camera's rate. The frames are built on
// the capture thread at the first start after a change of mode, so the GUI
// thread never waits for them.
class VirtualStream : public CameraStream {
public:
    // Null (logged) while the virtual camera is unplugged.
    static std::unique_ptr<VirtualStream> open();

    bool setParam(const std::string& format, int width, int height) override;
    bool streamOn() override;
    void run(FrameSink& sink) override;
    void streamOff() override {}

private:
    VirtualStream() = default;
    bool buildFrames();

    std::string m_format;
    int m_width = 0;
    int m_height = 0;
    int m_fps = 30;
    // Built for m_format, m_width, m_height; capture thread while running.
    std::unique_ptr<VirtualFrames> m_frames;
    unsigned m_frameNumber = 0;
};

} // namespace tavik

#endif
