#include "ui/PanelGrowth.h"

namespace quorvel {

QRect PanelGrowth::Grow(const QRect& control, const QRect& group, QSize extra, QPoint shift) const {
    const int halfWidth = extra.width() / 2;
    if (control == m_transmit) {
        return QRect(control.topLeft() + shift, control.size() + QSize(halfWidth, extra.height()));
    }
    if (control == m_receive) {
        return QRect(control.topLeft() + shift + QPoint(halfWidth, 0),
                     control.size() + QSize(extra.width() - halfWidth, extra.height()));
    }
    // Across: in proportion to where the control (or its group) stands.
    const QRect mover = group.isEmpty() ? control : group;
    const int across = m_panel.width() > 0
                           ? extra.width() * (mover.center().x() - m_panel.left()) / m_panel.width()
                           : 0;
    // Down: below the boxes, with their bottom.
    const int down = mover.top() >= m_transmit.bottom() ? extra.height() : 0;
    return control.translated(shift + QPoint(across, down));
}

QRect PanelGrowth::GrowPanel(QSize extra, QPoint shift) const {
    return QRect(m_panel.topLeft() + shift, m_panel.size() + extra);
}

}  // namespace quorvel
