#include "ui/CScrollDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QWheelEvent>
#include <algorithm>

namespace quorvel {
namespace {

// A scroll bar's action as the request it stands for.
int RequestOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return kLineBack;
        case QAbstractSlider::SliderSingleStepAdd:
            return kLineForward;
        case QAbstractSlider::SliderPageStepSub:
            return kPageBack;
        case QAbstractSlider::SliderPageStepAdd:
            return kPageForward;
        case QAbstractSlider::SliderMove:
            return kThumbTrack;
        case QAbstractSlider::SliderToMinimum:
            return kToStart;
        case QAbstractSlider::SliderToMaximum:
            return kToEnd;
        default:
            return kEndScroll;
    }
}

// Steps of `unit` pixels for a wheel turn of `delta` (in eighths of a degree,
// 120 a notch): at least one step for any turn, so a fine wheel moves too.
int WheelSteps(int delta, int unit) {
    if (delta == 0) {
        return 0;
    }
    const int pixels = delta * QApplication::wheelScrollLines() * CScrollDialog::kWheelLinePixels;
    const int steps = pixels / (120 * unit);
    return steps != 0 ? steps : (delta > 0 ? 1 : -1);
}

}  // namespace

CScrollDialog::CScrollDialog(QWidget* parent) : QDialog(parent) {
    m_content = new QWidget(this);
    m_horizontal = new QScrollBar(Qt::Horizontal, this);
    m_vertical = new QScrollBar(Qt::Vertical, this);
    m_grip = new CSizeGrip(this);
    m_grip->setObjectName(QStringLiteral("id%1").arg(CSizeGrip::kControlId));
    Connect(m_horizontal, true);
    Connect(m_vertical, false);
}

void CScrollDialog::Connect(QScrollBar* bar, bool horizontal) {
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, horizontal](int action) {
        const int request = RequestOf(action);
        if (horizontal) {
            ScrollHorizontally(request, bar->sliderPosition());
        } else {
            ScrollVertically(request, bar->sliderPosition());
        }
        // The position is the model's, whatever the bar would have done.
        bar->setSliderPosition(horizontal ? m_model.m_nHorzPos : m_model.m_nVertPos);
    });
}

void CScrollDialog::OnInitDialog() {
    m_content->adjustSize();
    m_content->move(0, 0);
    m_templateSize = m_content->size();
    // From here on the content takes whatever room the client gives beyond
    // the template.
    m_content->setMinimumSize(m_templateSize);
    m_content->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_model.Initialize(m_templateSize.width(), m_templateSize.height());
    resize(m_templateSize);
    LayOut();
}

void CScrollDialog::ScrollHorizontally(int request, int thumb) {
    if (m_model.ScrollHorizontally(request, thumb) != 0) {
        Apply();
    }
}

void CScrollDialog::ScrollVertically(int request, int thumb) {
    if (m_model.ScrollVertically(request, thumb) != 0) {
        Apply();
    }
}

void CScrollDialog::ScrollVerticallyBy(int rows) {
    ScrollVertically(kThumbTrack, m_model.m_nVertPos + rows);  // clamped to the range
}

void CScrollDialog::ScrollHorizontallyBy(int columns) {
    ScrollHorizontally(kThumbTrack, m_model.m_nHorzPos + columns);
}

void CScrollDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
}

void CScrollDialog::wheelEvent(QWheelEvent* event) {
    // Only what no control under the mouse took (a text box that can still
    // scroll takes it) reaches the dialog.
    const int vertical = m_model.m_nVertPos;
    const int horizontal = m_model.m_nHorzPos;
    ScrollVerticallyBy(-WheelSteps(event->angleDelta().y(), ScrollModel::kRow));
    ScrollHorizontallyBy(-WheelSteps(event->angleDelta().x(), ScrollModel::kColumn));
    event->setAccepted(vertical != m_model.m_nVertPos || horizontal != m_model.m_nHorzPos);
}

void CScrollDialog::keyPressEvent(QKeyEvent* event) {
    if (ScrollByKey(*event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CScrollDialog::ScrollByKey(const QKeyEvent& event) {
    // A page is what the client shows, less a little that stays in sight.
    const int page = std::max(1, m_view.height() * 9 / 10 / ScrollModel::kRow);
    const bool control = event.modifiers() == Qt::ControlModifier;
    if (event.modifiers() == Qt::NoModifier && event.key() == Qt::Key_PageDown) {
        ScrollVerticallyBy(page);
    } else if (event.modifiers() == Qt::NoModifier && event.key() == Qt::Key_PageUp) {
        ScrollVerticallyBy(-page);
    } else if (control && event.key() == Qt::Key_Home) {
        ScrollVertically(kToStart);
        ScrollHorizontally(kToStart);
    } else if (control && event.key() == Qt::Key_End) {
        ScrollVertically(kToEnd);
    } else {
        return false;
    }
    return true;
}

void CScrollDialog::GrowContent(QSize /*extra*/) {}

void CScrollDialog::LayOut() {
    if (m_templateSize.isEmpty()) {
        return;  // before initialisation
    }
    const int barWidth = m_vertical->sizeHint().width();
    const int barHeight = m_horizontal->sizeHint().height();
    // The bars take their room from the client, and one bar may make the
    // other needed: the view settles within two passes.
    m_view = size();
    for (int pass = 0; pass < 2; ++pass) {
        m_model.Resize(m_view.width(), m_view.height(), isMaximized());
        m_view = QSize(width() - (m_model.m_nVertMax > 0 ? barWidth : 0),
                       height() - (m_model.m_nHorzMax > 0 ? barHeight : 0));
    }
    m_model.Resize(m_view.width(), m_view.height(), isMaximized());

    const QSize content = m_templateSize.expandedTo(m_view);
    m_content->resize(content);
    if (const QSize extra = content - m_templateSize; extra != m_grown) {
        m_grown = extra;
        GrowContent(extra);
    }
    m_horizontal->setGeometry(0, height() - barHeight, m_view.width(), barHeight);
    m_vertical->setGeometry(width() - barWidth, 0, barWidth, m_view.height());
    Apply();
}

void CScrollDialog::Apply() {
    m_content->move(m_model.OffsetX(), m_model.OffsetY());
    // A range of 0 .. 0 leaves nothing to scroll: that bar goes away.
    m_horizontal->setRange(0, m_model.m_nHorzMax);
    m_horizontal->setValue(m_model.m_nHorzPos);
    m_horizontal->setVisible(m_model.m_nHorzMax > 0);
    m_vertical->setRange(0, m_model.m_nVertMax);
    m_vertical->setValue(m_model.m_nVertPos);
    m_vertical->setVisible(m_model.m_nVertMax > 0);
    m_horizontal->raise();
    m_vertical->raise();
    m_grip->setVisible(m_model.GripVisible());
    if (!isMaximized()) {
        const QSize grip = m_grip->sizeHint();
        m_grip->setGeometry(width() - grip.width(), height() - grip.height(), grip.width(),
                            grip.height());
    }
    m_grip->raise();
}

}  // namespace quorvel
