#pragma once

#include <QDialog>
#include <QTimer>

#include "engine/TestStatistics.h"
#include "ui/AppServices.h"

class QTableWidget;

namespace quorvel {

class TestRuntime;

// "Test Statistics": a row a port with its COM number, rate, pattern, how
// long its run lasted, its state and verdict (PASS or FAIL by the rules of an
// unattended run, and why), its source, the bytes it sent, the balance of
// what it received (expected, received, verified, corrupted in bytes and
// bits, lost, extra, unrecognised, cut by the stop), its bit error rate and
// latency (median and 99th percentile), the rates it sent and received at as
// a share of its line rate, the time of its first error, its UART's line
// errors by kind and the changes of each input line ("n/a" where the device
// has no modem lines), and what its pattern cannot show. It reads the test's figures once a second
// while it is shown (the threads are never asked for anything), and copies them, or saves them to a
// file, as comma-separated values.
class CStatisticsDialog final : public QDialog {
    Q_OBJECT
  public:
    CStatisticsDialog(const TestRuntime& runtime, AppServices& services, QWidget* parent);

    // Reads the figures now and shows them.
    void Refresh();
    QTableWidget* Table() const { return m_table; }
    const TestStatistics& Shown() const { return m_shown; }

    static constexpr int kRefreshMs = 1000;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void OnCopy();
    void OnSave();

    AppServices& m_services;
    StatisticsSampler m_sampler;
    TestStatistics m_shown{};
    qint64 m_takenMs = 0;  // when they were taken, ms since 1970
    QTableWidget* m_table = nullptr;
    QTimer m_timer;
};

}  // namespace quorvel
