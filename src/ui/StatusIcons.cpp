#include "ui/StatusIcons.h"

#include <QPixmap>

namespace {

QIcon drawn(const QString& file) {
    const QIcon scalable(file);
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(scalable.pixmap(size, size));
    return icon;
}

} // namespace

QIcon StatusIcons::forLook(StatusLine::Look look) {
    static const QIcon connected = drawn(":/images/ic_status.svg");
    static const QIcon connecting = drawn(":/images/ic_status_connecting.svg");
    static const QIcon disconnected = drawn(":/images/ic_status_disconnected.svg");
    static const QIcon blocked = drawn(":/images/ic_status_blocked.svg");
    switch (look) {
    case StatusLine::Look::connected:
        return connected;
    case StatusLine::Look::connecting:
    case StatusLine::Look::stopping:
        return connecting;
    case StatusLine::Look::blocked:
        return blocked;
    case StatusLine::Look::disconnected:
        break;
    }
    return disconnected;
}
