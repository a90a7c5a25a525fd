#pragma once

#include <QObject>

// Gives every button of the application (check boxes, link buttons and the buttons
// of message boxes included) the pointing-hand cursor. Installed once, on the
// application object.
class PointingHandCursor : public QObject {
public:
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
