#ifndef TAVIK_SCENEWATCHER_H
#define TAVIK_SCENEWATCHER_H

#include <cstdint>
#include <vector>

// Decides when a page laid under the camera has come to rest and is worth a
// photo: the picture changed (a hand, a new page), then stayed still for a
// while, a page is there, and the scene is not the one of the last photo.
// It works on a tiny grey copy of each frame, so it costs next to nothing.
//
// Capture thread only (or any one thread): no locking inside.
class SceneWatcher
{
public:
    // A frame reduced to kThumbWidth columns of grey cells.
    struct Thumb {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> grey;
        bool empty() const { return grey.empty(); }
    };

    // Whether the frame holds a page, as far as the caller knows.
    enum class Page { Unknown, Absent, Present };

    static constexpr int kThumbWidth = 64;
    // Time a changed scene must stay still before its photo.
    static constexpr double kStillSeconds = 0.7;

    // Grey cells averaged from a sparse grid of samples of packed RGB rows.
    static Thumb thumbOf(const uint8_t* rgb, int width, int height, int stride);
    // Share of cells, 0..1, that differ by more than a camera's noise.
    static double changedShare(const Thumb& a, const Thumb& b);

    // Forgets everything: the next still scene is the desk as it lies.
    void reset();
    // One frame at time seconds (monotonic); true when its photo should be
    // taken now. page: what the detector said of this frame.
    bool observe(Thumb thumb, Page page, double seconds);
    // A photo was taken of the frame last observed (by a click or by
    // observe's answer): a still scene like it is not photographed again.
    void notePhoto();

private:
    bool worthAPhoto(Page page) const;

    Thumb m_anchor;      // the scene since m_stillSince
    Thumb m_current;     // the frame last observed
    Thumb m_lastPhoto;   // empty before the first photo
    Thumb m_desk;        // the first still scene: the desk without a new page
    double m_stillSince = 0;
    bool m_changed = false; // moved since the last decision
};

#endif // TAVIK_SCENEWATCHER_H
