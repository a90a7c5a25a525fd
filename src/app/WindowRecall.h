#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <chrono>

class QWidget;

// Brings a window forward, out of a minimized state or from under other windows, on any
// desktop. It asks first as a desktop expects (un-minimize, raise, activate; on Wayland with
// the activation token the desktop handed over); where that leaves the window inactive (a
// Wayland compositor that takes no token or refuses this one, a window manager that will not
// raise for a program), it shows the window anew (unmap and map), which every desktop puts in
// front with the focus, as it does any new window; its open alert is shown anew above it.
class WindowRecall : public QObject {
public:
    explicit WindowRecall(QWidget& window);

    // `activation`: the token (Wayland) or startup id (X11) the desktop gave for this, if any.
    void bringForward(const QByteArray& activation = {});

    // How long the window may take to become active before it is shown anew.
    void setSettleTime(std::chrono::milliseconds settle) { settle_.setInterval(settle); }
    static constexpr std::chrono::milliseconds defaultSettleTime{500};

private:
    void activate(const QByteArray& activation);
    void settled();
    // Whether the window, or a window of its own (an alert), has the focus.
    bool forward() const;

    QWidget& window_;
    QTimer settle_;
};
