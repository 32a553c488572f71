#include "ui/ScreenFit.h"

#include <algorithm>

namespace quorvel {

QRect FitWithin(const QRect& wanted, const QMargins& frame, const QRect& available) {
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize size(std::clamp(wanted.width(), 1, std::max(1, available.width() - frameWidth)),
                     std::clamp(wanted.height(), 1, std::max(1, available.height() - frameHeight)));
    // The frame's top-left corner, kept on the area with the whole frame.
    const int left =
        std::clamp(wanted.left() - frame.left(), available.left(),
                   std::max(available.left(), available.right() + 1 - (size.width() + frameWidth)));
    const int top = std::clamp(
        wanted.top() - frame.top(), available.top(),
        std::max(available.top(), available.bottom() + 1 - (size.height() + frameHeight)));
    return {QPoint(left + frame.left(), top + frame.top()), size};
}

}  // namespace quorvel
