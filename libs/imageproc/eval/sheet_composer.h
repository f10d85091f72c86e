#ifndef TAVIK_IMAGEPROC_EVAL_SHEET_COMPOSER_H
#define TAVIK_IMAGEPROC_EVAL_SHEET_COMPOSER_H

#include <opencv2/core.hpp>

#include <cstdint>

// A flat, evenly lit page as a scanner would see it (the truth of an
// enhancement scene), with the masks the measures need.
struct Sheet {
    cv::Mat clean;        // CV_8UC3 RGB
    cv::Mat paper;        // CV_8U: blank paper, a few pixels away from any print or stamp
    cv::Mat ink;          // CV_8U: dark, neutral print (letters, characters, table rules)
    cv::Mat seal;         // CV_8U: where the seal's colour is solid and nothing is printed over it
    cv::Mat pictures;     // CV_8U: solid areas of print (pictures, the seal's star) and a rim around them
    cv::Scalar paperColour;
};

// Composes a sheet: the detection scenes' page (text, tables, pictures) on
// the upper part, lines of small characters of Chinese shape below, and a
// red seal partly over them. Same seed, same sheet. Runs on the caller's
// thread.
class SheetComposer {
public:
    static Sheet make(uint32_t seed, cv::Size size);
};

#endif
