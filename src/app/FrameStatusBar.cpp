#include "app/FrameStatusBar.h"

#include <utility>

#include "res/Menus.h"
#include "res/resource.h"

namespace quorvel {
namespace {

constexpr std::array<std::pair<int, const char*>, 3> kIndicators{{
    {res::kIndicatorCaps, "CAP"},
    {res::kIndicatorNum, "NUM"},
    {res::kIndicatorScroll, "SCRL"},
}};

}  // namespace

FrameStatusBar::FrameStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("id%1").arg(res::kViewStatusBar));
    m_idleLabel = new QLabel(QString::fromLatin1(res::kIdleText), this);
    addWidget(m_idleLabel, 1);
    connect(this, &QStatusBar::messageChanged, m_idleLabel,
            [this](const QString& message) { m_idleLabel->setVisible(message.isEmpty()); });
    for (std::size_t i = 0; i < kIndicators.size(); ++i) {
        auto* label = new QLabel(QString::fromLatin1(kIndicators[i].second), this);
        label->setObjectName(QStringLiteral("id%1").arg(kIndicators[i].first));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setEnabled(false);
        addPermanentWidget(label);
        m_indicators[i] = label;
    }
}

QLabel* FrameStatusBar::Indicator(int id) const {
    for (std::size_t i = 0; i < kIndicators.size(); ++i) {
        if (kIndicators[i].first == id) {
            return m_indicators[i];
        }
    }
    return nullptr;
}

void FrameStatusBar::ShowLocks(const std::optional<KeyboardLocks>& locks) {
    const KeyboardLocks state = locks.value_or(KeyboardLocks{});
    m_indicators[0]->setEnabled(state.caps);
    m_indicators[1]->setEnabled(state.num);
    m_indicators[2]->setEnabled(state.scroll);
}

}  // namespace quorvel
