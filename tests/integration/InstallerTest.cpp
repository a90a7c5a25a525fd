#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "Poll.h"
#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uid_t otherUser = 1000;

// A daemon that ended may stay a zombie when the test program is the reaper of its
// orphans: it counts as gone.
bool processRuns(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// The root installer run directly by root, with its install locations in a temporary
// directory: what it takes, what it refuses and what it leaves behind.
class InstallerTest : public testing::Test {
protected:
    TempDir dir{"quovant-installer"};

    void SetUp() override {
        fs::create_directory(bundle());
        for (const char* f :
             {"quovant-install-helper", "com.quovant.macos.helper", "client.up", "client.down"})
            fs::copy_file(HelperDaemon::libexecDir() + "/" + f, bundle() / f);
        ::setenv("QUOVANT_HELPER_DIR", installed().c_str(), 1);
        ::setenv("QUOVANT_HELPER_SOCKET", socketPath().c_str(), 1);
        ::setenv("QUOVANT_HELPER_LOG", (dir / "helper.log").c_str(), 1);
        ::unsetenv("PKEXEC_UID");
    }

    void TearDown() override {
        if (const pid_t pid = helperPid(); pid > 0)
            ::kill(pid, SIGTERM);
        ::unsetenv("PKEXEC_UID");
    }

    fs::path bundle() const { return dir / "bundle"; }
    fs::path installed() const { return dir / "installed"; }
    std::string socketPath() const { return (dir / "helper.sock").string(); }
    std::string pidfile() const { return socketPath() + ".pid"; }
    pid_t helperPid() const {
        const std::string text = readFile(pidfile());
        return text.empty() ? -1 : std::stoi(text);
    }

    // The installer's exit status; its messages land in `output`.
    int runInstaller(const std::vector<std::string>& args = {}) {
        std::vector<std::string> argv = {"sh", "-c", "exec \"$0\" \"$@\" 2>&1",
                                         (bundle() / "quovant-install-helper").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        output.clear();
        return runCommand(argv, &output, 30s);
    }

    std::string output;
};

TEST_F(InstallerTest, TakesNoPathsFromItsCaller) {
    const auto attacker =
        dir.write("attacker", "#!/bin/sh\ntouch /tmp/owned-by-quovant\n", fs::perms(0755));
    EXPECT_EQ(runInstaller({"--helper", attacker.string(), "--scripts", dir.path().string()}), 2);
    EXPECT_NE(output.find("takes no paths"), std::string::npos) << output;
    EXPECT_EQ(runInstaller({"--remove", "--helper", attacker.string()}), 2);
    EXPECT_FALSE(fs::exists(installed()));
    EXPECT_FALSE(fs::exists(socketPath()));

    // Through pkexec only its own defaults count: the variables above would otherwise
    // let the caller pick the destination; --remove is root's alone.
    ::setenv("PKEXEC_UID", "1000", 1);
    EXPECT_EQ(runInstaller({"--remove"}), 1);
    EXPECT_NE(output.find("removed by root alone"), std::string::npos) << output;
}

TEST_F(InstallerTest, RefusesSourcesAndDestinationsOthersCouldChange) {
    struct Case {
        const char* what;
        std::function<void()> spoil;
        std::function<void()> repair;
        const char* message;
    };
    const auto helper = bundle() / "com.quovant.macos.helper";
    const std::vector<Case> cases = {
        {"a bundle directory of another user's",
         [&] { ASSERT_EQ(::chown(bundle().c_str(), otherUser, otherUser), 0); },
         [&] { ASSERT_EQ(::chown(bundle().c_str(), 0, 0), 0); }, "is not owned by root"},
        {"a helper copy the group may write", [&] { fs::permissions(helper, fs::perms(0775)); },
         [&] { fs::permissions(helper, fs::perms(0755)); }, "is writable by others than root"},
        {"a script of another user's",
         [&] { ASSERT_EQ(::chown((bundle() / "client.up").c_str(), otherUser, 0), 0); },
         [&] { ASSERT_EQ(::chown((bundle() / "client.up").c_str(), 0, 0), 0); },
         "is not owned by root"},
        {"a helper copy that is a link",
         [&] {
             fs::rename(helper, dir / "real-helper");
             fs::create_symlink(dir / "real-helper", helper);
         },
         [&] {
             fs::remove(helper);
             fs::rename(dir / "real-helper", helper);
         },
         "is a link"},
        {"a destination reached through a link",
         [&] {
             fs::create_directory(dir / "elsewhere");
             fs::create_symlink(dir / "elsewhere", dir / "link");
             ::setenv("QUOVANT_HELPER_DIR", (dir / "link/installed").c_str(), 1);
         },
         [&] { ::setenv("QUOVANT_HELPER_DIR", installed().c_str(), 1); },
         "is a link or not a directory"},
        {"a destination others may write, named with a trailing slash",
         [&] {
             fs::create_directory(installed());
             fs::permissions(installed(), fs::perms(01777));
             ::setenv("QUOVANT_HELPER_DIR", (installed().string() + "/").c_str(), 1);
         },
         [&] {
             fs::remove(installed());
             ::setenv("QUOVANT_HELPER_DIR", installed().c_str(), 1);
         },
         "is writable by others than root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.spoil();
        EXPECT_EQ(runInstaller(), 1);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(installed() / "com.quovant.macos.helper"));
        EXPECT_FALSE(fs::exists(dir / "elsewhere/installed"));
        EXPECT_FALSE(fs::exists(socketPath()));
        c.repair();
    }
    EXPECT_EQ(runInstaller(), 0) << output;
}

TEST_F(InstallerTest, InstallsRootOwnedCopiesAndReplacesTheRunningHelper) {
    ASSERT_EQ(runInstaller(), 0) << output;
    for (const char* f : {"com.quovant.macos.helper", "client.up", "client.down"}) {
        struct stat st;
        ASSERT_EQ(::lstat((installed() / f).c_str(), &st), 0) << f;
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_mode & 07777, 0755u) << f;
        EXPECT_EQ(readFile(installed() / f), readFile(bundle() / f)) << f;
    }
    for (const auto& entry : fs::directory_iterator(installed()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary file was left";
    struct stat log;
    ASSERT_EQ(::lstat((dir / "helper.log").c_str(), &log), 0);
    EXPECT_EQ(log.st_mode & 07777, 0600u);
    EXPECT_NE(readFile(dir / "helper.log").find("serving"), std::string::npos);

    const pid_t first = helperPid();
    ASSERT_GT(first, 0);
    ASSERT_EQ(runInstaller(), 0) << output;
    EXPECT_FALSE(processRuns(first)) << "the old helper still runs";
    EXPECT_GT(helperPid(), 0);
    EXPECT_NE(helperPid(), first);

    const pid_t second = helperPid();
    ASSERT_EQ(runInstaller({"--remove"}), 0) << output;
    EXPECT_FALSE(processRuns(second));
    EXPECT_FALSE(fs::exists(pidfile()));
    EXPECT_FALSE(fs::exists(socketPath()));
    EXPECT_FALSE(fs::exists(installed()));
}

TEST_F(InstallerTest, AStalePidfileSignalsNothingForeign) {
    // Another user's process and one of root's that is not the helper, each under the
    // number a stale pidfile holds.
    ChildProcess::Options asOther;
    asOther.uid = otherUser;
    ChildProcess othersSleep({"sleep", "60"}, asOther);
    ChildProcess rootsSleep({"sleep", "60"});
    for (ChildProcess* foreign : {&othersSleep, &rootsSleep}) {
        dir.write("helper.sock.pid", std::to_string(foreign->pid()) + "\n");
        ASSERT_EQ(runInstaller(), 0) << output;
        EXPECT_NE(output.find("is not the helper; it is left alone"), std::string::npos) << output;
        EXPECT_FALSE(foreign->waitFor(200ms)) << "the installer signalled a foreign process";
        EXPECT_NE(helperPid(), foreign->pid());
        EXPECT_TRUE(processRuns(helperPid()));
        ::kill(helperPid(), SIGTERM);
        pollUntil([&] { return !fs::exists(pidfile()); }, 2s);
    }
}

} // namespace
