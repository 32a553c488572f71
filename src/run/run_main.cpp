// quorvel-run: a data test without a display, for production lines and CI:
// live progress, a PASS/FAIL verdict a port, JSON and JUnit reports, and an
// exit status (0 passed, 1 a port failed, 2 the run could not happen, 130
// interrupted).
#include <cstdio>
#include <string>
#include <vector>

#include "core/MessageSink.h"
#include "run/RunConsole.h"
#include "run/RunOptions.h"
#include "run/RunSession.h"
#include "run/RunTerminal.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif

int main(int argc, char* argv[]) {
    quorvel::RunTerminal terminal;  // before any thread starts: Ctrl+C ends the run cleanly
    const quorvel::ParsedRunOptions parsed =
        quorvel::ParseRunOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.options.help) {
        std::fputs(quorvel::RunHelp().c_str(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::printf("quorvel-run %s\n", QUORVEL_VERSION);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorvel-run: %s\n", parsed.error.c_str());
        return static_cast<int>(quorvel::RunStatus::CouldNotRun);
    }
    quorvel::RunOptions options = parsed.options;
    options.programVersion = QUORVEL_VERSION;
    quorvel::StandardErrorSink messages;
    quorvel::InstallMessageSink(&messages);
    std::string reason;
    const quorvel::RunStatus status = quorvel::RunUnattended(options, terminal, messages, reason);
    quorvel::InstallMessageSink(nullptr);
    if (status == quorvel::RunStatus::CouldNotRun) {
        std::fprintf(stderr, "quorvel-run: %s\n", reason.c_str());
    }
    return static_cast<int>(status);
}
