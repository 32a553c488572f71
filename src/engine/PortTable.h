#pragma once

#include <optional>

#include "config/PortRegistry.h"
#include "core/PerPort.h"
#include "serial/CComPort.h"

namespace quorvel {

// The ports of the current test, indexed by port 0-7. Written by the GUI
// thread at Test > Start (OpenAllPorts) and at close-all; the test's threads
// only read the handles while the test runs.
struct PortTable {
    PerPort<PortHandle> m_hComPort{};        // null where no port was opened
    PerPort<bool> m_bPortOpen{};             // opened by the current test
    int m_nOpenPorts = 0;                    // set to 0 by Test > Start
    bool m_bAnyPortOpen = false;             // the last OpenAllPorts opened one
    PerPort<SerialFailure> m_OpenFailure{};  // why a chosen port did not open
    CComPort m_ComPort;                      // the channel every port is opened through
};

// Opens every port whose record has nPortOpen set, in port order, and fills
// the table. A port that cannot be opened is reported and the next one is tried.
void OpenAllPorts(PortTable& table, const PortRecords& records);

// Opens COM number `com` through `channel` with the settings of `record`, and
// shows the messages of the set-up steps that failed, naming the test's
// `port` (0-7) where one is given. A device that does not open is not
// reported here.
OpenResult OpenPort(CComPort& channel, int com, const PortRegistry& record,
                    std::optional<int> port = std::nullopt);

}  // namespace quorvel
