// The capture library against a V4L2 camera that answers anything: the
// enumeration into the C lists, then one frame through the real delivery
// path of the V4L2 backend (buffer checks, YUYV row copy, MJPEG repair).
//
// Input: format (YUYV or JPEG), width, height, then the node's behaviour
// (see FakeV4l2Node), then the frame payload.
#include "camera.h"
#include "camera_testing.h"
#include "fake_v4l2_node.h"
#include "frame_sink.h"
#include "fuzz_input.h"
#include "v4l2_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kNodePath = "/fuzz/video0";
// A few loop rounds without a frame end the stream.
constexpr int kMaxRounds = 4;

// Checks every delivered frame against what the node sent.
class CheckingSink : public tavik::FrameSink {
public:
    CheckingSink(const FakeV4l2Node& node, bool jpeg, int width, int height)
        : m_node(node), m_jpeg(jpeg), m_width(width), m_height(height)
    {
    }

    bool stopRequested() const override { return m_delivered || ++m_rounds > kMaxRounds; }
    int wakeFd() const override { return -1; }
    void reportLossUntilStopped() override {}

    void deliver(unsigned char* data, unsigned long len) override
    {
        m_delivered = true;
        if (!data)
            std::abort();
        if (m_jpeg) {
            if (len < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[len - 2] != 0xFF || data[len - 1] != 0xD9)
                std::abort();
            return;
        }
        // Exactly width * height * 2 bytes: the node's rows without padding.
        const size_t row = static_cast<size_t>(m_width) * 2;
        if (len != row * m_height)
            std::abort();
        const size_t stride = std::max<size_t>(m_node.reportedBytesPerLine(), row);
        for (int y = 0; y < m_height; ++y) {
            if (std::memcmp(data + row * y, m_node.payload().data() + stride * y, row) != 0)
                std::abort();
        }
    }

private:
    const FakeV4l2Node& m_node;
    const bool m_jpeg;
    const int m_width;
    const int m_height;
    bool m_delivered = false;
    mutable int m_rounds = 0;
};

// The C lists promise names the application knows and no empty format.
void checkCatalog()
{
    for (int d = 0; d < getVideoDeviceNum(); ++d) {
        VideoDeviceData* camera = getVideoDeviceByIndex(d);
        if (!camera || strnlen(camera->cardName, sizeof camera->cardName) == sizeof camera->cardName)
            std::abort();
        for (int f = 0; f < getPixelFormatNum(camera); ++f) {
            PixelFormat* format = getPixelFormatByIndex(camera, f);
            if (!format || getFrmSizeNum(format) <= 0)
                std::abort();
            if (std::strcmp(format->pixelformatTip, "YUYV") != 0 && std::strcmp(format->pixelformatTip, "JPEG") != 0)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    unsetenv("TAVIK_VIRTUAL_CAMERA");
    TavikCam_SetDeviceNodes(&kNodePath, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const bool jpeg = input.byte() & 1;
    const int width = input.inRange(-1, 48);
    const int height = input.inRange(-1, 32);
    FakeV4l2Node node(input);

    initVideoData();
    checkCatalog();
    deinitVideoData();

    std::unique_ptr<tavik::V4l2Stream> stream = tavik::V4l2Stream::open(kNodePath);
    if (!stream)
        return 0;
    if (stream->setParam(jpeg ? "JPEG" : "YUYV", width, height) && stream->streamOn()) {
        CheckingSink sink(node, jpeg, width, height);
        stream->run(sink);
        stream->streamOff();
    }
    return 0;
}
