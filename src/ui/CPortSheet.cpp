#include "ui/CPortSheet.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "res/resource.h"

namespace quorvel {
namespace {

namespace id = res::page;

constexpr int kFirstRs485Port = 6;  // only the card's ports 7 and 8 have RS485

// The list's index into the record, or the record's value kept when the list
// shows no selection (the record held an index outside the list).
void TakeIndex(const QComboBox* list, std::int32_t& field) {
    if (list->currentIndex() >= 0) {
        field = list->currentIndex();
    }
}

std::int32_t Flag(const QAbstractButton* button) {
    return button->isChecked() ? 1 : 0;
}

}  // namespace

CPortPage::CPortPage(int portNumber, PortRecords& records, QWidget* parent)
    : QWidget(parent), m_nPortIndex(portNumber - 1), m_records(records) {
    m_controls = BuildControls(res::PortPageTemplate(), *this);
    const DialogUnits units(font());
    setMinimumSize(units.ToPixelsX(res::PortPageTemplate().width),
                   units.ToPixelsY(res::PortPageTemplate().height));
    m_dtrRts.addButton(Radio(id::kDtr));
    m_dtrRts.addButton(Radio(id::kRts));
    m_dtrRts.setExclusive(false);  // a record may have neither chosen
    ConnectReactions();
}

PortRegistry& CPortPage::Record() const {
    return m_records.m_PortRegistry[m_nPortIndex];
}

void CPortPage::FillStopBits(int dataLengthIndex) {
    DropDownList* stopBits = List(id::kStopBits);
    stopBits->clear();
    stopBits->addItem(QStringLiteral("1"));
    stopBits->addItem(dataLengthIndex == 0 ? QStringLiteral("1.5") : QStringLiteral("2"));
}

void CPortPage::ShowHysteresisFor(bool dtrChosen) {
    List(id::kDtrHysteresis)->setEnabled(dtrChosen);
    List(id::kRtsHysteresis)->setEnabled(!dtrChosen);
}

void CPortPage::ConnectReactions() {
    // The COM numbers of the other ports follow port 0's at once.
    connect(List(id::kComBase), &QComboBox::activated, this, [this](int index) {
        for (int port = 1; port < kPortCount; ++port) {
            m_records.m_PortRegistry[port].nComBase = index + port;
        }
    });
    // DTR and RTS are radio buttons: a click chooses one, and a click on the
    // one already chosen keeps it (the group is not exclusive only so that a
    // record with neither can show neither).
    for (const bool dtr : {true, false}) {
        QRadioButton* chosen = Radio(dtr ? id::kDtr : id::kRts);
        QRadioButton* other = Radio(dtr ? id::kRts : id::kDtr);
        connect(chosen, &QRadioButton::clicked, this, [this, chosen, other, dtr] {
            chosen->setChecked(true);
            other->setChecked(false);
            ShowHysteresisFor(dtr);
        });
    }
    connect(Check(id::kRxFifo), &QCheckBox::toggled, List(id::kRxTrigger), &QWidget::setEnabled);
    connect(Check(id::kTxFifo), &QCheckBox::toggled, List(id::kTxTrigger), &QWidget::setEnabled);
    connect(List(id::kStopBits), &DropDownList::aboutToDropDown, this, [this] {
        TakeIndex(List(id::kDataLength), Record().nDataBits);
        FillStopBits(Record().nDataBits);
        List(id::kStopBits)->setCurrentIndex(Record().nStopBits);
    });
    connect(List(id::kDataLength), &QComboBox::activated, this, [this](int index) {
        Record().nDataBits = index;
        FillStopBits(index);
        List(id::kStopBits)->setCurrentIndex(0);
    });
}

void CPortPage::OnInitDialog() {
    if (m_initialised) {
        return;
    }
    m_initialised = true;
    const PortRegistry& r = Record();
    FillStopBits(r.nDataBits);
    // A value outside a list shows as no selection (index -1).
    auto select = [](QComboBox* list, std::int32_t index) {
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    };
    select(List(id::kBaud), r.nBaud);
    select(List(id::kDataLength), r.nDataBits);
    select(List(id::kParity), r.nParity);
    select(List(id::kStopBits), r.nStopBits);
    select(List(id::kFlowControl), r.nFlowCtrl);
    Check(id::kRs485)->setChecked(r.nRS485 != 0);
    Radio(id::kDtr)->setChecked(r.nDTR != 0);
    Radio(id::kRts)->setChecked(r.nRTS != 0);
    Check(id::kTxFifo)->setChecked(r.nTxFIFO != 0);
    Check(id::kRxFifo)->setChecked(r.nRxFIFO != 0);
    Check(id::kOpenPort)->setChecked(r.nPortOpen != 0);
    select(List(id::kComBase), r.nComBase);
    select(List(id::kDtrHysteresis), r.nDTRHys);
    select(List(id::kRtsHysteresis), r.nRTSHys);
    select(List(id::kRxTrigger), r.nRxTrig);
    select(List(id::kTxTrigger), r.nTxTrig);

    Check(id::kRs485)->setEnabled(m_nPortIndex >= kFirstRs485Port);
    List(id::kComBase)->setEnabled(m_nPortIndex == 0);
    List(id::kDtrHysteresis)->setEnabled(true);
    List(id::kRtsHysteresis)->setEnabled(true);
    if (r.nDTR != 0) {
        ShowHysteresisFor(true);
    }
    if (r.nRTS != 0) {
        ShowHysteresisFor(false);
    }
    List(id::kTxTrigger)->setEnabled(r.nTxFIFO != 0);
    List(id::kRxTrigger)->setEnabled(r.nRxFIFO != 0);
}

void CPortPage::OnOK() {
    PortRegistry& r = Record();
    TakeIndex(List(id::kBaud), r.nBaud);
    TakeIndex(List(id::kDataLength), r.nDataBits);
    TakeIndex(List(id::kParity), r.nParity);
    TakeIndex(List(id::kStopBits), r.nStopBits);
    TakeIndex(List(id::kFlowControl), r.nFlowCtrl);
    r.nRS485 = Flag(Check(id::kRs485));
    r.nDTR = Flag(Radio(id::kDtr));
    r.nRTS = Flag(Radio(id::kRts));
    r.nPortOpen = Flag(Check(id::kOpenPort));
    r.nTxFIFO = Flag(Check(id::kTxFifo));
    r.nRxFIFO = Flag(Check(id::kRxFifo));
    if (m_nPortIndex == 0) {
        TakeIndex(List(id::kComBase), r.nComBase);
    }
    TakeIndex(List(id::kDtrHysteresis), r.nDTRHys);
    TakeIndex(List(id::kRtsHysteresis), r.nRTSHys);
    TakeIndex(List(id::kRxTrigger), r.nRxTrig);
    TakeIndex(List(id::kTxTrigger), r.nTxTrig);
}

CPortSheet::CPortSheet(PortRecords& records, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ports Properties"));
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(false);  // all eight tabs in view
    for (int i = 0; i < kPortCount; ++i) {
        m_pages[i] = new CPortPage(i + 1, records, m_tabs);
        m_tabs->addTab(m_pages[i], QStringLiteral("Port%1").arg(i + 1));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPortSheet::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CPortSheet::ShowPage);
    ShowPage(0);
}

void CPortSheet::ShowPage(int index) {
    if (index < 0 || index >= kPortCount) {
        return;
    }
    m_tabs->setCurrentIndex(index);
    Page(index)->OnInitDialog();
}

void CPortSheet::OnOK() {
    for (CPortPage* page : m_pages) {
        if (page->WasShown()) {
            page->OnOK();
        }
    }
    accept();
}

}  // namespace quorvel
