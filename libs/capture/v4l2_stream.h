// A real camera driven through V4L2 with mmap buffers.
#ifndef TAVIK_CAPTURE_V4L2_STREAM_H
#define TAVIK_CAPTURE_V4L2_STREAM_H

#include "camera_stream.h"

#include <memory>
#include <string>
#include <vector>

namespace tavik {

// The device is touched by the GUI thread only while no capture thread
// runs (CaptureSession sees to that), and by run() on the capture thread.
class V4l2Stream : public CameraStream {
public:
    // Null (logged) when the node cannot be opened or does not stream video.
    static std::unique_ptr<V4l2Stream> open(const std::string& path);
    ~V4l2Stream() override;

    bool setParam(const std::string& format, int width, int height) override;
    bool streamOn() override;
    void run(FrameSink& sink) override;
    void streamOff() override;

private:
    enum class Outcome { Frame, Skipped, Lost };

    V4l2Stream(const std::string& path, int fd);
    unsigned fourccFor(const std::string& format) const;
    void chooseFastestInterval();
    bool mapBuffers();
    void releaseBuffers();
    Outcome takeFrame();
    bool copyFrame(const unsigned char* data, size_t used);
    bool deviceGone() const;

    std::string m_path;
    int m_fd;
    unsigned m_fourcc = 0;
    bool m_jpeg = false;
    int m_width = 0;
    int m_height = 0;
    unsigned m_bytesPerLine = 0;
    int m_intervalMs = 33;

    struct MappedBuffer {
        void* start;
        size_t length;
    };
    std::vector<MappedBuffer> m_buffers;
    // The frame handed to the callback; capture thread while streaming.
    std::vector<unsigned char> m_frame;
};

} // namespace tavik

#endif
