#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>

#include "res/resource.h"

namespace quorvel {
namespace {

constexpr int kButtonWidth = 15;
constexpr int kButtonHeight = 14;

// A nine-pin connector shell: the program's own picture.
void DrawConnector(QPainter& painter, const QRectF& box) {
    QPainterPath shell;
    const qreal inset = box.width() * 0.12;
    shell.moveTo(box.left(), box.top());
    shell.lineTo(box.right(), box.top());
    shell.lineTo(box.right() - inset, box.bottom());
    shell.lineTo(box.left() + inset, box.bottom());
    shell.closeSubpath();
    painter.setPen(QPen(QColor(40, 40, 40), box.width() / 16.0));
    painter.setBrush(QColor(90, 120, 170));
    painter.drawPath(shell);
    painter.setBrush(QColor(235, 200, 60));
    painter.setPen(Qt::NoPen);
    const qreal pin = box.width() / 10.0;
    for (int i = 0; i < 5; ++i) {
        painter.drawEllipse(
            QPointF(box.left() + box.width() * (0.2 + 0.15 * i), box.top() + box.height() * 0.35),
            pin / 2, pin / 2);
    }
    for (int i = 0; i < 4; ++i) {
        painter.drawEllipse(
            QPointF(box.left() + box.width() * (0.275 + 0.15 * i), box.top() + box.height() * 0.68),
            pin / 2, pin / 2);
    }
}

void DrawCommand(QPainter& painter, int command) {
    const QRectF area(1, 1, kButtonWidth - 2, kButtonHeight - 2);
    painter.setPen(QPen(QColor(30, 30, 30), 1));
    switch (command) {
        case res::kPortSettings:
            DrawConnector(painter, area.adjusted(0, 2, 0, -2));
            break;
        case res::kTestStart: {
            QPainterPath play;
            play.moveTo(3, 2);
            play.lineTo(12, 7);
            play.lineTo(3, 12);
            play.closeSubpath();
            painter.setBrush(QColor(40, 160, 60));
            painter.drawPath(play);
            break;
        }
        case res::kTestStop:
            painter.setBrush(QColor(200, 40, 40));
            painter.drawRect(QRectF(3, 3, 9, 8));
            break;
        case res::kConfigLoad:
            painter.setBrush(QColor(230, 190, 80));
            painter.drawRect(QRectF(1, 4, 12, 8));
            painter.drawRect(QRectF(1, 2, 5, 2));
            break;
        case res::kConfigSave:
            painter.setBrush(QColor(60, 90, 160));
            painter.drawRect(QRectF(2, 1, 11, 12));
            painter.setBrush(Qt::white);
            painter.drawRect(QRectF(4, 1, 7, 4));
            break;
        case res::kAppAbout: {
            painter.setBrush(QColor(250, 250, 210));
            painter.drawEllipse(QRectF(1, 0.5, 13, 13));
            QFont font = painter.font();
            font.setPixelSize(11);
            font.setBold(true);
            painter.setFont(font);
            painter.drawText(QRectF(1, 0.5, 13, 13), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        default:
            break;
    }
}

}  // namespace

QPixmap ProgramIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawConnector(painter, QRectF(size * 0.05, size * 0.2, size * 0.9, size * 0.6));
    return pixmap;
}

QIcon ToolbarIcon(int command) {
    QPixmap pixmap(kButtonWidth, kButtonHeight);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawCommand(painter, command);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace quorvel
