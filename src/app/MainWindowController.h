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
