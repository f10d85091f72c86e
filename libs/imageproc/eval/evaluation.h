#ifndef TAVIK_IMAGEPROC_EVAL_EVALUATION_H
#define TAVIK_IMAGEPROC_EVAL_EVALUATION_H

#include "scene_generator.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Runs a detector over a fixed set of synthetic scenes and reports, per
// stratum and per setting, what the targets are stated in. Runs on the
// caller's thread.
class Evaluation {
public:
    // The detector under test: true and the page corners, or false.
    using Detector = std::function<bool(const cv::Mat& rgb, Quad* found)>;

    struct SceneResult {
        int index = 0;
        Stratum stratum = Stratum::Easy;
        Setting setting = Setting::Classic;
        bool hasPage = false;
        bool found = false;
        double iou = 0;          // 0 for a miss
        double cornerError = 0;  // share of the perimeter; only when found
        // Relative error of the straightened page's proportions; only for
        // pages found in camera scenes, else negative.
        double aspectError = -1;
        std::string description;
    };

    struct Summary {
        int scenes = 0;
        int pages = 0;
        double meanIou = 0;          // over pages, a miss counts 0
        double poorShare = 0;        // pages with IoU < 0.90 or missed
        int poor = 0;
        int missed = 0;
        double cornerP95 = 0;        // 95th percentile of worst-corner error, pages found
        int empty = 0;               // scenes without a page
        int falseOutlines = 0;
        double falseOutlineShare = 0;
        int proportions = 0;         // pages with an aspect error
        double aspectMedian = 0, aspectP90 = 0;
    };

    // Which scenes a summary takes: -1 for all of a kind.
    struct Filter {
        int stratum = -1;
        int setting = -1;
        bool easyOrModerate = false;
        double minIou = 0;  // proportions only from pages found at least this well
    };

    static std::vector<SceneResult> run(uint32_t setSeed, int count, const Detector& detect);
    static SceneResult judge(const Scene& scene, int index, const Detector& detect);
    static Summary summarize(const std::vector<SceneResult>& results, int stratum);  // -1: all
    static Summary summarize(const std::vector<SceneResult>& results, const Filter& filter);
    static std::string report(const std::vector<SceneResult>& results);
};

#endif
