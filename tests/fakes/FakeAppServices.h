#pragma once

#include <QStringList>

#include "ui/AppServices.h"

namespace quorvel::testing {

// The file choosers and the desktop opener, answered by the test: each chooser
// returns what the test put there (empty: the operator cancelled).
class FakeAppServices final : public AppServices {
  public:
    QString ChooseFileToLoad(QWidget*) override { return chosen; }
    QString ChooseFileToSave(QWidget*) override { return chosen; }
    QString ChooseFileToSend(QWidget*) override { return toSend; }
    QString ChooseDocumentToOpen(QWidget*) override { return chosen; }
    bool OpenDocument(const QString& path) override {
        opened << path;
        return true;
    }

    QString chosen;
    QString toSend;
    QStringList opened;
};

}  // namespace quorvel::testing
