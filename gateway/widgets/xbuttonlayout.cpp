#include "xbuttonlayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

int XButtonLayout::roundHalfEven(double value)
{
    // Positions come from twips of widgets on screen; clamp so a pathological size cannot overflow.
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    const double r =
            value - std::floor(value) == 0.5 ? 2.0 * std::round(value / 2.0) : std::round(value);
    return static_cast<int>(std::clamp(r, lo, hi));
}

XButtonLayout XButtonLayout::compute(const Input &in)
{
    XButtonLayout out;
    const double W = in.width, H = in.height;
    const double PW = in.pictureWidth, PH = in.pictureHeight;
    const double TW = in.textWidth, TH = in.textHeight;

    if (!in.hasCaption) {
        if (in.hasPicture)
            out.picture = QPoint(roundHalfEven((W - PW) / 2), roundHalfEven((H - PH) / 2));
        return out;
    }
    if (!in.hasPicture) {
        out.caption = QPoint(roundHalfEven((W - TW) / 2), roundHalfEven((H - TH) / 2));
        return out;
    }
    switch (in.style) {
    case PictureLeft:
        out.picture = QPoint(roundHalfEven((W - PW - TW) / 3), roundHalfEven((H - PH) / 2));
        out.caption =
                QPoint(roundHalfEven(PW + 2 * (W - PW - TW) / 3), roundHalfEven((H - TH) / 2));
        break;
    case PictureAbove:
        out.picture = QPoint(roundHalfEven((W - PW) / 2), roundHalfEven((H - PH - TH) / 3));
        out.caption =
                QPoint(roundHalfEven((W - TW) / 2), roundHalfEven(PH + 2 * (H - TH - PH) / 3));
        break;
    default:
        break;
    }
    return out;
}
