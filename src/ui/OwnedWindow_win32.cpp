// On Windows a window with an owner has no task-bar button of its own.
#include "ui/OwnedWindow.h"

namespace quorvel {

void KeepOffTaskBar(QWidget& /*window*/) {}

}  // namespace quorvel
