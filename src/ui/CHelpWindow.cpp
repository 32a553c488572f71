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

// What a command without a status-bar prompt does.
QString DescriptionWithoutPrompt(int command) {
    if (command == res::kTestDelay) {
        return QStringLiteral("Sets the pause in milliseconds after each packet a port sends");
    }
    return QString();
}

}  // namespace

QString CHelpWindow::CommandHelpHtml() {
    QString html = QStringLiteral("<h3>Quorvel commands</h3>");
    for (const res::MenuItem& popup : res::DocumentMenu()) {
        const QString menu = PlainText(popup.text);
        html += QStringLiteral("<p><b>%1</b></p><ul>").arg(menu.toHtmlEscaped());
        for (const res::MenuItem& item : popup.items) {
            if (item.IsSeparator()) {
                continue;
            }
            QString status = QString::fromStdString(res::PromptOf(item.command).status);
            if (status.isEmpty()) {
                status = DescriptionWithoutPrompt(item.command);
            }
            html += QStringLiteral("<li>%1 &gt; %2")
                        .arg(menu.toHtmlEscaped(), PlainText(item.text).toHtmlEscaped());
            if (!status.isEmpty()) {
                html += QStringLiteral(": ") + status.toHtmlEscaped();
            }
            html += QStringLiteral("</li>");
        }
        html += QStringLiteral("</ul>");
    }
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
