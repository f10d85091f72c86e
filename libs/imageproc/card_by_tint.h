#ifndef TAVIK_IMAGEPROC_CARD_BY_TINT_H
#define TAVIK_IMAGEPROC_CARD_BY_TINT_H

#include "desk_tint.h"
#include "quad.h"

#include <opencv2/core.hpp>

// A coloured card on a grained desk (wood, fabric) may show no edge the
// search can follow all round, though its colour stands out plainly. The
// largest patch of another tint than the desk's, whole in the picture and
// nearly a rectangle, is proposed as the card; whether it is one is for the
// referee to say. Runs on the caller's thread; no state.
class CardByTint {
public:
    explicit CardByTint(const DeskTint& tint);

    // The patch's rectangle in the planes' pixels; false when the largest
    // patch is too small, too large, cut by the frame or no rectangle.
    bool propose(Quad* out) const;

private:
    const DeskTint& m_tint;
};

#endif
