#include "ui/StyledCheckBox.h"

#include <QPainter>
#include <QPainterPath>

void StyledCheckBox::paintEvent(QPaintEvent*) {
    const bool ticked = isChecked();
    const bool enabled = isEnabled();
    const QColor fill = enabled ? QColor(0x2FC479) : QColor(0x1E7A4C);
    const QColor outline = ticked ? fill : enabled ? QColor(0x9D9EA2) : QColor(0x5A5E68);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        const qreal half = ringWidth / 2.0;
        painter.setPen(QPen(Qt::white, ringWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), 5, 5);
    }
    painter.translate(ringRoom, ringRoom);
    const QRectF box = QRectF(0, 0, side, side).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(ticked ? QBrush(fill) : Qt::NoBrush);
    painter.drawRoundedRect(box, 3, 3);
    if (!ticked)
        return;
    QPainterPath tick;
    tick.moveTo(3.5, 7.2);
    tick.lineTo(6, 9.8);
    tick.lineTo(10.5, 4.5);
    painter.setPen(QPen(enabled ? Qt::white : QColor(0xB8BABF), 1.6, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
}
