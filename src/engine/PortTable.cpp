#include "engine/PortTable.h"

#include <string>

#include "config/PortOpenSettings.h"
#include "core/MessageSink.h"
#include "engine/SerialFailureMessages.h"
#include "serial/ComDeviceLookup.h"

namespace quorvel {

void OpenAllPorts(PortTable& table, const PortRecords& records) {
    table.m_bAnyPortOpen = false;
    // The device map is read once a start; what cannot be used of it is told.
    if (const std::string fault = ActiveComDeviceResolver().Refresh(); !fault.empty()) {
        ShowMessage(fault, "Error", mb::kOk | mb::kIconExclamation);
    }
    for (int i = 0; i < kPortCount; ++i) {
        table.m_hComPort[i] = nullptr;
        table.m_OpenFailure[i] = SerialFailure{};
        const PortRegistry& record = records.m_PortRegistry[i];
        if (record.nPortOpen == 0) {
            continue;  // m_bPortOpen[i] is left as it was
        }
        table.m_bPortOpen[i] = false;
        const int com = record.nComBase + 1;
        const OpenResult opened = OpenPort(table.m_ComPort, com, record, i);
        table.m_hComPort[i] = opened.handle;
        if (table.m_hComPort[i]) {
            ++table.m_nOpenPorts;
            table.m_bPortOpen[i] = true;
            table.m_bAnyPortOpen = true;
        } else {
            table.m_OpenFailure[i] = opened.failure;
            // The system's reason goes with the message, so the operator can act on it.
            ShowPortMessage(i, "Unable to open the communication port COM" + std::to_string(com),
                            "ERROR", mb::kOk | mb::kIconExclamation, MessageOwner::MainWindow,
                            table.m_OpenFailure[i].Detail());
        }
    }
    // What the drivers have to say about the ports they configured comes
    // once for all of them, after the ports' own messages.
    ActiveComDeviceResolver().PortsOpened();
}

OpenResult OpenPort(CComPort& channel, int com, const PortRegistry& record,
                    std::optional<int> port) {
    OpenResult opened = channel.Open(com, LineSettingsOf(record), BuildPortConfigRequest(record));
    ShowOpenSetUpFailures(opened, port);
    return opened;
}

}  // namespace quorvel
