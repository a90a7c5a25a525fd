#include "platform/qt/DBusMenuExporter.h"

#include <QAction>
#include <QActionEvent>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <QMenu>

QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuExporter::Item& item) {
    out.beginStructure();
    out << item.id << item.properties;
    out.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuExporter::Item& child : item.children)
        out << QDBusVariant(QVariant::fromValue(child));
    out.endArray();
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuExporter::Item& item) {
    in.beginStructure();
    in >> item.id >> item.properties;
    item.children.clear();
    in.beginArray();
    while (!in.atEnd()) {
        QDBusVariant child;
        in >> child;
        item.children << qdbus_cast<DBusMenuExporter::Item>(child.variant());
    }
    in.endArray();
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuExporter::ItemProperties& item) {
    out.beginStructure();
    out << item.id << item.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuExporter::ItemProperties& item) {
    in.beginStructure();
    in >> item.id >> item.properties;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuExporter::MenuEvent& event) {
    out.beginStructure();
    out << event.id << event.eventId << event.data << event.timestamp;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuExporter::MenuEvent& event) {
    in.beginStructure();
    in >> event.id >> event.eventId >> event.data >> event.timestamp;
    in.endStructure();
    return in;
}

DBusMenuExporter::DBusMenuExporter(QMenu& menu) : menu_(&menu) {
    qDBusRegisterMetaType<Item>();
    qDBusRegisterMetaType<ItemProperties>();
    qDBusRegisterMetaType<QList<ItemProperties>>();
    qDBusRegisterMetaType<MenuEvent>();
    qDBusRegisterMetaType<QList<MenuEvent>>();
    for (QAction* action : menu.actions())
        added(action);
    menu.installEventFilter(this);
    layoutUpdate_.setSingleShot(true);
    layoutUpdate_.setInterval(0);
    connect(&layoutUpdate_, &QTimer::timeout, this, [this] { emit LayoutUpdated(revision_, 0); });
}

bool DBusMenuExporter::exportOn(QDBusConnection& bus, const QString& path) {
    return bus.registerObject(path, this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                  QDBusConnection::ExportAllProperties);
}

QString DBusMenuExporter::label(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '_') {
            out += QStringLiteral("__");
        } else if (c == '&' && i + 1 < text.size()) {
            // "&&" is a literal '&'; '&' before anything else marks the mnemonic.
            ++i;
            if (text[i] != '&')
                out += '_';
            out += text[i];
        } else {
            out += c;
        }
    }
    return out;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 Item& layout) {
    if (!has(parentId)) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no menu item %1").arg(parentId));
        return revision_;
    }
    layout = {parentId, properties(parentId, propertyNames), {}};
    // Only the menu itself has children; a depth of 0 asks for the item alone.
    if (parentId == 0 && recursionDepth != 0 && menu_)
        for (QAction* action : menu_->actions())
            if (const int id = ids_.value(action))
                layout.children << Item{id, properties(id, propertyNames), {}};
    return revision_;
}

QList<DBusMenuExporter::ItemProperties>
DBusMenuExporter::GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames) {
    QList<ItemProperties> items;
    for (int id : ids)
        if (has(id))
            items << ItemProperties{id, properties(id, propertyNames)};
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    const QVariantMap all = has(id) ? properties(id, {name}) : QVariantMap();
    if (all.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("no property %1 of menu item %2").arg(name).arg(id));
        return {};
    }
    return QDBusVariant(all.first());
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    handle(id, eventId);
}

QList<int> DBusMenuExporter::EventGroup(const QList<MenuEvent>& events) {
    QList<int> idErrors;
    for (const MenuEvent& event : events)
        if (!handle(event.id, event.eventId))
            idErrors << event.id;
    return idErrors;
}

bool DBusMenuExporter::AboutToShow(int) {
    // The layout is always current: nothing to update before the menu opens.
    return false;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (int id : ids)
        if (!has(id))
            idErrors << id;
    return {};
}

bool DBusMenuExporter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == menu_) {
        switch (event->type()) {
        case QEvent::ActionAdded:
            added(static_cast<QActionEvent*>(event)->action());
            changed();
            break;
        case QEvent::ActionRemoved: {
            const QAction* action = static_cast<QActionEvent*>(event)->action();
            if (const auto id = ids_.find(action); id != ids_.end()) {
                actions_.erase(*id);
                ids_.erase(id);
            }
            changed();
            break;
        }
        case QEvent::ActionChanged:
            changed();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

QString DBusMenuExporter::textDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

bool DBusMenuExporter::has(int id) const {
    if (id == 0)
        return true;
    const auto action = actions_.find(id);
    return action != actions_.end() && action->second;
}

QVariantMap DBusMenuExporter::properties(int id, const QStringList& names) const {
    QVariantMap all;
    if (id == 0) {
        all[QStringLiteral("children-display")] = QStringLiteral("submenu");
    } else if (const QAction* action = actions_.at(id)) {
        if (action->isSeparator()) {
            all[QStringLiteral("type")] = QStringLiteral("separator");
        } else {
            all[QStringLiteral("label")] = label(action->text());
            if (action->isCheckable()) {
                all[QStringLiteral("toggle-type")] = QStringLiteral("checkmark");
                all[QStringLiteral("toggle-state")] = action->isChecked() ? 1 : 0;
            }
        }
        all[QStringLiteral("enabled")] = action->isEnabled();
        all[QStringLiteral("visible")] = action->isVisible();
    }
    if (names.isEmpty())
        return all;
    QVariantMap asked;
    for (const QString& name : names)
        if (all.contains(name))
            asked[name] = all[name];
    return asked;
}

bool DBusMenuExporter::handle(int id, const QString& eventId) {
    if (!has(id))
        return false;
    QAction* action = id == 0 ? nullptr : actions_.at(id).data();
    if (eventId == QStringLiteral("clicked") && action && action->isVisible() &&
        action->isEnabled() && !action->isSeparator())
        // After the reply: an item may end the application, or open a window that waits.
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
    return true;
}

void DBusMenuExporter::added(QAction* action) {
    if (ids_.contains(action))
        return;
    actions_[++lastId_] = action;
    ids_[action] = lastId_;
}

void DBusMenuExporter::changed() {
    ++revision_;
    layoutUpdate_.start();
}
