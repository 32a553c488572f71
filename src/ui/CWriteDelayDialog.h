#pragma once

#include <QDialog>
#include <QLineEdit>

#include "ui/DialogBuilder.h"

namespace quorvel {

// "Write Delay": the pause after each packet, 0 to 9999 ms. The edit takes
// digits only and at most four of them; empty means 0. OK takes the text as
// it stands, Cancel leaves the delay as it was.
class CWriteDelayDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CWriteDelayDialog(const QString& delay, QWidget* parent = nullptr);

    // The text OK stored; the starting text until then.
    QString DelayText() const { return m_delay; }
    QLineEdit* DelayEdit() const { return m_edit; }

  private:
    void OnOK();

    QString m_delay;
    QLineEdit* m_edit = nullptr;
};

}  // namespace quorvel
