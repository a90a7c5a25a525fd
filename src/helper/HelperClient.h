#pragma once

#include "helper/HelperConnectionProvider.h"
#include "platform/MainQueue.h"
#include "platform/UserMessage.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

// The application delegate's helper duties: the one connection to the helper
// daemon, the launch-time version check, and installing the helper copy that ships
// with the application when the installed helper differs or does not answer.
class HelperClient : public HelperConnectionProvider {
public:
    static constexpr const char* installerName = "quovant-install-helper";
    // Replaces pkexec, for tests only: the named program is run with the installer's
    // command line instead.
    static constexpr const char* testAuthCommandVariable = "QUOVANT_TEST_AUTH_COMMAND";
    // The exit status of an application ended by a failed installation.
    static constexpr int failedExitStatus = 1;

    struct Dependencies {
        MainQueue* mainQueue = nullptr;
        std::string bundleDir;  // the helper copy, the installer and the scripts
        std::string socketPath; // where the installed helper listens
        // Ends the application with failedExitStatus; callable from any thread.
        std::function<void()> terminate;
        // Told, on the installing thread, why the authorisation could not be had when
        // trying again may help (no agent, no system bus, refused); with none set, the
        // application ends as it does when the user cancels.
        std::function<void(const UserMessage& message)> authorizationFailed = {};
    };

    explicit HelperClient(Dependencies dependencies);
    // Ends an installation still waiting for an administrator's answer (its authorisation
    // program is told to end), so that the thread it runs on is not waited on for as long
    // as the dialog stays open.
    ~HelperClient() override;

    std::shared_ptr<HelperConnection> helperConnection() override;
    // Empties the connection field, so the next helperConnection() opens a new one.
    void emptyHelperConnection();
    bool hasHelperConnection();

    // Calls `callback` once: true when the installed helper's version equals the
    // helper copy's, false when the helper must be installed.
    void shouldInstallHelper(std::function<void(bool)> callback);
    // Asks for an administrator's authorisation and installs; the next helperConnection()
    // is a new one. A cancelled authorisation or a failed installation ends the
    // application; an authorisation that could not be had otherwise goes to
    // authorizationFailed.
    void installHelper();
    // Ends the installation under way, if any, as if the user had dismissed the dialog,
    // without ending the application. Any thread.
    void cancelInstallation();

    std::string helperCopyPath() const;

private:
    struct Field;
    static void install(Field& field, const Dependencies& dependencies);

    // The connection field, shared with the connection's handlers so that they never
    // outlive what they touch: they hold it weakly.
    struct Field {
        std::mutex mutex;
        // Named after the first platform's XPC connection, as the rest of the product
        // still calls it; it is the Unix socket connection to the helper.
        std::shared_ptr<HelperConnection> xpcHelperConnection;
        // The last connection that broke, kept until the next one breaks: its queue may
        // still be busy (an installation waiting for an administrator's password), and
        // letting go of it would wait for that on the main thread.
        std::shared_ptr<HelperConnection> retired;
        // The authorisation program of the installation under way, and whether the owner
        // has let go (nothing is installed or ended then).
        std::atomic<pid_t> installing{0};
        std::atomic<bool> cancelled{false};
        std::atomic<int> installsRunning{0};
    };

    Dependencies dependencies_;
    std::shared_ptr<Field> field_ = std::make_shared<Field>();
};
