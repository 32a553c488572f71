#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvel {

// Turns SIGINT and SIGTERM into a normal quit of the application, so that
// Ctrl+C in the terminal that started Quorvel still saves the records. Must be
// made before any other thread starts, since it blocks the two signals for
// the threads that follow. Does nothing where the system has no signalfd.
class TerminationSignals final : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  private:
    int m_signalFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace quorvel
