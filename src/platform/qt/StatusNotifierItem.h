#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <utility>

class DBusMenuExporter;
class QMenu;

// A tray item for hosts that speak StatusNotifierItem (KDE Plasma, GNOME's AppIndicator
// extension, waybar), with `menu` as its dbusmenu. Qt's own item gives hosts the application's
// name as the title, which they hand to screen readers as the item's name; this one's title is
// the caller's. Like Qt's, it lives on a bus connection of its own under a name of its own, so
// that hosts see it come and go with that connection, and its signals and clicks map to
// QSystemTrayIcon's activation reasons as Qt maps them.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString IconName READ noName)
    Q_PROPERTY(QList<StatusNotifierItem::Image> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(QList<StatusNotifierItem::Image> OverlayIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(QList<StatusNotifierItem::Image> AttentionIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(StatusNotifierItem::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)

public:
    // One picture of the icon: ARGB32 in network byte order.
    struct Image {
        int width = 0;
        int height = 0;
        QByteArray argb;
        bool operator==(const Image&) const = default;
    };
    struct ToolTip {
        QString iconName;
        QList<Image> images;
        QString title;
        QString text;
    };

    using Activated = std::function<void(QSystemTrayIcon::ActivationReason reason)>;
    StatusNotifierItem(QMenu& menu, Activated activated);
    ~StatusNotifierItem() override;

    // Tells the StatusNotifierWatcher of the item; to be called again each time a watcher comes
    // back, since a new one knows nothing of the items the last one had.
    void registerWithWatcher();

    void setTitle(const QString& title);
    void setToolTip(const QString& text);
    void setIcon(const QIcon& icon);
    // The activation token the host gave for what the user does next with the item (KDE
    // Plasma sends one before Activate), once; empty when none came.
    QByteArray takeActivationToken() { return std::exchange(activationToken_, {}); }

    static constexpr const char* path = "/StatusNotifierItem";

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);
    // A Wayland host's xdg-activation token, for the window the next activation brings
    // forward: without it a compositor may refuse to give that window the focus.
    void ProvideXdgActivationToken(const QString& token);

signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();

private:
    QString id() const;
    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString status() const { return QStringLiteral("Active"); }
    QString title() const { return title_; }
    QList<Image> iconPixmap() const { return images_; }
    ToolTip toolTip() const;
    QDBusObjectPath menuPath() const;
    bool itemIsMenu() const { return false; }
    // What the item has no use for (overlay, attention, a themed icon) is empty, as in Qt's
    // item, for hosts that read every property.
    QString noName() const { return {}; }
    QList<Image> noPixmap() const { return {}; }

    QString busName_;
    QDBusConnection bus_;
    std::unique_ptr<DBusMenuExporter> menu_;
    Activated activated_;
    QString title_;
    QString toolTip_;
    QList<Image> images_;
    QByteArray activationToken_;
};

Q_DECLARE_METATYPE(StatusNotifierItem::Image)
Q_DECLARE_METATYPE(StatusNotifierItem::ToolTip)
