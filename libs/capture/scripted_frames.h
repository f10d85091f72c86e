// Frames of the virtual camera while it plays its page script.
#ifndef TAVIK_CAPTURE_SCRIPTED_FRAMES_H
#define TAVIK_CAPTURE_SCRIPTED_FRAMES_H

#include "virtual_frames.h"
#include "virtual_page_script.h"

#include <memory>
#include <string>
#include <vector>

namespace tavik {

// Still moments come from the cheap pre-built frames of the sheet lying
// there (rebuilt when it changes); moments with the hand in the picture are
// drawn and encoded whole. Capture thread.
class ScriptedFrames {
public:
    ScriptedFrames(const std::string& format, int width, int height, int pages);

    // The frame at seconds from the stream's start; false (logged) when it
    // cannot be made.
    bool compose(int variant, double seconds, std::vector<unsigned char>& out);

private:
    bool showPage(int page);
    void drawHand(double reach, std::vector<unsigned char>& rgb) const;
    void reportHandGone(int page) const;

    std::string m_format;
    int m_width;
    int m_height;
    VirtualPageScript m_script;
    int m_page = -2;                       // the sheet m_frames shows (-1: none); -2 before the first
    std::vector<unsigned char> m_base;     // its picture without the marker
    std::unique_ptr<VirtualFrames> m_frames;
    std::vector<unsigned char> m_rgb;      // scratch for hand frames
    int m_handPage = -1;                   // the sheet whose hand is (or was last) in, until reported
};

} // namespace tavik

#endif
