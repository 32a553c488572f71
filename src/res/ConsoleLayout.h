#pragma once

#include <array>

#include "core/PerPort.h"
#include "res/DialogTemplate.h"

namespace quorvel::res {

// The roles of a console panel's controls; every panel has one of each.
enum class PanelRole {
    Enable,
    ErrorCount,
    PacketCount,
    Txd,
    Dtr,
    Rts,
    Rxd,
    Dsr,
    Cts,
    Ri,
    Dcd,
    Transmit,
    Receive,
    LoopTest,
    TestForever,
    ErrorOption,
    TimeOption,
    Hours,
    Minutes,
    Run,
    Stop,
    Transfer,
};
inline constexpr int kPanelRoles = 22;

// The control ID of a role in panel `port` (0-7).
int ConsoleControlId(PanelRole role, int port);

// Template 132, "Serial Communication Test": eight panels made from one panel
// layout and the control-ID table.
const DialogTemplate& ConsoleTemplate();

}  // namespace quorvel::res
