#pragma once

#include <QWidget>

class QPrinter;

namespace quorvel {

// The document window's view. The document carries no data, so the view
// draws nothing on the screen and prints one empty page.
class CQuorvelView final : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;

    // Prints the view on `printer`; false when the printer cannot start
    // (no printer, or a file that cannot be written).
    static bool PrintOn(QPrinter* printer);
};

}  // namespace quorvel
