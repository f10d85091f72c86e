#include "desk_camera.h"

#include <cmath>

namespace {

cv::Matx33d axisRotation(cv::Vec3d axis, double angle)
{
    // Rodrigues' formula for a unit axis.
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    const double x = axis[0], y = axis[1], z = axis[2];
    return cv::Matx33d(t * x * x + c, t * x * y - s * z, t * x * z + s * y,
                       t * x * y + s * z, t * y * y + c, t * y * z - s * x,
                       t * x * z - s * y, t * y * z + s * x, t * z * z + c);
}

} // namespace

DeskCamera DeskCamera::random(cv::Size size, double maxTiltDeg, double maxBarrel, SceneRandom& rng)
{
    DeskCamera c;
    c.m_size = size;
    c.m_focal = rng.uniform(0.8, 1.4) * size.width;
    c.m_tiltDeg = rng.uniform(0, maxTiltDeg);
    c.m_barrel = rng.uniform(0, maxBarrel);
    const double azimuth = rng.uniform(0, 2 * CV_PI);
    // Turned about the vertical, then tilted about a level axis.
    const cv::Matx33d roll = axisRotation(cv::Vec3d(0, 0, 1), rng.uniform(-0.05, 0.05));
    const cv::Matx33d tilt
        = axisRotation(cv::Vec3d(std::cos(azimuth), std::sin(azimuth), 0), c.m_tiltDeg * CV_PI / 180);
    c.m_rotation = roll * tilt;
    c.placeAt(500);
    return c;
}

DeskCamera DeskCamera::fixed(cv::Size size, double focalWidths, double tiltDeg, double azimuthDeg, double barrel)
{
    DeskCamera c;
    c.m_size = size;
    c.m_focal = focalWidths * size.width;
    c.m_tiltDeg = tiltDeg;
    c.m_barrel = barrel;
    const double azimuth = azimuthDeg * CV_PI / 180;
    c.m_rotation = axisRotation(cv::Vec3d(std::cos(azimuth), std::sin(azimuth), 0), tiltDeg * CV_PI / 180);
    c.placeAt(500);
    return c;
}

void DeskCamera::placeAt(double distance)
{
    m_distance = distance;
    // The camera's axis (its z) in desk coordinates, reaching the origin.
    const cv::Vec3d axis = m_rotation.t() * cv::Vec3d(0, 0, 1);
    m_centre = -distance * axis;
}

cv::Point2d DeskCamera::pinhole(double x, double y, double height) const
{
    const cv::Vec3d c = m_rotation * (cv::Vec3d(x, y, -height) - m_centre);
    const double z = std::max(c[2], 1e-6);
    return cv::Point2d(m_size.width / 2.0 + m_focal * c[0] / z, m_size.height / 2.0 + m_focal * c[1] / z);
}

cv::Point2d DeskCamera::project(double x, double y, double height) const
{
    return distort(pinhole(x, y, height));
}

cv::Matx33d DeskCamera::deskToPinhole() const
{
    const cv::Matx33d k(m_focal, 0, m_size.width / 2.0, 0, m_focal, m_size.height / 2.0, 0, 0, 1);
    const cv::Vec3d t = -(m_rotation * m_centre);
    const cv::Matx33d rt(m_rotation(0, 0), m_rotation(0, 1), t[0], m_rotation(1, 0), m_rotation(1, 1), t[1],
                         m_rotation(2, 0), m_rotation(2, 1), t[2]);
    return k * rt;
}

cv::Point2d DeskCamera::onDesk(cv::Point2d picture) const
{
    const cv::Point2d u = undistort(picture);
    const cv::Vec3d d = deskToPinhole().inv() * cv::Vec3d(u.x, u.y, 1);
    return cv::Point2d(d[0] / d[2], d[1] / d[2]);
}

cv::Point2d DeskCamera::distort(cv::Point2d p) const
{
    const cv::Point2d c(m_size.width / 2.0, m_size.height / 2.0);
    const double r2 = (p - c).dot(p - c) / (c.x * c.x + c.y * c.y);
    return c + (p - c) * (1 - m_barrel * r2);
}

cv::Point2d DeskCamera::undistort(cv::Point2d p) const
{
    const cv::Point2d c(m_size.width / 2.0, m_size.height / 2.0);
    cv::Point2d u = p;
    for (int i = 0; i < 8; ++i) {
        const double r2 = (u - c).dot(u - c) / (c.x * c.x + c.y * c.y);
        u = c + (p - c) * (1.0 / (1 - m_barrel * r2));
    }
    return u;
}
