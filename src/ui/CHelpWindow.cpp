#include "ui/CHelpWindow.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "res/Menus.h"
#include "res/resource.h"

namespace quorvel {
namespace {

// A menu text as the operator reads it: no mnemonic marks, no shortcut.
QString PlainText(const std::string& menuText) {
    QString text = QString::fromStdString(menuText).section(QLatin1Char('\t'), 0, 0);
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QStringLiteral("..."))) {
        text.chop(3);
    }
    return text;
}

// What a command does where its status-bar prompt says nothing, or says
// something it does not do here (Exit has no documents to save).
QString OwnDescription(int command) {
    switch (command) {
        case res::kTestDelay:
            return QStringLiteral("Sets the pause in milliseconds after each packet a port sends");
        case res::kAppExit:
            return QStringLiteral(
                "Ends Quorvel and saves the port settings to the profile; offered while no test "
                "runs (Test > Stop first)");
        case res::kPortSettings:
            return QStringLiteral(
                "Opens a tabbed dialog to enter the port settings, \"Ports Properties\": a tab "
                "a port with its line settings, COM number, the card's features and \"Open Port "
                "For Testing\"");
        case res::kConfigHelp:
            return QStringLiteral(
                "Opens the configuration help document QuorvelConfig.doc from the current "
                "folder, or says that it is missing");
        default:
            return QString();
    }
}

// The console's controls, a panel a port.
QString ConsoleHelpHtml() {
    return QStringLiteral(
        "<p><b>The test console</b> (\"Serial Communication Test\", shown by Test &gt; "
        "Start)</p><ul>"
        "<li>Enable: whether the port's sent and received text is shown in its two boxes; the "
        "port sends, receives and is checked either way</li>"
        "<li>Run, Stop: start and end the port's sending; Transfer: chooses what it sends "
        "(Quick Brown, Alphabets, your own text or a file)</li>"
        "<li>Internal LoopTest: switches the card's own loopback for the port</li>"
        "<li>Stop On: Test Forever, Error (the first byte received wrong) or Time (hours : "
        "minutes)</li>"
        "<li>Error Count, Packet Count: the errors and packets of the port's current run</li>"
        "<li>The mouse wheel, Page Up, Page Down, Ctrl+Home and Ctrl+End scroll the console; "
        "a larger window gives its panels larger text boxes, and its size and place are kept "
        "for the next time</li>"
        "<li>Escape hides the console and the test goes on; Test &gt; Start shows it again</li>"
        "</ul>");
}

}  // namespace

QString CHelpWindow::WhatItDoes(int command) {
    const QString own = OwnDescription(command);
    return own.isEmpty() ? QString::fromStdString(res::PromptOf(command).status) : own;
}

QString CHelpWindow::CommandHelpHtml() {
    QString html = QStringLiteral("<h3>Quorvel commands</h3>");
    for (const res::MenuItem& popup : res::DocumentMenu()) {
        const QString menu = PlainText(popup.text);
        html += QStringLiteral("<p><b>%1</b></p><ul>").arg(menu.toHtmlEscaped());
        for (const res::MenuItem& item : popup.items) {
            if (item.IsSeparator()) {
                continue;
            }
            const QString status = WhatItDoes(item.command);
            html += QStringLiteral("<li>%1 &gt; %2")
                        .arg(menu.toHtmlEscaped(), PlainText(item.text).toHtmlEscaped());
            if (!status.isEmpty()) {
                html += QStringLiteral(": ") + status.toHtmlEscaped();
            }
            html += QStringLiteral("</li>");
        }
        html += QStringLiteral("</ul>");
    }
    html += ConsoleHelpHtml();
    html += QStringLiteral(
        "<p>Shift+F1, then a click on a button or a menu item, says what that one does.</p>");
    return html;
}

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Quorvel Help"));
    auto* text = new QTextBrowser(this);
    text->setHtml(CommandHelpHtml());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(520, 420);
}

}  // namespace quorvel
