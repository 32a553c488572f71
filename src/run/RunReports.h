#pragma once

#include <string>

#include "run/RunOptions.h"
#include "run/RunResult.h"

namespace quorvel {

// The results as JSON: the program and its version, when and where the run
// began and how long it took, its verdict, every option in force, what was
// reported and noted, and each port's figures, source, verdict and reason.
std::string ResultJson(const RunResult& result, const RunOptions& options);

// The results as JUnit XML for a CI system: a test case a port, one for the
// failures reported while the run went on that no port's verdict holds, one
// for an interruption, with when, where and how long, each failure's rules
// and its figures, and the run's log.
std::string ResultJUnit(const RunResult& result, const RunOptions& options);

}  // namespace quorvel
