#include "ui/CStatisticsDialog.h"

#include <QClipboard>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include "config/PortRegistry.h"
#include "core/MessageSink.h"
#include "core/TickClock.h"
#include "engine/LineStatistics.h"

namespace quorvel {
namespace {

const QStringList& ColumnTitles() {
    static const QStringList titles{
        QStringLiteral("Port"),       QStringLiteral("COM"),          QStringLiteral("State"),
        QStringLiteral("Source"),     QStringLiteral("Sent"),         QStringLiteral("Received"),
        QStringLiteral("Verified"),   QStringLiteral("Corrupted"),    QStringLiteral("Lost"),
        QStringLiteral("Extra"),      QStringLiteral("Unrecognised"), QStringLiteral("Sent %"),
        QStringLiteral("Received %"), QStringLiteral("First error")};
    return titles;
}

// The columns of the whole table: the data's, then the lines'.
const QStringList& AllColumnTitles() {
    static const QStringList titles = [] {
        QStringList all = ColumnTitles();
        for (const std::string& title : LineFigureTitles()) {
            all.append(QString::fromStdString(title));
        }
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

// The data cells of a port's row, in column order.
QStringList DataCellsOf(const PortStatistics& row) {
    const CheckCounts& c = row.counts;
    return {QStringLiteral("Port%1").arg(row.port + 1),
            QStringLiteral("COM%1").arg(row.com),
            QString::fromStdString(row.state),
            QString::fromStdString(row.source),
            Number(row.sent),
            Number(c.received),
            Number(c.verified),
            Number(c.corrupted),
            Number(c.lost),
            Number(c.extra),
            Number(c.unrecognised),
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
    return cells;
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
    resize(m_table->horizontalHeader()->length() + 40, 360);
}

void CStatisticsDialog::Refresh() {
    m_shown = m_sampler.Sample(SteadyTickClock::Instance().NowMs());
    for (const PortStatistics& row : m_shown) {
        const QStringList cells = CellsOf(row);
        for (int column = 0; column < cells.size(); ++column) {
            m_table->item(row.port, column)->setText(cells[column]);
        }
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
    QGuiApplication::clipboard()->setText(QString::fromStdString(StatisticsCsv(m_shown)));
}

void CStatisticsDialog::OnSave() {
    const QString path = m_services.ChooseStatisticsFile(this);
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    const QByteArray csv = QByteArray::fromStdString(StatisticsCsv(m_shown));
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        ShowMessage("Unable to save the file " + path.toStdString(), "Error",
                    mb::kOk | mb::kIconExclamation);
    }
}

}  // namespace quorvel
