#include "desk_objects.h"

#include "mesh_painter.h"
#include "page_renderer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

cv::Scalar hsvColour(double hue, double sat, double val)
{
    cv::Mat hsv(1, 1, CV_8UC3, cv::Scalar(hue / 2, sat * 255, val * 255)), rgb;
    cv::cvtColor(hsv, rgb, cv::COLOR_HSV2RGB);
    const cv::Vec3b c = rgb.at<cv::Vec3b>(0, 0);
    return cv::Scalar(c[0], c[1], c[2]);
}

void addNoise(cv::Mat& m, double amplitude, SceneRandom& rng)
{
    cv::Mat small(std::max(2, m.rows / 24), std::max(2, m.cols / 24), CV_32F), big;
    for (int y = 0; y < small.rows; ++y)
        for (int x = 0; x < small.cols; ++x)
            small.at<float>(y, x) = static_cast<float>(rng.uniform(-amplitude, amplitude));
    cv::resize(small, big, m.size(), 0, 0, cv::INTER_CUBIC);
    for (int y = 0; y < m.rows; ++y) {
        cv::Vec3b* p = m.ptr<cv::Vec3b>(y);
        for (int x = 0; x < m.cols; ++x)
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>(p[x][c] + big.at<float>(y, x));
    }
}

void printLines(cv::Mat& m, cv::Rect area, cv::Scalar ink, double lineHeight, SceneRandom& rng)
{
    const double scale = lineHeight / 30.0;
    const int thickness = std::max(1, static_cast<int>(lineHeight / 12));
    for (double y = area.y + lineHeight; y < area.y + area.height; y += lineHeight * 1.7) {
        std::string word;
        const int letters = rng.integer(3, 14);
        for (int i = 0; i < letters; ++i)
            word += static_cast<char>('A' + rng.integer(0, 25));
        cv::putText(m, word, cv::Point(area.x, static_cast<int>(y)), cv::FONT_HERSHEY_SIMPLEX, scale, ink, thickness,
                    cv::LINE_AA);
    }
}

// The printed face of an item, `pxPerMm` fine.
cv::Mat faceOf(const DeskObjects::Item& item, double pxPerMm)
{
    SceneRandom rng(item.seed);
    const int w = std::clamp(static_cast<int>(item.size.width * pxPerMm), 8, 2400);
    const int h = std::clamp(static_cast<int>(item.size.height * pxPerMm), 8, 2400);
    using K = DeskObjects::Kind;
    if (item.kind == K::Sheet) {
        const PageRenderer::Kind kind = rng.chance(0.5) ? PageRenderer::Kind::A5 : PageRenderer::Kind::A4;
        return PageRenderer::render(kind, cv::Size(w, h), item.colour, rng);
    }
    cv::Mat face(h, w, CV_8UC3, item.colour);
    addNoise(face, 5, rng);
    const int u = std::max(1, std::min(w, h) / 40);
    switch (item.kind) {
    case K::Folder:
        // A darker rim where the cover folds, perhaps a white label.
        cv::rectangle(face, cv::Rect(0, 0, w, h), item.colour * 0.8, u);
        if (rng.chance(0.5)) {
            const cv::Rect label(w / 5, h / 8, w * 3 / 5, h / 8);
            face(label).setTo(cv::Scalar(238, 236, 230));
            printLines(face, label, cv::Scalar(30, 30, 30), label.height / 3.0, rng);
        }
        break;
    case K::Box:
        if (rng.chance(0.6)) {
            const cv::Rect logo(w / 6, h / 3, w * 2 / 3, h / 4);
            printLines(face, logo, rng.chance(0.5) ? cv::Scalar(250, 250, 250) : cv::Scalar(20, 20, 20),
                       logo.height / 2.0, rng);
        }
        break;
    case K::Book:
        printLines(face, cv::Rect(w / 8, h / 6, w * 3 / 4, h / 4), cv::Scalar(220, 200, 140), h / 14.0, rng);
        if (rng.chance(0.5))
            cv::rectangle(face, cv::Rect(w / 14, h / 14, w * 6 / 7, h * 6 / 7), cv::Scalar(200, 180, 120), u);
        break;
    case K::Phone: {
        const cv::Rect screen(w / 16, h / 14, w * 7 / 8, h * 6 / 7);
        cv::Mat s = face(screen);
        if (rng.chance(0.25)) {
            s.setTo(hsvColour(rng.uniform(0, 360), 0.6, 0.7));
            addNoise(s, 30, rng);
        } else {
            s.setTo(cv::Scalar::all(rng.uniform(8, 22)));
            addNoise(s, 6, rng);
        }
        break;
    }
    case K::Keyboard: {
        const int rows = 5, cols = 15;
        const double kw = w / (cols + 0.6), kh = h / (rows + 0.6);
        // Keys stand out of the frame between them: on a light keyboard the
        // gaps lie in shade.
        const bool light = item.colour[0] > 128;
        if (light)
            face.setTo(item.colour * 0.72);
        const cv::Scalar key = light ? item.colour * 1.05 : item.colour * 0.6;
        const cv::Scalar letter = item.colour[0] > 128 ? cv::Scalar(60, 60, 60) : cv::Scalar(200, 200, 200);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const cv::Rect k(static_cast<int>((c + 0.4) * kw), static_cast<int>((r + 0.4) * kh),
                                 static_cast<int>(kw * 0.85), static_cast<int>(kh * 0.85));
                cv::rectangle(face, k, key, cv::FILLED);
                cv::putText(face, std::string(1, static_cast<char>('A' + rng.integer(0, 25))),
                            k.tl() + cv::Point(k.width / 4, k.height * 2 / 3), cv::FONT_HERSHEY_SIMPLEX,
                            kh / 70.0, letter, 1, cv::LINE_AA);
            }
        break;
    }
    default:
        break;
    }
    return face;
}

} // namespace

const char* DeskObjects::name(Kind kind)
{
    switch (kind) {
    case Kind::Folder: return "folder";
    case Kind::Box: return "box";
    case Kind::Book: return "book";
    case Kind::Phone: return "phone";
    case Kind::Keyboard: return "keyboard";
    case Kind::Sheet: return "second sheet";
    }
    return "?";
}

DeskObjects::Item DeskObjects::make(Kind kind, cv::Scalar paper, SceneRandom& rng)
{
    Item it;
    it.kind = kind;
    it.seed = rng.next();
    switch (kind) {
    case Kind::Folder:
        it.size = rng.chance(0.7) ? cv::Size2d(rng.uniform(225, 250), rng.uniform(305, 330))
                                  : cv::Size2d(rng.uniform(300, 340), rng.uniform(420, 460));
        it.height = 2;
        it.colour = hsvColour(rng.uniform(0, 360), rng.uniform(0.45, 0.95), rng.uniform(0.35, 0.95));
        break;
    case Kind::Box:
        it.size = cv::Size2d(rng.uniform(110, 360), rng.uniform(90, 300));
        it.height = rng.uniform(25, 110);
        it.colour = rng.chance(0.25) ? hsvColour(rng.uniform(25, 40), rng.uniform(0.35, 0.55), rng.uniform(0.55, 0.8))
                                     : hsvColour(rng.uniform(0, 360), rng.uniform(0.45, 0.95), rng.uniform(0.4, 0.95));
        break;
    case Kind::Book:
        it.size = cv::Size2d(rng.uniform(150, 215), rng.uniform(215, 300));
        it.height = rng.uniform(6, 35);
        it.colour = hsvColour(rng.uniform(0, 360), rng.uniform(0.2, 0.8), rng.uniform(0.08, 0.35));
        break;
    case Kind::Phone:
        it.size = cv::Size2d(rng.uniform(68, 78), rng.uniform(140, 165));
        it.height = 8;
        it.colour = cv::Scalar::all(rng.uniform(15, 70));
        break;
    case Kind::Keyboard:
        it.size = cv::Size2d(rng.uniform(350, 450), rng.uniform(115, 150));
        it.height = rng.uniform(15, 28);
        it.colour = rng.chance(0.7) ? cv::Scalar::all(rng.uniform(25, 70)) : cv::Scalar::all(rng.uniform(195, 225));
        break;
    case Kind::Sheet:
        it.size = rng.chance(0.5) ? cv::Size2d(148, 210) : cv::Size2d(210, 297);
        it.height = 0;
        it.colour = rng.chance(0.6) ? paper : cv::Scalar(rng.uniform(228, 250), rng.uniform(225, 248), rng.uniform(215, 245));
        break;
    }
    return it;
}

std::vector<cv::Point2d> DeskObjects::footprint(const Item& item)
{
    const double c = std::cos(item.angle), s = std::sin(item.angle);
    const double hw = item.size.width / 2, hd = item.size.height / 2;
    std::vector<cv::Point2d> out;
    for (const cv::Point2d& k : {cv::Point2d(-hw, -hd), cv::Point2d(hw, -hd), cv::Point2d(hw, hd), cv::Point2d(-hw, hd)})
        out.push_back(item.centre + cv::Point2d(c * k.x - s * k.y, s * k.x + c * k.y));
    return out;
}

double overlapArea(const std::vector<cv::Point2d>& a, const std::vector<cv::Point2d>& b)
{
    std::vector<cv::Point2f> fa(a.begin(), a.end()), fb(b.begin(), b.end()), inter;
    return cv::intersectConvexConvex(fa, fb, inter, true);
}

void castShadow(cv::Mat& picture, const std::vector<cv::Point2d>& desk, const DeskCamera& camera, double depth,
                double blur)
{
    std::vector<cv::Point> poly;
    for (size_t i = 0; i < desk.size(); ++i) {
        const cv::Point2d a = desk[i], b = desk[(i + 1) % desk.size()];
        for (int k = 0; k < 8; ++k) {
            const cv::Point2d p = camera.project(a.x + (b.x - a.x) * k / 8, a.y + (b.y - a.y) * k / 8);
            poly.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
        }
    }
    const cv::Rect box = cv::boundingRect(poly);
    const int margin = static_cast<int>(3 * blur) + 2;
    const cv::Rect region = cv::Rect(box.x / 16 - margin, box.y / 16 - margin, box.width / 16 + 2 * margin + 1,
                                     box.height / 16 + 2 * margin + 1)
        & cv::Rect(0, 0, picture.cols, picture.rows);
    if (region.empty())
        return;
    cv::Mat shade(region.size(), CV_32F, cv::Scalar(0));
    for (cv::Point& p : poly)
        p -= cv::Point(region.x * 16, region.y * 16);
    cv::fillPoly(shade, std::vector<std::vector<cv::Point>>{poly}, cv::Scalar(depth), cv::LINE_AA, 4);
    if (blur > 0.3)
        cv::GaussianBlur(shade, shade, cv::Size(0, 0), blur);
    cv::Mat roi = picture(region);
    for (int y = 0; y < roi.rows; ++y) {
        cv::Vec3b* p = roi.ptr<cv::Vec3b>(y);
        const float* s = shade.ptr<float>(y);
        for (int x = 0; x < roi.cols; ++x)
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>(p[x][c] * (1 - s[x]));
    }
}

void DeskObjects::paint(cv::Mat& picture, const Item& item, const DeskCamera& camera, cv::Point2d light)
{
    const std::vector<cv::Point2d> foot = footprint(item);
    // Shadow on the desk, pushed away from the light by the item's height.
    std::vector<cv::Point2d> shadow;
    for (const cv::Point2d& p : foot)
        shadow.push_back(p + light * (0.4 * item.height + 1.5));
    const double pxPerMm = camera.focal() / camera.distance();
    castShadow(picture, shadow, camera, item.height > 3 ? 0.3 : 0.12, std::max(1.0, 0.25 * item.height * pxPerMm));
    const std::vector<double> cuts = mesh_painter::cuts(8);
    // Sides seen by the camera, darker than the top; a book's are its pages.
    const cv::Point3d eye = camera.centre();
    if (item.height > 3) {
        for (int i = 0; i < 4; ++i) {
            const cv::Point2d a = foot[i], b = foot[(i + 1) % 4];
            const cv::Point2d mid = (a + b) * 0.5;
            // A side faces the camera when the camera stands beyond it.
            if ((mid - item.centre).dot(cv::Point2d(eye.x, eye.y) - mid) <= 0)
                continue;
            cv::Mat side(16, 16, CV_8UC3, item.colour * (0.55 + 0.1 * i));
            if (item.kind == Kind::Book && i != 3) {
                side.setTo(cv::Scalar(225, 218, 195));
                for (int y = 1; y < 16; y += 3)
                    side.row(y).setTo(cv::Scalar(200, 192, 170));
            }
            const double h = item.height;
            mesh_painter::paint(picture, side,
                                [&](double u, double v) {
                                    const double s = (u + 0.5) / 16, t = (v + 0.5) / 16;
                                    const cv::Point2d p = a + (b - a) * s;
                                    return camera.project(p.x, p.y, h * (1 - t));
                                },
                                mesh_painter::cuts(6), mesh_painter::cuts(1));
        }
    }
    const double shown = std::max(cv::norm(camera.project(foot[0].x, foot[0].y) - camera.project(foot[1].x, foot[1].y)),
                                  cv::norm(camera.project(foot[1].x, foot[1].y) - camera.project(foot[2].x, foot[2].y)));
    const double fine = 1.3 * shown / std::max(item.size.width, item.size.height);
    const cv::Mat face = faceOf(item, fine);
    const double c = std::cos(item.angle), s = std::sin(item.angle);
    mesh_painter::paint(picture, face,
                        [&](double u, double v) {
                            const double x = ((u + 0.5) / face.cols - 0.5) * item.size.width;
                            const double y = ((v + 0.5) / face.rows - 0.5) * item.size.height;
                            const cv::Point2d p = item.centre + cv::Point2d(c * x - s * y, s * x + c * y);
                            return camera.project(p.x, p.y, item.height);
                        },
                        cuts, cuts);
}
