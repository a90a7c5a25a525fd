#pragma once

#include <QIcon>
#include <QRectF>
#include <QString>

class QPainter;

// The application's pictures by name: the shield of each look ("ic_status",
// "ic_status_connecting", "ic_status_disconnected", "ic_status_blocked") and the connect
// button's backgrounds ("bg_button", "bg_button_green"). They are painted, not loaded:
// no image decoder or SVG renderer stays loaded for them, no pixels are kept, and they are
// sharp at every size and screen density. The shield is the one of
// resources/images/ic_status.svg, which desktops show in their application menus.
class Artwork {
public:
    static bool has(const QString& name);
    // Paints picture `name` stretched over `area`; nothing for a name that is none.
    static void paint(QPainter& painter, const QString& name, const QRectF& area);
    // The picture as an icon, painted at each size it is asked for; tray hosts that take
    // pixels are offered the sizes panels use.
    static QIcon icon(const QString& name);
};
