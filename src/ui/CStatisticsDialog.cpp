#include "ui/CStatisticsDialog.h"

#include <QClipboard>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "config/PortRegistry.h"
#include "core/MessageSink.h"
#include "core/TickClock.h"
#include "engine/LineStatistics.h"

namespace quorvel {
namespace {

// The balance: every byte the source sent in the run is expected, and
// verified, corrupted, lost or cut by the stop; every byte received is
// verified, corrupted, extra or unrecognised.
const QStringList& ColumnTitles() {
    static const QStringList titles{
        QStringLiteral("Port"),           QStringLiteral("COM"),
        QStringLiteral("Baud"),           QStringLiteral("Pattern"),
        QStringLiteral("Duration"),       QStringLiteral("State"),
        QStringLiteral("Verdict"),        QStringLiteral("Source"),
        QStringLiteral("Sent"),           QStringLiteral("Expected"),
        QStringLiteral("Received"),       QStringLiteral("Verified"),
        QStringLiteral("Corrupted"),      QStringLiteral("Corrupted bits"),
        QStringLiteral("Lost"),           QStringLiteral("Extra"),
        QStringLiteral("Unrecognised"),   QStringLiteral("Cut by stop"),
        QStringLiteral("Bit error rate"), QStringLiteral("Latency median ms"),
        QStringLiteral("Latency p99 ms"), QStringLiteral("Sent %"),
        QStringLiteral("Received %"),     QStringLiteral("First error")};
    return titles;
}

// Why a port failed and what its pattern cannot show, after every other
// column: they may be long.
const QStringList& LongTitles() {
    static const QStringList titles{QStringLiteral("Reason"),
                                    QStringLiteral("Pattern cannot show")};
    return titles;
}

// The columns of the whole table: the data's, then the lines'.
const QStringList& AllColumnTitles() {
    static const QStringList titles = [] {
        QStringList all = ColumnTitles();
        for (const std::string& title : LineFigureTitles()) {
            all.append(QString::fromStdString(title));
        }
        all.append(LongTitles());
        return all;
    }();
    return titles;
}

QString Number(std::uint64_t value) {
    return QString::number(value);
}

QString Share(double share) {
    return QString::number(100 * share, 'f', 1);
}

QString Duration(const std::optional<double>& seconds) {
    if (!seconds) {
        return {};
    }
    const auto whole = static_cast<qint64>(*seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString VerdictText(const std::optional<PortVerdict>& verdict) {
    if (!verdict) {
        return {};
    }
    return verdict->Passed() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

// The data cells of a port's row, in column order.
QStringList DataCellsOf(const PortStatistics& row) {
    const CheckCounts& c = row.counts;
    return {QStringLiteral("Port%1").arg(row.port + 1),
            QStringLiteral("COM%1").arg(row.com),
            QString::number(row.baud),
            QString::fromStdString(row.pattern),
            Duration(row.runSeconds),
            QString::fromStdString(row.state),
            VerdictText(row.verdict),
            QString::fromStdString(row.source),
            Number(row.sent),
            Number(c.expected),
            Number(c.received),
            Number(c.verified),
            Number(c.corrupted),
            Number(c.corruptedBits),
            Number(c.lost),
            Number(c.extra),
            Number(c.unrecognised),
            Number(c.cut),
            QString::fromStdString(BitErrorRateText(c)),
            QString::fromStdString(LatencyText(row.latency, row.latency.medianMs)),
            QString::fromStdString(LatencyText(row.latency, row.latency.p99Ms)),
            Share(row.sentShare),
            Share(row.receivedShare),
            row.firstErrorMs == 0 ? QString()
                                  : QDateTime::fromMSecsSinceEpoch(row.firstErrorMs)
                                        .toString(QStringLiteral("HH:mm:ss"))};
}

// The cells of a port's row, in column order.
QStringList CellsOf(const PortStatistics& row) {
    QStringList cells = DataCellsOf(row);
    for (const std::string& cell : LineFigureCells(row.lines, "n/a")) {
        cells.append(QString::fromStdString(cell));
    }
    cells.append(row.verdict ? QString::fromStdString(row.verdict->Reason()) : QString());
    cells.append(QString::fromStdString(row.cannotShow));
    return cells;
}

// A verdict stands out: green for PASS, red for FAIL, plain for none.
void ColourVerdict(QTableWidgetItem& item, const std::optional<PortVerdict>& verdict) {
    if (!verdict) {
        item.setData(Qt::BackgroundRole, QVariant());
        return;
    }
    item.setBackground(verdict->Passed() ? QColor(0xC8, 0xF0, 0xC8) : QColor(0xF8, 0xC8, 0xC8));
}

// The name the Save chooser offers: the day and time the figures were taken.
QString SuggestedName(const QDateTime& taken) {
    return QStringLiteral("quorvel-statistics-%1.csv")
        .arg(taken.toString(QStringLiteral("yyyy-MM-dd-HHmmss")));
}

}  // namespace

CStatisticsDialog::CStatisticsDialog(const TestRuntime& runtime, AppServices& services,
                                     QWidget* parent)
    : QDialog(parent), m_services(services), m_sampler(runtime) {
    setWindowTitle(QStringLiteral("Test Statistics"));
    m_table = new QTableWidget(kPortCount, AllColumnTitles().size(), this);
    m_table->setHorizontalHeaderLabels(AllColumnTitles());
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int port = 0; port < kPortCount; ++port) {
        for (int column = 0; column < m_table->columnCount(); ++column) {
            m_table->setItem(port, column, new QTableWidgetItem);
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole),
            &QPushButton::clicked, this, &CStatisticsDialog::OnCopy);
    connect(buttons->addButton(QStringLiteral("&Save as CSV..."), QDialogButtonBox::ActionRole),
            &QPushButton::clicked, this, &CStatisticsDialog::OnSave);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &CStatisticsDialog::Refresh);
    Refresh();
    // As wide as the table, but never wider than the screen: it scrolls.
    const int wanted = m_table->horizontalHeader()->length() + 40;
    resize(std::min(wanted, screen()->availableGeometry().width()), 360);
}

void CStatisticsDialog::Refresh() {
    m_shown = m_sampler.Sample(SteadyTickClock::Instance().NowMs());
    m_takenMs = QDateTime::currentMSecsSinceEpoch();
    const int verdictColumn = static_cast<int>(ColumnTitles().indexOf(QStringLiteral("Verdict")));
    for (const PortStatistics& row : m_shown) {
        const QStringList cells = CellsOf(row);
        for (int column = 0; column < cells.size(); ++column) {
            m_table->item(row.port, column)->setText(cells[column]);
        }
        ColourVerdict(*m_table->item(row.port, verdictColumn), row.verdict);
    }
    m_table->resizeColumnsToContents();
}

void CStatisticsDialog::showEvent(QShowEvent* event) {
    Refresh();
    m_timer.start();
    QDialog::showEvent(event);
}

void CStatisticsDialog::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QDialog::hideEvent(event);
}

void CStatisticsDialog::OnCopy() {
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(StatisticsCsv(m_shown, m_takenMs)));
}

void CStatisticsDialog::OnSave() {
    const QString path = m_services.ChooseStatisticsFile(
        this, SuggestedName(QDateTime::fromMSecsSinceEpoch(m_takenMs)));
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    const QByteArray csv = QByteArray::fromStdString(StatisticsCsv(m_shown, m_takenMs));
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        ShowMessage("Unable to save the file " + path.toStdString(), "Error",
                    mb::kOk | mb::kIconExclamation);
    }
}

}  // namespace quorvel
