#include "ui/PointingHandCursor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>

void PointingHandCursor::install() {
    static PointingHandCursor* filter = nullptr;
    if (filter)
        return;
    filter = new PointingHandCursor(qApp);
    qApp->installEventFilter(filter);
}

bool PointingHandCursor::eventFilter(QObject* watched, QEvent* event) {
    // Polish comes once for every widget before it is first shown, whoever made it.
    if (event->type() == QEvent::Polish)
        if (auto* button = qobject_cast<QAbstractButton*>(watched))
            button->setCursor(Qt::PointingHandCursor);
    return QObject::eventFilter(watched, event);
}
