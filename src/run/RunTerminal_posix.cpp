// Ctrl+C and SIGTERM on Linux: blocked for every thread and taken when the
// run's main thread asks.
#include <signal.h>
#include <unistd.h>

#include <ctime>

#include "run/RunTerminal.h"

namespace quorvel {
namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

RunTerminal::RunTerminal() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

RunTerminal::~RunTerminal() = default;

bool RunTerminal::InterruptRequested() {
    if (!m_interrupted) {
        const sigset_t signals = StopSignals();
        const timespec now{0, 0};
        m_interrupted = sigtimedwait(&signals, nullptr, &now) > 0;
    }
    return m_interrupted;
}

bool RunTerminal::OutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

std::string RunTerminal::HostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

}  // namespace quorvel
