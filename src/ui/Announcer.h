#pragma once

#include <QString>
#include <QWidget>

// Says news to a screen reader without moving the focus: the connection came up, dropped or
// failed. With Qt 6.8 and later through an announcement event. Qt 6.4's AT-SPI bridge has
// none, and the name and description changes it sends carry the object instead of the text,
// so screen readers cannot speak them; there the announcer is an empty notification (AT-SPI
// role "notification") that shows anew with the news as its name, as a desktop's
// notification does, which Orca speaks wherever the focus is. Invisible and outside any
// layout; a child of the widget whose window the news belongs to.
class Announcer : public QWidget {
    Q_OBJECT
public:
    explicit Announcer(QWidget* parent);

    void announce(const QString& news);
};
