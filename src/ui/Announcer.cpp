#include "ui/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)

Announcer::Announcer(QWidget* parent) : QWidget(parent) {
    setObjectName("announcer");
    setFixedSize(0, 0);
}

void Announcer::announce(const QString& news) {
    QAccessibleAnnouncementEvent event(this, news);
    QAccessible::updateAccessibility(&event);
}

#else

namespace {

QAccessibleInterface* notificationFor(const QString& key, QObject* object) {
    if (key != QLatin1String(Announcer::staticMetaObject.className()))
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}

} // namespace

Announcer::Announcer(QWidget* parent) : QWidget(parent) {
    [[maybe_unused]] static const bool installed =
        (QAccessible::installFactory(notificationFor), true);
    setObjectName("announcer");
    setFixedSize(0, 0);
    // Shown only to say something.
    hide();
}

void Announcer::announce(const QString& news) {
    if (!parentWidget() || !parentWidget()->isVisible())
        return; // no one looks at a hidden window; its next look at it reads the state
    hide();
    setAccessibleName(news);
    // A notification that shows is read out: Qt tells the bridge that its "showing" state
    // changed.
    show();
}

#endif
