#include "evaluation.h"

#include "quad_metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::vector<Evaluation::SceneResult> Evaluation::run(uint32_t setSeed, int count, const Detector& detect)
{
    std::vector<SceneResult> results;
    for (int i = 0; i < count; ++i) {
        const Scene scene = SceneGenerator::make(setSeed, i);
        SceneResult r;
        r.index = i;
        r.stratum = scene.stratum;
        r.hasPage = scene.hasPage;
        r.description = scene.description;
        Quad found;
        r.found = detect(scene.rgb, &found);
        if (r.found && r.hasPage) {
            r.iou = quad_metrics::iouInPageFrame(found, scene.pageToImage, scene.pageSize);
            r.cornerError = quad_metrics::worstCornerError(found, scene.truth);
        }
        results.push_back(r);
    }
    return results;
}

Evaluation::Summary Evaluation::summarize(const std::vector<SceneResult>& results, int stratum)
{
    Summary s;
    std::vector<double> corners;
    int poor = 0, falseOutlines = 0;
    double iouSum = 0;
    for (const SceneResult& r : results) {
        if (stratum >= 0 && static_cast<int>(r.stratum) != stratum)
            continue;
        ++s.scenes;
        if (!r.hasPage) {
            ++s.empty;
            falseOutlines += r.found ? 1 : 0;
            continue;
        }
        ++s.pages;
        iouSum += r.iou;
        if (!r.found)
            ++s.missed;
        else
            corners.push_back(r.cornerError);
        if (!r.found || r.iou < 0.9)
            ++poor;
    }
    if (s.pages > 0) {
        s.meanIou = iouSum / s.pages;
        s.poorShare = static_cast<double>(poor) / s.pages;
    }
    if (s.empty > 0)
        s.falseOutlineShare = static_cast<double>(falseOutlines) / s.empty;
    if (!corners.empty()) {
        std::sort(corners.begin(), corners.end());
        const size_t at = std::min(corners.size() - 1,
                                   static_cast<size_t>(std::ceil(0.95 * corners.size())) - 1);
        s.cornerP95 = corners[at];
    }
    return s;
}

std::string Evaluation::report(const std::vector<SceneResult>& results)
{
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-9s %6s %6s %9s %10s %7s %14s %6s %14s\n", "stratum", "scenes",
                  "pages", "mean IoU", "IoU<0.90", "missed", "corner p95 %", "empty", "false outline");
    out += line;
    for (int st = 0; st <= 3; ++st) {
        const int which = st == 3 ? -1 : st;
        const Summary s = summarize(results, which);
        std::snprintf(line, sizeof line, "%-9s %6d %6d %9.4f %9.1f%% %7d %14.3f %6d %13.1f%%\n",
                      which < 0 ? "all" : stratumName(static_cast<Stratum>(which)), s.scenes, s.pages,
                      s.meanIou, 100 * s.poorShare, s.missed, 100 * s.cornerP95, s.empty,
                      100 * s.falseOutlineShare);
        out += line;
    }
    return out;
}
