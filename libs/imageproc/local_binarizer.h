#ifndef TAVIK_IMAGEPROC_LOCAL_BINARIZER_H
#define TAVIK_IMAGEPROC_LOCAL_BINARIZER_H

#include <opencv2/core.hpp>

// Black and white from a flattened grey page (paper at 255, grey linear in
// reflectance) by a local threshold. Two local rules, the lower one wins:
//  - half way between the darkest and the lightest grey within about two
//    characters: a thin or faint stroke is cut at half its own depth, so it
//    stays whole, and a bold one at the true edge of its ink. Where the dark
//    covers much of the window (the edge of a picture, not strokes) the
//    middle grey is taken instead;
//  - Sauvola's: the window's mean, lowered where the window is flat, so that
//    the inside of a picture does not flip black and white with its grain.
// Clamped so that anything darker than the middle grey is black wherever it
// lies, and grain on blank paper is white. The statistics are gathered in
// small blocks and the threshold read back smoothly: two passes over the
// page. Windows and blocks are shares of the longer side, so a quarter-scale
// preview thresholds like the photo. Runs on the caller's thread; no state.
class LocalBinarizer {
public:
    // `grey` (CV_8U) in place: every pixel becomes 0 or 255.
    static void apply(cv::Mat& grey);
};

#endif
