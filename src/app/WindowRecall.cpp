#include "app/WindowRecall.h"

#include "platform/Log.h"

#include <QApplication>
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
    if (wasShown && !forward())
        settle_.start();
}

bool WindowRecall::forward() const {
    // An alert of the window's own may hold the focus, on top of it.
    for (const QWidget* active = QApplication::activeWindow(); active;
         active = active->parentWidget())
        if (active == &window_)
            return true;
    return false;
}

void WindowRecall::activate(const QByteArray& activation) {
    // Qt's Wayland shell hands the token to the compositor with the next activation.
    if (!activation.isEmpty() && QApplication::platformName().startsWith("wayland")) {
        qputenv("XDG_ACTIVATION_TOKEN", activation);
        Log::line("The window comes forward with the desktop's activation token");
    }
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void WindowRecall::settled() {
    if (!window_.isVisible() || forward())
        return;
    // Still minimized or behind: a compositor can neither be told nor asked which, so the
    // window is shown anew.
    Log::line("The desktop did not bring the window forward; showing it anew");
    window_.hide();
    window_.show();
    window_.raise();
    window_.activateWindow();
    // The window's open alert stood on the toplevel that is gone: shown anew too, on top of
    // the new one and with the focus, or it stays behind the window or on another workspace.
    for (QWidget* alert : window_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (alert->isWindow() && alert->isVisible()) {
            alert->hide();
            alert->show();
            alert->raise();
            alert->activateWindow();
        }
}
