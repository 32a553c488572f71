#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef __linux__
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#endif

namespace quorvel {

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
#ifdef __linux__
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
#endif
}

TerminationSignals::~TerminationSignals() {
#ifdef __linux__
    if (m_signalFd >= 0) {
        ::close(m_signalFd);
    }
#endif
}

}  // namespace quorvel
