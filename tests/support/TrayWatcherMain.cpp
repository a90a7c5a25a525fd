// quovant-test-tray-watcher [--host-after-ms N]: a StatusNotifierWatcher with a host on
// the session bus, for the tray tests, the host there from the start or N ms after it.
// Prints the bus name of every item that registers.
#include "TrayWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool hostLater = argc == 3 && std::string(argv[1]) == "--host-after-ms";
    TrayWatcher watcher(!hostLater);
    if (hostLater)
        QTimer::singleShot(std::stoi(argv[2]), &watcher, [&watcher] { watcher.registerHost(); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/StatusNotifierWatcher", &watcher,
                            QDBusConnection::ExportAllContents) ||
        !bus.registerService("org.kde.StatusNotifierWatcher")) {
        std::fprintf(stderr, "cannot own org.kde.StatusNotifierWatcher\n");
        return 1;
    }
    return QCoreApplication::exec();
}
