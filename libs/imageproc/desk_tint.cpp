#include "desk_tint.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace {

// Tints this far apart (colour planes over brightness) are of two things.
constexpr float kTintDistance = 0.15f;

cv::Vec2f tintOf(const cv::Vec3b& p)
{
    // Brightness a little lifted: dark places have no reliable colour.
    const float lifted = p[0] + 8.0f;
    return cv::Vec2f((p[1] - 128) / lifted, (p[2] - 128) / lifted);
}

float median(std::vector<float>& v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

DeskTint::DeskTint(const cv::Mat& planes) : m_planes(planes), m_desk(0, 0)
{
    const int w = planes.cols, h = planes.rows, band = std::max(2, std::min(w, h) / 25);
    std::vector<float> a, b;
    for (int y = 0; y < h; y += 2) {
        const bool across = y < band || y >= h - band;
        const cv::Vec3b* row = planes.ptr<cv::Vec3b>(y);
        for (int x = 0; x < w; x += 2) {
            if (across || x < band || x >= w - band) {
                const cv::Vec2f t = tintOf(row[x]);
                a.push_back(t[0]);
                b.push_back(t[1]);
            }
        }
    }
    if (!a.empty())
        m_desk = cv::Vec2f(median(a), median(b));
}

bool DeskTint::other(const cv::Vec3b& p) const
{
    return cv::norm(tintOf(p) - m_desk) > kTintDistance;
}

float DeskTint::otherShare(const Quad& q, float clear) const
{
    std::vector<cv::Point> clearOf;
    for (const cv::Point2f& p : quad_geometry::grown(q, clear).p)
        clearOf.emplace_back(cvRound(p.x), cvRound(p.y));
    cv::Mat away(m_planes.size(), CV_8U, cv::Scalar(255));
    cv::fillConvexPoly(away, clearOf, cv::Scalar(0));
    int others = 0, total = 0;
    for (int y = 0; y < m_planes.rows; y += 2) {
        const cv::Vec3b* row = m_planes.ptr<cv::Vec3b>(y);
        const unsigned char* m = away.ptr<unsigned char>(y);
        for (int x = 0; x < m_planes.cols; x += 2, ++total)
            others += m[x] && other(row[x]);
    }
    return total ? static_cast<float>(others) / total : 0;
}

cv::Mat DeskTint::otherMask(int step) const
{
    cv::Mat mask((m_planes.rows + step - 1) / step, (m_planes.cols + step - 1) / step, CV_8U);
    for (int y = 0; y < mask.rows; ++y) {
        const cv::Vec3b* row = m_planes.ptr<cv::Vec3b>(y * step);
        unsigned char* m = mask.ptr<unsigned char>(y);
        for (int x = 0; x < mask.cols; ++x)
            m[x] = other(row[x * step]) ? 255 : 0;
    }
    return mask;
}
