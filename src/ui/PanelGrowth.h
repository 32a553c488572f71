#pragma once

#include <QRect>
#include <QSize>

namespace quorvel {

// How a console panel's controls take a panel larger than its template: the
// transmit and receive boxes share the extra width and both take all the
// extra height, the controls above them spread across the width in
// proportion to where they stand, and those below them move down with the
// boxes' bottom. Every rectangle is the template's (content coordinates).
class PanelGrowth {
  public:
    PanelGrowth(const QRect& panel, const QRect& transmit, const QRect& receive)
        : m_panel(panel), m_transmit(transmit), m_receive(receive) {}

    // Where `control` goes in a panel `extra` larger, its panel moved by `shift`.
    // `group` is the group box around it inside the panel (its Stop On box),
    // or an empty rectangle: a group moves whole, what it holds with it.
    QRect Grow(const QRect& control, const QRect& group, QSize extra, QPoint shift) const;
    // The panel's own group box.
    QRect GrowPanel(QSize extra, QPoint shift) const;

  private:
    QRect m_panel;
    QRect m_transmit;
    QRect m_receive;
};

}  // namespace quorvel
