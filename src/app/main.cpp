// quovant: the tray application.
#include "account/AccountProcessClient.h"
#include "account/KeyringProcess.h"
#include "account/LoginChain.h"
#include "account/ProfileFile.h"
#include "app/AppDelegate.h"
#include "app/CommandClient.h"
#include "app/CommandLine.h"
#include "app/CommandServer.h"
#include "app/LeakBlockItems.h"
#include "app/MainStoryboard.h"
#include "app/OrderlyQuit.h"
#include "app/SingleInstance.h"
#include "app/StartupItems.h"
#include "app/TerminationSignals.h"
#include "helper/HelperPaths.h"
#include "platform/DisplayChoice.h"
#include "platform/Log.h"
#include "platform/NetworkWatcher.h"
#include "platform/NotificationCenter.h"
#include "platform/SessionBusChoice.h"
#include "platform/UserText.h"
#include "platform/qt/FreedesktopNotifications.h"
#include "platform/qt/KeyringPasswordStore.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtHeapTrimmer.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSleepWatcher.h"
#include "ui/AlertSheet.h"
#include "ui/MainViewController.h"
#include "ui/PointingHandCursor.h"
#include "ui/Translations.h"
#include "ui/UiText.h"
#include "vpn/OpenVPNService.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

using Translate = std::function<std::string(const std::string&)>;

// The command line's messages in the caller's language, from a bare translator rather
// than an application: QCoreApplication would set the C library's locale from the
// environment, and `status --json` figures must keep theirs.
Translate commandLanguage(QTranslator& translator) {
    if (!translator.load(QLocale(), "quovant", "_", ":/i18n"))
        return [](const std::string& message) { return message; };
    return [&translator](const std::string& message) {
        const QString text = translator.translate("Messages", message.c_str());
        return text.isEmpty() ? message : text.toStdString();
    };
}

// `quovant COMMAND`: no window, no display needed; the running instance does the work.
int runCommand(const CommandLine::Command& command, Translate translate) {
    CommandClient::Dependencies dependencies{
        SingleInstance::connectToRunning, [] {
            std::error_code error;
            const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
            return !error && CommandClient::startDetached(self.string());
        }};
    dependencies.translate = std::move(translate);
    return CommandClient(std::move(dependencies)).run(command);
}

// Whether Qt's plugin for `platform` ("wayland", "xcb") is installed where Qt looks.
bool platformPluginInstalled(const std::string& platform) {
    QStringList dirs = qEnvironmentVariable("QT_PLUGIN_PATH").split(':', Qt::SkipEmptyParts);
    dirs << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    const QStringList files = platform == "wayland"
                                  ? QStringList{"libqwayland-generic.so", "libqwayland-egl.so"}
                                  : QStringList{"libq" + QString::fromStdString(platform) + ".so"};
    for (const QString& dir : dirs)
        for (const QString& file : files)
            if (QFileInfo::exists(dir + "/platforms/" + file))
                return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    Log::setIdentity("quovant");
    // Before anything speaks D-Bus: the tray, the notifications, the keyring's process and a
    // Quovant a command starts in the tray all inherit it.
    const std::string bus = SessionBusChoice::address(
        {[](const char* name) { return qEnvironmentVariable(name).toStdString(); },
         [](const std::string& path) {
             struct stat st {};
             return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
         }});
    if (!bus.empty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus));
    const CommandLine::Parsed parsed =
        CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty() || parsed.command.verb != CommandLine::Verb::start) {
        QTranslator translator;
        Translate language = commandLanguage(translator);
        if (!parsed.error.empty()) {
            std::fprintf(stderr, "quovant: %s\n%s\n", parsed.error.in(language).c_str(),
                         language(USER_TEXT("Messages", "Try \"quovant --help\".")).c_str());
            return CommandLine::Exit::usage;
        }
        if (parsed.command.verb == CommandLine::Verb::help) {
            std::fputs(language(CommandLine::helpText()).c_str(), stdout);
            return CommandLine::Exit::done;
        }
        return runCommand(parsed.command, std::move(language));
    }
    const bool hidden = parsed.command.hidden;

    const Result<std::string> platform = DisplayChoice::choose(
        {[](const char* name) { return qEnvironmentVariable(name).toStdString(); },
         platformPluginInstalled});
    if (!platform) {
        QTranslator translator;
        Log::line(commandLanguage(translator)(platform.why()));
        return 1;
    }
    const bool platformNamed = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform.value()));
    QApplication app(argc, argv);
    // Programs started from here (a browser for a link) choose for themselves.
    if (!platformNamed)
        qunsetenv("QT_QPA_PLATFORM");
    QApplication::setApplicationName("Quovant");
    QApplication::setOrganizationName("Quovant");
    Translations::install(app);
    // Closing the window leaves Quovant running in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    AppDelegate* delegate = nullptr;
    SingleInstance instance([&delegate](const QByteArray& activation) {
        if (delegate)
            delegate->applicationShouldHandleReopen(activation);
    });
    // A start in the tray leaves a running window where it is.
    if (instance.forwardToRunning(!hidden))
        return 0;
    instance.listen();
    QObject::connect(&app, &QCoreApplication::aboutToQuit,
                     [&instance] { instance.stopListening(); });

    // The start, each connect and each disconnect free much of what they allocate; the
    // freed pages go back to the system once the application is quiet again.
    QtHeapTrimmer heapTrimmer(std::chrono::seconds(1));

    QtMainQueue mainQueue(&app);
    MainQueue::setMain(mainQueue);
    PointingHandCursor::install();

    // The application's resources sit beside its executable as in an installed tree:
    // <prefix>/bin/quovant and <prefix>/libexec/quovant/. The path is made canonical:
    // polkit matches the installer's path against its policy as written.
    const QString libexec = QApplication::applicationDirPath() + "/../libexec/quovant";
    const QString canonical = QDir(libexec).canonicalPath();
    const std::string bundleDir =
        (canonical.isEmpty() ? QDir::cleanPath(libexec) : canonical).toStdString();
    AppDelegate appDelegate({&mainQueue, bundleDir, HelperPaths::socketPath(), [] {
                                 QMetaObject::invokeMethod(
                                     qApp,
                                     [] { QCoreApplication::exit(HelperClient::failedExitStatus); },
                                     Qt::QueuedConnection);
                             }});
    delegate = &appDelegate;
    appDelegate.setStartHidden(hidden);

    QtSettingsStore settings;
    // Each login, and each use of the keyring, runs in a short-lived process of its own:
    // the application never holds the TLS stack or the keyring's libraries. A quit ends
    // the one under way (the chain is cancelled with the VPN).
    KeyringProcess keyring(bundleDir + "/quovant-account");
    KeyringPasswordStore passwords(settings, keyring);
    passwords.setKeptInFile([&appDelegate] {
        if (QMainWindow* window = appDelegate.window())
            AlertSheet::of(window).showWhenFree(UiText::passwordKeptInFile);
    });
    AccountProcessClient account(bundleDir + "/quovant-account");
    LoginChain loginChain({&account, &settings, &passwords, ProfileFile::defaultPath()});

    // Declared after everything it uses, so it goes first: its threads end and its events
    // are dropped while the helper connection, the queue and the chain still exist.
    OpenVPNService::Dependencies vpn;
    vpn.mainQueue = &mainQueue;
    vpn.helper = &appDelegate.helper();
    vpn.profiles = &loginChain;
    OpenVPNService service(vpn);

    const auto trimAfterChange = NotificationCenter::defaultCenter().addObserver(
        OpenVPNService::stateDidChangeNotification, [&heapTrimmer] { heapTrimmer.workDone(); });
    appDelegate.bindReconnectSetting(settings,
                                     [&service](bool on) { service.setAutomaticReconnect(on); });
    // Before sleep and after it, and whenever the network under the tunnel changes,
    // openvpn starts over at once instead of noticing by its own timers.
    NetworkWatcher networkWatcher([&service](const NetworkWatcher::Change& change) {
        service.networkChanged(change.what, change.appeared);
    });
    QtSleepWatcher sleepWatcher([&service](bool goingToSleep) {
        // Marked: the window says why a connection ended with automatic reconnecting off.
        service.networkChanged(goingToSleep ? USER_TEXT("Messages", "the system is going to sleep")
                                            : USER_TEXT("Messages", "the system woke up"));
    });
    OrderlyQuit quit(service);
    appDelegate.setQuit([&quit] { quit.request(); });
    TerminationSignals termination(quit);

    CommandServer commands({&service, &NotificationCenter::defaultCenter(), &settings, &passwords,
                            [&appDelegate](const QByteArray& activation) {
                                appDelegate.applicationShouldHandleReopen(activation);
                            },
                            [&appDelegate, &service] {
                                if (MainViewController* window = appDelegate.mainViewController())
                                    return window->onDisconnectItemClick();
                                service.stopOpenVPN();
                            },
                            [&quit] { quit.request(); }});
    instance.handClientsTo([&commands](int client) { commands.take(client); });

    FreedesktopNotifications notifications;
    QtDesktop desktop;
    const AutostartEntry autostart(AutostartEntry::defaultPath(),
                                   QApplication::applicationFilePath().toStdString());
    StartupItems startup(*appDelegate.statusMemu(), autostart, settings);
    LeakBlockItems leakBlock(*appDelegate.statusMemu(), settings,
                             [&service](LeakBlock block) { service.setLeakBlock(block); });
    const Storyboard storyboard = mainStoryboard(
        appDelegate, {&settings, &service, &NotificationCenter::defaultCenter(), &desktop,
                      &passwords, &notifications, StartupItems::connectAtStart(settings)});
    appDelegate.setStoryboard(&storyboard);
    QTimer::singleShot(0, &appDelegate, [&appDelegate, &heapTrimmer] {
        appDelegate.applicationDidFinishLaunching();
        heapTrimmer.workDone();
    });

    const int code = QApplication::exec();
    appDelegate.applicationWillTerminate();
    return code;
}
