// Test-injected damage of the virtual camera's JPEG frames.
#ifndef TAVIK_CAPTURE_FRAME_DAMAGE_H
#define TAVIK_CAPTURE_FRAME_DAMAGE_H

#include <vector>

namespace tavik {

// Damages the share of frames set by TavikCam_VirtualSetDamage(), in a way
// the library's own checks cannot catch (see camera_testing.h). One per
// stream; capture thread.
class FrameDamage {
public:
    void apply(std::vector<unsigned char>& jpeg);

private:
    unsigned m_frame = 0;
    unsigned m_noise = 12345;
};

} // namespace tavik

#endif
