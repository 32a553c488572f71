#pragma once

#include <QDialog>
#include <QScrollBar>
#include <QSizeGrip>

#include "ui/ScrollModel.h"

namespace quorvel {

// The size grip in the bottom-right corner: dragging it resizes the dialog
// from that corner.
class CSizeGrip final : public QSizeGrip {
    Q_OBJECT
  public:
    explicit CSizeGrip(QWidget* parent) : QSizeGrip(parent) {}
    static constexpr int kControlId = 59936;
    // What a press on the grip stands for: the bottom-right sizing corner.
    static constexpr int kHitTest = 17;  // HTBOTTOMRIGHT
};

// A resizable dialog that may be smaller than its template: its whole content
// scrolls with the dialog's own scroll bars (see ScrollModel), and a size grip
// sits in the bottom-right corner while nothing needs scrolling. The bars take
// their room from the client area, so no control is ever hidden under them.
// The mouse wheel, Page Up and Page Down, and Ctrl+Home and Ctrl+End scroll
// the content too, wherever the control under them does not scroll itself.
// A client larger than the template gives the content the room beyond it
// (see GrowContent).
class CScrollDialog : public QDialog {
    Q_OBJECT
  public:
    // `content` holds every control, at the template's size.
    explicit CScrollDialog(QWidget* parent = nullptr);

    const ScrollModel& Model() const { return m_model; }
    QWidget* Content() const { return m_content; }
    QScrollBar* HorizontalBar() const { return m_horizontal; }
    QScrollBar* VerticalBar() const { return m_vertical; }
    CSizeGrip* Grip() const { return m_grip; }
    // The part of the client area the content shows in: the client less the
    // scroll bars shown.
    QSize ViewSize() const { return m_view; }

    // A scroll-bar request as the bars send them (tests and keyboard use).
    void ScrollHorizontally(int request, int thumb = 0);
    void ScrollVertically(int request, int thumb = 0);

    // How far a notch of the mouse wheel scrolls, in pixels a line.
    static constexpr int kWheelLinePixels = 16;

  protected:
    // The derived dialog's initialisation calls this once its controls are
    // in the content: the content's size is the template's client size.
    void OnInitDialog();
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The content has `extra` pixels more than its template across and down
    // (zero or more): a derived dialog places its controls to use them.
    virtual void GrowContent(QSize extra);

  private:
    void LayOut();
    void Apply();
    void Connect(QScrollBar* bar, bool horizontal);
    bool ScrollByKey(const QKeyEvent& event);
    void ScrollVerticallyBy(int rows);
    void ScrollHorizontallyBy(int columns);

    ScrollModel m_model;
    QWidget* m_content = nullptr;
    QScrollBar* m_horizontal = nullptr;
    QScrollBar* m_vertical = nullptr;
    CSizeGrip* m_grip = nullptr;
    QSize m_templateSize;  // the content's size at initialisation
    QSize m_view;          // the client less the bars shown
    QSize m_grown;         // what GrowContent was last given
};

}  // namespace quorvel
