// Frames of the virtual camera in the format it was asked for.
#ifndef TAVIK_CAPTURE_VIRTUAL_FRAMES_H
#define TAVIK_CAPTURE_VIRTUAL_FRAMES_H

#include "virtual_scene.h"

#include <memory>
#include <vector>

namespace tavik {

// Produces frame after frame of a scene cheaply: what never changes is
// prepared once, the changing band per variant on first use. Capture thread.
class VirtualFrames {
public:
    virtual ~VirtualFrames() = default;
    // Writes the whole frame for variant 0 .. VirtualScene::kVariants-1.
    virtual bool compose(int variant, std::vector<unsigned char>& out) = 0;
};

// Null (logged) when the encoder fails.
std::unique_ptr<VirtualFrames> makeJpegFrames(std::unique_ptr<VirtualScene> scene);
std::unique_ptr<VirtualFrames> makeYuyvFrames(std::unique_ptr<VirtualScene> scene);

// Packed RGB rows to packed YUYV (BT.601, video range), two pixels a group.
// Any thread.
void rgbToYuyv(const unsigned char* rgb, int width, int rows, unsigned char* out);

} // namespace tavik

#endif
