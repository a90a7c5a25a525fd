#include "ui/StyledButton.h"

#include "ui/Artwork.h"

#include <QPainter>

void StyledButton::setImage(const QString& name) {
    imageName_ = name;
    update();
}

void StyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    Artwork::paint(painter, imageName_, rect());
    if (isDown())
        painter.fillRect(rect(), QColor(0, 0, 0, 40));
    if (hasFocus()) {
        // The only sign of the keyboard's focus: the picture has no ring of its own.
        painter.setPen(QPen(Qt::white, ringWidth));
        const qreal half = ringWidth / 2.0;
        const QRectF ring = QRectF(rect()).adjusted(half, half, -half, -half);
        const qreal radius = imageName_.isEmpty() ? 4 : ring.height() / 2;
        painter.drawRoundedRect(ring, radius, radius);
    }
    const QVariant alignment = property("titleAlignment");
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::ButtonText));
    // A link's title keeps clear of the ring, which would cut its first or last letter.
    const int inset = imageName_.isEmpty() ? titleClearance : 8;
    painter.drawText(rect().adjusted(inset, 0, -inset, 0),
                     alignment.isValid() ? alignment.toInt() : int(Qt::AlignCenter), text());
}
