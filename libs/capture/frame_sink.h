// What a running stream talks to on the capture thread.
#ifndef TAVIK_CAPTURE_FRAME_SINK_H
#define TAVIK_CAPTURE_FRAME_SINK_H

namespace tavik {

// Every member runs on the capture thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // True once StopCapture() (or Video_Close()) has asked the stream to end.
    virtual bool stopRequested() const = 0;
    // Readable once a stop is requested: poll it beside the device.
    virtual int wakeFd() const = 0;
    // Hands one finished frame to the application's callback, unless stopping.
    virtual void deliver(unsigned char* data, unsigned long len) = 0;
    // Reports the camera lost (null, 19) about every 200 ms until the stop:
    // the application drops reports that arrive while a frame waits for it.
    virtual void reportLossUntilStopped() = 0;
};

} // namespace tavik

#endif
