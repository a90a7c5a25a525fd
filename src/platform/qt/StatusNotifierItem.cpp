#include "platform/qt/StatusNotifierItem.h"

#include "platform/Log.h"
#include "platform/qt/DBusMenuExporter.h"
#include "platform/qt/TrayWatch.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QImage>
#include <QPixmap>
#include <QtEndian>
#include <algorithm>

QDBusArgument& operator<<(QDBusArgument& out, const StatusNotifierItem::Image& image) {
    out.beginStructure();
    out << image.width << image.height << image.argb;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, StatusNotifierItem::Image& image) {
    in.beginStructure();
    in >> image.width >> image.height >> image.argb;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const StatusNotifierItem::ToolTip& tip) {
    out.beginStructure();
    out << tip.iconName << tip.images << tip.title << tip.text;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, StatusNotifierItem::ToolTip& tip) {
    in.beginStructure();
    in >> tip.iconName >> tip.images >> tip.title >> tip.text;
    in.endStructure();
    return in;
}

namespace {

constexpr const char* menuObjectPath = "/MenuBar";

// The name hosts find the item under: the form the StatusNotifierItem protocol asks for,
// numbered so that each item of the process has a connection and name of its own.
QString nextBusName() {
    static int made = 0;
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++made);
}

QList<StatusNotifierItem::Image> imagesOf(const QIcon& icon) {
    QList<StatusNotifierItem::Image> images;
    for (const QSize& size : icon.availableSizes()) {
        // At the icon's own size: hosts pick the picture nearest the size they draw.
        const QImage image =
            icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        StatusNotifierItem::Image out{image.width(), image.height(), {}};
        out.argb.resize(qsizetype(image.width()) * image.height() * 4);
        for (int y = 0; y < image.height(); ++y)
            qToBigEndian<quint32>(image.constScanLine(y), image.width(),
                                  out.argb.data() + qsizetype(y) * image.width() * 4);
        images << out;
    }
    return images;
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QMenu& menu, Activated activated)
    : busName_(nextBusName()),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, busName_)),
      menu_(std::make_unique<DBusMenuExporter>(menu)), activated_(std::move(activated)),
      title_(QCoreApplication::applicationName()) {
    qDBusRegisterMetaType<Image>();
    qDBusRegisterMetaType<QList<Image>>();
    qDBusRegisterMetaType<ToolTip>();
    if (!bus_.registerObject(path, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties) ||
        !menu_->exportOn(bus_, menuObjectPath) || !bus_.registerService(busName_))
        Log::line("The tray item could not be put on the session bus: " +
                  bus_.lastError().message().toStdString());
}

StatusNotifierItem::~StatusNotifierItem() {
    bus_.unregisterObject(path);
    bus_.unregisterObject(menuObjectPath);
    // The connection closes once the last handle to it, bus_, goes; hosts then drop the item.
    QDBusConnection::disconnectFromBus(busName_);
}

void StatusNotifierItem::registerWithWatcher() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        TrayWatch::statusNotifierWatcher, TrayWatch::statusNotifierWatcherPath,
        TrayWatch::statusNotifierWatcher, "RegisterStatusNotifierItem");
    // The connection's unique name, as Qt's item gives it: the watcher then follows the
    // connection, and a host lists the item by the name its signals come from.
    call << bus_.baseService();
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* done) {
        if (done->isError())
            Log::line("The tray did not take Quovant's item: " +
                      done->error().message().toStdString());
        done->deleteLater();
    });
}

void StatusNotifierItem::setTitle(const QString& title) {
    if (title == title_)
        return;
    title_ = title;
    emit NewTitle();
}

void StatusNotifierItem::setToolTip(const QString& text) {
    if (text == toolTip_)
        return;
    toolTip_ = text;
    emit NewToolTip();
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    QList<Image> images = imagesOf(icon);
    if (images == images_)
        return;
    images_ = std::move(images);
    emit NewIcon();
}

void StatusNotifierItem::Activate(int, int) {
    activated_(QSystemTrayIcon::Trigger);
}

void StatusNotifierItem::SecondaryActivate(int, int) {
    activated_(QSystemTrayIcon::MiddleClick);
}

void StatusNotifierItem::ContextMenu(int, int) {
    activated_(QSystemTrayIcon::Context);
}

void StatusNotifierItem::ProvideXdgActivationToken(const QString& token) {
    // It goes into the environment of the raise; any client of the bus may send one. Tokens
    // are a few dozen printable characters.
    const QByteArray bytes = token.toUtf8();
    const bool plain = bytes.size() <= 256 && std::all_of(bytes.begin(), bytes.end(), [](char c) {
                           return c > ' ' && c <= '~';
                       });
    activationToken_ = plain ? bytes : QByteArray();
}

void StatusNotifierItem::Scroll(int, const QString&) {
    // Nothing in Quovant scrolls, as with Qt's item.
}

QString StatusNotifierItem::id() const {
    return QCoreApplication::applicationName();
}

StatusNotifierItem::ToolTip StatusNotifierItem::toolTip() const {
    return {{}, {}, toolTip_, {}};
}

QDBusObjectPath StatusNotifierItem::menuPath() const {
    return QDBusObjectPath(menuObjectPath);
}
