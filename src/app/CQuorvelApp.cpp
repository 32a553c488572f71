#include "app/CQuorvelApp.h"

#include "config/PortRecordStore.h"

namespace quorvel {

CQuorvelApp::CQuorvelApp(ProfileStore& store) : m_store(store) {}

void CQuorvelApp::LoadRecords() {
    LoadAllRecords(m_store, m_records);
    m_strWriteDelay = std::string(kDefaultWriteDelayText);
}

int CQuorvelApp::ExitInstance(int frameworkExitCode) {
    SaveAllRecords(m_store, m_records);
    return frameworkExitCode;
}

}  // namespace quorvel
