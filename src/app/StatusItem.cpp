#include "app/StatusItem.h"

#include "platform/qt/StatusNotifierItem.h"
#include "ui/Artwork.h"

#include <QMenu>

namespace {

const QString productName = QStringLiteral("Quovant");

} // namespace

StatusItem::StatusItem(QMenu& menu, Activated activated)
    : menu_(menu), activated_(std::move(activated)), icon_(Artwork::icon("ic_status")) {}

StatusItem::~StatusItem() = default;

void StatusItem::show(bool watcher) {
    if (watcher) {
        trayIcon_.reset();
        notifierItem_ = std::make_unique<StatusNotifierItem>(
            menu_, [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
        notifierItem_->setTitle(title());
        notifierItem_->setToolTip(toolTip());
        notifierItem_->setIcon(icon_);
        notifierItem_->registerWithWatcher();
        return;
    }
    notifierItem_.reset();
    trayIcon_ = std::make_unique<QSystemTrayIcon>(icon_);
    trayIcon_->setToolTip(toolTip());
    trayIcon_->setContextMenu(&menu_);
    QObject::connect(trayIcon_.get(), &QSystemTrayIcon::activated, trayIcon_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
    // Shown whether or not a tray is there yet: Qt puts the item into one that comes later.
    trayIcon_->show();
}

void StatusItem::watcherAppeared() {
    if (notifierItem_)
        notifierItem_->registerWithWatcher();
    else
        show(true);
}

void StatusItem::setStatus(const QString& status) {
    status_ = status;
    if (notifierItem_) {
        notifierItem_->setTitle(title());
        notifierItem_->setToolTip(toolTip());
    }
    if (trayIcon_)
        trayIcon_->setToolTip(toolTip());
}

void StatusItem::setIcon(const QIcon& icon) {
    icon_ = icon;
    if (notifierItem_)
        notifierItem_->setIcon(icon_);
    if (trayIcon_)
        trayIcon_->setIcon(icon_);
}

QString StatusItem::toolTip() const {
    return status_.isEmpty() ? productName : productName + '\n' + status_;
}

QString StatusItem::title() const {
    if (status_.isEmpty())
        return productName;
    // A title is one line: hosts show it, and screen readers read it, as a name.
    return productName + QStringLiteral(" \u2014 ") +
           status_.split('\n', Qt::SkipEmptyParts).join(QStringLiteral(", "));
}

void StatusItem::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        activated_(takeActivationToken());
}

QByteArray StatusItem::takeActivationToken() {
    return notifierItem_ ? notifierItem_->takeActivationToken() : QByteArray();
}
