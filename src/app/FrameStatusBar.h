#pragma once

#include <QLabel>
#include <QStatusBar>
#include <array>
#include <optional>

#include "ui/KeyboardLocks.h"

namespace quorvel {

// The main window's status bar: the message pane with the idle text, which
// steps aside while a menu prompt is shown, and the CAP, NUM and SCRL
// indicators, lit while their lock is on.
class FrameStatusBar final : public QStatusBar {
    Q_OBJECT
  public:
    explicit FrameStatusBar(QWidget* parent = nullptr);

    QLabel* IdleLabel() const { return m_idleLabel; }
    // The indicator with that ID (59137 CAP, 59138 NUM, 59139 SCRL); null otherwise.
    QLabel* Indicator(int id) const;

    // Lights each indicator whose lock is on; all stay grey when the state
    // is not known.
    void ShowLocks(const std::optional<KeyboardLocks>& locks);

  private:
    QLabel* m_idleLabel = nullptr;
    std::array<QLabel*, 3> m_indicators{};  // CAP, NUM, SCRL
};

}  // namespace quorvel
