// The yardstick for Quovant's idle memory: the least a Qt Widgets application with a
// tray icon, a two-item menu and a small window of labels and fields needs on the same
// display. bench_application runs it beside quovant.
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap icon(16, 16);
    icon.fill(Qt::darkGreen);
    QSystemTrayIcon tray{QIcon(icon)};
    QMenu menu;
    menu.addAction("Connect");
    menu.addAction("Quit", &app, &QApplication::quit);
    tray.setContextMenu(&menu);
    tray.show();
    QWidget window;
    window.setWindowTitle("Minimal");
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel("Minimal"));
    layout->addWidget(new QLineEdit);
    layout->addWidget(new QLineEdit);
    layout->addWidget(new QPushButton("Connect"));
    window.resize(340, 500);
    window.show();
    return QApplication::exec();
}
