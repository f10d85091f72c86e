// The virtual document camera: what it offers and its test switches.
// Any thread: the switches are atomics, the rest reads constants and the
// environment.
#ifndef TAVIK_CAPTURE_VIRTUAL_CAMERA_H
#define TAVIK_CAPTURE_VIRTUAL_CAMERA_H

#include "camera_info.h"

#include <string>

namespace tavik {

// TAVIK_VIRTUAL_CAMERA=1 in the environment, read at each enumeration.
bool virtualCameraEnabled();
bool isVirtualCameraPath(const char* path);

// Its formats and sizes, as an 8-megapixel UVC document camera lists them.
CameraInfo virtualCameraInfo();
bool virtualCameraOffers(const std::string& format, int width, int height);

// Frames per second for a mode: JPEG 30, YUYV what USB 2.0 carries;
// TAVIK_VIRTUAL_FPS overrides both.
int virtualFrameRate(const std::string& format, int width, int height);

// Plugged in or not (test hooks). Any thread.
bool virtualCameraPresent();
void setVirtualCameraPresent(bool present);

// Share of JPEG frames to damage (test hooks). Any thread.
void setVirtualDamage(int damagedPercent, int truncatedPercent);
void virtualDamage(int& damagedPercent, int& truncatedPercent);

} // namespace tavik

#endif
