#ifndef TAVIK_AUTOCAPTURE_H
#define TAVIK_AUTOCAPTURE_H

#include "scenewatcher.h"

#include <cstdint>

// Hands-free capture, the frame pipeline's side: watches each frame it
// handles and asks for a photo once a new page lies still. The photo itself
// takes the road of a click (the request flag), so it is named, turned,
// straightened and listed exactly like one.
//
// setEnabled/isEnabled: any thread (an atomic). The rest: capture thread,
// frame mutex held; the watcher's state is touched by nothing else.
class AutoCapture
{
public:
    static void setEnabled(bool on);
    static bool isEnabled();

    // The frame's reduced grey copy, taken before an outline is drawn into
    // the pixels; empty while switched off.
    static SceneWatcher::Thumb sample(const uint8_t* rgb, int width, int height, int stride);
    // Judges the sampled frame, seen at seconds (monotonic, see clock());
    // photoServed: this frame was photographed (a click). True when the next
    // frame should be photographed.
    static bool decide(SceneWatcher::Thumb thumb, SceneWatcher::Page page, bool photoServed, double seconds);
    // Seconds of the monotonic clock. Any thread.
    static double clock();
};

#endif // TAVIK_AUTOCAPTURE_H
