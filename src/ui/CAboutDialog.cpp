#include "ui/CAboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "res/resource.h"
#include "ui/DialogBuilder.h"
#include "ui/Icons.h"

namespace quorvel {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    const DialogControls controls = BuildDialog(res::AboutTemplate(), *this);
    QLabel* icon = controls.As<QLabel>(res::about::kIcon);
    icon->setPixmap(ProgramIcon().pixmap(icon->height()));
    connect(controls.As<QPushButton>(res::kIdOk), &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace quorvel
