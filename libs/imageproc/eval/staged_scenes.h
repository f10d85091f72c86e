#ifndef TAVIK_IMAGEPROC_EVAL_STAGED_SCENES_H
#define TAVIK_IMAGEPROC_EVAL_STAGED_SCENES_H

#include "scene_generator.h"

// A few desks laid out by hand, each of one situation a detector can get
// wrong, for tests: seen through a slightly tilted pinhole camera, with
// sensor noise and JPEG, the truth as in SceneGenerator. Caller's thread.
namespace staged_scenes {

enum class Kind {
    PageBesideSaturatedFolder,  // a white page, a blue folder and a red box side by side
    PageOnDarkBookEdge,         // a page lying partly on a dark book
    TwoSheets,                  // an A4 page (a finger on it) and a smaller sheet apart: the page is the A4
    EmptyDeskWithBoxes,         // coloured boxes, no page
    EmptyDeskWithWhiteKeyboard, // a white keyboard and a folder on a dark desk, no page
    CardAlone,                  // a blue bank card alone on a wooden desk
};

Scene make(Kind kind, cv::Size size = cv::Size(640, 360));

} // namespace staged_scenes

#endif
