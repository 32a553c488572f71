#pragma once

#include <QDialog>
#include <QString>

namespace quorvel {

// F1's help: every menu command with what it does, read from the menus and
// the prompts, so it always matches the program. The program has no help
// file of its own; the configuration help document is Config > Help.
class CHelpWindow final : public QDialog {
    Q_OBJECT
  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // The help text (HTML): one section a menu of the document window.
    static QString CommandHelpHtml();
};

}  // namespace quorvel
