#include "helperd/ResolvconfRun.h"

#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(ResolvconfRun, HandsOverTheTextAndTellsHowItWent) {
    const TempDir dir;
    const std::string seen = (dir / "seen").string();
    const std::string child = (dir / "child").string();
    // Writes what it was given; its exit code and a hang come from the input's first line.
    const fs::path program = dir.write(
        "resolvconf",
        "#!/bin/sh\nprintf '%s ' \"$@\" >'" + seen + "'\ncat >>'" + seen + "'\nread -r first <'" +
            seen + "'\ncase \"$first\" in *child*) sleep 60 & echo $! >'" + child +
            "'; wait ;; *hang*) exec sleep 60 ;; *fail*) exit 3 ;; esac\n",
        fs::perms::owner_all);

    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string input;
        std::string seen;    // what the program was given
        std::string outcome; // empty: success
        bool startsChild = false;
    } const cases[] = {
        {"a full tunnel's record", ResolvconfRun::add("tun0", true), "nameserver 10.8.0.1\n",
         "-a tun0.openvpn -x nameserver 10.8.0.1\n", ""},
        {"its removal", ResolvconfRun::remove("tun0"), "", "-d tun0.openvpn -f ", ""},
        {"a failure", ResolvconfRun::add("tun0", false), "fail\n", "-a tun0.openvpn fail\n",
         "resolvconf failed with 3"},
        {"one that hangs", ResolvconfRun::add("tun0", false), "hang\n", "", "did not end"},
        {"one that hangs in what it started: that ends too", ResolvconfRun::add("tun0", false),
         "hang child\n", "", "did not end", true},
    };
    for (const Case& c : cases) {
        ResolvconfRun run(program.string());
        ASSERT_TRUE(run.start(c.arguments, c.input)) << c.what;
        pollfd ended{run.fd(), POLLIN, 0};
        const bool hangs = c.seen.empty();
        ASSERT_EQ(::poll(&ended, 1, hangs ? 200 : 5000), hangs ? 0 : 1) << c.what;
        int childEnded = -1;
        if (c.startsChild) {
            for (int tries = 0; tries < 500 && readFile(child).empty(); ++tries)
                ::usleep(10000);
            childEnded =
                static_cast<int>(::syscall(SYS_pidfd_open, std::atoi(readFile(child).c_str()), 0));
            ASSERT_GE(childEnded, 0) << c.what;
        }
        const auto result = hangs ? run.stop() : run.finish();
        EXPECT_FALSE(run.running()) << c.what;
        EXPECT_EQ(result.ok(), c.outcome.empty()) << c.what;
        if (!result) {
            EXPECT_NE(result.why().find(c.outcome), std::string::npos)
                << c.what << ": " << result.why();
        }
        if (!hangs) {
            EXPECT_EQ(readFile(seen), c.seen) << c.what;
        }
        if (c.startsChild) {
            pollfd gone{childEnded, POLLIN, 0};
            EXPECT_EQ(::poll(&gone, 1, 5000), 1) << c.what;
            ::close(childEnded);
        }
    }
    EXPECT_FALSE(
        ResolvconfRun(program.string()).start({}, std::string(ResolvconfRun::maxInput + 1, '#')));
}

} // namespace
