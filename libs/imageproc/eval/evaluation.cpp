#include "evaluation.h"

#include "page_warper.h"
#include "quad_metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t at = std::min(v.size() - 1, static_cast<size_t>(std::max(1.0, std::ceil(q * v.size()))) - 1);
    return v[at];
}

} // namespace

Evaluation::SceneResult Evaluation::judge(const Scene& scene, int index, const Detector& detect)
{
    SceneResult r;
    r.index = index;
    r.stratum = scene.stratum;
    r.setting = scene.setting;
    r.hasPage = scene.hasPage;
    r.description = scene.description;
    Quad found;
    r.found = detect(scene.rgb, &found);
    if (r.found && r.hasPage) {
        // Through a lens, the page frame is reached from the undistorted
        // picture.
        Quad pinhole = found;
        if (scene.throughCamera) {
            for (cv::Point2f& p : pinhole.p)
                p = cv::Point2f(scene.camera.undistort(cv::Point2d(p)));
        }
        r.iou = quad_metrics::iouInPageFrame(pinhole, scene.pageToImage, scene.pageSize);
        r.cornerError = quad_metrics::worstCornerError(found, scene.truth);
        if (scene.throughCamera && scene.aspect > 0) {
            // What a straightened photo would show, from the corners as found.
            const double estimated = PageWarper::aspectRatio(quad_geometry::ordered(found), scene.rgb.size());
            r.aspectError = std::min(std::abs(estimated / scene.aspect - 1), std::abs(estimated * scene.aspect - 1));
        }
    }
    return r;
}

std::vector<Evaluation::SceneResult> Evaluation::run(uint32_t setSeed, int count, const Detector& detect)
{
    std::vector<SceneResult> results;
    for (int i = 0; i < count; ++i)
        results.push_back(judge(SceneGenerator::make(setSeed, i), i, detect));
    return results;
}

Evaluation::Summary Evaluation::summarize(const std::vector<SceneResult>& results, int stratum)
{
    Filter f;
    f.stratum = stratum;
    return summarize(results, f);
}

Evaluation::Summary Evaluation::summarize(const std::vector<SceneResult>& results, const Filter& filter)
{
    Summary s;
    std::vector<double> corners, aspects;
    double iouSum = 0;
    for (const SceneResult& r : results) {
        if ((filter.stratum >= 0 && static_cast<int>(r.stratum) != filter.stratum)
            || (filter.setting >= 0 && static_cast<int>(r.setting) != filter.setting)
            || (filter.easyOrModerate && r.stratum == Stratum::Hard))
            continue;
        ++s.scenes;
        if (!r.hasPage) {
            ++s.empty;
            s.falseOutlines += r.found ? 1 : 0;
            continue;
        }
        ++s.pages;
        iouSum += r.iou;
        if (!r.found)
            ++s.missed;
        else
            corners.push_back(r.cornerError);
        if (r.aspectError >= 0 && r.iou >= filter.minIou)
            aspects.push_back(r.aspectError);
        if (!r.found || r.iou < 0.9)
            ++s.poor;
    }
    if (s.pages > 0) {
        s.meanIou = iouSum / s.pages;
        s.poorShare = static_cast<double>(s.poor) / s.pages;
    }
    if (s.empty > 0)
        s.falseOutlineShare = static_cast<double>(s.falseOutlines) / s.empty;
    s.cornerP95 = percentile(corners, 0.95);
    s.proportions = static_cast<int>(aspects.size());
    s.aspectMedian = percentile(aspects, 0.5);
    s.aspectP90 = percentile(aspects, 0.9);
    return s;
}

std::string Evaluation::report(const std::vector<SceneResult>& results)
{
    std::string out;
    char line[256];
    auto header = [&](const char* first) {
        std::snprintf(line, sizeof line, "%-10s %6s %6s %9s %10s %7s %14s %6s %14s\n", first, "scenes", "pages",
                      "mean IoU", "IoU<0.90", "missed", "corner p95 %", "empty", "false outline");
        out += line;
    };
    auto row = [&](const char* name, const Summary& s) {
        std::snprintf(line, sizeof line, "%-10s %6d %6d %9.4f %9.1f%% %7d %14.3f %6d %13.1f%%\n", name, s.scenes,
                      s.pages, s.meanIou, 100 * s.poorShare, s.missed, 100 * s.cornerP95, s.empty,
                      100 * s.falseOutlineShare);
        out += line;
    };
    header("stratum");
    for (int st = 0; st < 3; ++st) {
        Filter f;
        f.stratum = st;
        row(stratumName(static_cast<Stratum>(st)), summarize(results, f));
    }
    Filter easyModerate;
    easyModerate.easyOrModerate = true;
    row("easy+mod", summarize(results, easyModerate));
    row("all", summarize(results, Filter()));
    header("setting");
    for (int k = 0; k < kSettings; ++k) {
        Filter f;
        f.setting = k;
        const Summary s = summarize(results, f);
        if (s.scenes > 0)
            row(settingName(static_cast<Setting>(k)), s);
    }
    const Summary all = summarize(results, Filter());
    std::snprintf(line, sizeof line,
                  "proportions of the straightened page (camera scenes, %d pages found): median error %.2f%%, p90 %.2f%%\n",
                  all.proportions, 100 * all.aspectMedian, 100 * all.aspectP90);
    out += line;
    Filter well;
    well.minIou = 0.9;
    const Summary found = summarize(results, well);
    std::snprintf(line, sizeof line, "...of the %d found with IoU >= 0.9: median error %.2f%%, p90 %.2f%%\n",
                  found.proportions, 100 * found.aspectMedian, 100 * found.aspectP90);
    out += line;
    return out;
}
