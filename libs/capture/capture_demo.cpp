// Lists the cameras the capture library finds, then streams from the first
// one (JPEG when offered, at its first size) for a few seconds and prints
// the frame rate it receives. Exits 0 when frames arrived.
#include "camera.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Written on the library's capture thread, read by main.
std::atomic<unsigned long> g_frames{0};
std::atomic<unsigned long> g_bytes{0};
std::atomic<bool> g_lost{false};

void onFrame(unsigned char* buffer, unsigned long len)
{
    if (!buffer) {
        g_lost = len == 19;
        return;
    }
    ++g_frames;
    g_bytes += len;
}

void listCameras(int count)
{
    for (int i = 0; i < count; ++i) {
        VideoDeviceData* camera = getVideoDeviceByIndex(i);
        if (!camera)
            continue;
        std::printf("%s  \"%s\"\n", camera->devPath, camera->cardName);
        for (int f = 0; f < getPixelFormatNum(camera); ++f) {
            PixelFormat* format = getPixelFormatByIndex(camera, f);
            std::printf("    %-4s:", format->pixelformatTip);
            for (int s = 0; s < getFrmSizeNum(format); ++s) {
                FrmSizeData* size = getFrmSizeNumByIndex(format, s);
                std::printf(" %u*%u", size->width, size->height);
            }
            std::printf("\n");
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    int count = initVideoData();
    if (count < 0) {
        std::printf("No camera found: trying the virtual document camera.\n");
        setenv("TAVIK_VIRTUAL_CAMERA", "1", 1);
        count = initVideoData();
    }
    if (count < 0) {
        std::printf("no found video device\n");
        return 1;
    }
    listCameras(count);

    VideoDeviceData* camera = getVideoDeviceByIndex(0);
    PixelFormat* format = getPixelFormatByFormatTip(camera, "JPEG");
    if (!format)
        format = getPixelFormatByIndex(camera, 0);
    FrmSizeData* size = getFrmSizeNumByIndex(format, 0);
    if (!format || !size) {
        std::printf("%s lists no size\n", camera->devPath);
        return 1;
    }
    const int handle = Video_Open(camera->devPath);
    if (handle < 0 || Video_SetParam(handle, format->pixelformatTip, static_cast<int>(size->width),
                                     static_cast<int>(size->height)) < 0
        || StartCapture(handle, onFrame) < 0) {
        std::printf("cannot stream from %s\n", camera->devPath);
        if (handle >= 0)
            Video_Close(handle);
        return 1;
    }
    std::printf("streaming %s %s %u*%u for %d s...\n", camera->devPath, format->pixelformatTip, size->width,
                size->height, seconds);
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    StopCapture(handle);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    Video_Close(handle);
    deinitVideoData();

    const unsigned long frames = g_frames.load();
    std::printf("%lu frames in %.2f s: %.1f fps, %.0f KiB a frame%s\n", frames, elapsed, frames / elapsed,
                frames ? g_bytes.load() / 1024.0 / frames : 0.0, g_lost ? " (camera lost)" : "");
    return frames > 0 ? 0 : 1;
}
