// The remembered password against a real gnome-keyring-daemon on a private session bus.
// Run under dbus-run-session with session-bus.conf, which starts no service by itself:
// the Keyring suite starts the keyring, the NoKeyring suite runs without one.
#include "ChildProcess.h"
#include "ControllerHarness.h"
#include "QtWait.h"
#include "TempDir.h"
#include "account/KeyringProcess.h"
#include "platform/Log.h"
#include "platform/qt/KeyringPasswordStore.h"
#include "platform/qt/QtSettingsStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

std::optional<std::string> readBack(PasswordStore& store) {
    std::optional<std::optional<std::string>> result;
    store.read([&result](std::optional<std::string> password) { result = std::move(password); });
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
    return result ? *result : std::nullopt;
}

// What another Secret Service client finds under Quovant's entry ("" for nothing).
std::string inKeyring() {
    std::string out;
    runCommand({"secret-tool", "lookup", "server", "Quovant", "user", "password"}, &out);
    return out;
}

std::optional<std::string> inFile() {
    return QtSettingsStore().string("password");
}

size_t linesWith(const Log::Capture& log, const std::string& text) {
    const auto lines = log.systemLines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

// The keyring through the account process, counting the requests that reach it.
struct CountedKeyring : ::Keyring {
    KeyringProcess real{QUOVANT_ACCOUNT_PROCESS};
    int asked = 0;
    void read(Completion done) override { ++asked, real.read(std::move(done)); }
    void write(const std::string& password, Completion done) override {
        ++asked, real.write(password, std::move(done));
    }
    void remove(Completion done) override { ++asked, real.remove(std::move(done)); }
};

class Keyring : public testing::Test {
protected:
    static void SetUpTestSuite() {
        data_ = std::make_unique<TempDir>("quovant-keyring");
        ChildProcess::Options options;
        options.extraEnvironment = {"XDG_DATA_HOME=" + data_->path().string(),
                                    "HOME=" + data_->path().string()};
        // Unlocked for the test: the password of the new login keyring comes on stdin.
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"sh", "-c",
                                     "printf %s test-unlock | exec gnome-keyring-daemon "
                                     "--foreground --unlock --components=secrets"},
            options);
        ASSERT_TRUE(waitUntil([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                "org.freedesktop.secrets");
        }));
    }
    static void TearDownTestSuite() {
        daemon_.reset();
        data_.reset();
    }
    void TearDown() override {
        QtSettingsStore().remove("password");
        QtSettingsStore().remove(KeyringPasswordStore::keptKey);
        runCommand({"secret-tool", "clear", "server", "Quovant", "user", "password"});
    }

    static inline std::unique_ptr<TempDir> data_;
    static inline std::unique_ptr<ChildProcess> daemon_;
};

TEST_F(Keyring, StoresReadsAndRemovesThePasswordOutsideTheSettingsFile) {
    Log::Capture log;
    QtSettingsStore settings;
    KeyringProcess storeKeyring(QUOVANT_ACCOUNT_PROCESS);
    KeyringPasswordStore store(settings, storeKeyring);
    store.write("s3cret \xC3\xBC pw");
    ASSERT_TRUE(waitUntil([] { return inKeyring() == "s3cret \xC3\xBC pw"; })) << inKeyring();
    EXPECT_TRUE(waitUntil([] { return !inFile(); }));

    // Each request starts a process: the next start asks only what it does not know.
    CountedKeyring nextKeyring;
    QtSettingsStore nextSettings;
    KeyringPasswordStore next(nextSettings, nextKeyring);
    EXPECT_EQ(readBack(next), "s3cret \xC3\xBC pw");
    next.write("s3cret \xC3\xBC pw");
    EXPECT_EQ(nextKeyring.asked, 1) << "the keyring has that password";

    next.remove();
    ASSERT_TRUE(waitUntil([] { return inKeyring().empty(); }));
    EXPECT_EQ(readBack(next), std::nullopt);
    next.remove();
    EXPECT_EQ(nextKeyring.asked, 3) << "nothing to remove";
    EXPECT_FALSE(inFile());
    EXPECT_EQ(linesWith(log, "keyring"), 0u) << "nothing went wrong worth a line";
}

TEST_F(Keyring, APasswordInTheSettingsFileMovesIntoTheKeyringAtTheFirstStart) {
    QtSettingsStore settings;
    settings.set("email", "me@example.com");
    settings.set("password", "from an older version");
    Log::Capture log;
    {
        KeyringProcess storeKeyring(QUOVANT_ACCOUNT_PROCESS);
        KeyringPasswordStore store(settings, storeKeyring);
        EXPECT_EQ(readBack(store), "from an older version");
        EXPECT_TRUE(waitUntil([] { return !inFile(); }));
    }
    EXPECT_EQ(inKeyring(), "from an older version");
    EXPECT_EQ(QtSettingsStore().string("email"), "me@example.com") << "the e-mail stays";
    EXPECT_EQ(linesWith(log, "moved the remembered password"), 1u);

    KeyringProcess laterKeyring(QUOVANT_ACCOUNT_PROCESS);
    KeyringPasswordStore later(settings, laterKeyring);
    EXPECT_EQ(readBack(later), "from an older version");
    EXPECT_EQ(linesWith(log, "moved the remembered password"), 1u);
    QtSettingsStore().remove("email");
}

// Until the keyring answers (its prompt may stay open for two minutes), the password is in
// the owner-only file: a quit meanwhile loses nothing, and the next start reads it at once.
TEST_F(Keyring, APasswordIsInTheOwnerOnlyFileUntilTheKeyringHasTakenIt) {
    const struct {
        const char* what;
        const char* program;
        bool taken;
    } cases[] = {
        {"the keyring takes it", QUOVANT_ACCOUNT_PROCESS, true},
        {"a quit while the keyring's prompt is open", "/usr/bin/tail", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            QtSettingsStore settings;
            KeyringProcess keyring(c.program);
            KeyringPasswordStore store(settings, keyring);
            store.write("pending pw");
            EXPECT_EQ(inFile(), "pending pw") << "before the keyring has answered";
            struct stat st {};
            ASSERT_EQ(::stat(settings.fileName().toLocal8Bit().constData(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
            if (c.taken) {
                ASSERT_TRUE(waitUntil([] { return !inFile(); }));
            }
        }
        EXPECT_EQ(inFile().has_value(), !c.taken);
        EXPECT_EQ(inKeyring(), c.taken ? "pending pw" : "");
        QtSettingsStore settings;
        CountedKeyring keyring;
        KeyringPasswordStore next(settings, keyring);
        EXPECT_EQ(readBack(next), "pending pw");
        EXPECT_EQ(keyring.asked, c.taken ? 1 : 0) << "a password kept in the file stays there";
        TearDown();
    }
}

TEST_F(Keyring, TheRememberMeRuleKeepsThePasswordInTheKeyringAndTheEmailInTheDefaults) {
    FakeDefaults file;
    KeyringProcess storeKeyring(QUOVANT_ACCOUNT_PROCESS);
    KeyringPasswordStore store(file, storeKeyring);
    {
        ControllerHarness h(nullptr, &store);
        h.view.email = "me@example.com";
        h.view.password = "correct horse";
        h.view.remember = true;
        h.controller->onConnectButtonClick();
        h.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        ASSERT_TRUE(waitUntil([] { return inKeyring() == "correct horse"; }));
        EXPECT_EQ(h.defaults.values,
                  (std::map<std::string, std::string>{{"email", "me@example.com"}}));
        EXPECT_TRUE(waitUntil([&file] { return file.values.empty(); }));
    }
    {
        // The next start: the keyring answers after the view has loaded.
        ControllerHarness h(nullptr, &store);
        h.defaults.values["email"] = "me@example.com";
        h.controller->viewDidLoad();
        EXPECT_TRUE(waitUntil([&] { return h.view.password == "correct horse"; }));
        EXPECT_TRUE(h.view.remember);
        // Unticked, a successful login forgets it.
        h.view.remember = false;
        h.controller->onConnectButtonClick();
        h.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        EXPECT_TRUE(waitUntil([] { return inKeyring().empty(); }));
    }
}

TEST(NoKeyring, WithoutASecretServiceThePasswordStaysInTheOwnerOnlyFileAndTheLogSaysWhyOnce) {
    ASSERT_FALSE(KeyringPasswordStore::keyringOnSessionBus()) << "run on session-bus.conf";
    Log::Capture log;
    QtSettingsStore settings;
    KeyringProcess storeKeyring(QUOVANT_ACCOUNT_PROCESS);
    KeyringPasswordStore store(settings, storeKeyring);
    store.write("first");
    ASSERT_TRUE(waitUntil([] { return inFile() == "first"; }));
    struct stat st {};
    ASSERT_EQ(::stat(settings.fileName().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    store.write("second");
    ASSERT_TRUE(waitUntil([] { return inFile() == "second"; }));

    // A later start finds it there and leaves it there.
    KeyringProcess nextKeyring(QUOVANT_ACCOUNT_PROCESS);
    KeyringPasswordStore next(settings, nextKeyring);
    EXPECT_EQ(readBack(next), "second");
    EXPECT_EQ(inFile(), "second");
    EXPECT_EQ(linesWith(log, "no keyring"), 1u);
    EXPECT_EQ(linesWith(log, "second"), 0u) << "no password in the log";

    next.remove();
    EXPECT_FALSE(inFile());
}

TEST(NoKeyring, AKeyringProcessThatFailsAnswersEachRequestInTurnAndNeverHangs) {
    const struct {
        const char* program;
        const char* why;
    } cases[] = {
        {"/nonexistent/quovant-account", "cannot be started"},
        {"/bin/true", "ended before it answered"},
        {"/bin/cat", "malformed"},
        {"/usr/bin/tail", "did not answer in time"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        Log::Capture log;
        KeyringProcess keyring(c.program, 500);
        std::vector<::Keyring::Result> answers;
        const auto note = [&answers](const ::Keyring::Answer& answer) {
            answers.push_back(answer.result);
        };
        keyring.write("not in any log", note);
        keyring.read(note);
        ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }, 5s));
        EXPECT_EQ(answers, std::vector(2, ::Keyring::Result::failed));
        EXPECT_GE(linesWith(log, c.why), 1u);
        EXPECT_EQ(linesWith(log, "not in any log"), 0u);
    }
}

// A Secret Service that is there but refuses the password: it has no login collection (as
// under sway and other minimal sessions), or its collection is locked and the unlock prompt
// comes to nothing (gnome-keyring dismisses a prompt it has no prompter to show on). The
// password goes to the owner-only file, the user is told once, and the next read, as
// `quovant connect` makes, has it at once, asking the keyring nothing: a prompt it opened
// would hold up the command. With no display to ask on, the keyring is not asked.
TEST(RefusingKeyring, APasswordTheKeyringRefusesIsKeptInTheOwnerOnlyFileAndTheUserTold) {
    const struct {
        const char* what;
        bool login;   // a login collection, made and then locked
        bool display; // a display the prompt could show on
        int asked;    // requests that reach the keyring: the two writes, nothing after them
        int told;
    } cases[] = {
        {"no login collection", false, true, 2, 1},
        {"a locked collection, its prompt dismissed", true, true, 2, 1},
        {"a locked collection and no display", true, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir data("quovant-refusing-keyring");
        ChildProcess::Options options;
        options.extraEnvironment = {"XDG_DATA_HOME=" + data.path().string(),
                                    "HOME=" + data.path().string()};
        const std::string unlock = c.login ? "printf %s test-unlock | " : "";
        ChildProcess daemon({"sh", "-c",
                             unlock +
                                 "exec gnome-keyring-daemon --foreground --components=secrets" +
                                 (c.login ? " --unlock" : "")},
                            options);
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        ASSERT_TRUE(waitUntil([&] { return bus->isServiceRegistered("org.freedesktop.secrets"); }));
        if (c.login) {
            ASSERT_EQ(
                runCommand({"gdbus", "call", "--session", "-d", "org.freedesktop.secrets", "-o",
                            "/org/freedesktop/secrets", "-m", "org.freedesktop.Secret.Service.Lock",
                            "[objectpath '/org/freedesktop/secrets/collection/login']"}),
                0);
        }
        if (c.display)
            qputenv("DISPLAY", ":1023");
        else
            qunsetenv("DISPLAY");

        CountedKeyring keyring;
        QtSettingsStore settings;
        KeyringPasswordStore store(settings, keyring);
        int told = 0;
        store.setKeptInFile([&told] { ++told; });
        Log::Capture log;
        store.write("pw-1 \xC3\xBC");
        ASSERT_TRUE(waitUntil([] { return inFile() == "pw-1 \xC3\xBC"; }, 10s));
        struct stat st {};
        ASSERT_EQ(::stat(settings.fileName().toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        store.write("pw-2");
        ASSERT_TRUE(waitUntil([] { return inFile() == "pw-2"; }, 10s));
        // Both refusals answered.
        ASSERT_TRUE(
            waitUntil([&] { return linesWith(log, "did not take") == (c.asked ? 2u : 0u); }, 10s));
        EXPECT_EQ(told, c.told) << "once, however often";

        // What `quovant connect` reads: the password, answered before the read returns.
        KeyringPasswordStore next(settings, keyring);
        std::optional<std::string> readAtOnce;
        next.read([&readAtOnce](std::optional<std::string> password) {
            readAtOnce = std::move(password);
        });
        EXPECT_EQ(readAtOnce, "pw-2");
        EXPECT_EQ(readBack(next), "pw-2");
        // The next login remembers the same password: it stays where it is.
        next.write("pw-2");
        EXPECT_EQ(inFile(), "pw-2");
        EXPECT_EQ(keyring.asked, c.asked);
        EXPECT_EQ(linesWith(log, "pw-"), 0u) << "no password in the log";
        // Unticked and ticked again, the keyring is offered it anew.
        next.remove();
        EXPECT_FALSE(inFile());
        const int before = keyring.asked;
        next.write("pw-2");
        ASSERT_TRUE(waitUntil([] { return inFile() == "pw-2"; }, 10s));
        EXPECT_EQ(keyring.asked, before + (c.asked == 0 ? 0 : 1));
        next.remove();
    }
    qunsetenv("DISPLAY");
}

} // namespace
