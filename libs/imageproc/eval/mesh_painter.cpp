#include "mesh_painter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Share of each pixel inside the outline, from the pixel centre's signed
// distance to it: a ramp one pixel wide centred on the border, as a
// bilinear warp of a sheet's edge gives. (OpenCV's smoothed polygon fill
// would grow the outline by over half a pixel, and the truth with it.)
cv::Mat coverageOf(const std::vector<cv::Point2f>& border, cv::Size size)
{
    cv::Mat alpha(size, CV_8U, cv::Scalar(0));
    std::vector<cv::Point> fixed;
    for (const cv::Point2f& p : border)
        fixed.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
    cv::fillPoly(alpha, std::vector<std::vector<cv::Point>>{fixed}, cv::Scalar(255), cv::LINE_8, 4);
    // Only pixels within a pixel or two of the border are not plainly in
    // or out.
    cv::Mat grown, shrunk, band;
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    cv::dilate(alpha, grown, kernel);
    cv::erode(alpha, shrunk, kernel);
    cv::subtract(grown, shrunk, band);
    for (int y = 0; y < size.height; ++y) {
        const uchar* b = band.ptr<uchar>(y);
        uchar* a = alpha.ptr<uchar>(y);
        for (int x = 0; x < size.width; ++x) {
            if (!b[x])
                continue;
            const double inside = cv::pointPolygonTest(border, cv::Point2f(static_cast<float>(x), static_cast<float>(y)), true);
            a[x] = cv::saturate_cast<uchar>(255 * std::clamp(0.5 + inside, 0.0, 1.0));
        }
    }
    return alpha;
}

} // namespace

namespace mesh_painter {

std::vector<double> cuts(int cells, int fine, double margin)
{
    std::vector<double> out;
    for (int i = 0; i <= cells; ++i)
        out.push_back(static_cast<double>(i) / cells);
    for (int i = 1; i < fine; ++i) {
        out.push_back(margin * i / fine);
        out.push_back(1 - margin * i / fine);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end(), [](double a, double b) { return std::abs(a - b) < 1e-9; }),
              out.end());
    return out;
}

std::vector<cv::Point2f> outline(const cv::Size& texture, const Surface& surface, const std::vector<double>& us,
                                 const std::vector<double>& vs)
{
    const double w = texture.width, h = texture.height;
    auto at = [&](double u, double v) { return cv::Point2f(surface(u * w - 0.5, v * h - 0.5)); };
    std::vector<cv::Point2f> out;
    for (size_t i = 0; i + 1 < us.size(); ++i)
        out.push_back(at(us[i], 0));
    for (size_t j = 0; j + 1 < vs.size(); ++j)
        out.push_back(at(1, vs[j]));
    for (size_t i = us.size() - 1; i > 0; --i)
        out.push_back(at(us[i], 1));
    for (size_t j = vs.size() - 1; j > 0; --j)
        out.push_back(at(0, vs[j]));
    return out;
}

void paint(cv::Mat& picture, const cv::Mat& texture, const Surface& surface, const std::vector<double>& us,
           const std::vector<double>& vs, cv::Mat* coverage)
{
    const double w = texture.cols, h = texture.rows;
    std::vector<cv::Point2f> grid(us.size() * vs.size()), source(grid.size());
    for (size_t j = 0; j < vs.size(); ++j)
        for (size_t i = 0; i < us.size(); ++i) {
            const double u = us[i] * w - 0.5, v = vs[j] * h - 0.5;
            source[j * us.size() + i] = cv::Point2f(static_cast<float>(u), static_cast<float>(v));
            grid[j * us.size() + i] = cv::Point2f(surface(u, v));
        }
    cv::Mat layer(picture.size(), picture.type(), cv::Scalar::all(0));
    const cv::Rect frame(0, 0, picture.cols, picture.rows);
    auto triangle = [&](size_t a, size_t b, size_t c) {
        const cv::Point2f dst[3] = {grid[a], grid[b], grid[c]};
        const cv::Point2f src[3] = {source[a], source[b], source[c]};
        const cv::Rect box = (cv::boundingRect(std::vector<cv::Point2f>(dst, dst + 3)) + cv::Size(2, 2)
                              - cv::Point(1, 1)) & frame;
        if (box.empty())
            return;
        cv::Mat m = cv::getAffineTransform(src, dst);
        m.at<double>(0, 2) -= box.x;
        m.at<double>(1, 2) -= box.y;
        cv::Mat patch;
        cv::warpAffine(texture, patch, m, box.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        cv::Mat mask(box.size(), CV_8U, cv::Scalar(0));
        std::vector<cv::Point> tri;
        for (const cv::Point2f& p : dst)
            tri.emplace_back(cvRound((p.x - box.x) * 16), cvRound((p.y - box.y) * 16));
        // Drawn a pixel wide as well, so neighbouring triangles leave no gap.
        cv::fillConvexPoly(mask, tri, cv::Scalar(255), cv::LINE_8, 4);
        cv::polylines(mask, std::vector<std::vector<cv::Point>>{tri}, true, cv::Scalar(255), 1, cv::LINE_8, 4);
        patch.copyTo(layer(box), mask);
    };
    for (size_t j = 0; j + 1 < vs.size(); ++j)
        for (size_t i = 0; i + 1 < us.size(); ++i) {
            const size_t a = j * us.size() + i, b = a + 1, c = a + us.size() + 1, d = a + us.size();
            triangle(a, b, c);
            triangle(a, c, d);
        }
    const cv::Mat alpha = coverageOf(outline(texture.size(), surface, us, vs), picture.size());
    for (int y = 0; y < picture.rows; ++y) {
        cv::Vec3b* p = picture.ptr<cv::Vec3b>(y);
        const cv::Vec3b* q = layer.ptr<cv::Vec3b>(y);
        const uchar* a = alpha.ptr<uchar>(y);
        for (int x = 0; x < picture.cols; ++x) {
            if (!a[x])
                continue;
            const int w8 = a[x];
            for (int c = 0; c < 3; ++c)
                p[x][c] = static_cast<uchar>((q[x][c] * w8 + p[x][c] * (255 - w8) + 127) / 255);
        }
    }
    if (coverage)
        cv::max(*coverage, alpha, *coverage);
}

} // namespace mesh_painter
