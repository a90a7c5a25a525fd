#include "HelperDaemon.h"
#include "TempDir.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Outcome {
    std::string report; // what the script wrote on its channel
    int status = -1;    // its exit code; -1: it did not end in time
};

// Runs an openvpn script as openvpn would, with only `environment`, and with the helper's end
// of its channel on descriptor 4 unless `channel` is false. Once the script has reported, the
// helper's side answers `answer` (empty: closes the channel instead).
Outcome runScript(const std::string& script, const std::vector<std::string>& environment,
                  const std::string& answer, bool channel = true) {
    int pair[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const std::string path = HelperDaemon::libexecDir() + "/" + script;
    std::vector<std::string> argv = {path,       "tun0",          "1500", "0",
                                     "10.8.0.2", "255.255.255.0", "init"};
    std::vector<char*> args, env;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> envCopy = environment;
    for (auto& e : envCopy)
        env.push_back(e.data());
    env.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // dup2 onto itself would leave close-on-exec set.
        if (channel)
            ::dup2(::fcntl(pair[1], F_DUPFD_CLOEXEC, 10), 4);
        ::execve(path.c_str(), args.data(), env.data());
        ::_exit(127);
    }
    ::close(pair[1]);
    // Woken by the script's report or its end, never by the clock but for the deadline.
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    EXPECT_GE(pidFd, 0);
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    bool answered = false, drained = false, exited = false;
    while (!(exited && drained)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fds[2] = {{exited ? -1 : pidFd, POLLIN, 0}, {drained ? -1 : pair[0], POLLIN, 0}};
        if (left <= 0ms || ::poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            if (!exited) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
            break;
        }
        if (fds[1].revents) {
            char chunk[4096];
            const ssize_t n = ::read(pair[0], chunk, sizeof chunk);
            if (n > 0)
                outcome.report.append(chunk, static_cast<size_t>(n));
            else
                drained = true;
        }
        const bool ended = outcome.report.ends_with("up\n") || outcome.report.ends_with("down\n");
        if (ended && !answered && !drained) {
            answered = true;
            if (answer.empty()) {
                ::close(pair[0]);
                pair[0] = -1;
                drained = true;
            } else {
                // No SIGPIPE where a script did not wait for the answer: the test says so.
                EXPECT_EQ(::send(pair[0], answer.data(), answer.size(), MSG_NOSIGNAL),
                          static_cast<ssize_t>(answer.size()));
            }
        }
        if (fds[0].revents) {
            int raw = 0;
            ::waitpid(pid, &raw, 0);
            outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            exited = true;
        }
    }
    if (pidFd >= 0)
        ::close(pidFd);
    if (pair[0] >= 0)
        ::close(pair[0]);
    return outcome;
}

TEST(DnsScripts, ReportOnlyWhatThePushSaysAndWaitForTheHelpersAnswer) {
    TempDir dir{"quovant-dns"};
    const std::string marker = (dir / "pwned").string();
    // What openvpn hands its scripts: the pushed options (hostile values too), and much
    // the helper must not be told.
    const std::vector<std::string> pushed = {
        "dev=tun0",
        "password=secret",
        "common_name=server",
        // The helper reads the routes from the kernel.
        "route_network_1=0.0.0.0",
        "route_netmask_1=128.0.0.0",
        "redirect_gateway=1",
        "foreign_option_1=dhcp-option DNS 10.214.0.1",
        "foreign_option_2=dhcp-option DOMAIN $(touch " + marker + ")",
        "foreign_option_3=dhcp-option DNS `touch " + marker + "`;touch " + marker,
        "dns_server_0_address_1=fd00::53",
        "dns_search_domain_1=corp.example",
        "FOREIGN_OPTION_9=dhcp-option DNS 6.6.6.6",
    };
    struct Case {
        const char* name;
        const char* script;
        std::string answer;
        bool channel;
        bool succeeds;
        bool reports;
    } cases[] = {
        {"up, applied", "client.up", "ok\n", true, true, true},
        {"up, the helper could not apply it", "client.up", "failed\n", true, false, true},
        {"up, the helper went away without an answer", "client.up", "", true, false, true},
        {"up without the helper's channel", "client.up", "ok\n", false, false, false},
        {"down: reports and does not wait", "client.down", "", true, true, true},
        {"down without the helper's channel", "client.down", "", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto started = std::chrono::steady_clock::now();
        const Outcome outcome = runScript(c.script, pushed, c.answer, c.channel);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "no answer waits out its time";
        EXPECT_EQ(outcome.status == 0, c.succeeds) << outcome.status;
        EXPECT_FALSE(std::filesystem::exists(marker)) << "a pushed value was evaluated";
        if (!c.reports) {
            EXPECT_EQ(outcome.report, "");
        } else if (std::string(c.script) == "client.down") {
            EXPECT_EQ(outcome.report, "down\n");
        } else {
            // Every allowlisted variable as it was (in the shell's order), nothing else,
            // then the end of the report.
            ASSERT_TRUE(outcome.report.ends_with("\nup\n")) << outcome.report;
            std::vector<std::string> lines;
            std::istringstream in(outcome.report.substr(0, outcome.report.size() - 3));
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            std::sort(lines.begin(), lines.end());
            std::vector<std::string> expected(pushed.begin() + 6, pushed.end() - 1);
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(lines, expected);
        }
    }
}

} // namespace
