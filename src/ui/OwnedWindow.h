#pragma once

class QWidget;

namespace quorvel {

// Asks the desktop to leave a window that belongs to another (the console,
// which belongs to the main window) off its task bar. Called once the window
// has its owner and flags, before it is first shown. Where the desktop shows
// no task-bar entry for an owned window anyway (Windows), it does nothing.
void KeepOffTaskBar(QWidget& window);

}  // namespace quorvel
