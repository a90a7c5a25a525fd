#include "helper/HelperClient.h"

#include "helper/BundleInfo.h"
#include "helper/HelperConnection.h"
#include "helper/HelperPaths.h"
#include "platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

constexpr int authorizationDismissed = 126; // pkexec: the user dismissed the dialog
constexpr int authorizationRefused = 127;   // pkexec: not authorised, or no way to ask
constexpr size_t maxInstallerMessage = 4096;

struct Finished {
    int status = -1;
    std::string errors; // the end of what the program wrote to standard error
    std::string lastErrorLine;
};

// Why an authorisation was not had (not the user's own cancel), as pkexec's status
// and message tell it.
UserMessage authorizationFailure(const Finished& finished) {
    if (finished.status < 0)
        return USER_TEXT("Messages", "the authorization program cannot be run");
    const auto says = [&](const char* text) {
        return finished.errors.find(text) != std::string::npos;
    };
    // Without a registered agent pkexec tries one of its own on the terminal, and
    // says so when there is no terminal.
    if (says("No authentication agent found") ||
        says("Error creating textual authentication agent"))
        return USER_TEXT("Messages", "no authentication agent is running");
    if (says("Error getting authority"))
        return USER_TEXT("Messages", "the system message bus is not running");
    if (says("Error checking for authorization"))
        return USER_TEXT("Messages", "the authorization service is not answering");
    if (says("Not authorized"))
        return USER_TEXT("Messages", "not authorized");
    return USER_TEXT("Messages", "the authorization was denied");
}

// Runs argv to its end, keeping the end of what the program wrote to standard error;
// `running` holds its pid meanwhile.
Finished runToEnd(const std::vector<std::string>& argv, std::atomic<pid_t>& running,
                  const std::atomic<bool>& cancelled) {
    Finished finished;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        finished.lastErrorLine = std::strerror(errno);
        return finished;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        finished.lastErrorLine =
            std::string("cannot run ") + argv[0] + ": " + std::strerror(spawned);
        return finished;
    }
    running = pid;
    if (cancelled)
        ::kill(pid, SIGTERM); // cancelled before the pid was there to be signalled
    std::string errors;
    char chunk[1024];
    ssize_t n;
    while ((n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            errors.append(chunk, static_cast<size_t>(n));
        if (errors.size() > maxInstallerMessage)
            errors.erase(0, errors.size() - maxInstallerMessage);
    }
    ::close(pipeFds[0]);
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    running = 0;
    finished.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    while (!errors.empty() && errors.back() == '\n')
        errors.pop_back();
    finished.lastErrorLine =
        errors.substr(errors.rfind('\n') == std::string::npos ? 0 : errors.rfind('\n') + 1);
    finished.errors = std::move(errors);
    return finished;
}

} // namespace

HelperClient::HelperClient(Dependencies dependencies) : dependencies_(std::move(dependencies)) {
    if (!dependencies_.mainQueue)
        dependencies_.mainQueue = &MainQueue::main();
}

HelperClient::~HelperClient() {
    cancelInstallation();
    // Its authorisation program ends on the signal; the installation then touches nothing
    // of this any more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (field_->installsRunning > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void HelperClient::cancelInstallation() {
    field_->cancelled = true;
    if (const pid_t pid = field_->installing; pid > 0)
        ::kill(pid, SIGTERM);
}

std::string HelperClient::helperCopyPath() const {
    return dependencies_.bundleDir + "/" + HelperPaths::label;
}

std::shared_ptr<HelperConnection> HelperClient::helperConnection() {
    std::lock_guard lock(field_->mutex);
    if (field_->xpcHelperConnection)
        return field_->xpcHelperConnection;
    auto connection = std::make_shared<HelperConnection>(dependencies_.socketPath);
    field_->xpcHelperConnection = connection;
    std::weak_ptr<Field> weakField = field_;
    std::weak_ptr<HelperConnection> weakConnection = connection;
    MainQueue* mainQueue = dependencies_.mainQueue;
    connection->setInvalidationHandler([weakField, weakConnection, mainQueue] {
        // A connection runs this once, when it breaks. Nothing here takes a reference
        // to the connection or the field: the last reference must never be dropped on the
        // connection's own queue, or its owner would stop waiting for this handler to end.
        mainQueue->async([weakField, weakConnection] {
            if (auto field = weakField.lock()) {
                auto broken = weakConnection.lock();
                std::shared_ptr<HelperConnection> older;
                {
                    std::lock_guard lock(field->mutex);
                    if (broken && field->xpcHelperConnection == broken) {
                        older = std::exchange(field->retired, broken);
                        field->xpcHelperConnection.reset();
                    }
                }
            }
            Log::line("XPC Connection Invalidated\n");
        });
    });
    connection->resume();
    return connection;
}

void HelperClient::emptyHelperConnection() {
    // Let go after unlocking: ending the connection joins its queue, whose invalidation
    // handler takes this lock.
    std::shared_ptr<HelperConnection> old;
    std::lock_guard lock(field_->mutex);
    old = std::move(field_->xpcHelperConnection);
}

bool HelperClient::hasHelperConnection() {
    std::lock_guard lock(field_->mutex);
    return field_->xpcHelperConnection != nullptr;
}

void HelperClient::shouldInstallHelper(std::function<void(bool)> callback) {
    const auto version = BundleInfo::version(helperCopyPath());
    if (!version) {
        callback(false);
        return;
    }
    const std::string bundleVersion = *version;
    Log::line("Helper: Bundle Version => " + bundleVersion);
    auto proxy = helperConnection()->proxy([callback](const HelperError& error) {
        Log::line(error.description.plain());
        // A helper that is there but busy is not missing: reinstalling would ask for an
        // administrator's password to no end.
        if (error.code != HelperError::busy)
            callback(false);
    });
    proxy->getVersion([callback, bundleVersion](const std::string& installedVersion) {
        Log::line("Helper: Installed Version => " + installedVersion);
        callback(installedVersion == bundleVersion);
    });
}

void HelperClient::installHelper() {
    // The owner may go while this waits for an administrator: from here on only these
    // copies are touched.
    const std::shared_ptr<Field> field = field_;
    const Dependencies dependencies = dependencies_;
    ++field->installsRunning;
    install(*field, dependencies);
    if (!field->cancelled) {
        // The next request opens a connection to the helper just installed; the old one
        // is let go outside the lock.
        std::shared_ptr<HelperConnection> old;
        std::lock_guard lock(field->mutex);
        old = std::move(field->xpcHelperConnection);
    }
    --field->installsRunning;
}

void HelperClient::install(Field& field, const Dependencies& dependencies) {
    const std::string installer = dependencies.bundleDir + "/" + installerName;
    if (::access(installer.c_str(), X_OK) != 0) {
        Log::line("Bless Error: the installer " + installer + " is missing");
        dependencies.terminate();
        return;
    }
    const char* testAuth = std::getenv(testAuthCommandVariable);
    const std::string authCommand = testAuth && *testAuth ? testAuth : "/usr/bin/pkexec";
    if (field.cancelled)
        return;
    // The installer takes no paths: it installs the helper copy beside itself.
    const Finished finished = runToEnd({authCommand, installer}, field.installing, field.cancelled);
    if (field.cancelled) {
        Log::line("the installation was given up: the application is ending");
        return;
    }
    if (finished.status == 0) {
        Log::line(std::string(HelperPaths::label) + " installed successfully");
        return;
    }
    if (finished.status == authorizationDismissed) {
        Log::line("Authorization error: The authorization was canceled by the user. (126)");
    } else if (finished.status == authorizationRefused || finished.status < 0) {
        const UserMessage failure = authorizationFailure(finished);
        std::string said = finished.errors;
        std::replace(said.begin(), said.end(), '\n', ' ');
        Log::line("Authorization error: " + failure.plain() + " (status " +
                  std::to_string(finished.status) + (said.empty() ? "" : ": " + said) + ")");
        if (dependencies.authorizationFailed)
            return dependencies.authorizationFailed(
                {USER_TEXT("Messages", "Authorization failed: %1"), {failure}});
    } else {
        Log::line("Bless Error: " +
                  (finished.lastErrorLine.empty()
                       ? "the installer failed with status " + std::to_string(finished.status)
                       : finished.lastErrorLine));
    }
    dependencies.terminate();
}
