#include "virtual_page_script.h"

namespace tavik {

VirtualPageScript::Moment VirtualPageScript::at(double seconds) const
{
    Moment moment;
    if (seconds < kEmptySeconds || m_pages <= 0)
        return moment;
    const int cycle = static_cast<int>((seconds - kEmptySeconds) / kCycleSeconds);
    if (cycle >= m_pages) {
        moment.page = m_pages - 1;
        return moment;
    }
    const double t = seconds - kEmptySeconds - cycle * kCycleSeconds;
    // The sheet changes while the hand is over it, at its furthest.
    moment.page = t < kHandInSeconds ? cycle - 1 : cycle;
    if (t < kHandInSeconds)
        moment.hand = t / kHandInSeconds;
    else if (t < kHandInSeconds + kHandOutSeconds)
        moment.hand = 1.0 - (t - kHandInSeconds) / kHandOutSeconds;
    if (moment.hand >= 0)
        moment.laying = cycle;
    return moment;
}

double VirtualPageScript::handGoneAt(int page)
{
    return kEmptySeconds + page * kCycleSeconds + kHandInSeconds + kHandOutSeconds;
}

VirtualScene::PageLook VirtualPageScript::lookOf(int page)
{
    VirtualScene::PageLook look;
    const unsigned k = static_cast<unsigned>(page);
    look.layout = k + 1;
    look.shiftX = (static_cast<int>(k * 37 % 7) - 3) * 0.012;
    look.shiftY = (static_cast<int>(k * 19 % 5) - 2) * 0.008;
    look.turnDegrees = 4.0 + (static_cast<int>(k * 53 % 9) - 4) * 0.9;
    return look;
}

} // namespace tavik
