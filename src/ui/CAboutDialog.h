#pragma once

#include <QDialog>

namespace quorvel {

// "About Quorvel": the program's icon, name and version.
class CAboutDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

}  // namespace quorvel
