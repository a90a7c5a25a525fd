#include "helper/HelperClient.h"

#include "Awaited.h"
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "Poll.h"
#include "helper/HelperConnection.h"
#include "platform/Log.h"
#include "platform/ManualMainQueue.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The application's side of installation, with pkexec replaced by a script and the
// install locations pointed into a temporary directory.
class HelperClientTest : public testing::Test {
protected:
    TempDir dir{"quovant-install"};
    ManualMainQueue mainQueue;
    std::atomic<int> terminations{0};
    Log::Capture log;

    void SetUp() override {
        dir.write("allow", "#!/bin/sh\nexec \"$@\"\n", std::filesystem::perms(0755));
        dir.write("cancel", "#!/bin/sh\nexit 126\n", std::filesystem::perms(0755));
        // pkexec's own words when the password was refused, and when the desktop runs
        // no authentication agent.
        dir.write("refuse",
                  "#!/bin/sh\necho 'Error executing command as another user: Not authorized' >&2\n"
                  "echo >&2\necho 'This incident has been reported.' >&2\nexit 127\n",
                  std::filesystem::perms(0755));
        dir.write("no-agent-found",
                  "#!/bin/sh\necho 'Error executing command as another user: "
                  "No authentication agent found.' >&2\nexit 127\n",
                  std::filesystem::perms(0755));
        // The real pkexec, run by nobody without a controlling terminal, in mount and pid
        // namespaces of its own whose /run/dbus is empty ("none") or holds a system bus
        // of its own, which starts polkitd, with no authentication agent ("bus").
        // pkexec will not serve a parent that is pid 1, so the pid 1 shell runs another.
        dir.write("as-nobody",
                  "#!/bin/sh\nsetpriv --reuid=65534 --regid=65534 --clear-groups "
                  "setsid -w /usr/bin/pkexec \"$@\"\n",
                  std::filesystem::perms(0755));
        dir.write("system",
                  "#!/bin/sh\nmount -t tmpfs tmpfs /run/dbus || exit 99\n"
                  "if [ \"$1\" = bus ]; then dbus-daemon --system --fork || exit 98; fi\n"
                  "shift\n" +
                      (dir / "as-nobody").string() + " \"$@\"\n",
                  std::filesystem::perms(0755));
        for (const char* bus : {"none", "bus"})
            dir.write(std::string("pkexec-bus-") + bus,
                      "#!/bin/sh\nexec unshare --mount --pid --fork --mount-proc " +
                          (dir / "system").string() + " " + bus + " \"$@\"\n",
                      std::filesystem::perms(0755));
        ::setenv("QUOVANT_HELPER_DIR", (dir / "installed").c_str(), 1);
        ::setenv("QUOVANT_HELPER_SOCKET", socketPath().c_str(), 1);
        ::setenv("QUOVANT_HELPER_LOG", (dir / "helper.log").c_str(), 1);
        authorise("allow");
    }

    void TearDown() override {
        const std::string pid = readFile(socketPath() + ".pid");
        if (!pid.empty())
            ::kill(std::stoi(pid), SIGTERM);
    }

    std::string socketPath() const { return (dir / "helper.sock").string(); }
    void authorise(const std::string& script) {
        ::setenv(HelperClient::testAuthCommandVariable, (dir / script).c_str(), 1);
    }

    std::unique_ptr<HelperClient> installer(const std::string& bundleDir, const std::string& socket,
                                            std::vector<std::string>* failures = nullptr) {
        HelperClient::Dependencies dependencies{&mainQueue, bundleDir, socket,
                                                [this] { ++terminations; }};
        if (failures)
            dependencies.authorizationFailed = [failures](const UserMessage& message) {
                failures->push_back(message.plain());
            };
        return std::make_unique<HelperClient>(dependencies);
    }

    // The launch sequence's check: install when handed false, then let go of the connection.
    bool checkAndInstall(HelperClient& helper) {
        Awaited<bool> answered;
        helper.shouldInstallHelper([&](bool current) {
            if (!current) {
                helper.installHelper();
                helper.emptyHelperConnection();
            }
            answered.add(current);
        });
        return answered.first(60s).value();
    }

    // A copy of the build's libexec/quovant in a directory of root's: the installer
    // refuses to install from one that others could change, as a build tree may be.
    std::string bundle() {
        const auto bundle = dir / "bundle";
        if (!std::filesystem::exists(bundle)) {
            std::filesystem::create_directory(bundle);
            for (const char* f :
                 {"quovant-install-helper", "com.quovant.macos.helper", "client.up", "client.down"})
                std::filesystem::copy_file(HelperDaemon::libexecDir() + "/" + f, bundle / f);
        }
        return bundle.string();
    }

    std::string bundleWithVersion(const std::string& version) {
        const auto bundle = dir / ("bundle-" + version);
        std::filesystem::create_directory(bundle);
        for (const char* f : {"quovant-install-helper", "client.up", "client.down"})
            std::filesystem::copy_file(HelperDaemon::libexecDir() + "/" + f, bundle / f);
        dir.write("info.json", "{\"CFBundleVersion\":\"" + version + "\"}");
        EXPECT_EQ(runCommand({"objcopy", "--update-section",
                              ".quovant_info=" + (dir / "info.json").string(),
                              HelperDaemon::builtHelper(),
                              (bundle / "com.quovant.macos.helper").string()}),
                  0);
        return bundle.string();
    }
};

TEST_F(HelperClientTest, InstallsWhenNoHelperAnswersAndTheNewHelperAnswersOnANewConnection) {
    auto helper = installer(bundle(), socketPath());
    EXPECT_FALSE(checkAndInstall(*helper));
    const auto lines = log.systemLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Helper: Bundle Version => " QUOVANT_TEST_PROJECT_VERSION);
    EXPECT_NE(lines[1].find("Couldn't communicate with a helper application."), std::string::npos)
        << lines[1];
    EXPECT_TRUE(log.systemContains("com.quovant.macos.helper installed successfully"));
    EXPECT_EQ(terminations, 0);
    EXPECT_FALSE(helper->hasHelperConnection());
    EXPECT_TRUE(std::filesystem::exists(dir / "installed/client.up"));

    Awaited<std::string> version;
    helper->helperConnection()
        ->proxy([&](const HelperError& e) { version.add("error " + e.description.plain()); })
        ->getVersion([&](const std::string& v) { version.add(v); });
    EXPECT_EQ(version.first(), QUOVANT_TEST_PROJECT_VERSION);

    // Installing again replaces the running helper.
    const std::string firstPid = readFile(socketPath() + ".pid");
    helper->installHelper();
    EXPECT_NE(readFile(socketPath() + ".pid"), firstPid);
    EXPECT_EQ(terminations, 0);
}

// An application that ends while the administrator's password is asked for does not
// wait for the answer, and ends nothing else on its way out.
TEST_F(HelperClientTest, AnInstallationWaitingForAnAnswerEndsWithItsOwner) {
    dir.write("waiting", "#!/bin/sh\ntouch " + (dir / "asked").string() + "\nexec sleep 60\n",
              std::filesystem::perms(0755));
    authorise("waiting");
    auto helper = installer(bundle(), socketPath());
    std::thread installing([client = helper.get()] { client->installHelper(); });
    ASSERT_TRUE(pollUntil([&] { return std::filesystem::exists(dir / "asked"); }, 10s));
    const auto started = std::chrono::steady_clock::now();
    helper.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    installing.join();
    EXPECT_EQ(terminations, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "installed"));
}

TEST_F(HelperClientTest, CancelledAuthorisationEndsTheApplication) {
    authorise("cancel");
    std::vector<std::string> failures;
    auto helper = installer(bundle(), socketPath(), &failures);
    EXPECT_FALSE(checkAndInstall(*helper));
    EXPECT_TRUE(log.systemContains("Authorization error: "));
    EXPECT_FALSE(log.systemContains("installed successfully"));
    EXPECT_EQ(terminations, 1);
    EXPECT_TRUE(failures.empty()) << "a cancel is the user's answer, not a failure to tell";
    EXPECT_FALSE(std::filesystem::exists(dir / "installed"));
}

TEST_F(HelperClientTest, AuthorisationThatCannotBeHadSaysWhyAndLeavesTheApplicationRunning) {
    const std::pair<const char*, const char*> cases[] = {
        {"pkexec-bus-none", "Authorization failed: the system message bus is not running"},
        {"pkexec-bus-bus", "Authorization failed: no authentication agent is running"},
        {"no-agent-found", "Authorization failed: no authentication agent is running"},
        {"refuse", "Authorization failed: not authorized"},
    };
    for (const auto& [script, failure] : cases) {
        authorise(script);
        std::vector<std::string> failures;
        const auto started = std::chrono::steady_clock::now();
        installer(HelperDaemon::libexecDir(), socketPath(), &failures)->installHelper();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s) << script;
        EXPECT_EQ(failures, std::vector<std::string>{failure}) << script << "\n"
                                                               << log.systemLines().back();
        EXPECT_EQ(terminations, 0) << script;
        EXPECT_FALSE(std::filesystem::exists(dir / "installed")) << script;
    }
    EXPECT_TRUE(log.systemContains("Authorization error: the system message bus is not running "
                                   "(status 127: Error getting authority"));

    // With nobody to tell, the application ends as on a cancel.
    authorise("refuse");
    installer(HelperDaemon::libexecDir(), socketPath())->installHelper();
    EXPECT_EQ(terminations, 1);
}

TEST_F(HelperClientTest, MissingHelperCopyInstallsAtOnceAndFailsAsABlessError) {
    const auto bundle = dir / "bundle-without-helper";
    std::filesystem::create_directory(bundle);
    for (const char* f : {"quovant-install-helper", "client.up", "client.down"})
        std::filesystem::copy_file(HelperDaemon::libexecDir() + "/" + f, bundle / f);
    auto helper = installer(bundle.string(), socketPath());
    bool answered = false;
    helper->shouldInstallHelper([&](bool current) {
        EXPECT_FALSE(current);
        helper->installHelper();
        answered = true;
    });
    EXPECT_TRUE(answered)
        << "with no readable helper copy the callback runs at once, on the caller's thread";
    EXPECT_FALSE(log.systemContains("Helper: Bundle Version => "));
    EXPECT_TRUE(log.systemContains("Bless Error: " + bundle.string() +
                                   "/com.quovant.macos.helper is missing"))
        << log.systemLines().back();
    EXPECT_EQ(terminations, 1);
}

TEST_F(HelperClientTest, VersionsAreComparedAsExactText) {
    HelperDaemon running; // answers with the project version, "1.0.0"
    {
        auto helper = installer(bundleWithVersion("1.0"), running.socketPath());
        authorise("cancel"); // an installation would end the application
        EXPECT_FALSE(checkAndInstall(*helper)) << "1.0 and 1.0.0 differ";
        EXPECT_TRUE(
            log.systemContains("Helper: Installed Version => " QUOVANT_TEST_PROJECT_VERSION));
        EXPECT_EQ(terminations, 1);
    }
    {
        auto helper =
            installer(bundleWithVersion(QUOVANT_TEST_PROJECT_VERSION), running.socketPath());
        EXPECT_TRUE(checkAndInstall(*helper));
        EXPECT_EQ(terminations, 1) << "an equal version installs nothing";
        EXPECT_TRUE(helper->hasHelperConnection()) << "the open connection stays for later use";
    }
}

TEST_F(HelperClientTest, MainQueueGoesOnWhileTheAdministratorIsAsked) {
    // The authorisation goes on only once the main queue has run again after the
    // connection broke: a main thread that waited for the installation would never
    // let it go on, and the script gives up.
    const std::string go = (dir / "go").string();
    dir.write("wait-for-main",
              "#!/bin/sh\nfor i in $(seq 200); do\n  [ -e " + go +
                  " ] && exec \"$@\"\n  sleep 0.05\ndone\nexit 1\n",
              std::filesystem::perms(0755));
    authorise("wait-for-main");
    auto helper = installer(bundle(), socketPath());
    Awaited<bool> answered;
    helper->shouldInstallHelper([&](bool current) {
        if (!current) {
            helper->installHelper();
            helper->emptyHelperConnection();
        }
        answered.add(current);
    });
    ASSERT_TRUE(mainQueue.drainUntil([&] { return !helper->hasHelperConnection(); }, 5s));
    dir.write("go", "");
    ASSERT_TRUE(answered.first(30s));
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(log.systemContains("com.quovant.macos.helper installed successfully"));
}

TEST_F(HelperClientTest, InvalidatedConnectionIsEmptiedOnTheMainQueue) {
    auto helper = installer(HelperDaemon::libexecDir(), (dir / "nobody-listens.sock").string());
    const auto first = helper->helperConnection();
    ASSERT_TRUE(mainQueue.drainUntil([&] { return !helper->hasHelperConnection(); }, 5s));
    EXPECT_TRUE(log.systemContains("XPC Connection Invalidated\n"));
    const auto second = helper->helperConnection();
    EXPECT_NE(second, first);
}

} // namespace
