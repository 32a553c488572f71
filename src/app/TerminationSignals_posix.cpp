// SIGINT and SIGTERM on Linux: blocked for every thread and read from a
// signalfd on the GUI thread, where they become a request to end the program.
#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace quorvel {

namespace {

sigset_t StopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    return stopSignals;
}

}  // namespace

void TerminationSignals::BlockForEveryThread() {
    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    const sigset_t stopSignals = StopSignals();
    // Blocked here too, for a caller that did not block them at its start;
    // threads already running keep what they had.
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        return;
    }
    m_signalFd = ::signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_signalFd < 0) {
        return;
    }
    m_notifier = new QSocketNotifier(m_signalFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        signalfd_siginfo info{};
        while (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        emit requested();
    });
}

TerminationSignals::~TerminationSignals() {
    if (m_signalFd >= 0) {
        ::close(m_signalFd);
    }
}

}  // namespace quorvel
