#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "ui/AppServices.h"
#include "ui/DialogBuilder.h"

namespace quorvel {

class TestRuntime;

// "Data Pattern": what one port sends in its runs (Quick Brown, Alphabets,
// the operator's own text, a file or the port's own pseudo-random sequence,
// PRBS). OK stores the choice and the text; a
// chosen file is read at once (its first 60000 bytes) and the dialog closes
// as with OK. A file that cannot be read keeps the port's previous file and
// is reported.
class CDataPatternDialog final : public QDialog {
    Q_OBJECT
  public:
    // `portNumber` is 1-8.
    CDataPatternDialog(int portNumber, TestRuntime& runtime, AppServices& services,
                       QWidget* parent = nullptr);

    QRadioButton* Radio(int id) const { return m_controls.As<QRadioButton>(id); }
    QPlainTextEdit* TextBox() const { return m_text; }

    // The most bytes the text may take when sent (UTF-8, CR LF line breaks).
    static constexpr int kTextLimit = 450;

  private:
    void OnInitDialog();
    void OnFilePattern();
    void OnOK();
    // Refuses an edit (a keystroke, a paste, a drop) that would take the text
    // past its limit: the box goes back to what it held before the edit.
    void KeepToLimit();
    // Remembers where the cursor is while the text is one the box accepted.
    void RememberCursor();
    bool ReadFile(const QString& path);

    const int m_nPort;
    TestRuntime& m_runtime;
    AppServices& m_services;
    DialogControls m_controls;
    QPlainTextEdit* m_text = nullptr;
    QString m_accepted;  // the text as it was after the last edit the box took
    int m_acceptedAnchor = 0;
    int m_acceptedPosition = 0;
};

}  // namespace quorvel
