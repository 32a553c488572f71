#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvel {

// Turns SIGINT and SIGTERM into a request to end the program as Exit ends it,
// so that Ctrl+C in the terminal that started Quorvel, or a SIGTERM, still
// stops a test and saves the records. Whoever listens to `requested` decides
// when the program may end. Does nothing where the system has no such signals.
class TerminationSignals final : public QObject {
    Q_OBJECT
  public:
    // Blocks the two signals for this thread and every thread started after
    // it. Called first thing in main, before QApplication starts threads of its
    // own (the X11 connection's): a thread that has them unblocked would take
    // the signal and end the program without saving.
    static void BlockForEveryThread();

    // Listens for the blocked signals on the GUI thread (after QApplication).
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    // SIGINT or SIGTERM arrived (on the GUI thread, through its event loop).
    void requested();

  private:
    int m_signalFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace quorvel
