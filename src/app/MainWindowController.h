#pragma once

#include <QMainWindow>

// The login window. It has no behaviour of its own; closing it only hides it, and
// the application goes on in the tray.
class MainWindowController : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindowController(QWidget* parent = nullptr);
};
