#pragma once

#include <string>

#include "config/PortRegistry.h"
#include "config/ProfileStore.h"

namespace quorvel {

// The application object: owns the eight port records and the write delay for
// the life of the program. It loads the records from the profile store once at
// start-up and writes them back once at a normal exit; everything in between
// changes them in memory only.
class CQuorvelApp {
  public:
    explicit CQuorvelApp(ProfileStore& store);

    // The records' part of the start-up, after the main window is up.
    void LoadRecords();

    // Writes every record to the store; returns the process exit code.
    int ExitInstance(int frameworkExitCode);

    PortRecords& Records() { return m_records; }
    const PortRecords& Records() const { return m_records; }

    // The pause after a packet in milliseconds, as decimal text.
    std::string m_strWriteDelay;

  private:
    ProfileStore& m_store;
    PortRecords m_records;
};

}  // namespace quorvel
