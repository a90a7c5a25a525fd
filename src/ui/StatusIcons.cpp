#include "ui/StatusIcons.h"

#include <QPixmap>

namespace {

// The installed icon theme's picture under `name` (a tray then gets the name and draws
// it in its own size), or else the one built in, drawn.
QIcon named(const QString& name, const QString& file) {
    const QIcon scalable(file);
    QIcon drawn;
    for (int size : {16, 22, 24, 32, 48, 64})
        drawn.addPixmap(scalable.pixmap(size, size));
    return QIcon::fromTheme(name, drawn);
}

} // namespace

QIcon StatusIcons::forLook(StatusLine::Look look) {
    switch (look) {
    case StatusLine::Look::connected:
        return named("quovant-connected", ":/images/ic_status.svg");
    case StatusLine::Look::connecting:
        return named("quovant-connecting", ":/images/ic_status_connecting.svg");
    case StatusLine::Look::disconnected:
        break;
    }
    return named("quovant-disconnected", ":/images/ic_status_disconnected.svg");
}
