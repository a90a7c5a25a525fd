#include "app/MainWindowController.h"

MainWindowController::MainWindowController(QWidget* parent) : QMainWindow(parent) {
    setObjectName("mainWindowController");
    setWindowTitle("Quovant");
    setWindowIcon(QIcon(":/images/ic_status.svg"));
}
