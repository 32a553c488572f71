#include "ui/CScrollDialog.h"

#include <QResizeEvent>

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
    m_model.Initialize(m_content->width(), m_content->height());
    resize(m_content->size());
    Apply();
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

void CScrollDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    m_model.Resize(width(), height(), isMaximized());
    Apply();
}

void CScrollDialog::Apply() {
    m_content->move(m_model.OffsetX(), m_model.OffsetY());
    const int barWidth = m_vertical->sizeHint().width();
    const int barHeight = m_horizontal->sizeHint().height();
    // A range of 0 .. 0 leaves nothing to scroll: that bar goes away.
    m_horizontal->setRange(0, m_model.m_nHorzMax);
    m_horizontal->setValue(m_model.m_nHorzPos);
    m_horizontal->setVisible(m_model.m_nHorzMax > 0);
    m_vertical->setRange(0, m_model.m_nVertMax);
    m_vertical->setValue(m_model.m_nVertPos);
    m_vertical->setVisible(m_model.m_nVertMax > 0);
    const int right = width() - (m_vertical->isVisible() ? barWidth : 0);
    const int bottom = height() - (m_horizontal->isVisible() ? barHeight : 0);
    m_horizontal->setGeometry(0, height() - barHeight, right, barHeight);
    m_vertical->setGeometry(width() - barWidth, 0, barWidth, bottom);
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
