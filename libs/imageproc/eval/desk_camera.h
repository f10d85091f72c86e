#ifndef TAVIK_IMAGEPROC_EVAL_DESK_CAMERA_H
#define TAVIK_IMAGEPROC_EVAL_DESK_CAMERA_H

#include "scene_random.h"

#include <opencv2/core.hpp>

// A pinhole camera above a desk, with mild barrel distortion. Desk
// coordinates are millimetres: x to the right, y away from the viewer (down
// the picture when the camera looks straight down), and `height` above the
// desk. The optical axis meets the desk at the origin. Used by the scene
// generator only; a plain value.
class DeskCamera {
public:
    // Focal length 0.8-1.4 picture widths, the axis tilted up to
    // `maxTiltDeg` from the vertical towards any side, and barrel distortion
    // that pulls the picture's corners in by up to `maxBarrel` of their
    // distance from the centre. The distance is set later (placeAt).
    static DeskCamera random(cv::Size size, double maxTiltDeg, double maxBarrel, SceneRandom& rng);

    // A camera set by hand: focal length in picture widths, tilt towards
    // `azimuthDeg`, barrel as in random().
    static DeskCamera fixed(cv::Size size, double focalWidths, double tiltDeg, double azimuthDeg, double barrel);

    // Moves the camera along its axis so that it is `distance` mm from the
    // desk's origin.
    void placeAt(double distance);
    double distance() const { return m_distance; }
    double focal() const { return m_focal; }
    double tiltDeg() const { return m_tiltDeg; }
    cv::Size size() const { return m_size; }
    // The camera's place: desk x, y and height (mm).
    cv::Point3d centre() const { return cv::Point3d(m_centre[0], m_centre[1], -m_centre[2]); }

    // Where a point of the desk (or above it) shows in the picture, and
    // whether it lies in front of the camera.
    cv::Point2d project(double x, double y, double height = 0) const;
    // The undistorted picture point of a desk point (pinhole only).
    cv::Point2d pinhole(double x, double y, double height = 0) const;
    // Desk point (height 0) seen at a picture point.
    cv::Point2d onDesk(cv::Point2d picture) const;

    // Homography from the desk plane (mm) to the undistorted picture.
    cv::Matx33d deskToPinhole() const;

    // Barrel distortion: undistorted picture point to distorted and back.
    cv::Point2d distort(cv::Point2d p) const;
    cv::Point2d undistort(cv::Point2d p) const;

private:
    cv::Size m_size;
    double m_focal = 1;
    double m_tiltDeg = 0;
    double m_barrel = 0;     // k in r' = r (1 - k (r / R)^2), R the half diagonal
    double m_distance = 1;
    cv::Matx33d m_rotation;  // desk frame (x, y, -height) to camera frame
    cv::Vec3d m_centre;      // camera centre in the desk frame
};

#endif
