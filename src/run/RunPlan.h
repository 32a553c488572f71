#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/PortRegistry.h"
#include "run/RunOptions.h"

namespace quorvel {

// What an unattended run is to do, settled from its options before any port
// opens: the records with the options over them, the ports it tests and the
// file a pattern sends.
struct RunPlan {
    PortRecords records = DefaultPortRecords();
    std::vector<int> chosen;                        // 0-7, those the records open
    std::optional<std::vector<std::uint8_t>> file;  // --pattern file:PATH, read whole
};

// The run's first step: everything that can be found wrong without opening a
// port is found here, and then nothing has been started. False, with the
// reason, when the run cannot happen.
bool PrepareRun(const RunOptions& options, RunPlan& plan, std::string& reason);

}  // namespace quorvel
