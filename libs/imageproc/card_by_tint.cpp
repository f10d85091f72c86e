#include "card_by_tint.h"

#include <opencv2/imgproc.hpp>

#include <vector>

namespace {

// The patch is read at half size: the outline is fitted to the edges later.
constexpr int kStep = 2;
// A card shows on this share of the picture at least, and at most as much
// as the referee takes for a card.
constexpr double kMinShare = 0.02;
constexpr double kMaxShare = 0.35;
// Its patch fills this share of its rectangle: a card's rounded corners
// and print cost a little, a box's side face or a bent folder more.
constexpr double kRectangular = 0.88;

} // namespace

CardByTint::CardByTint(const DeskTint& tint) : m_tint(tint) {}

bool CardByTint::propose(Quad* out) const
{
    cv::Mat mask = m_tint.otherMask(kStep);
    // The desk's grain leaves specks of another tint, a card's print holes.
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, kernel);
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, kernel);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    const std::vector<cv::Point>* largest = nullptr;
    double largestArea = 0;
    for (const auto& c : contours) {
        const double a = cv::contourArea(c);
        if (a > largestArea) {
            largestArea = a;
            largest = &c;
        }
    }
    const double frame = static_cast<double>(mask.cols) * mask.rows;
    if (!largest || largestArea < kMinShare * frame || largestArea > kMaxShare * frame)
        return false;
    const cv::Rect box = cv::boundingRect(*largest);
    if (box.x <= 0 || box.y <= 0 || box.x + box.width >= mask.cols || box.y + box.height >= mask.rows)
        return false;
    const cv::RotatedRect rect = cv::minAreaRect(*largest);
    if (largestArea < kRectangular * rect.size.area())
        return false;
    cv::Point2f corners[4];
    rect.points(corners);
    Quad q;
    for (int i = 0; i < 4; ++i)
        q.p[i] = (corners[i] + cv::Point2f(0.5f, 0.5f)) * static_cast<float>(kStep) - cv::Point2f(0.5f, 0.5f);
    *out = quad_geometry::ordered(q);
    return true;
}
