#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <map>

class QAction;
class QMenu;

// A QMenu as a com.canonical.dbusmenu object, the menu a StatusNotifierItem host shows for
// the item. The menu's actions are its items (the tray menu has no submenus), numbered from 1
// for as long as they are in the menu; item 0 is the menu itself. Items added, removed or
// changed later are told to hosts with LayoutUpdated. Every call comes from another process
// (QtDBus turns away wrong argument types): an id that names no item is answered with an
// error, left out or ignored, never guessed at.
class DBusMenuExporter : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    // (ia{sv}av): an item, its properties and, each in a variant, its children.
    struct Item {
        int id = 0;
        QVariantMap properties;
        QList<Item> children;
    };
    // (ia{sv})
    struct ItemProperties {
        int id = 0;
        QVariantMap properties;
    };
    // (isvu)
    struct MenuEvent {
        int id = 0;
        QString eventId;
        QDBusVariant data;
        uint timestamp = 0;
    };

    explicit DBusMenuExporter(QMenu& menu);

    bool exportOn(QDBusConnection& bus, const QString& path);

    // Qt's '&' before a mnemonic becomes dbusmenu's '_', and a '_' of the text is doubled.
    static QString label(const QString& text);

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   DBusMenuExporter::Item& layout);
    QList<DBusMenuExporter::ItemProperties> GetGroupProperties(const QList<int>& ids,
                                                               const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const QList<DBusMenuExporter::MenuEvent>& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void LayoutUpdated(uint revision, int parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    bool has(int id) const;
    QVariantMap properties(int id, const QStringList& names) const;
    // Whether the event named an item; a click on one that is shown and enabled triggers it.
    bool handle(int id, const QString& eventId);
    void added(QAction* action);
    void changed();

    QPointer<QMenu> menu_;
    std::map<int, QPointer<QAction>> actions_;
    QHash<const QAction*, int> ids_;
    int lastId_ = 0;
    uint revision_ = 1;
    // Many changes in one turn of the event loop (a new look retitles and hides items at
    // once) make one LayoutUpdated.
    QTimer layoutUpdate_;
};

Q_DECLARE_METATYPE(DBusMenuExporter::Item)
Q_DECLARE_METATYPE(DBusMenuExporter::ItemProperties)
Q_DECLARE_METATYPE(DBusMenuExporter::MenuEvent)
