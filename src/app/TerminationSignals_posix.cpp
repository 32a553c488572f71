// SIGINT and SIGTERM on Linux: blocked for every thread and read from a
// signalfd on the GUI thread, where they end the program as Exit does.
#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace quorvel {

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
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
        QCoreApplication::quit();
    });
}

TerminationSignals::~TerminationSignals() {
    if (m_signalFd >= 0) {
        ::close(m_signalFd);
    }
}

}  // namespace quorvel
