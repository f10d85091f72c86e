#include "staged_scenes.h"

#include "desk_objects.h"
#include "jpeg_codec.h"
#include "mesh_painter.h"
#include "page_renderer.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdlib>

namespace staged_scenes {

namespace {

DeskObjects::Item item(DeskObjects::Kind kind, cv::Point2d centre, double angleDeg, cv::Size2d size, double height,
                       cv::Scalar colour)
{
    DeskObjects::Item it;
    it.kind = kind;
    it.centre = centre;
    it.angle = angleDeg * CV_PI / 180;
    it.size = size;
    it.height = height;
    it.colour = colour;
    it.seed = 7;
    return it;
}

// A printed sheet lying flat; its corners (page order) in the picture.
std::vector<cv::Point2d> paintSheet(cv::Mat& img, const DeskCamera& camera, PageRenderer::Kind kind, cv::Size2d mm,
                                    cv::Point2d centre, double angleDeg, Scene* scene)
{
    SceneRandom rng(11);
    const int ph = 600, pw = static_cast<int>(std::lround(ph * mm.width / mm.height));
    const cv::Mat face = PageRenderer::render(kind, cv::Size(pw, ph), cv::Scalar(242, 242, 238), rng);
    const double a = angleDeg * CV_PI / 180, c = std::cos(a), s = std::sin(a);
    auto toDesk = [&](double x, double y) { return centre + cv::Point2d(c * x - s * y, s * x + c * y); };
    mesh_painter::paint(img, face,
                        [&](double u, double v) {
                            const cv::Point2d d = toDesk(((u + 0.5) / pw - 0.5) * mm.width, ((v + 0.5) / ph - 0.5) * mm.height);
                            return camera.project(d.x, d.y);
                        },
                        mesh_painter::cuts(8), mesh_painter::cuts(8));
    std::vector<cv::Point2d> corners;
    for (const cv::Point2d& k : {cv::Point2d(-0.5, -0.5), cv::Point2d(0.5, -0.5), cv::Point2d(0.5, 0.5), cv::Point2d(-0.5, 0.5)}) {
        const cv::Point2d d = toDesk(k.x * mm.width, k.y * mm.height);
        corners.push_back(camera.project(d.x, d.y));
    }
    if (scene) {
        scene->hasPage = true;
        for (int i = 0; i < 4; ++i)
            scene->truth.p[i] = cv::Point2f(corners[i]);
        const cv::Matx33d textureToPage(mm.width / pw, 0, (0.5 / pw - 0.5) * mm.width, 0, mm.height / ph,
                                        (0.5 / ph - 0.5) * mm.height, 0, 0, 1);
        const cv::Matx33d pageToDesk(c, -s, centre.x, s, c, centre.y, 0, 0, 1);
        scene->pageToImage = camera.deskToPinhole() * pageToDesk * textureToPage;
        scene->pageSize = cv::Size2d(pw, ph);
        scene->aspect = mm.width / mm.height;
    }
    return corners;
}

} // namespace

Scene make(Kind kind, cv::Size size)
{
    Scene scene;
    scene.stratum = Stratum::Moderate;
    scene.setting = Setting::Objects;
    scene.throughCamera = true;
    DeskCamera camera = DeskCamera::fixed(size, 1.0, 8, 60, 0.01);
    camera.placeAt(kind == Kind::CardAlone ? 300 : (kind == Kind::PageBesideSaturatedFolder ? 760 : 620));
    scene.camera = camera;
    const cv::Point2d light(0.6, 0.8);
    cv::Scalar desk(150, 118, 88);
    if (kind == Kind::EmptyDeskWithBoxes)
        desk = cv::Scalar(120, 124, 128);
    else if (kind == Kind::EmptyDeskWithWhiteKeyboard)
        desk = cv::Scalar(45, 45, 50);
    cv::Mat img(size, CV_8UC3, desk);
    using K = DeskObjects::Kind;
    switch (kind) {
    case Kind::PageBesideSaturatedFolder:
        DeskObjects::paint(img, item(K::Folder, {-185, 0}, 6, {250, 330}, 2, cv::Scalar(40, 110, 225)), camera, light);
        DeskObjects::paint(img, item(K::Box, {250, 110}, -12, {120, 90}, 60, cv::Scalar(210, 40, 35)), camera, light);
        paintSheet(img, camera, PageRenderer::Kind::A4, {210, 297}, {70, -10}, 4, &scene);
        scene.description = "a page beside a saturated folder and a red box";
        break;
    case Kind::PageOnDarkBookEdge:
        DeskObjects::paint(img, item(K::Book, {-120, 20}, -6, {190, 260}, 8, cv::Scalar(25, 30, 60)), camera, light);
        paintSheet(img, camera, PageRenderer::Kind::A4, {210, 297}, {40, 0}, 5, &scene);
        scene.description = "a page on a dark book cover's edge";
        break;
    case Kind::TwoSheets: {
        paintSheet(img, camera, PageRenderer::Kind::A5, {148, 210}, {-170, 20}, -10, nullptr);
        const std::vector<cv::Point2d> page
            = paintSheet(img, camera, PageRenderer::Kind::A4, {210, 297}, {70, -5}, 3, &scene);
        // A finger holding the page down across its right side: the page's
        // outline then scores below the smaller sheet's.
        const cv::Point2d at = (page[1] + page[2]) * 0.5;
        cv::ellipse(img, cv::RotatedRect(cv::Point2f(at), cv::Size2f(70, 30), 0), cv::Scalar(220, 165, 135), cv::FILLED,
                    cv::LINE_AA);
        scene.description = "an A4 page held by a finger and a smaller sheet apart";
        break;
    }
    case Kind::EmptyDeskWithBoxes:
        DeskObjects::paint(img, item(K::Box, {-170, -40}, 10, {200, 150}, 70, cv::Scalar(200, 40, 40)), camera, light);
        DeskObjects::paint(img, item(K::Box, {40, 60}, -20, {150, 110}, 50, cv::Scalar(230, 200, 40)), camera, light);
        DeskObjects::paint(img, item(K::Box, {200, -60}, 5, {160, 120}, 40, cv::Scalar(40, 150, 70)), camera, light);
        scene.hasPage = false;
        scene.description = "an empty desk with three coloured boxes";
        break;
    case Kind::EmptyDeskWithWhiteKeyboard:
        DeskObjects::paint(img, item(K::Folder, {-200, -60}, 8, {235, 315}, 2, cv::Scalar(40, 60, 200)), camera, light);
        DeskObjects::paint(img, item(K::Keyboard, {90, 60}, -10, {430, 135}, 20, cv::Scalar::all(215)), camera, light);
        scene.hasPage = false;
        scene.description = "an empty desk with a white keyboard and a folder";
        break;
    case Kind::CardAlone:
        paintSheet(img, camera, PageRenderer::Kind::BankCard, {85.6, 54}, {5, 3}, 12, &scene);
        scene.setting = Setting::Card;
        scene.description = "a bank card alone on a desk";
        break;
    }
    cv::Mat noise(img.size(), CV_16SC3), noisy;
    cv::RNG(5).fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(2));
    img.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(img, CV_8UC3);
    unsigned char* jpeg = nullptr;
    size_t length = 0;
    if (jpeg_codec::encode(img, 85, &jpeg, &length)) {
        jpeg_codec::decode(jpeg, length, &scene.rgb);
        std::free(jpeg);
    }
    if (scene.rgb.empty())
        scene.rgb = img;
    return scene;
}

} // namespace staged_scenes
