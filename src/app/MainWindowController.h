#pragma once

#include <QMainWindow>

class QScrollArea;

// The login window. Its size is the form's and fixed: it offers no maximize (a
// compositor that maximized it would get a surface of the wrong size back), and on a
// screen too small for the form it shrinks to the screen and scrolls. Closing it only
// hides it; what else a close means is the application's to decide.
class MainWindowController : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindowController(QWidget* parent = nullptr);

    // Logical pixels a Wayland screen keeps for the desktop's panels and title bar: a panel
    // of up to 40 (GNOME's top bar, waybar, KDE Plasma's panel) and twice a title bar of up
    // to 20 (sway centres a floating window's surface, not its title bar, in the room the
    // panels leave).
    static constexpr int waylandPanelsAndTitle = 80;
    // The desktop file the window belongs to, without ".desktop".
    static constexpr const char* desktopFileName = "quovant";

    // Puts `content` (of a fixed size) into the window.
    void setContent(QWidget* content);
    // The window's size for `content` on a screen whose free area is `available`, with a
    // frame of `frame` around it and scroll bars `scrollBar` wide.
    static QSize fittedSize(QSize content, QSize available, QMargins frame, int scrollBar);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fitToScreen();

    QScrollArea* scroll_ = nullptr;
};
