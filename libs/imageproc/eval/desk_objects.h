#ifndef TAVIK_IMAGEPROC_EVAL_DESK_OBJECTS_H
#define TAVIK_IMAGEPROC_EVAL_DESK_OBJECTS_H

#include "desk_camera.h"
#include "scene_random.h"

#include <opencv2/core.hpp>

#include <vector>

// Large things that share a desk with the page, as rectangular and as flat
// as a sheet or nearly: coloured folders, boxes, dark books, phones,
// keyboards and a second sheet. Sizes are real ones (mm); the camera paints
// them with their visible sides and shadows. Used by the scene generator only.
class DeskObjects {
public:
    enum class Kind { Folder, Box, Book, Phone, Keyboard, Sheet };

    struct Item {
        Kind kind = Kind::Folder;
        cv::Point2d centre;       // on the desk (mm)
        double angle = 0;         // radians
        cv::Size2d size;          // width, depth (mm)
        double height = 0;        // mm above the desk
        cv::Scalar colour;        // main colour (RGB)
        uint32_t seed = 0;        // for the printed face
    };

    static const char* name(Kind kind);

    // A random item of `kind` with its size and colours; placed later.
    static Item make(Kind kind, cv::Scalar paper, SceneRandom& rng);

    // Corners of the item's footprint on the desk (mm), clockwise.
    static std::vector<cv::Point2d> footprint(const Item& item);

    // Paints the item's shadow (light falling from `light`, a unit desk
    // direction) and then the item itself.
    static void paint(cv::Mat& picture, const Item& item, const DeskCamera& camera, cv::Point2d light);
};

// Shared area of two convex desk polygons (mm^2).
double overlapArea(const std::vector<cv::Point2d>& a, const std::vector<cv::Point2d>& b);

// Darkens `picture` under a soft shadow of the desk polygon `desk` seen
// through `camera`: `depth` is the darkening at its core, `blur` the
// softness in picture pixels.
void castShadow(cv::Mat& picture, const std::vector<cv::Point2d>& desk, const DeskCamera& camera, double depth,
                double blur);

#endif
