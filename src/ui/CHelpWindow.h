#pragma once

#include <QDialog>
#include <QString>

namespace quorvel {

// F1's help: every menu command with what it does, read from the menus and
// the prompts (where a prompt does not say what the command does here, the
// help says it), so it always matches the program; then the test console's
// controls. The program has no help file of its own; the configuration help
// document is Config > Help.
class CHelpWindow final : public QDialog {
    Q_OBJECT
  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // The help text (HTML): one section a menu of the document window, then
    // the console.
    static QString CommandHelpHtml();
    // What a command does, as the help and Shift+F1 say it.
    static QString WhatItDoes(int command);
};

}  // namespace quorvel
