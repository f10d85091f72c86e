#ifndef TAVIK_IMAGEPROC_EVAL_CAMERA_SCENE_H
#define TAVIK_IMAGEPROC_EVAL_CAMERA_SCENE_H

#include "desk_renderer.h"
#include "page_renderer.h"
#include "scene_generator.h"

// A desk seen through a tilted pinhole camera with mild barrel distortion:
// the page (flat, or with curled corners), the large objects around it, a
// card alone. Fills the picture (before lighting, noise and JPEG) and the
// truth of a Scene. Used by the scene generator only.
class CameraScene {
public:
    struct Options {
        Setting setting = Setting::Pinhole;
        bool hasPage = true;
        double areaLo = 0.2, areaHi = 0.8;  // the page's share of the picture
        bool anyRotation = true;
        bool cornerOut = false;
        double maxTiltDeg = 18;
        DeskRenderer::Kind desk = DeskRenderer::Kind::Dark;
        PageRenderer::Kind page = PageRenderer::Kind::A4;
        cv::Scalar paper;
    };

    // The page's size in millimetres (portrait unless the kind is landscape).
    static cv::Size2d pageSize(PageRenderer::Kind kind, double aspect);

    // Renders into scene->rgb and sets truth, pageToImage, pageSize,
    // aspect, camera; appends what lies on the desk to the description.
    static void render(const Options& options, double aspect, cv::Size size, SceneRandom& rng, Scene* scene);
};

#endif
