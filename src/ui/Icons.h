#pragma once

#include <QIcon>
#include <QPixmap>

namespace quorvel {

// The program's icon: a serial connector (resource 128).
QPixmap ProgramIcon(int size);

// The picture of a toolbar button (15 by 14 pixels) for its command.
QIcon ToolbarIcon(int command);

}  // namespace quorvel
