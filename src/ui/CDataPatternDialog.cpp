#include "ui/CDataPatternDialog.h"

#include <QApplication>
#include <QPushButton>
#include <filesystem>
#include <optional>

#include "core/MessageSink.h"
#include "core/RegularFile.h"
#include "engine/TestData.h"
#include "engine/TestRuntime.h"
#include "res/resource.h"

namespace quorvel {
namespace {

namespace id = res::pattern;

// The text as the port keeps it (line breaks as CR LF) and as the box shows it.
std::string StoredText(const QString& shown) {
    QString text = shown;
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toStdString();
}

QString ShownText(const std::string& stored) {
    QString text = QString::fromStdString(stored);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace

CDataPatternDialog::CDataPatternDialog(int portNumber, TestRuntime& runtime, AppServices& services,
                                       QWidget* parent)
    : QDialog(parent), m_nPort(portNumber - 1), m_runtime(runtime), m_services(services) {
    m_controls = BuildDialog(res::DataPatternTemplate(), *this);
    m_text = m_controls.As<QPlainTextEdit>(id::kText);
    connect(m_text, &QPlainTextEdit::textChanged, this, &CDataPatternDialog::KeepToLimit);
    connect(m_text, &QPlainTextEdit::cursorPositionChanged, this,
            &CDataPatternDialog::RememberCursor);
    for (int fixed : {id::kQuickBrown, id::kAlphabets, id::kSequence}) {
        connect(Radio(fixed), &QRadioButton::clicked, m_text,
                [this] { m_text->setEnabled(false); });
    }
    connect(Radio(id::kUserPattern), &QRadioButton::clicked, m_text,
            [this] { m_text->setEnabled(true); });
    connect(Radio(id::kFile), &QRadioButton::clicked, this, &CDataPatternDialog::OnFilePattern);
    connect(m_controls.As<QPushButton>(res::kIdOk), &QPushButton::clicked, this,
            &CDataPatternDialog::OnOK);
    connect(m_controls.As<QPushButton>(res::kIdCancel), &QPushButton::clicked, this,
            &QDialog::reject);
    OnInitDialog();
}

void CDataPatternDialog::OnInitDialog() {
    const PortPatternSettings& pattern =
        m_runtime.Records().m_PortPattern[static_cast<std::size_t>(m_nPort)];
    Radio(id::kAlphabets)->setChecked(pattern.nAlpha != 0);
    Radio(id::kQuickBrown)->setChecked(pattern.nQuickBrown != 0);
    Radio(id::kFile)->setChecked(pattern.nFile != 0);
    Radio(id::kUserPattern)->setChecked(pattern.nUserData != 0);
    Radio(id::kSequence)->setChecked(pattern.nPrbs != 0);
    m_accepted = ShownText(pattern.strUserData);
    m_text->setPlainText(m_accepted);
    m_text->setEnabled(pattern.nUserData != 0);
}

void CDataPatternDialog::KeepToLimit() {
    const QString text = m_text->toPlainText();
    // The limit counts the bytes the port will send. An edit that shortens a
    // text already past it (a stored one) is taken all the same.
    const std::size_t bytes = StoredText(text).size();
    if (bytes <= static_cast<std::size_t>(kTextLimit) || bytes <= StoredText(m_accepted).size()) {
        m_accepted = text;
        RememberCursor();
        return;
    }
    const QSignalBlocker blocker(m_text);
    m_text->setPlainText(m_accepted);
    QTextCursor cursor = m_text->textCursor();
    cursor.setPosition(m_acceptedAnchor);
    cursor.setPosition(m_acceptedPosition, QTextCursor::KeepAnchor);
    m_text->setTextCursor(cursor);
    QApplication::beep();
}

void CDataPatternDialog::RememberCursor() {
    // While an edit is under way the cursor has moved for text not yet judged.
    if (m_text->toPlainText() != m_accepted) {
        return;
    }
    m_acceptedAnchor = m_text->textCursor().anchor();
    m_acceptedPosition = m_text->textCursor().position();
}

void CDataPatternDialog::OnFilePattern() {
    m_text->setEnabled(false);
    const QString path = m_services.ChooseFileToSend(this);
    if (path.isEmpty()) {
        return;  // the dialog stays open with File chosen and the last file kept
    }
    if (ReadFile(path)) {
        OnOK();
    }
}

bool CDataPatternDialog::ReadFile(const QString& path) {
    // Only a regular file is read (a FIFO or a device would hang the window),
    // and only the part a port sends.
    std::string why;
    const std::optional<std::string> bytes =
        ReadRegularFile(std::filesystem::path(path.toStdU16String()), kMaxFileData, &why);
    if (!bytes) {
        ShowMessage("Unable to open the file " + path.toStdString(), "Error",
                    mb::kOk | mb::kIconExclamation, MessageOwner::MainWindow, why);
        return false;
    }
    m_runtime.SetFileData(m_nPort, std::vector<std::uint8_t>(bytes->begin(), bytes->end()));
    return true;
}

void CDataPatternDialog::OnOK() {
    PortPatternSettings pattern =
        m_runtime.Records().m_PortPattern[static_cast<std::size_t>(m_nPort)];
    pattern.nAlpha = Radio(id::kAlphabets)->isChecked() ? 1 : 0;
    pattern.nQuickBrown = Radio(id::kQuickBrown)->isChecked() ? 1 : 0;
    pattern.nFile = Radio(id::kFile)->isChecked() ? 1 : 0;
    pattern.nUserData = Radio(id::kUserPattern)->isChecked() ? 1 : 0;
    pattern.nPrbs = Radio(id::kSequence)->isChecked() ? 1 : 0;
    if (pattern.nUserData != 0) {
        pattern.strUserData = StoredText(m_text->toPlainText());
    }
    m_runtime.SetPattern(m_nPort, pattern);
    accept();
}

}  // namespace quorvel
