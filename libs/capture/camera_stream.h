// One opened camera, whatever backend drives it.
#ifndef TAVIK_CAPTURE_CAMERA_STREAM_H
#define TAVIK_CAPTURE_CAMERA_STREAM_H

#include "frame_sink.h"

#include <string>

namespace tavik {

// Driven by CaptureSession, which guarantees that the GUI-thread members
// never overlap run(): they are called only while no capture thread exists.
class CameraStream {
public:
    virtual ~CameraStream() = default;

    // GUI thread. Format name as listed ("YUYV", "JPEG"); false unless the
    // camera delivers exactly that format and size.
    virtual bool setParam(const std::string& format, int width, int height) = 0;
    // GUI thread. Gets the device streaming; false (logged) when it cannot.
    virtual bool streamOn() = 0;
    // Capture thread. Produces frames into sink until it asks to stop or the
    // camera is lost (then reports the loss until the stop).
    virtual void run(FrameSink& sink) = 0;
    // GUI thread, after run() has returned: undoes streamOn(). Never blocks
    // on a vanished device.
    virtual void streamOff() = 0;
};

} // namespace tavik

#endif
