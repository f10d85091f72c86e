// Finding V4L2 cameras and what they can deliver.
#ifndef TAVIK_CAPTURE_V4L2_PROBE_H
#define TAVIK_CAPTURE_V4L2_PROBE_H

#include "camera_info.h"

#include <linux/videodev2.h>
#include <string>
#include <vector>

namespace tavik {

// Upper bound of any VIDIOC_ENUM_* walk: a broken driver that never answers
// EINVAL must not hang enumeration.
constexpr unsigned kMaxEnumEntries = 256;

// Cameras among the video nodes, in node order: only nodes that capture video
// by streaming (a UVC camera's metadata node is left out), each with the
// formats the library can deliver. Cameras that cannot be opened are logged.
// GUI thread.
std::vector<CameraInfo> probeV4l2Cameras();

// The listed name of a fourcc the library delivers ("JPEG", "YUYV"), or "".
std::string formatNameOf(unsigned fourcc);

// The capabilities of the node itself rather than of the whole device.
unsigned nodeCapabilities(const v4l2_capability& cap);

// Whether nodeCapabilities() allow streamed video capture.
bool canStreamVideo(const v4l2_capability& cap);

} // namespace tavik

#endif
