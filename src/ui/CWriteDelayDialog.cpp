#include "ui/CWriteDelayDialog.h"

#include <QPushButton>

#include "res/resource.h"

namespace quorvel {

CWriteDelayDialog::CWriteDelayDialog(const QString& delay, QWidget* parent)
    : QDialog(parent), m_delay(delay) {
    const DialogControls controls = BuildDialog(res::WriteDelayTemplate(), *this);
    m_edit = controls.As<QLineEdit>(res::delay::kEdit);
    m_edit->setMaxLength(4);
    m_edit->setText(delay);
    connect(controls.As<QPushButton>(res::kIdOk), &QPushButton::clicked, this,
            &CWriteDelayDialog::OnOK);
    connect(controls.As<QPushButton>(res::kIdCancel), &QPushButton::clicked, this,
            &QDialog::reject);
}

void CWriteDelayDialog::OnOK() {
    m_delay = m_edit->text();
    accept();
}

}  // namespace quorvel
