#include "ui/CQuorvelView.h"

#include <QPainter>
#include <QPrinter>

namespace quorvel {

bool CQuorvelView::PrintOn(QPrinter* printer) {
    QPainter painter;
    if (!painter.begin(printer)) {
        return false;
    }
    // The page stays empty: there is nothing to draw.
    return painter.end();
}

}  // namespace quorvel
