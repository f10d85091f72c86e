#include "autocapture.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<bool> g_enabled{false};

// Capture thread only, under the frame mutex.
SceneWatcher g_watcher;
bool g_watching = false; // g_watcher holds this switch-on's history

} // namespace

void AutoCapture::setEnabled(bool on)
{
    g_enabled = on;
}

bool AutoCapture::isEnabled()
{
    return g_enabled;
}

SceneWatcher::Thumb AutoCapture::sample(const uint8_t* rgb, int width, int height, int stride)
{
    if (!g_enabled) {
        g_watching = false;
        return SceneWatcher::Thumb();
    }
    return SceneWatcher::thumbOf(rgb, width, height, stride);
}

double AutoCapture::clock()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool AutoCapture::decide(SceneWatcher::Thumb thumb, SceneWatcher::Page page, bool photoServed, double seconds)
{
    if (thumb.empty())
        return false;
    if (!g_watching) {
        // Switched on (again): what lies there now is not a new page.
        g_watcher.reset();
        g_watching = true;
    }
    const bool due = g_watcher.observe(std::move(thumb), page, seconds);
    if (photoServed) {
        g_watcher.notePhoto();
        return false;
    }
    return due;
}
