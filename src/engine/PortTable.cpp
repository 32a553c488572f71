#include "engine/PortTable.h"

#include <string>

#include "core/MessageSink.h"
#include "serial/ComDeviceLookup.h"

namespace quorvel {

void OpenAllPorts(PortTable& table, const PortRecords& records) {
    table.m_bAnyPortOpen = false;
    ActiveComDeviceResolver().Refresh();  // the device map is read once a start
    for (int i = 0; i < kPortCount; ++i) {
        table.m_hComPort[i] = nullptr;
        table.m_OpenFailure[i] = SerialFailure{};
        const PortRegistry& record = records.m_PortRegistry[static_cast<std::size_t>(i)];
        if (record.nPortOpen == 0) {
            continue;  // m_bPortOpen[i] is left as it was
        }
        table.m_bPortOpen[i] = false;
        const int com = record.nComBase + 1;
        table.m_hComPort[i] = table.m_ComPort.Open(com, record);
        if (table.m_hComPort[i]) {
            ++table.m_nOpenPorts;
            table.m_bPortOpen[i] = true;
            table.m_bAnyPortOpen = true;
        } else {
            table.m_OpenFailure[i] = table.m_ComPort.OpenFailure();
            // The system's reason goes with the message, so the operator can act on it.
            ShowMessage("Unable to open the communication port COM" + std::to_string(com), "ERROR",
                        mb::kOk | mb::kIconExclamation, MessageOwner::MainWindow,
                        table.m_OpenFailure[i].Detail());
        }
    }
    // What the drivers have to say about the ports they configured comes
    // once for all of them, after the ports' own messages.
    ActiveComDeviceResolver().PortsOpened();
}

}  // namespace quorvel
