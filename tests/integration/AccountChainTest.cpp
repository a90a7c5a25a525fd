#include "AccountServiceProcess.h"
#include "ControllerHarness.h"
#include "QtWait.h"
#include "account/AccountProcessClient.h"
#include "platform/Log.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string profile =
    "client\r\ndev tun\r\nremote vpn.quovant.example 1194\n# Zo\xC3\xAB's profiel \xE2\x82\xAC\n";

// The login chain over real HTTPS: the real account process against the real account
// service, the controller with a fake window.
struct Chain {
    std::unique_ptr<AccountServiceProcess> service;
    std::unique_ptr<AccountService> client;
    std::unique_ptr<ControllerHarness> harness;

    explicit Chain(const std::vector<std::string>& switches = {},
                   int timeoutMs = AccountService::timeoutMs, bool serviceRunning = true) {
        if (serviceRunning)
            service = std::make_unique<AccountServiceProcess>(
                std::vector<std::string>{" Zoë@example.com :p w\"d ", "bob@example.com:hunter2"},
                profile, switches);
        ::setenv("QUOVANT_ACCOUNT_HOST", AccountServiceProcess::address, 1);
        if (service)
            ::setenv("QUOVANT_CA_FILE", service->caFile().c_str(), 1);
        useClient(std::make_unique<AccountProcessClient>(QUOVANT_ACCOUNT_PROCESS, timeoutMs));
    }

    void useClient(std::unique_ptr<AccountService> replacement) {
        harness.reset();
        client = std::move(replacement);
        harness = std::make_unique<ControllerHarness>(client.get());
    }

    void click(const std::string& email, const std::string& password) {
        harness->view.email = email;
        harness->view.password = password;
        harness->controller->onConnectButtonClick();
    }

    // Fills the form, clicks connect and waits for the chain to end (an alert or a start).
    void connect(const std::string& email, const std::string& password, bool remember = false) {
        harness->view.remember = remember;
        click(email, password);
        waitUntil([&] { return !harness->view.alerts.empty() || harness->vpn->config.has_value(); },
                  20s);
    }
};

TEST(AccountChain, LoginFetchesTheProfileWritesItAndStartsTheService) {
    Chain chain;
    Log::Capture log;
    chain.connect(" Zoë@example.com ", "p w\"d ", true);
    auto& h = *chain.harness;
    ASSERT_TRUE(h.view.alerts.empty()) << h.view.alerts.front() << "\n" << chain.service->log();
    EXPECT_EQ(readFile(h.dir / "quovant.ovpn"), profile) << "byte for byte";
    EXPECT_EQ(h.vpn->username, " Zoë@example.com ") << "blanks kept";
    EXPECT_EQ(h.vpn->password, "p w\"d ");
    EXPECT_EQ(h.defaults.values.at("email"), " Zoë@example.com ");
    EXPECT_EQ(chain.service->recorded(), "POST /api/login json=yes email= Zoë@example.com \n"
                                         "GET /api/profile?country_code=QZ bearer=valid\n");
    EXPECT_EQ(h.vpn->done.back(), "run " + (h.dir / "quovant.ovpn").string())
        << "the helper is asked to run the profile";
    for (const auto& line : log.systemLines())
        EXPECT_EQ(line.find("p w"), std::string::npos) << "no password in the log";
}

// The pids of this process's children named `name`.
std::vector<pid_t> children(const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state;
        pid_t parent = 0;
        if (stat >> pid >> comm >> state >> parent && parent == ::getpid() &&
            comm == "(" + name + ")")
            found.push_back(std::stoi(pid));
    }
    return found;
}

// Established TCP connections to the account service's port (the test has a network
// namespace of its own, so they are all this process's).
int connectionsToTheService() {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    int established = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "01" && remote.ends_with(":20FB")) // 8443
            ++established;
    }
    return established;
}

TEST(AccountChain, TheChainClosesItsConnectionWhenItEnds) {
    {
        Chain chain;
        chain.connect("bob@example.com", "hunter2");
        ASSERT_TRUE(chain.harness->view.alerts.empty()) << chain.harness->view.alerts.front();
        // Well before the service would time the idle connection out (5 s).
        EXPECT_TRUE(waitUntil([] { return connectionsToTheService() == 0; }, 2s))
            << "nothing is left open to wake the application later";
        EXPECT_TRUE(waitUntil([] { return children("quovant-account").empty(); }, 2s))
            << "the account process ends with its chain";
    }
    Chain refused;
    refused.connect("bob@example.com", "wrong");
    EXPECT_EQ(refused.harness->view.alerts,
              std::vector<std::string>{"Onjuist email of wachtwoord"});
    EXPECT_TRUE(waitUntil([] { return connectionsToTheService() == 0; }, 2s))
        << "nor after a refused login";
}

TEST(AccountChain, EachLoginRunsInAProcessThatGetsTheCredentialsByPipeAndACancelEndsIt) {
    Chain chain({"--delay", "1"});
    chain.click("bob@example.com", "hunter2");
    ASSERT_TRUE(waitUntil([] { return children("quovant-account").size() == 1; }, 5s));
    const std::string proc = "/proc/" + std::to_string(children("quovant-account")[0]);
    for (const char* file : {"/cmdline", "/environ"})
        EXPECT_EQ(readFile(proc + file).find("hunter2"), std::string::npos) << file;
    // Pipes and sockets, named by inode: one seen in both was inherited.
    const auto targets = [](const std::string& dir, bool standardToo) {
        std::set<std::string> found;
        for (const auto& fd : std::filesystem::directory_iterator(dir)) {
            // A descriptor the process closes while it is listed was not inherited.
            std::error_code closed;
            const std::string target = std::filesystem::read_symlink(fd.path(), closed).string();
            if (closed)
                continue;
            const bool named = target.starts_with("pipe:") || target.starts_with("socket:");
            if (named && (standardToo || std::stoi(fd.path().filename()) > 2))
                found.insert(target);
        }
        return found;
    };
    const auto ours = targets("/proc/self/fd", true);
    for (const auto& target : targets(proc + "/fd", false))
        EXPECT_FALSE(ours.contains(target)) << target << ": inherited beyond its pipes";

    chain.click("bob@example.com", "hunter2"); // while it runs: a cancel
    EXPECT_TRUE(children("quovant-account").empty()) << "the cancel ended it";
    EXPECT_EQ(chain.harness->view.formEnabled, true);
    EXPECT_TRUE(chain.harness->view.alerts.empty());
}

TEST(AccountChain, AnAccountProcessThatFailsOrFallsSilentIsANetworkFailureAndIsEnded) {
    TempDir dir;
    const auto script = [&](const char* name, const std::string& body) {
        return dir.write(name, "#!/bin/sh\n" + body + "\n", std::filesystem::perms(0755)).string();
    };
    const struct {
        std::string program;
        const char* logged;
    } cases[] = {
        {(dir / "missing").string(), "the account process cannot be started"},
        {script("ends", "exit 0"), "the account process ended before it answered"},
        {script("too-long", "printf 'succeeded 99999999\\n'; exec sleep 30"),
         "the account process's answer is malformed"},
        {script("garbled", "printf 'hello there\\n'; exec sleep 30"),
         "the account process's answer is malformed"},
        {script("silent", "exec sleep 30"), "the account process did not answer in time"},
    };
    for (const auto& c : cases) {
        Chain chain({}, 300, false); // no request gets as far as a service
        Log::Capture log;
        chain.useClient(std::make_unique<AccountProcessClient>(c.program, 300));
        chain.connect("bob@example.com", "hunter2");
        EXPECT_EQ(chain.harness->view.alerts, std::vector<std::string>{"Network connection failed"})
            << c.program;
        EXPECT_EQ(chain.harness->view.formEnabled, true);
        EXPECT_TRUE(log.systemContains(c.logged)) << c.program;
        EXPECT_TRUE(waitUntil([] { return children("sleep").empty(); }, 2s)) << c.program;
    }
}

TEST(AccountChain, RefusedLoginShowsWrongCredentialsAndUnlocksTheForm) {
    Chain chain;
    chain.connect("bob@example.com", "wrong");
    EXPECT_EQ(chain.harness->view.alerts, std::vector<std::string>{"Onjuist email of wachtwoord"});
    EXPECT_EQ(chain.harness->view.title, "Verbinden");
    EXPECT_EQ(chain.harness->view.formEnabled, true);
}

TEST(AccountChain, ServiceAnswersThatAreNotObjectsAreUnknownErrors) {
    for (const auto& switches : std::vector<std::vector<std::string>>{
             {"--login-body", "\"just a string\""}, {"--login-body", "42"}, {"--login-204"}}) {
        Chain chain(switches);
        chain.connect("bob@example.com", "hunter2");
        EXPECT_EQ(chain.harness->view.alerts, std::vector<std::string>{"Unknown error"})
            << switches[0];
        EXPECT_EQ(chain.service->recorded().find("GET"), std::string::npos) << "no profile request";
        EXPECT_EQ(chain.harness->view.formEnabled, true);
    }
}

TEST(AccountChain, ServiceErrorsAtEitherStepAreWrongCredentials) {
    for (const auto& switches :
         std::vector<std::vector<std::string>>{{"--login-status", "500"},
                                               {"--profile-status", "401"},
                                               {"--login-body", "not json"}}) {
        Chain chain(switches);
        chain.connect("bob@example.com", "hunter2");
        EXPECT_EQ(chain.harness->view.alerts,
                  std::vector<std::string>{"Onjuist email of wachtwoord"})
            << switches[0];
    }
}

TEST(AccountChain, NoAnswerIsANetworkFailure) {
    {
        Chain nothingListens({}, AccountService::timeoutMs, false);
        nothingListens.connect("bob@example.com", "hunter2");
        EXPECT_EQ(nothingListens.harness->view.alerts,
                  std::vector<std::string>{"Network connection failed"});
    }
    {
        Chain dropped({"--drop"});
        dropped.connect("bob@example.com", "hunter2");
        EXPECT_EQ(dropped.harness->view.alerts,
                  std::vector<std::string>{"Network connection failed"});
    }
    {
        Chain slow({"--delay", "3"}, 1000);
        slow.connect("bob@example.com", "hunter2");
        EXPECT_EQ(slow.harness->view.alerts, std::vector<std::string>{"Network connection failed"})
            << "time-out";
        EXPECT_EQ(slow.harness->view.title, "Verbinden");
    }
}

TEST(AccountChain, AReplyThatNeverArrivesWholeIsANetworkFailure) {
    for (const auto& switches : std::vector<std::vector<std::string>>{
             {"--stall-body"}, {"--cut-body"}, {"--drop-after-request"}}) {
        Chain chain(switches, 1500);
        chain.connect("bob@example.com", "hunter2");
        EXPECT_EQ(chain.harness->view.alerts, std::vector<std::string>{"Network connection failed"})
            << switches[0];
        EXPECT_EQ(chain.harness->view.formEnabled, true);
        EXPECT_EQ(chain.service->recorded(), "POST /api/login json=yes email=bob@example.com\n")
            << switches[0] << ": one click sends the login once, never again by itself";
    }
}

TEST(AccountChain, UntrustedCertificateIsANetworkFailure) {
    Chain chain;
    ::unsetenv("QUOVANT_CA_FILE"); // the process started for the login inherits that
    chain.connect("bob@example.com", "hunter2");
    EXPECT_EQ(chain.harness->view.alerts, std::vector<std::string>{"Network connection failed"});
    EXPECT_EQ(chain.service->recorded(), "") << "nothing reached the service";
}

TEST(AccountChain, PlantedProfileFileOrDirectoryStopsTheStartWithAReason) {
    {
        Chain chain;
        Log::Capture log;
        auto& h = *chain.harness;
        const auto victim = h.dir.write("victim", "precious\n");
        std::filesystem::create_symlink(victim, h.dir / "quovant.ovpn");
        chain.connect("bob@example.com", "hunter2");
        ASSERT_EQ(h.view.alerts.size(), 1u);
        EXPECT_TRUE(h.view.alerts[0].starts_with("The VPN profile could not be saved: "))
            << h.view.alerts[0];
        EXPECT_NE(h.view.alerts[0].find("is a symbolic link"), std::string::npos);
        EXPECT_EQ(readFile(victim), "precious\n");
        EXPECT_FALSE(h.vpn->config) << "nothing is started";
        EXPECT_EQ(h.view.title, "Verbinden");
    }
    if (::geteuid() != 0)
        return;
    // The profile's directory taken by another user before this one made it.
    Chain chain;
    TempDir other;
    const auto taken = other / "quovant";
    std::filesystem::create_directory(taken);
    ASSERT_EQ(::chown(taken.c_str(), 1000, 1000), 0);
    chain.harness = std::make_unique<ControllerHarness>(chain.client.get(), nullptr, nullptr,
                                                        (taken / "quovant.ovpn").string());
    auto& h = *chain.harness;
    chain.connect("bob@example.com", "hunter2");
    ASSERT_EQ(h.view.alerts.size(), 1u);
    EXPECT_NE(h.view.alerts[0].find("belongs to another user"), std::string::npos)
        << h.view.alerts[0];
    EXPECT_FALSE(h.vpn->config);
    EXPECT_FALSE(std::filesystem::exists(taken / "quovant.ovpn"));
}

} // namespace
