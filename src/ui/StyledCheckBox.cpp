#include "ui/StyledCheckBox.h"

#include <QPainter>
#include <QPainterPath>

void StyledCheckBox::paintEvent(QPaintEvent*) {
    const bool ticked = isChecked();
    const bool enabled = isEnabled();
    const QColor fill = enabled ? QColor(0x2FC479) : QColor(0x1E7A4C);
    QColor outline = ticked ? fill : enabled ? QColor(0x9D9EA2) : QColor(0x5A5E68);
    qreal width = 1;
    if (hasFocus()) {
        outline = Qt::white;
        width = 2;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box =
        QRectF(0, 0, side, side).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    painter.setPen(QPen(outline, width));
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
