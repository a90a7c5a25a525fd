#include "app/WindowRecall.h"

#include "platform/Log.h"

#include <QGuiApplication>
#include <QWidget>

WindowRecall::WindowRecall(QWidget& window) : window_(window) {
    settle_.setSingleShot(true);
    settle_.setInterval(defaultSettleTime);
    connect(&settle_, &QTimer::timeout, this, [this] { settled(); });
}

void WindowRecall::bringForward(const QByteArray& activation) {
    settle_.stop();
    const bool wasShown = window_.isVisible();
    activate(activation);
    // A window mapped just now is in front already: a compositor focuses a new window.
    if (wasShown && !window_.isActiveWindow())
        settle_.start();
}

void WindowRecall::activate(const QByteArray& activation) {
    // Qt's Wayland shell hands the token to the compositor with the next activation.
    if (!activation.isEmpty() && QGuiApplication::platformName().startsWith("wayland")) {
        qputenv("XDG_ACTIVATION_TOKEN", activation);
        Log::line("The window comes forward with the desktop's activation token");
    }
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void WindowRecall::settled() {
    if (!window_.isVisible() || window_.isActiveWindow())
        return;
    // Still minimized or behind: a compositor can neither be told nor asked which, so the
    // window is shown anew.
    Log::line("The desktop did not bring the window forward; showing it anew");
    window_.hide();
    window_.show();
    window_.raise();
    window_.activateWindow();
}
