#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QHash>
#include <QRect>
#include <QWidget>

#include "res/DialogTemplate.h"

namespace quorvel {

// Converts dialog units to pixels for a dialog font, as the dialog manager
// does: a horizontal unit is a quarter of the font's average character width,
// a vertical unit an eighth of its height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;

  private:
    double m_baseX;
    double m_baseY;
};

// The controls a template produced, by control ID.
class DialogControls {
  public:
    void Bind(int id, QWidget* control) { m_byId.insert(id, control); }
    QWidget* Control(int id) const { return m_byId.value(id, nullptr); }
    template <typename Widget>
    Widget* As(int id) const {
        return qobject_cast<Widget*>(Control(id));
    }
    int Count() const { return static_cast<int>(m_byId.size()); }

  private:
    QHash<int, QWidget*> m_byId;
};

// A drop-down list that says when it is about to open.
class DropDownList final : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
    void showPopup() override;

  signals:
    void aboutToDropDown();
};

// Builds a template's controls into `dialog` (its caption, font and size
// too) and binds every control that has an ID. Controls without an ID are
// made but not bound.
DialogControls BuildDialog(const res::DialogTemplate& dialogTemplate, QDialog& dialog);

// The same for a page inside another window: the controls and the font only.
DialogControls BuildControls(const res::DialogTemplate& dialogTemplate, QWidget& page);

}  // namespace quorvel
