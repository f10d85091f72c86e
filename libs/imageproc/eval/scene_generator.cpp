#include "scene_generator.h"

#include "camera_scene.h"
#include "desk_renderer.h"
#include "jpeg_codec.h"
#include "page_renderer.h"
#include "scene_random.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Effects {
    double areaLo, areaHi;
    double tilt;            // degrees
    bool anyRotation;
    double gradient;        // strength of the lighting ramp
    double shadowChance;
    double noiseLo, noiseHi;
    double blurHi;
    double fingerChance;
    int qualityLo, qualityHi;
};

Effects effectsFor(Stratum s)
{
    switch (s) {
    case Stratum::Easy: return {0.25, 0.8, 5, false, 0.08, 0.0, 1, 3, 0.8, 0.0, 75, 95};
    case Stratum::Moderate: return {0.15, 0.9, 10, true, 0.2, 0.4, 2, 5, 1.2, 0.3, 55, 95};
    case Stratum::Hard: return {0.15, 0.95, 15, true, 0.3, 0.6, 3, 8, 2.0, 0.5, 40, 80};
    }
    return effectsFor(Stratum::Easy);
}

DeskRenderer::Kind deskFor(Stratum s, SceneRandom& rng)
{
    using K = DeskRenderer::Kind;
    switch (s) {
    case Stratum::Easy: {
        const K k[] = {K::Dark, K::Wood, K::Fabric};
        return k[rng.integer(0, 2)];
    }
    case Stratum::Moderate: {
        const K k[] = {K::Dark, K::Wood, K::Fabric, K::Grey, K::Clutter};
        return k[rng.integer(0, 4)];
    }
    case Stratum::Hard: {
        const K k[] = {K::White, K::White, K::Clutter, K::Fabric, K::Wood, K::Grey};
        return k[rng.integer(0, 5)];
    }
    }
    return K::Dark;
}

cv::Matx33d rotation(double ax, double ay, double az)
{
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(ax), -std::sin(ax), 0, std::sin(ax), std::cos(ax));
    const cv::Matx33d ry(std::cos(ay), 0, std::sin(ay), 0, 1, 0, -std::sin(ay), 0, std::cos(ay));
    const cv::Matx33d rz(std::cos(az), -std::sin(az), 0, std::sin(az), std::cos(az), 0, 0, 0, 1);
    return rz * rx * ry;
}

double polygonArea(const std::vector<cv::Point2f>& p)
{
    return std::abs(cv::contourArea(p));
}

cv::Rect2f bounds(const std::vector<cv::Point2f>& pts)
{
    float x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
    for (const cv::Point2f& p : pts) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return cv::Rect2f(x0, y0, x1 - x0, y1 - y0);
}

// Distance by which p lies outside the frame (0 inside).
double outside(cv::Point2f p, cv::Size size)
{
    const double dx = std::max({0.0, -static_cast<double>(p.x), p.x - (size.width - 1.0)});
    const double dy = std::max({0.0, -static_cast<double>(p.y), p.y - (size.height - 1.0)});
    return std::max(dx, dy);
}

// The page's corners in the picture (page's own TL, TR, BR, BL).
std::vector<cv::Point2f> placePage(double aspect, const Effects& fx, bool cornerOut, cv::Size size,
                                   SceneRandom& rng)
{
    const double rot = fx.anyRotation ? rng.uniform(0, 2 * CV_PI)
                                      : rng.integer(0, 3) * CV_PI / 2 + rng.uniform(-0.26, 0.26);
    const double tx = rng.uniform(-fx.tilt, fx.tilt) * CV_PI / 180;
    const double ty = rng.uniform(-fx.tilt, fx.tilt) * CV_PI / 180;
    const cv::Matx33d r = rotation(tx, ty, rot);
    const double w = 1.0 / aspect, h = 1.0;
    const cv::Vec3d corners[4] = {{-w / 2, -h / 2, 0}, {w / 2, -h / 2, 0}, {w / 2, h / 2, 0}, {-w / 2, h / 2, 0}};
    const double distance = rng.uniform(1.6, 3.0);  // camera distance in page heights
    std::vector<cv::Point2f> pts;
    for (const cv::Vec3d& c : corners) {
        const cv::Vec3d p = r * c;
        pts.emplace_back(static_cast<float>(p[0] / (p[2] + distance)), static_cast<float>(p[1] / (p[2] + distance)));
    }
    const double wanted = rng.uniform(fx.areaLo, fx.areaHi) * size.area();
    double k = std::sqrt(wanted / polygonArea(pts));
    const float margin = 3;
    for (int tries = 0; tries < 60; ++tries) {
        const cv::Rect2f box = bounds(pts);
        if (box.width * k <= size.width - 2 * margin && box.height * k <= size.height - 2 * margin)
            break;
        k *= 0.97;
    }
    for (cv::Point2f& p : pts)
        p *= static_cast<float>(k);
    const cv::Rect2f box = bounds(pts);
    const double xLo = margin - box.x, xHi = size.width - 1 - margin - (box.x + box.width);
    const double yLo = margin - box.y, yHi = size.height - 1 - margin - (box.y + box.height);
    cv::Point2f shift(static_cast<float>(xHi > xLo ? rng.uniform(xLo, xHi) : (xLo + xHi) / 2),
                      static_cast<float>(yHi > yLo ? rng.uniform(yLo, yHi) : (yLo + yHi) / 2));
    for (cv::Point2f& p : pts)
        p += shift;
    if (cornerOut) {
        // Grow the page about one corner until the opposite corner lies 3-15%
        // of the diagonal off the frame, the other three staying inside.
        const double want = rng.uniform(0.03, 0.15) * cv::norm(pts[0] - pts[2]);
        const int first = rng.integer(0, 3);
        for (int k = 0; k < 4; ++k) {
            const int c = (first + k) % 4;
            const cv::Point2f anchor = pts[(c + 2) % 4];
            std::vector<cv::Point2f> grown = pts, last = pts;
            for (double g = 1.0; g < 4.0; g += 0.005) {
                for (int i = 0; i < 4; ++i)
                    grown[i] = anchor + (pts[i] - anchor) * static_cast<float>(g);
                bool othersInside = true;
                // The others stay clear of the frame edge, so that all four
                // sides can be seen.
                const float clear = 0.02f * std::min(size.width, size.height);
                for (int i = 0; i < 4; ++i)
                    othersInside = othersInside
                        && (i == c
                            || (grown[i].x >= clear && grown[i].y >= clear && grown[i].x <= size.width - 1 - clear
                                && grown[i].y <= size.height - 1 - clear));
                if (!othersInside)
                    break;
                last = grown;
                if (outside(grown[c], size) >= want)
                    break;
            }
            if (outside(last[c], size) > 1) {
                pts = last;
                break;
            }
        }
    }
    return pts;
}

void applyFinger(cv::Mat& img, const std::vector<cv::Point2f>& page, SceneRandom& rng)
{
    const int side = rng.integer(0, 3);
    const cv::Point2f a = page[side], b = page[(side + 1) % 4];
    const cv::Point2f at = a + (b - a) * static_cast<float>(rng.uniform(0.2, 0.8));
    cv::Point2f centre(0, 0);
    for (const cv::Point2f& p : page)
        centre += p * 0.25f;
    cv::Point2f inward = centre - at;
    inward /= static_cast<float>(cv::norm(inward));
    const double len = cv::norm(b - a) * rng.uniform(0.08, 0.16);
    const cv::Point2f c = at - inward * static_cast<float>(len * 0.35);
    const float angle = static_cast<float>(std::atan2(inward.y, inward.x) * 180 / CV_PI);
    const cv::Scalar skin(rng.uniform(190, 235), rng.uniform(140, 180), rng.uniform(110, 150));
    cv::ellipse(img, cv::RotatedRect(c, cv::Size2f(static_cast<float>(len), static_cast<float>(len * 0.45)), angle),
                skin, cv::FILLED, cv::LINE_AA);
}

void applyLight(cv::Mat& img, const Effects& fx, bool shadow, SceneRandom& rng)
{
    cv::Mat gain(img.size(), CV_32F);
    const double angle = rng.uniform(0, 2 * CV_PI), strength = rng.uniform(0.3, 1.0) * fx.gradient;
    const double cx = std::cos(angle) / img.cols, cy = std::sin(angle) / img.rows;
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x)
            gain.at<float>(y, x) = static_cast<float>(1.0 + strength * ((x - img.cols / 2.0) * cx + (y - img.rows / 2.0) * cy) * 2);
    if (shadow) {
        // A soft shadow of an arm, a head or the camera stand.
        cv::Mat s(img.size(), CV_32F, cv::Scalar(0));
        std::vector<cv::Point> poly;
        const cv::Point c(rng.integer(0, img.cols - 1), rng.integer(0, img.rows - 1));
        for (int i = 0; i < 5; ++i)
            poly.emplace_back(c.x + rng.integer(-img.cols / 2, img.cols / 2), c.y + rng.integer(-img.rows / 2, img.rows / 2));
        std::vector<cv::Point> hull;
        cv::convexHull(poly, hull);
        cv::fillConvexPoly(s, hull, cv::Scalar(rng.uniform(0.15, 0.4)));
        const int k = (std::max(img.cols, img.rows) / 12) | 1;
        cv::GaussianBlur(s, s, cv::Size(k, k), 0);
        gain -= s;
    }
    for (int y = 0; y < img.rows; ++y) {
        cv::Vec3b* p = img.ptr<cv::Vec3b>(y);
        const float* g = gain.ptr<float>(y);
        for (int x = 0; x < img.cols; ++x)
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>(p[x][c] * g[x]);
    }
}

void renderClassicPage(Scene* scene, cv::Mat& img, const Effects& fx, bool cornerOut, bool finger,
                       PageRenderer::Kind pageKind, double aspect, cv::Scalar paper, DeskRenderer::Kind deskKind,
                       cv::Size size, SceneRandom& rng)
{
    if (scene->hasPage) {
        const std::vector<cv::Point2f> corners = placePage(aspect, fx, cornerOut, size, rng);
        // Render the sheet a little finer than it appears, then warp it in.
        const double shown = std::max(cv::norm(corners[0] - corners[3]), cv::norm(corners[1] - corners[2]));
        const int ph = std::clamp(static_cast<int>(shown * 1.3), 64, 2400);
        const int pw = std::max(16, static_cast<int>(std::lround(ph / aspect)));
        SceneRandom pageRng(rng.next());
        cv::Mat page = PageRenderer::render(pageKind, cv::Size(pw, ph), paper, pageRng);
        const cv::Point2f src[4] = {{-0.5f, -0.5f}, {pw - 0.5f, -0.5f}, {pw - 0.5f, ph - 0.5f}, {-0.5f, ph - 0.5f}};
        const cv::Point2f dst[4] = {corners[0], corners[1], corners[2], corners[3]};
        const cv::Mat h = cv::getPerspectiveTransform(src, dst);
        scene->pageToImage = cv::Matx33d(h);
        scene->pageSize = cv::Size2d(pw, ph);
        for (int i = 0; i < 4; ++i)
            scene->truth.p[i] = corners[i];

        cv::Mat warped, alpha;
        cv::warpPerspective(page, warped, h, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        cv::Mat mask(page.size(), CV_8U, cv::Scalar(255));
        cv::warpPerspective(mask, alpha, h, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        if (deskKind == DeskRenderer::Kind::White || rng.chance(0.3)) {
            // A sheet casts a faint shadow on the desk along one side.
            cv::Mat shade;
            const cv::Mat offset = (cv::Mat_<double>(2, 3) << 1, 0, rng.uniform(-3, 3), 0, 1, rng.uniform(-3, 3));
            cv::warpAffine(alpha, shade, offset, size);
            cv::GaussianBlur(shade, shade, cv::Size(7, 7), 0);
            const double depth = rng.uniform(0.03, 0.1);
            for (int y = 0; y < img.rows; ++y) {
                cv::Vec3b* p = img.ptr<cv::Vec3b>(y);
                const uchar* s = shade.ptr<uchar>(y);
                for (int x = 0; x < img.cols; ++x)
                    for (int c = 0; c < 3; ++c)
                        p[x][c] = cv::saturate_cast<uchar>(p[x][c] * (1 - depth * s[x] / 255.0));
            }
        }
        for (int y = 0; y < img.rows; ++y) {
            cv::Vec3b* p = img.ptr<cv::Vec3b>(y);
            const cv::Vec3b* q = warped.ptr<cv::Vec3b>(y);
            const uchar* a = alpha.ptr<uchar>(y);
            for (int x = 0; x < img.cols; ++x) {
                const int w8 = a[x];
                for (int c = 0; c < 3; ++c)
                    p[x][c] = static_cast<uchar>((q[x][c] * w8 + p[x][c] * (255 - w8) + 127) / 255);
            }
        }
        if (finger)
            applyFinger(img, corners, rng);
        scene->description += std::string(", ") + PageRenderer::name(pageKind);
        if (cornerOut)
            scene->description += ", corner off frame";
        if (finger)
            scene->description += ", finger";
    } else {
        scene->description += ", no page";
    }
}

// The camera settings: which card lies alone, which desks hold what.
void renderThroughCamera(Scene* scene, const Effects& fx, PageRenderer::Kind pageKind, double aspect,
                         cv::Scalar paper, DeskRenderer::Kind* deskKind, cv::Size size, SceneRandom& rng)
{
    CameraScene::Options o;
    o.setting = scene->setting;
    o.hasPage = scene->hasPage;
    o.areaLo = fx.areaLo;
    o.areaHi = fx.areaHi;
    o.anyRotation = fx.anyRotation;
    o.cornerOut = rng.chance(0.15);
    o.maxTiltDeg = scene->stratum == Stratum::Easy ? 12 : 18;
    o.paper = paper;
    const bool finger = rng.chance(fx.fingerChance);
    if (o.setting == Setting::Card) {
        // Alone on an otherwise empty desk, at the size a card shows under
        // a document camera framed for a page.
        const double u = rng.uniform(0, 1);
        pageKind = u < 0.4 ? PageRenderer::Kind::BankCard : (u < 0.75 ? PageRenderer::Kind::IdCard : PageRenderer::Kind::Card);
        aspect = PageRenderer::aspect(pageKind, rng);
        o.areaLo = 0.06;
        o.areaHi = 0.3;
        if (*deskKind == DeskRenderer::Kind::Clutter)
            *deskKind = DeskRenderer::Kind::Wood;
    } else if (pageKind == PageRenderer::Kind::Card
               || (!scene->hasPage && pageKind != PageRenderer::Kind::A4 && pageKind != PageRenderer::Kind::Letter)) {
        // Without a page the camera is framed as for a full sheet, its usual
        // framing, so that a phone or a box shows at the size it has beside
        // one (framed for a receipt, a phone would fill the picture).
        pageKind = PageRenderer::Kind::A4;
        aspect = PageRenderer::aspect(pageKind, rng);
    }
    o.desk = *deskKind;
    o.page = pageKind;
    char camera[64];
    scene->description = std::string(DeskRenderer::name(*deskKind)) + " desk";
    CameraScene::render(o, aspect, size, rng, scene);
    std::snprintf(camera, sizeof camera, ", f %.2fw tilt %.0f", scene->camera.focal() / size.width,
                  scene->camera.tiltDeg());
    if (!scene->hasPage) {
        scene->description += std::string(camera) + ", no page";
        return;
    }
    if (finger) {
        const std::vector<cv::Point2f> corners(scene->truth.p.begin(), scene->truth.p.end());
        applyFinger(scene->rgb, corners, rng);
    }
    scene->description += std::string(camera) + ", " + PageRenderer::name(pageKind);
    if (o.cornerOut)
        scene->description += ", corner off frame";
    if (finger)
        scene->description += ", finger";
}

} // namespace

const char* stratumName(Stratum s)
{
    switch (s) {
    case Stratum::Easy: return "easy";
    case Stratum::Moderate: return "moderate";
    case Stratum::Hard: return "hard";
    }
    return "?";
}

const char* settingName(Setting s)
{
    switch (s) {
    case Setting::Classic: return "classic";
    case Setting::Pinhole: return "pinhole";
    case Setting::Curled: return "curled";
    case Setting::Objects: return "objects";
    case Setting::EmptyObjects: return "empty+obj";
    case Setting::Card: return "card";
    }
    return "?";
}

Setting SceneGenerator::settingOf(int index)
{
    return static_cast<Setting>((index / 20) % kSettings);
}

Stratum SceneGenerator::stratumOf(int index)
{
    const int r = index % 20;
    return r < 8 ? Stratum::Easy : (r < 15 ? Stratum::Moderate : Stratum::Hard);
}

bool SceneGenerator::hasPageAt(int index)
{
    return index % 10 != 5 && settingOf(index) != Setting::EmptyObjects;
}

Scene SceneGenerator::make(uint32_t setSeed, int index, cv::Size forcedSize)
{
    SceneRandom rng(setSeed * 2654435761u + static_cast<uint32_t>(index) * 40503u + 17u);
    Scene scene;
    scene.stratum = stratumOf(index);
    scene.hasPage = hasPageAt(index);
    scene.setting = settingOf(index);
    const Effects fx = effectsFor(scene.stratum);
    const cv::Size sizes[] = {{480, 270}, {640, 480}, {960, 540}, {1024, 768}, {1280, 720}};
    const cv::Size picked = sizes[rng.integer(0, 4)];
    const cv::Size size = forcedSize.empty() ? picked : forcedSize;

    PageRenderer::Kind pageKind = PageRenderer::randomKind(rng);
    const double aspect = PageRenderer::aspect(pageKind, rng);
    SceneRandom tintRng(rng.next());
    const cv::Scalar paper = PageRenderer::paperTint(tintRng);
    DeskRenderer::Kind deskKind = deskFor(scene.stratum, rng);
    cv::Mat img;
    bool shadow;
    if (scene.setting == Setting::Classic) {
        img = DeskRenderer::render(deskKind, size, paper, rng);
        scene.description = std::string(DeskRenderer::name(deskKind)) + " desk";
        const bool cornerOut = rng.chance(0.15);
        shadow = rng.chance(fx.shadowChance);
        const bool finger = rng.chance(fx.fingerChance);
        renderClassicPage(&scene, img, fx, cornerOut, finger, pageKind, aspect, paper, deskKind, size, rng);
    } else {
        shadow = rng.chance(fx.shadowChance);
        renderThroughCamera(&scene, fx, pageKind, aspect, paper, &deskKind, size, rng);
        img = scene.rgb;
    }

    if (deskKind == DeskRenderer::Kind::Clutter && rng.chance(0.5))
        DeskRenderer::scatterObjects(img, rng.integer(1, 3), rng);  // some lie on top
    applyLight(img, fx, shadow, rng);
    if (shadow)
        scene.description += ", shadow";
    const double blur = rng.uniform(0, fx.blurHi);
    if (blur > 0.3)
        cv::GaussianBlur(img, img, cv::Size(0, 0), blur);
    cv::Mat noise(img.size(), CV_16SC3);
    cv::RNG cvRng(rng.next());
    cvRng.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(rng.uniform(fx.noiseLo, fx.noiseHi)));
    cv::Mat noisy;
    img.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(img, CV_8UC3);
    const int quality = rng.integer(fx.qualityLo, fx.qualityHi);
    unsigned char* jpeg = nullptr;
    size_t length = 0;
    if (jpeg_codec::encode(img, quality, &jpeg, &length)) {
        jpeg_codec::decode(jpeg, length, &scene.rgb);
        std::free(jpeg);
    }
    if (scene.rgb.empty())
        scene.rgb = img;
    scene.description += ", JPEG q" + std::to_string(quality);
    return scene;
}
