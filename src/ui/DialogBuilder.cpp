#include "ui/DialogBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <cmath>

namespace quorvel {
namespace {

QWidget* MakeControl(const res::ControlTemplate& control, QWidget* parent) {
    const QString text = QString::fromStdString(control.text);
    switch (control.kind) {
        case res::ControlKind::Label:
            return new QLabel(text, parent);
        case res::ControlKind::Edit: {
            if ((control.style & res::kEsMultiline) != 0) {
                auto* box = new QPlainTextEdit(text, parent);
                box->setReadOnly((control.style & res::kEsReadOnly) != 0);
                if ((control.style & res::kWsHScroll) != 0) {
                    box->setLineWrapMode(QPlainTextEdit::NoWrap);  // scrolls sideways instead
                }
                return box;
            }
            auto* edit = new QLineEdit(text, parent);
            edit->setReadOnly((control.style & res::kEsReadOnly) != 0);
            if ((control.style & res::kEsNumber) != 0) {
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
            }
            return edit;
        }
        case res::ControlKind::PushButton:
            return new QPushButton(text, parent);
        case res::ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, parent);
            button->setDefault(true);
            return button;
        }
        case res::ControlKind::CheckBox:
            return new QCheckBox(text, parent);
        case res::ControlKind::RadioButton:
            return new QRadioButton(text, parent);
        case res::ControlKind::GroupBox:
            return new QGroupBox(text, parent);
        case res::ControlKind::ComboList: {
            auto* list = new DropDownList(parent);
            for (const std::string& item : control.items) {
                list->addItem(QString::fromStdString(item));
            }
            return list;
        }
        case res::ControlKind::Icon:
            return new QLabel(parent);
    }
    return new QLabel(text, parent);
}

}  // namespace

void DropDownList::showPopup() {
    emit aboutToDropDown();
    QComboBox::showPopup();
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = metrics.horizontalAdvance(alphabet) / alphabet.size();
    m_baseY = metrics.height();
}

int DialogUnits::ToPixelsX(int units) const {
    return static_cast<int>(std::lround(units * m_baseX / 4.0));
}

int DialogUnits::ToPixelsY(int units) const {
    return static_cast<int>(std::lround(units * m_baseY / 8.0));
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
    return {ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height)};
}

DialogControls BuildDialog(const res::DialogTemplate& dialogTemplate, QDialog& dialog) {
    DialogControls controls = BuildControls(dialogTemplate, dialog);
    dialog.setWindowTitle(QString::fromStdString(dialogTemplate.caption));
    const DialogUnits units(dialog.font());
    dialog.setFixedSize(units.ToPixelsX(dialogTemplate.width),
                        units.ToPixelsY(dialogTemplate.height));
    return controls;
}

DialogControls BuildControls(const res::DialogTemplate& dialogTemplate, QWidget& dialog) {
    QFont font(QString::fromStdString(dialogTemplate.font), dialogTemplate.pointSize);
    font.setStyleHint(QFont::SansSerif);
    dialog.setFont(font);
    const DialogUnits units(dialog.font());

    DialogControls controls;
    for (const res::ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = MakeControl(control, &dialog);
        QRect geometry = units.ToPixels(control.x, control.y, control.width, control.height);
        // The template's sizes were made for a narrower font than the ones
        // this system may have: a caption wider than its place is given room
        // to the right rather than cut off.
        const bool captioned = control.kind == res::ControlKind::Label ||
                               control.kind == res::ControlKind::CheckBox ||
                               control.kind == res::ControlKind::RadioButton;
        if (captioned && widget->sizeHint().width() > geometry.width()) {
            geometry.setWidth(widget->sizeHint().width());
        }
        widget->setGeometry(geometry);
        widget->setEnabled((control.style & res::kWsDisabled) == 0);
        if (control.id >= 0) {
            widget->setObjectName(QStringLiteral("id%1").arg(control.id));
            widget->setProperty("controlId", control.id);
            controls.Bind(control.id, widget);
        }
    }
    return controls;
}

}  // namespace quorvel
