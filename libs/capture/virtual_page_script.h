// The pages the virtual camera lays on its desk when TAVIK_VIRTUAL_PAGES is set.
#ifndef TAVIK_CAPTURE_VIRTUAL_PAGE_SCRIPT_H
#define TAVIK_CAPTURE_VIRTUAL_PAGE_SCRIPT_H

#include "virtual_scene.h"

namespace tavik {

// From the start of a stream: an empty desk, then `pages` times a hand comes
// in from the right, lays a new sheet (replacing the one before) and leaves;
// after the last one the desk stays as it is. Pure timing, any thread.
class VirtualPageScript {
public:
    static constexpr double kEmptySeconds = 5.0;
    static constexpr double kCycleSeconds = 4.0;
    static constexpr double kHandInSeconds = 0.8;   // from the edge to over the page
    static constexpr double kHandOutSeconds = 0.8;  // and back out of the picture

    // What the camera sees at one moment.
    struct Moment {
        int page = -1;      // the sheet lying there, -1 for the empty desk
        double hand = -1;   // how far the hand reaches in, 0..1; -1 when out
        int laying = -1;    // the sheet the hand brings, while it is in
    };

    explicit VirtualPageScript(int pages) : m_pages(pages) {}

    int pages() const { return m_pages; }
    Moment at(double seconds) const;
    // Seconds from the stream's start at which the hand of page k has gone.
    static double handGoneAt(int page);
    // The look of sheet k: its own text layout, place and angle.
    static VirtualScene::PageLook lookOf(int page);

private:
    int m_pages;
};

} // namespace tavik

#endif
