#include "app/MainWindowController.h"

#include "ui/Artwork.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QWindow>

MainWindowController::MainWindowController(QWidget* parent) : QMainWindow(parent) {
    setObjectName("mainWindowController");
    setWindowTitle("Quovant");
    setWindowIcon(Artwork::icon("ic_status"));
    // A Wayland desktop knows the window by its app id, which names the desktop file
    // (quovant.desktop) that gives the task bar and the window switcher its icon; Qt takes it
    // from here when the window's surface is made.
    QGuiApplication::setDesktopFileName(desktopFileName);
    // Every button but maximize, also in the frame Qt draws itself on Wayland.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Escape closes the window as its close button does; Quovant stays in the tray.
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
}

void MainWindowController::setContent(QWidget* content) {
    scroll_ = new QScrollArea;
    scroll_->setObjectName("contentScroll");
    scroll_->setFrameShape(QFrame::NoFrame);
    // The form's first field keeps the focus a window gives when it opens.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setWidget(content);
    setCentralWidget(scroll_);
    fitToScreen();
}

QSize MainWindowController::fittedSize(QSize content, QSize available, QMargins frame,
                                       int scrollBar) {
    const int maxWidth = available.width() - frame.left() - frame.right();
    const int maxHeight = available.height() - frame.top() - frame.bottom();
    QSize size = content;
    // A bar scrolling one way takes room the other way.
    if (size.height() > maxHeight) {
        size.setHeight(maxHeight);
        size.rwidth() += scrollBar;
    }
    if (size.width() > maxWidth) {
        size.setWidth(maxWidth);
        if (content.height() <= maxHeight)
            size.setHeight(std::min(content.height() + scrollBar, maxHeight));
    }
    return size.expandedTo(QSize(1, 1));
}

void MainWindowController::fitToScreen() {
    if (!scroll_ || !scroll_->widget())
        return;
    const QScreen* screen = this->screen();
    const QWindow* handle = windowHandle();
    const QMargins frame = handle ? handle->frameMargins() : QMargins();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
    const QSize content = scroll_->widget()->size();
    if (!screen)
        return setFixedSize(content);
    QSize available = screen->availableGeometry().size();
    // A Wayland compositor tells its clients nothing of its panels (the whole output is
    // "available") nor of the title bar it draws itself: the window leaves room for both.
    if (QGuiApplication::platformName().startsWith("wayland") &&
        screen->availableGeometry() == screen->geometry())
        available.rheight() -= waylandPanelsAndTitle;
    setFixedSize(fittedSize(content, available, frame, bar));
}

void MainWindowController::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The frame's size is known once the window is there; the screen may change later.
    fitToScreen();
    if (QWindow* handle = windowHandle()) {
        connect(handle, &QWindow::screenChanged, this, &MainWindowController::fitToScreen,
                Qt::UniqueConnection);
    }
}

void MainWindowController::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A desktop may still ask (a double click on the title, a key of its own; the frame Qt
    // draws itself on Wayland shows its maximize button whatever the window's flags).
    if (event->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMaximized))
        return;
    if (QGuiApplication::platformName().startsWith("wayland")) {
        // Qt has already accepted the compositor's maximized state at the fixed size, which
        // the compositor takes for a protocol error at the surface's next commit. A surface
        // made anew, before that commit, starts in no such state.
        hide();
        setWindowState(windowState() & ~Qt::WindowMaximized);
        show();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMaximized);
}
