#include "platform/qt/QtDesktop.h"

#include <QDesktopServices>
#include <QUrl>

void QtDesktop::openURL(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}
