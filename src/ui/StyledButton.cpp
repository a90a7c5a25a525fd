#include "ui/StyledButton.h"

#include <QPainter>
#include <QSvgRenderer>

void StyledButton::setImage(const QString& name) {
    imageName_ = name;
    update();
}

void StyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!imageName_.isEmpty()) {
        QSvgRenderer picture(QStringLiteral(":/images/%1.svg").arg(imageName_));
        picture.render(&painter, rect());
    }
    if (isDown())
        painter.fillRect(rect(), QColor(0, 0, 0, 40));
    const QVariant alignment = property("titleAlignment");
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::ButtonText));
    const int inset = imageName_.isEmpty() ? 0 : 8;
    painter.drawText(rect().adjusted(inset, 0, -inset, 0),
                     alignment.isValid() ? alignment.toInt() : int(Qt::AlignCenter), text());
}
