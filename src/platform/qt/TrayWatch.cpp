#include "platform/qt/TrayWatch.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <string>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

QDBusMessage hostQuestion() {
    QDBusMessage question = QDBusMessage::createMethodCall(
        TrayWatch::statusNotifierWatcher, TrayWatch::statusNotifierWatcherPath,
        "org.freedesktop.DBus.Properties", "Get");
    question << QString(TrayWatch::statusNotifierWatcher)
             << QStringLiteral("IsStatusNotifierHostRegistered");
    return question;
}

bool hostSaid(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace

TrayWatch::TrayWatch(Changed changed)
    : changed_(std::move(changed)), bus_(statusNotifierWatcher, QDBusConnection::sessionBus(),
                                         QDBusServiceWatcher::WatchForRegistration |
                                             QDBusServiceWatcher::WatchForUnregistration) {
    connect(&bus_, &QDBusServiceWatcher::serviceRegistered, this, [this] { askForHost(); });
    connect(&bus_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { statusNotifierTray(false); });
    QDBusConnection::sessionBus().connect(statusNotifierWatcher, statusNotifierWatcherPath,
                                          statusNotifierWatcher, "StatusNotifierHostRegistered",
                                          this, SLOT(hostRegistered()));
}

TrayWatch::~TrayWatch() {
    if (xcb_)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TrayWatch::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(statusNotifierWatcher)) {
        // Asked and answered before the launch goes on, so that the first tray item is made
        // for the tray that is there; a watcher that does not answer soon counts as none.
        const QDBusMessage reply = bus.call(hostQuestion(), QDBus::Block, 1000);
        statusNotifierTray(hostSaid(reply));
    }
    watchXEmbedSelection();
}

void TrayWatch::askForHost() {
    auto* call =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(hostQuestion()), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        if (hostSaid(call->reply()))
            statusNotifierTray(true);
    });
}

void TrayWatch::hostRegistered() {
    statusNotifierTray(true);
}

void TrayWatch::statusNotifierTray(bool present) {
    if (present == statusNotifierTray_)
        return;
    statusNotifierTray_ = present;
    changed_(TrayPresence::Tray::statusNotifier, present);
}

void TrayWatch::watchXEmbedSelection() {
    // Other platforms (offscreen among them) may offer the interface without a connection.
    if (QGuiApplication::platformName() != "xcb")
        return;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    // The tray of the display's own screen, as named in DISPLAY (":0.1" is screen 1).
    char* host = nullptr;
    int display = 0;
    int screenNumber = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screenNumber))
        screenNumber = 0;
    free(host);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        Log::line("the X server has no XFixes: a tray that comes later is not seen");
        return;
    }
    free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, false, uint16_t(name.size()), name.c_str()), nullptr);
    if (!atom)
        return;
    selection_ = atom->atom;
    free(atom);
    xcb_ = c;
    selectionNotify_ = uint8_t(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    QCoreApplication::instance()->installNativeEventFilter(this);
    xcb_xfixes_select_selection_input(c, root, selection_,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    // Asked after the watch is set, so that an owner coming in between is told either way.
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection_), nullptr);
    if (owner && owner->owner != XCB_NONE)
        changed_(TrayPresence::Tray::xembed, true);
    free(owner);
}

bool TrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != selectionNotify_)
        return false;
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notify->selection == selection_)
        changed_(TrayPresence::Tray::xembed, notify->owner != XCB_NONE);
    // Qt watches selections of its own the same way.
    return false;
}
