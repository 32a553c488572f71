#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QRadioButton>
#include <QTabWidget>
#include <array>

#include "config/PortRegistry.h"
#include "core/PerPort.h"
#include "ui/DialogBuilder.h"

namespace quorvel {

// One tab of the settings sheet: the line settings of one port's record. Its
// controls are set from the record the first time the tab is shown, kept
// consistent with each other, and copied back by OK.
class CPortPage final : public QWidget {
    Q_OBJECT
  public:
    // `portNumber` is 1-8; the page edits record portNumber - 1.
    CPortPage(int portNumber, PortRecords& records, QWidget* parent = nullptr);

    // Sets the controls from the record (on the first showing).
    void OnInitDialog();
    // Copies the controls into the record (OK on a page that was shown).
    void OnOK();
    bool WasShown() const { return m_initialised; }

    DropDownList* List(int id) const { return m_controls.As<DropDownList>(id); }
    QCheckBox* Check(int id) const { return m_controls.As<QCheckBox>(id); }
    QRadioButton* Radio(int id) const { return m_controls.As<QRadioButton>(id); }

    const int m_nPortIndex;

  private:
    PortRegistry& Record() const;
    void FillStopBits(int dataLengthIndex);
    void ConnectReactions();
    void ShowHysteresisFor(bool dtrChosen);

    PortRecords& m_records;
    DialogControls m_controls;
    QButtonGroup m_dtrRts;
    bool m_initialised = false;
};

// "Ports Properties": eight pages, tabs "Port1" to "Port8".
class CPortSheet final : public QDialog {
    Q_OBJECT
  public:
    explicit CPortSheet(PortRecords& records, QWidget* parent = nullptr);

    QTabWidget* Tabs() const { return m_tabs; }
    CPortPage* Page(int index) const { return m_pages[index]; }
    void ShowPage(int index);

    // OK: every page that was shown copies itself into its record.
    void OnOK();

  private:
    QTabWidget* m_tabs = nullptr;
    PerPort<CPortPage*> m_pages{};
};

}  // namespace quorvel
