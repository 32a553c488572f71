#pragma once

#include <QIcon>
#include <QString>

namespace quorvel {

// The program's icon (resource 128), in 16, 32 and 48 pixels.
QIcon ProgramIcon();

// The picture of a toolbar button (15 by 14 pixels) for its command; a null
// icon for a command that has no button.
QIcon ToolbarIcon(int command);

// The resource path of that picture; empty for a command with no button.
QString ToolbarIconPath(int command);

}  // namespace quorvel
