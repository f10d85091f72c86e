// Evaluation of the page detector on synthetic scenes with known corners.
//
//   imageproc_eval [--set dev|heldout|eval|regression] [--seed N] [--count N] [--setting NAME]
//                  [--list] [--dump DIR] [--dump-all DIR] [--trace INDEX] [--quick]
//
// "dev" is the tuning set; "heldout" confirms what was tuned there and is
// never tuned on; "eval" the set reported before the camera settings;
// "regression" the set the test suite checks. --setting keeps the scenes
// of one setting (classic, pinhole, curled, objects, empty+obj, card).
// --list prints every scene's result; --dump writes the poorly found scenes
// with their outlines drawn (truth in blue, found in green) as JPEGs,
// --dump-all every scene; --trace prints every proposal the detector judged
// for one scene (">" the search's own pick, "=>" the outline returned).
// --quick judges the preview's quick first search instead of
// the photo path's full one.

#include "document_detector.h"
#include "evaluation.h"
#include "library_detector.h"
#include "imageproc.h"
#include "jpeg_codec.h"
#include "outline_painter.h"
#include "quad_metrics.h"

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void dump(const std::string& dir, uint32_t seed, int index)
{
    const Scene scene = SceneGenerator::make(seed, index);
    cv::Mat img = scene.rgb.clone();
    if (scene.hasPage)
        OutlinePainter::draw(&img, scene.truth, 3, 1);
    Quad found;
    if (findWithLibrary(scene.rgb, &found))
        OutlinePainter::draw(&img, found, 1, 1);
    unsigned char* data = nullptr;
    size_t length = 0;
    if (!jpeg_codec::encode(img, 90, &data, &length))
        return;
    const std::string path = dir + "/scene_" + std::to_string(index) + ".jpg";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, length, f);
        std::fclose(f);
    }
    std::free(data);
}

// Every proposal of one scene as judged at the work scale.
void printTrace(uint32_t seed, int index)
{
    const Scene scene = SceneGenerator::make(seed, index);
    std::vector<DocumentDetector::Trace> trace;
    DocumentDetector::Result result;
    const bool found = DocumentDetector::find(scene.rgb, &result, &trace);
    const int factor = DocumentDetector::workFactor(scene.rgb.size());
    std::printf("scene %d (%s), %dx%d, work factor %d, found %d\n", index, scene.description.c_str(), scene.rgb.cols,
                scene.rgb.rows, factor, found ? 1 : 0);
    for (int i = 0; i < 4 && scene.hasPage; ++i)
        std::printf("  truth %d: %.1f,%.1f\n", i, scene.truth.p[i].x / factor, scene.truth.p[i].y / factor);
    for (int i = 0; i < 4 && found; ++i)
        std::printf("  found %d: %.1f,%.1f (score %.3f)\n", i, result.quad.p[i].x / factor, result.quad.p[i].y / factor,
                    result.score);
    for (const DocumentDetector::Trace& t : trace) {
        const PaperJudge::Verdict& v = t.paper;
        std::printf("%s total %.3f support %.2f min %.2f contrast %.1f area %.3f paper %.2f (level %.2f sat %.2f blank %.2f texture %.2f ink %.3f) :",
                    t.chosen ? "=>" : (t.picked ? " >" : "  "), t.score.total, t.score.support, t.score.minSupport,
                    t.score.contrast, t.score.area, v.likeness, v.level, v.saturation, v.blank, v.texture, v.ink);
        for (const cv::Point2f& p : t.refined.p)
            std::printf(" %.0f,%.0f", p.x, p.y);
        std::printf("\n");
    }
}

bool findQuickly(const cv::Mat& rgb, Quad* found)
{
    DocumentDetector::Result result;
    if (!DocumentDetector::find(rgb, &result, nullptr, nullptr, true))
        return false;
    *found = result.quad;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string set = "eval", dumpDir;
    int count = 300;
    bool list = false, quick = false, dumpAll = false;
    int onlySetting = -1, traced = -1;
    long long ownSeed = -1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--set") && i + 1 < argc)
            set = argv[++i];
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            ownSeed = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--count") && i + 1 < argc)
            count = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--setting") && i + 1 < argc) {
            const char* name = argv[++i];
            for (int k = 0; k < kSettings; ++k)
                onlySetting = std::strcmp(settingName(static_cast<Setting>(k)), name) ? onlySetting : k;
            if (onlySetting < 0) {
                std::fprintf(stderr, "unknown setting %s\n", name);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--list"))
            list = true;
        else if (!std::strcmp(argv[i], "--trace") && i + 1 < argc)
            traced = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--quick"))
            quick = true;
        else if (!std::strcmp(argv[i], "--dump") && i + 1 < argc)
            dumpDir = argv[++i];
        else if (!std::strcmp(argv[i], "--dump-all") && i + 1 < argc) {
            dumpDir = argv[++i];
            dumpAll = true;
        }
        else {
            std::fprintf(stderr, "usage: %s [--set dev|heldout|eval|regression] [--seed N] [--count N] [--setting NAME] [--list] [--dump DIR] [--dump-all DIR] [--trace INDEX] [--quick]\n", argv[0]);
            return 2;
        }
    }
    const uint32_t seed = ownSeed >= 0 ? static_cast<uint32_t>(ownSeed)
        : set == "dev" ? SceneGenerator::kDevelopmentSeed
        : set == "regression"         ? SceneGenerator::kRegressionSeed
        : set == "heldout"            ? SceneGenerator::kHeldOutSeed
                                      : SceneGenerator::kEvaluationSeed;
    if (traced >= 0) {
        printTrace(seed, traced);
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<Evaluation::SceneResult> results;
    for (int i = 0; i < count; ++i) {
        if (onlySetting < 0 || static_cast<int>(SceneGenerator::settingOf(i)) == onlySetting)
            results.push_back(Evaluation::judge(SceneGenerator::make(seed, i), i, quick ? findQuickly : findWithLibrary));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (list) {
        for (const Evaluation::SceneResult& r : results)
            std::printf("%4d %-8s %-9s found=%d iou=%.4f corner=%.3f%% aspect=%.2f%%  %s\n", r.index,
                        stratumName(r.stratum), settingName(r.setting), r.found ? 1 : 0, r.iou, 100 * r.cornerError,
                        100 * r.aspectError, r.description.c_str());
    }
    if (!dumpDir.empty()) {
        for (const Evaluation::SceneResult& r : results) {
            if (dumpAll || (r.hasPage && r.iou < 0.97) || (!r.hasPage && r.found))
                dump(dumpDir, seed, r.index);
        }
    }
    if (ownSeed >= 0)
        set = "own";
    std::printf("set %s (seed %u), %d scenes, %.1f s\n%s", set.c_str(), seed, count, seconds,
                Evaluation::report(results).c_str());
    return 0;
}
