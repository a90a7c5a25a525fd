#include "platform/qt/KeyringPasswordStore.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace {

// The bus names of the keyrings QtKeychain speaks to on Linux.
constexpr const char* secretService = "org.freedesktop.secrets";
constexpr const char* secretServicePath = "/org/freedesktop/secrets";
constexpr const char* keyringNames[] = {secretService, "org.kde.kwalletd5", "org.kde.kwalletd6"};
// The Secret Service answers these from what it holds, asking no one.
constexpr int answerMs = 2000;

} // namespace

KeyringPasswordStore::KeyringPasswordStore(KeyValueStore& settings, Keyring& keyring)
    : settings_(settings), keyring_(keyring), file_(settings) {}

Keyring::Completion KeyringPasswordStore::whileHere(
    std::function<void(KeyringPasswordStore&, const Keyring::Answer&)> then) {
    return [self = std::weak_ptr(self_), then = std::move(then)](const Keyring::Answer& answer) {
        if (auto alive = self.lock())
            then(**alive, answer);
    };
}

void KeyringPasswordStore::removeFromFile() {
    if (settings_.string(SettingsPasswordStore::key))
        file_.remove();
    if (settings_.string(keptKey))
        settings_.remove(keptKey);
}

bool KeyringPasswordStore::keyringOnSessionBus() {
    // Where the session has none, the start told D-Bus so (SessionBusChoice): none starts.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    for (const char* name : keyringNames)
        if (bus.interface()->isServiceRegistered(name) ||
            (activatable.isValid() && activatable.value().contains(name)))
            return true;
    return false;
}

bool KeyringPasswordStore::keyringWouldAskUnseen() {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.interface()->isServiceRegistered(secretService))
        return false; // KWallet asks nothing of the Secret Service's kind
    QDBusMessage alias = QDBusMessage::createMethodCall(
        secretService, secretServicePath, "org.freedesktop.Secret.Service", "ReadAlias");
    alias << QStringLiteral("default");
    const QDBusReply<QDBusObjectPath> collection = bus.call(alias, QDBus::Block, answerMs);
    // An unanswered question counts as a question.
    if (!collection.isValid() || collection.value().path() == "/")
        return true;
    QDBusMessage locked = QDBusMessage::createMethodCall(secretService, collection.value().path(),
                                                         "org.freedesktop.DBus.Properties", "Get");
    locked << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusReply<QVariant> state = bus.call(locked, QDBus::Block, answerMs);
    return !state.isValid() || state.value().toBool();
}

bool KeyringPasswordStore::withoutKeyring() {
    const char* why = !keyringOnSessionBus()
                          ? "no keyring (Secret Service or KWallet) on the session bus"
                      : keyringWouldAskUnseen()
                          ? "the keyring is locked or has no collection, and no display to ask "
                            "for its password on"
                          : nullptr;
    if (!why)
        return false;
    if (!toldNoKeyring_) {
        toldNoKeyring_ = true;
        Log::line(std::string(why) +
                  ": the remembered password stays in the settings file, readable by its owner "
                  "only");
    }
    return true;
}

bool KeyringPasswordStore::noKeyring(const std::string& why) {
    if (withoutKeyring())
        return true;
    Log::line("the keyring did not take or give the remembered password: " + why);
    return false;
}

void KeyringPasswordStore::read(std::function<void(std::optional<std::string> password)> done) {
    std::optional<std::string> inFile;
    file_.read([&inFile](std::optional<std::string> password) { inFile = std::move(password); });
    if (inFile) {
        // Answered from the file at once: a keyring that puts up a prompt must not hold up
        // `quovant connect`. A copy kept here after a refusal stays until the user ticks the
        // box anew; only one an older version left is moved, behind the answer.
        const std::string password = *inFile;
        done(std::move(inFile));
        if (!settings_.string(keptKey) && !withoutKeyring())
            moveIntoKeyring(password);
        return;
    }
    if (withoutKeyring())
        return done(std::nullopt);
    keyring_.read(whileHere(
        [done = std::move(done)](KeyringPasswordStore& store, const Keyring::Answer& answer) {
            if (answer.result == Keyring::Result::done) {
                store.known_ = answer.text;
                return done(answer.text);
            }
            if (answer.result == Keyring::Result::notFound)
                store.known_.emplace();
            else
                store.noKeyring(answer.text);
            done(std::nullopt);
        }));
}

void KeyringPasswordStore::moveIntoKeyring(const std::string& password) {
    // Out of the file only once the keyring has it; refused, it stays there for good.
    keyring_.write(
        password, whileHere([password](KeyringPasswordStore& store, const Keyring::Answer& answer) {
            if (answer.result == Keyring::Result::done) {
                store.known_ = password;
                store.removeFromFile();
                Log::line("moved the remembered password from the settings file "
                          "to the keyring");
            } else if (!store.noKeyring(answer.text)) {
                store.settings_.set(keptKey, "true");
            }
        }));
}

void KeyringPasswordStore::write(const std::string& password) {
    if (known_ && *known_ == password)
        return;
    // Refused once, the same password stays in the file: asking again would put up the
    // keyring's prompt at each login. Unticking and ticking the box again asks anew.
    if (settings_.string(keptKey) && settings_.string(SettingsPasswordStore::key) == password)
        return;
    if (withoutKeyring())
        return file_.write(password);
    known_.reset(); // until the keyring has answered
    // In the file, marked kept, until the keyring has taken it: a quit while the keyring's
    // prompt is open loses nothing.
    file_.write(password);
    settings_.set(keptKey, "true");
    keyring_.write(
        password, whileHere([password](KeyringPasswordStore& store, const Keyring::Answer& answer) {
            if (answer.result == Keyring::Result::done) {
                store.known_ = password;
                // Unless a later password has taken its place there.
                if (store.settings_.string(SettingsPasswordStore::key) == password)
                    store.removeFromFile();
                return;
            }
            // Kept, whatever the keyring's reason, and not offered to it again.
            if (!store.noKeyring(answer.text))
                store.tellKeptInFile();
        }));
}

void KeyringPasswordStore::tellKeptInFile() {
    if (toldKeptInFile_)
        return;
    toldKeptInFile_ = true;
    Log::line("the remembered password is kept in the settings file, readable by its owner "
              "only, until the keyring takes it");
    if (keptInFile_)
        keptInFile_();
}

void KeyringPasswordStore::remove() {
    removeFromFile();
    if ((known_ && !*known_) || withoutKeyring())
        return;
    known_.reset();
    keyring_.remove(whileHere([](KeyringPasswordStore& store, const Keyring::Answer& answer) {
        if (answer.result == Keyring::Result::failed)
            store.noKeyring(answer.text);
        else
            store.known_.emplace();
    }));
}
