#pragma once

#include <QMargins>
#include <QRect>

namespace quorvel {

// The client rectangle `wanted` (screen coordinates) made to fit, with its
// window frame `frame` around it, within `available` (a screen's area less
// its panels and task bars): cut to the area's size where it is larger, then
// moved onto the area where it lies off it. A rectangle that fits is kept as
// it is. All in the same (logical) pixels, whatever the screen's scale.
QRect FitWithin(const QRect& wanted, const QMargins& frame, const QRect& available);

}  // namespace quorvel
