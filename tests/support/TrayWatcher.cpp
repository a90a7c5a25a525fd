#include "TrayWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdio>

void TrayWatcher::registerHost() {
    hostRegistered_ = true;
    std::printf("host\n");
    std::fflush(stdout);
    emit StatusNotifierHostRegistered();
}

void TrayWatcher::RegisterStatusNotifierItem(const QString& service) {
    // An item names its bus name, or only its object path (then its sender is the name).
    QString item = service;
    if (service.startsWith('/') && calledFromDBus())
        item = message().service() + service;
    items_ << item;
    std::printf("%s\n", qPrintable(item));
    std::fflush(stdout);
    emit StatusNotifierItemRegistered(item);
}
